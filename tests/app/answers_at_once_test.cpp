// Every press answers on the screen before its handler returns, with the window's timer at rest:
// no result waits for a tick that may never come. And a close request always ends the window,
// within the link's bounds, whatever is still to go. Real widgets (offscreen), the Qt network to
// the simulator on loopback, the real clock.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <functional>

#include "dialer/dialer_receiver_dlg.h"
#include "options/options_dlg.h"
#include "resources/compare_dialog_template.h"
#include "tests/support/widget_rig.h"
#include "ui/status_line.h"

namespace veskator {
namespace {

using namespace std::chrono_literals;
using test_support::WidgetRig;

struct Press {
    std::string_view what;
    std::function<void(QtDialog&)> press;
    // What the window shows once the handler has returned, nothing else having run; or, for a
    // press with a fixed wait, once the wait has passed, the press itself having returned at once.
    std::function<bool(QtDialog&)> shown;
    std::chrono::milliseconds fixedWait{0};
};

void click(QtDialog& dialog, ControlId id) {
    WidgetRig::control<QAbstractButton>(dialog, id)->click();
}

void type(QtDialog& dialog, ControlId id, const char* text) {
    auto* edit = WidgetRig::control<QLineEdit>(dialog, id);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

std::function<bool(QtDialog&)> says(ControlId id, std::string_view text) {
    return [id, text](QtDialog& dialog) { return dialog.text(id).find(text) != std::string::npos; };
}

// The comparison window, when one is open.
QtDialog* comparison() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QtDialog*>(w);
        if (dialog != nullptr && !dialog->isClosed() && dialog->isVisible() &&
            dialog->windowTitle() ==
                QString::fromLatin1(kCompareCaption.data(),
                                    static_cast<qsizetype>(kCompareCaption.size())))
            return dialog;
    }
    return nullptr;
}

void pressAtRest(QtDialog& dialog, TimerId timer, const std::vector<Press>& presses) {
    for (const Press& p : presses) {
        SCOPED_TRACE(std::string(p.what));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.timerPeriod(timer); }, 5000))
            << "the window does not rest";
        // The press runs its handler at once; no event is taken between it and the look.
        QElapsedTimer pressed;
        pressed.start();
        p.press(dialog);
        if (p.fixedWait.count() == 0) {
            EXPECT_TRUE(p.shown(dialog)) << "status line: " << dialog.text(1190);
            continue;
        }
        EXPECT_LT(pressed.elapsed(), p.fixedWait.count()) << "the wait held the window";
        EXPECT_TRUE(QTest::qWaitFor([&] { return p.shown(dialog); }, p.fixedWait.count() + 2000));
    }
}

TEST(AnswersAtOnce, StartGoBeforeTheAgreementShowsTheDisclaimer) {
    WidgetRig rig("veskator-disclaimer");
    std::ofstream(rig.dir / "program/liability", std::ios::trunc).flush();
    auto main = rig.openMain();
    pressAtRest(*main, kLinkTimer,
                {{"Start/Go", [](QtDialog& d) { click(d, main_ids::kStartGo); },
                  says(main_ids::kTraceBox, kDisclaimerText.substr(0, 40))}});
    EXPECT_EQ(rig.sim.connectionCount(), 0);
}

TEST(AnswersAtOnce, EveryWindowsHandlersShowTheirResultWithoutATick) {
    WidgetRig rig("veskator-at-once");
    auto main = rig.openMain();
    using namespace main_ids;
    const std::string readFirst(kTextReadFirst);
    pressAtRest(
        *main, kLinkTimer,
        {
            {"option before a read", [](QtDialog& d) { click(d, kEmail); },
             says(kStatusLine, readFirst)},
            {"typing before a read", [](QtDialog& d) { type(d, kServerPort1, "5"); },
             [&](QtDialog& d) {
                 return d.text(kServerPort1).empty() && says(kStatusLine, readFirst)(d);
             }},
            {"load", [](QtDialog& d) { click(d, kLoad); }, says(kMessageWindow, "Are you sure?")},
            {"no", [](QtDialog& d) { click(d, kNo); },
             [](QtDialog& d) { return d.text(kMessageWindow).empty(); }},
            {"yes, a file that is not there",
             [](QtDialog& d) {
                 type(d, kLoadName, "nothere.bin");
                 click(d, kLoad);
                 click(d, kYes);
             },
             says(kMessageWindow, "loading failed: nothere.bin cannot be read")},
            {"compare with a file that is not there", [](QtDialog& d) { click(d, kCompare); },
             says(kStatusLine, "compare: nothere.bin cannot be read")},
            {"save",
             [](QtDialog& d) {
                 type(d, kSaveName, "at-once.bin");
                 click(d, kSave);
             },
             says(kMessageWindow, "Saving completed.")},
            {"alarm code without a file", [](QtDialog& d) { click(d, kAlarmCode); },
             says(kDownloadLine, "alarm code not sent: ")},
            // Work for the link wakes the window, which then shows what the link does.
            {"Start/Go", [](QtDialog& d) { click(d, kStartGo); },
             [](QtDialog& d) { return d.timerPeriod(kLinkTimer).has_value(); }},
        });
    ASSERT_TRUE(QTest::qWaitFor([&] { return main->text(kServerIp1) == "192.168.1.100"; }, 8000));
    EXPECT_EQ(main->text(kStatusLine).rfind("link: idle    read 127.0.0.1:", 0), 0u);

    // The options and dialer windows on a device not read yet: another port is another device.
    rig.app->state().setReadFrom({"127.0.0.1", 1});
    COptionsDlg options(rig.services, rig.app->session());
    auto optionsDialog = rig.windows.open(options, main.get());
    namespace o = options_ids;
    pressAtRest(*optionsDialog, kOptionsTimer,
                {
                    {"clear before a read", [](QtDialog& d) { click(d, o::kClearDdns); },
                     says(o::kStatusLine, kTextTargetChanged)},
                    {"typing before a read", [](QtDialog& d) { type(d, o::kMailServer, "x"); },
                     says(o::kStatusLine, kTextTargetChanged)},
                    {"loop status switch", [](QtDialog& d) { click(d, o::kReadLoopStatus); },
                     [](QtDialog& d) { return d.isChecked(o::kReadLoopStatus); }, kPollSwitchPause},

                });
    // Polling keeps the window ticking: off again before the dialer's presses.
    click(*optionsDialog, o::kReadLoopStatus);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !optionsDialog->isChecked(o::kReadLoopStatus); }));
    CDialerReceiverDlg dialer(rig.services, rig.app->session());
    auto dialerDialog = rig.windows.open(dialer, optionsDialog.get());
    namespace r = dialer_ids;
    pressAtRest(*dialerDialog, kDialerTimer,
                {
                    {"next line", [](QtDialog& d) { click(d, r::kNextLine); },
                     [](QtDialog& d) { return d.text(r::kLineNumber) == "1"; }, kMovePause},
                    {"format before a read", [](QtDialog& d) { click(d, r::kRawFormat); },
                     says(r::kStatusLine, kTextTargetChanged)},
                    {"pairing before a read", [](QtDialog& d) { click(d, r::kPair); },
                     says(r::kStatusLine, kTextTargetChanged)},
                });
    dialer.onClosed();
    options.onClosed();
}

// A close request in each state, by Escape or by the close box: the window ends within the
// link's bounds, and says what the device did not take.
TEST(AnswersAtOnce, ACloseRequestEndsTheWindowInEveryState) {
    using namespace main_ids;
    const auto escape = [](QtDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); };
    const auto closeBox = [](QtDialog& d) { static_cast<QWidget&>(d).close(); };
    struct Case {
        std::string_view what;
        std::function<void(QtDialog&)> close;
        std::function<void(WidgetRig&, QtDialog&)> before;
        std::chrono::milliseconds within;
    };
    const auto readAndEdit = [](WidgetRig& rig, QtDialog& d, bool wait) {
        click(d, kStartGo);
        ASSERT_TRUE(QTest::qWaitFor([&] { return d.text(kServerIp1) == "192.168.1.100"; }, 8000));
        type(d, kServerPort1, "6001");
        if (!wait) return;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return rig.app->link().settled() && !rig.app->mainWindow().pendingCommits(); },
            5000));
    };
    const std::vector<Case> cases{
        {"nothing pending, close box", closeBox, [](WidgetRig&, QtDialog&) {}, 500ms},
        {"an edit pending, Escape", escape,
         [&](WidgetRig& rig, QtDialog& d) { readAndEdit(rig, d, false); }, 5000ms},
        {"edits written, a save and a comparison, close box", closeBox,
         [&](WidgetRig& rig, QtDialog& d) {
             readAndEdit(rig, d, true);
             type(d, kServerPort2, "6002");
             ASSERT_TRUE(QTest::qWaitFor(
                 [&] {
                     return rig.app->link().settled() && !rig.app->mainWindow().pendingCommits();
                 },
                 5000));
             type(d, kSaveName, "site.bin");
             click(d, kSave);
             type(d, kLoadName, "site.bin");
             QTimer::singleShot(200, [] {
                 if (QtDialog* compare = comparison()) click(*compare, compare_ids::kClose);
             });
             click(d, kCompare);
         },
         500ms},
        // Asked of the main window while the comparison is open: both close.
        {"the comparison still open, close box", closeBox,
         [&](WidgetRig& rig, QtDialog& d) {
             readAndEdit(rig, d, true);
             type(d, kLoadName, "nothere.bin");
             type(d, kSaveName, "nothere.bin");
             click(d, kSave);
             click(d, kCompare);
             ASSERT_NE(comparison(), nullptr);
             // The window below takes no clicks meanwhile, as under a modal one.
             const int connections = rig.sim.connectionCount();
             QTest::mouseClick(WidgetRig::control<QAbstractButton>(d, kStartGo), Qt::LeftButton);
             QTest::qWait(100);
             EXPECT_FALSE(rig.app->link().status().busyWith(TransferKind::FullRead));
             EXPECT_EQ(rig.sim.connectionCount(), connections);
         },
         500ms},
        {"an edit pending to a device that is gone, close box", closeBox,
         [&](WidgetRig& rig, QtDialog& d) {
             readAndEdit(rig, d, false);
             rig.sim.stop();
         },
         kConnectTimeout + kUnwrittenNoticePause + 2s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what));
        WidgetRig rig("veskator-close");
        auto main = rig.openMain();
        c.before(rig, *main);
        QElapsedTimer elapsed;
        elapsed.start();
        c.close(*main);
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return main->isClosed(); }, static_cast<int>(c.within.count())));
        EXPECT_EQ(comparison(), nullptr);  // a window above closes first
        if (c.what.find("gone") != std::string_view::npos) {
            EXPECT_TRUE(main->text(kMessageWindow)
                            .starts_with("A0 could not be written to the device; the settings "
                                         "are kept in program/snapshots/"))
                << main->text(kMessageWindow);
        } else if (c.what != "nothing pending, close box") {
            // Written before the window ended.
            ASSERT_TRUE(rig.sim.waitFor(
                [](const std::vector<sim::SimEvent>& seen) {
                    return std::any_of(seen.begin(), seen.end(), [](const sim::SimEvent& e) {
                        return e.kind == sim::SimEvent::Kind::BlockWrite && e.number == 0;
                    });
                },
                2s));
            const sim::SimMemory memory = rig.sim.memory();
            EXPECT_EQ(std::string(memory.begin() + 0x60, memory.begin() + 0x65),
                      std::string("6001\0", 5));
        }
        rig.app->mainWindow().onClosed();
    }
}

}  // namespace
}  // namespace veskator
