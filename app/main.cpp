// veskator: the programmer of the communicators. Real widgets, sockets, files and processes are
// wired to the application object here and nowhere else.

#include <QApplication>
#include <memory>

#include "app/programmer_app.h"
#include "platform/qt/qt_command_runner.h"
#include "platform/qt/qt_network.h"
#include "platform/qt/qt_window_system.h"
#include "resources/main_dialog_template.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("veskator");

    veskator::QtWindowSystem windows;
    windows.addSystemMenuEntry(veskator::kMainDialogResource, veskator::kAboutCommand,
                               veskator::kAboutEntryText);
    veskator::SteadyClock clock;
    veskator::PosixFileSystem files;
    veskator::QtNetwork network(windows.gate());
    veskator::QtCommandRunner commands(std::filesystem::current_path(), &windows.gate());
    veskator::SystemWallClock wallClock;
    veskator::Services services{clock, files, network, commands, windows, wallClock};

    // Large: the workspace alone is 16 KiB, and the state lives for the whole run.
    auto app = std::make_unique<veskator::CProgrammerApp>(services);
    return app->InitInstance() ? 0 : 0;
}
