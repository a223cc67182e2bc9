// Typing into real edits as a technician does: the caret and a selection stay where they were put
// while every window's timer ticks, Ctrl+A replaces a text, typing between characters lands
// there, and a password box takes a new password wherever it was typed among its stars.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <array>
#include <memory>
#include <string>

#include "dialer/dialer_receiver_dlg.h"
#include "options/options_dlg.h"
#include "tests/support/widget_rig.h"

namespace veskator {
namespace {

using test_support::WidgetRig;

TEST(TypingOnWidgets, TheCaretAndASelectionSurviveTheTicksOfEveryWindow) {
    WidgetRig rig("veskator-caret");
    rig.imageAsRead();
    std::unique_ptr<QtDialog> main = rig.openMain();
    COptionsDlg options(rig.services, rig.app->session());
    std::unique_ptr<QtDialog> optionsDialog = rig.windows.open(options, main.get());
    CDialerReceiverDlg dialer(rig.services, rig.app->session());
    std::unique_ptr<QtDialog> dialerDialog = rig.windows.open(dialer, optionsDialog.get());

    const std::array<QLineEdit*, 3> edits{
        WidgetRig::control<QLineEdit>(*main, main_ids::kServerIp1),
        WidgetRig::control<QLineEdit>(*optionsDialog, options_ids::kMailServer),
        WidgetRig::control<QLineEdit>(*dialerDialog, dialer_ids::kTelephone)};
    ASSERT_TRUE(edits[0] && edits[1] && edits[2]);
    QTest::keyClicks(edits[0], "192.168.1.100");
    QTest::keyClicks(edits[2], "5550199");
    // Each key of a telephone number waits its pause: the number is stored once they have passed.
    ASSERT_TRUE(QTest::qWaitFor([&] { return edits[2]->text() == "5550199"; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialer.programRunning(); }));
    for (QLineEdit* edit : edits) {
        ASSERT_GE(edit->text().size(), 7) << edit->objectName().toStdString();
        edit->setSelection(2, 3);
    }
    QTest::qWait(1100);  // a hundred ticks of every window's timer
    for (QLineEdit* edit : edits) {
        SCOPED_TRACE(edit->objectName().toStdString());
        EXPECT_EQ(edit->selectionStart(), 2);
        EXPECT_EQ(edit->selectedText().size(), 3);
        EXPECT_EQ(edit->cursorPosition(), 5);
        // Typing between characters lands there, and the caret stays behind it.
        const QString before = edit->text();
        edit->setCursorPosition(3);
        QTest::keyClick(edit, Qt::Key_X);
        QTest::qWait(150);
        EXPECT_EQ(edit->text(), before.left(3) + "x" + before.mid(3));
        EXPECT_EQ(edit->cursorPosition(), 4);
    }
    // Ctrl+A and a new text replace the whole old one.
    QTest::keyClick(edits[1], Qt::Key_A, Qt::ControlModifier);
    QTest::qWait(100);
    QTest::keyClicks(edits[1], "mail.example.org");
    QTest::qWait(1300);
    EXPECT_EQ(edits[1]->text(), "mail.example.org");
    EXPECT_EQ(readText(rig.app->state().workspace.image(), imageOffset({2, 0x40}), 32),
              "mail.example.org");
    options.onClosed();
    dialer.onClosed();
    rig.app->mainWindow().onClosed();
}

// Each case on a new options window over the stored password "mailpass" (nine stars), or over one
// of fifteen characters, whose sixteen stars fill the box.
TEST(TypingOnWidgets, APasswordIsWhatWasTypedWhereverItWentAmongTheStars) {
    struct Case {
        const char* how;
        std::string stored;
        int caret;  // -1: all selected
        const char* typed;
        const char* password;
    };
    const std::array<Case, 5> cases{{
        {"before the stars", "mailpass", 0, "new", "new"},
        {"between them", "mailpass", 2, "x", "x"},
        {"after them", "mailpass", 9, "after", "after"},
        {"over all of them", "mailpass", -1, "pw", "pw"},
        {"into a box full of stars", "fifteen chars!!", 16, "k", "k"},
    }};
    WidgetRig rig("veskator-password", {}, WidgetRig::Time::Virtual);
    rig.imageAsRead();
    std::unique_ptr<QtDialog> main = rig.openMain();
    ProgrammerState& state = rig.app->state();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        writeText(state.workspace.image(), imageOffset({3, 0x00}), 16, c.stored);
        COptionsDlg options(rig.services, rig.app->session());
        std::unique_ptr<QtDialog> dialog = rig.windows.open(options, main.get());
        auto* box = WidgetRig::control<QLineEdit>(*dialog, options_ids::kPassword);
        ASSERT_NE(box, nullptr);
        ASSERT_EQ(box->text().toStdString(),
                  std::string(std::min<std::size_t>(c.stored.size() + 1, 15), '*'));
        if (c.caret < 0) {
            box->selectAll();
        } else {
            box->setCursorPosition(c.caret);
        }
        QTest::keyClicks(box, c.typed);
        EXPECT_EQ(box->text().toStdString(), c.password);
        // A second later the timer stores it.
        rig.virtualClock.advance(std::chrono::milliseconds(1100));
        QTest::qWait(50);
        EXPECT_EQ(readText(state.workspace.image(), imageOffset({3, 0x00}), 16), c.password);
        options.onClosed();
    }
    rig.app->mainWindow().onClosed();
}

}  // namespace
}  // namespace veskator
