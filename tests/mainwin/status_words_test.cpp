// What the technician reads after each job on real widgets: the status line keeps a plain word
// for the last read, edit or load, with the time it ended, until the next job ends.

#include <QAbstractButton>
#include <QLineEdit>
#include <QTest>
#include <fstream>

#include "resources/main_dialog_template.h"
#include "tests/support/main_window_rig.h"
#include "tests/support/widget_rig.h"

namespace veskator::mainwin_test {
namespace {

using namespace main_ids;

TEST(StatusWordsOnWidgets, EachReadEditAndLoadLeavesItsWordAndTime) {
    test_support::WidgetRig rig("veskator-words");
    std::unique_ptr<QtDialog> dialog = rig.openMain();
    const std::string device = "127.0.0.1:" + std::to_string(rig.sim.port());
    const auto line = [&] { return dialog->text(kStatusLine); };
    const auto says = [&](const std::string& words) {
        return QTest::qWaitFor([&] { return line().find(words) != std::string::npos; }, 10000);
    };
    const auto edit = [&](ControlId id) {
        return test_support::WidgetRig::control<QLineEdit>(*dialog, id);
    };
    const auto click = [&](ControlId id) {
        QTest::mouseClick(test_support::WidgetRig::control<QAbstractButton>(*dialog, id),
                          Qt::LeftButton);
    };

    rig.wallClock.set({2026, 12, 8, 15, 40, 12});
    click(kStartGo);
    ASSERT_TRUE(says("link: idle    read " + device + " at 15:40:12 (4096 bytes)")) << line();

    // Two edits in two blocks: waiting while their second runs, then written, the read's word
    // gone.
    rig.wallClock.set({2026, 12, 8, 15, 41, 5});
    QLineEdit* port1 = edit(kServerPort1);
    QLineEdit* receiver2 = edit(kReceiver2);
    port1->selectAll();
    QTest::keyClicks(port1, "6001");
    EXPECT_NE(line().find("1 edit waiting    read " + device), std::string::npos) << line();
    receiver2->selectAll();
    QTest::keyClicks(receiver2, "77");
    EXPECT_NE(line().find("2 edits waiting"), std::string::npos) << line();
    ASSERT_TRUE(says("link: idle    2 edits written to A0, A1 at 15:41:05")) << line();
    EXPECT_EQ(line().find("read "), std::string::npos) << line();

    // A load of a saved file, read back: the file, the device, the time and what was verified.
    QLineEdit* saveName = edit(kSaveName);
    QLineEdit* loadName = edit(kLoadName);
    saveName->selectAll();
    QTest::keyClicks(saveName, "site.bin");
    click(kSave);
    loadName->selectAll();
    QTest::keyClicks(loadName, "site.bin");
    rig.wallClock.set({2026, 12, 8, 15, 42, 0});
    click(kLoad);
    click(kYes);
    ASSERT_TRUE(says("loaded site.bin to " + device + " at 15:42:00, 8 of 8 blocks verified"))
        << line();
    EXPECT_EQ(line().find("edits written"), std::string::npos) << line();
    // The link's own "loading completed" is the message window's; the line says it once.
    EXPECT_EQ(line().find("loading completed"), std::string::npos) << line();
    EXPECT_EQ(dialog->text(kMessageWindow).rfind("loading completed, 8 of 8 blocks verified", 0),
              0u);
}

}  // namespace
}  // namespace veskator::mainwin_test
