// The whole program as a technician meets it: real widgets (offscreen), the real network to the
// simulator on loopback, real files, the real clock.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/programmer_app.h"
#include "platform/qt/posix_network.h"
#include "platform/qt/qt_command_runner.h"
#include "platform/qt/qt_window_system.h"
#include "tests/support/qt_dialogs.h"
#include "tools/communicator_sim/communicator_sim.h"

namespace veskator {
namespace {

using namespace main_ids;

TEST(ProgrammerOnWidgets, AgreedTechnicianReadsTheDeviceWithStartGo) {
    sim::CommunicatorSim device;
    ASSERT_TRUE(device.start());
    const auto dir =
        std::filesystem::temp_directory_path() / ("veskator-app-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "program");
    std::ofstream(dir / "program/liability") << "agree";
    std::ofstream(dir / "program/serverIPm.txt") << "127.0.0.1";
    std::ofstream(dir / "program/clientport.txt") << device.port();

    QtWindowSystem windows;
    windows.addSystemMenuEntry(kMainDialogResource, kAboutCommand, kAboutEntryText);
    SteadyClock clock;
    PosixFileSystem files(dir);
    PosixNetwork network(&windows.gate());
    QtCommandRunner commands(dir, &windows.gate());
    Services services{clock, files, network, commands, windows};
    CProgrammerApp app(services);

    bool ran = false;
    test_support::ModalWatcher watcher([&](QtDialog& dialog) {
        ran = true;
        auto* address = dialog.findChild<QLineEdit*>(QString::number(kTargetAddress));
        auto* server = dialog.findChild<QLineEdit*>(QString::number(kServerIp1));
        auto* startGo = dialog.findChild<QPushButton*>(QString::number(kStartGo));
        auto* email = dialog.findChild<QRadioButton*>(QString::number(kEmail));
        ASSERT_TRUE(address && server && startGo && email);
        EXPECT_EQ(address->text(), "127.0.0.1");
        EXPECT_EQ(server->text(), "");

        QTest::mouseClick(startGo, Qt::LeftButton);
        // The pause after connecting and 64 round trips: well under the bound.
        EXPECT_TRUE(QTest::qWaitFor([&] { return server->text() == "192.168.1.100"; }, 8000));
        EXPECT_EQ(email->isChecked(),
                  (sim::defaultMemory()[0x1f] & 0x04) != 0);  // A0 0x1f, bit 0x04
        EXPECT_EQ(dialog.text(kTraceBox), "socket closed1");
        EXPECT_EQ(dialog.text(kStatusLine), "link: idle");
        dialog.close(0);
    });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(ran);
    EXPECT_EQ(device.connectionCount(), 1);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace veskator
