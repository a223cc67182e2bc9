// veskator: the programmer of the communicators. Real widgets, sockets, files and processes are
// wired to the application object here and nowhere else.

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QStandardPaths>
#include <filesystem>
#include <memory>
#include <system_error>

#include "app/programmer_app.h"
#include "platform/qt/qt_command_runner.h"
#include "platform/qt/qt_network.h"
#include "platform/qt/qt_window_system.h"
#include "resources/compare_dialog_template.h"
#include "resources/history_dialog_template.h"
#include "resources/main_dialog_template.h"

namespace {

// The desktop menu starts the program with --in-data-folder: it then keeps its working files
// (program/, the logs, snapshots) in ~/.local/share/veskator rather than the home folder. A start
// from a shell keeps the folder it was started in.
bool enterDataFolder() {
    const std::filesystem::path folder =
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString();
    std::error_code error;
    if (folder.empty()) {
        error = std::make_error_code(std::errc::no_such_file_or_directory);
    } else if (std::filesystem::create_directories(folder, error)) {
        // It will hold the settings of customers' alarm systems.
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, error);
    }
    if (!error) std::filesystem::current_path(folder, error);
    if (!error) return true;
    QMessageBox::critical(
        nullptr, "veskator",
        QString("The folder %1 cannot be used: %2")
            .arg(QString::fromStdString(folder.string()), QString::fromStdString(error.message())));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("veskator");
    QApplication::setApplicationVersion(VESKATOR_VERSION);

    QCommandLineParser arguments;
    arguments.setApplicationDescription("Programmer for network alarm communicators");
    arguments.addHelpOption();
    arguments.addVersionOption();
    const QCommandLineOption inDataFolder(
        "in-data-folder", "Work in ~/.local/share/veskator rather than the current folder.");
    arguments.addOption(inDataFolder);
    arguments.process(application);
    if (arguments.isSet(inDataFolder) && !enterDataFolder()) return 1;

    veskator::QtWindowSystem windows;
    windows.addSystemMenuEntry(veskator::kMainDialogResource, veskator::kAboutCommand,
                               veskator::kAboutEntryText);
    windows.addSystemMenuEntry(veskator::kMainDialogResource, veskator::kHistoryCommand,
                               veskator::kHistoryEntryText);
    windows.addSystemMenuEntry(veskator::kMainDialogResource, veskator::kCompareFilesCommand,
                               veskator::kCompareFilesEntryText);
    veskator::SteadyClock clock;
    veskator::PosixFileSystem files;
    veskator::QtNetwork network;
    veskator::QtCommandRunner commands(std::filesystem::current_path());
    veskator::SystemWallClock wallClock;
    veskator::Services services{clock, files, network, commands, windows, wallClock};

    // Large: the workspace alone is 16 KiB, and the state lives for the whole run.
    auto app = std::make_unique<veskator::CProgrammerApp>(services);
    return app->InitInstance() ? 0 : 0;
}
