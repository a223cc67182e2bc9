// The whole program as a technician meets it: real widgets (offscreen), the real network to the
// simulator on loopback, real files, the real clock.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/programmer_app.h"
#include "tests/support/qt_dialogs.h"
#include "tests/support/widget_rig.h"

namespace veskator {
namespace {

using namespace main_ids;

TEST(ProgrammerOnWidgets, AgreedTechnicianReadsTheDeviceWithStartGo) {
    test_support::WidgetRig rig("veskator-app");
    rig.windows.addSystemMenuEntry(kMainDialogResource, kAboutCommand, kAboutEntryText);
    sim::CommunicatorSim& device = rig.sim;
    CProgrammerApp& app = *rig.app;

    bool ran = false;
    test_support::RunWatcher watcher([&](QtDialog& dialog) {
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
        EXPECT_EQ(dialog.text(kStatusLine),
                  "link: idle    read 127.0.0.1:" + std::to_string(device.port()) +
                      " at 14:03:22 (4096 bytes)");
        dialog.close(0);
    });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(ran);
    EXPECT_EQ(device.connectionCount(), 1);
}

// Loads refused before a read, then edits ended by Enter, by a double click and by Escape right
// after typing: each reaches the device, and the window closes only once they have.
TEST(ProgrammerOnWidgets, NothingTypedOrClickedIsLostWhateverEndsIt) {
    test_support::WidgetRig rig("veskator-edits");
    std::ofstream(rig.dir / "short.par") << std::string(100, 'S');
    sim::CommunicatorSim& device = rig.sim;
    CProgrammerApp& app = *rig.app;
    const auto deviceText = [&](std::size_t offset, std::size_t size) {
        const sim::SimMemory memory = device.memory();
        return std::string(memory.begin() + static_cast<std::ptrdiff_t>(offset),
                           memory.begin() + static_cast<std::ptrdiff_t>(offset + size));
    };
    const std::uint8_t optionsBefore = sim::defaultMemory()[0x1f];

    bool ran = false;
    test_support::RunWatcher watcher([&](QtDialog& dialog) {
        ran = true;
        const auto edit = [&](ControlId id) {
            return dialog.findChild<QLineEdit*>(QString::number(id));
        };
        const auto button = [&](ControlId id) {
            return dialog.findChild<QAbstractButton*>(QString::number(id));
        };
        for (const auto& [name, shown] :
             {std::pair{"nothere.par", "loading failed: nothere.par cannot be read"},
              std::pair{"short.par",
                        "loading failed: short.par holds 100 bytes; a parameter file holds 1024 "
                        "or 16384"}}) {
            edit(kLoadName)->setText("");
            QTest::keyClicks(edit(kLoadName), name);
            QTest::mouseClick(button(kLoad), Qt::LeftButton);
            QTest::mouseClick(button(kYes), Qt::LeftButton);
            EXPECT_EQ(dialog.text(kMessageWindow), shown);
        }
        QTest::qWait(200);
        EXPECT_EQ(device.connectionCount(), 0);

        QTest::mouseClick(button(kStartGo), Qt::LeftButton);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return dialog.text(kServerIp1) == "192.168.1.100"; }, 8000));

        edit(kServerPort1)->setText("");
        QTest::keyClicks(edit(kServerPort1), "6001");
        QTest::keyClick(edit(kServerPort1), Qt::Key_Return);
        EXPECT_FALSE(dialog.isClosed());
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return deviceText(0x60, 5) == std::string("6001\0", 5); }, 5000));

        QTest::mouseClick(button(kEmail), Qt::LeftButton);
        QTest::mouseClick(button(kEmail), Qt::LeftButton);

        edit(kServerPort2)->setText("");
        QTest::keyClicks(edit(kServerPort2), "7002");
        QTest::keyClick(edit(kServerPort2), Qt::Key_Escape);
        EXPECT_FALSE(dialog.isClosed());
        EXPECT_NE(dialog.text(kStatusLine).find("pending changes"), std::string::npos);
        EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.isClosed(); }, 10000));
    });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(ran);
    // The last frame went out before the window closed; the device may still be taking it in.
    EXPECT_TRUE(device.waitFor(
        [](const std::vector<sim::SimEvent>& seen) {
            return std::count_if(seen.begin(), seen.end(), [](const sim::SimEvent& e) {
                       return e.kind == sim::SimEvent::Kind::Accepted;
                   }) == std::count_if(seen.begin(), seen.end(), [](const sim::SimEvent& e) {
                       return e.kind == sim::SimEvent::Kind::Closed;
                   });
        },
        std::chrono::seconds(5)));
    EXPECT_EQ(deviceText(0x50, 5), std::string("7002\0", 5));
    EXPECT_EQ(deviceText(0x60, 5), std::string("6001\0", 5));
    EXPECT_EQ(static_cast<std::uint8_t>(deviceText(0x1f, 1)[0]), optionsBefore);
}

}  // namespace
}  // namespace veskator
