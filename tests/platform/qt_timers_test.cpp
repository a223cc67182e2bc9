// Timers and child windows of real dialogs on the Qt event loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "platform/qt/qt_window_system.h"
#include "platform/test_windows.h"
#include "resources/main_dialog_template.h"
#include "tests/support/qt_dialogs.h"

namespace veskator {
namespace {

using std::chrono::milliseconds;
using testing::kChildTemplate;
using testing::kProbeTemplate;
using testing::processUntil;
using testing::RecordingWindow;
namespace probe = testing::probe_ids;

class QtTimersTest : public ::testing::Test {
  protected:
    std::size_t indexOf(const std::string& entry) const {
        return static_cast<std::size_t>(std::find(log.begin(), log.end(), entry) - log.begin());
    }
    int countAfter(std::size_t index, const std::string& entry) const {
        return static_cast<int>(
            std::count(log.begin() + static_cast<long>(index), log.end(), entry));
    }

    QtWindowSystem system;
    std::vector<std::string> log;
};

TEST_F(QtTimersTest, RearmReplacesThePeriodAndKillStops) {
    RecordingWindow window{kProbeTemplate, "w", log};
    auto dialog = system.open(window);
    dialog->armTimer(1, milliseconds{600000});
    dialog->armTimer(1, milliseconds{20});
    EXPECT_EQ(dialog->timerPeriod(1), milliseconds{20});
    EXPECT_TRUE(processUntil([&] { return window.ticks >= 2; }));
    dialog->killTimer(1);
    EXPECT_FALSE(dialog->timerPeriod(1).has_value());
    const int ticks = window.ticks;
    QCoreApplication::processEvents();
    EXPECT_EQ(window.ticks, ticks);
}

TEST_F(QtTimersTest, TriggerRunsOneTickSoonWithoutChangingThePeriod) {
    RecordingWindow window{kProbeTemplate, "w", log};
    auto dialog = system.open(window);
    dialog->armTimer(3, milliseconds{600000});
    dialog->triggerTimer(3);
    dialog->triggerTimer(3);
    EXPECT_EQ(window.ticks, 0) << "a trigger never runs inside its caller";
    QCoreApplication::processEvents();
    EXPECT_EQ(window.ticks, 1);
    EXPECT_EQ(dialog->timerPeriod(3), milliseconds{600000});

    // A timer that is not armed has nothing to trigger.
    dialog->killTimer(3);
    dialog->triggerTimer(3);
    dialog->triggerTimer(4);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.ticks, 1);
}

// A question runs no loop inside the handler that asks: the handler returns, the timer ticks on,
// and the answer comes later; none comes once the window has closed.
TEST_F(QtTimersTest, AQuestionIsAnsweredAfterTheHandlerHasReturned) {
    RecordingWindow window{kProbeTemplate, "w", log};
    auto dialog = system.open(window);
    window.onClick = [&](ControlId) {
        dialog->ask("go on?", [&](bool yes) { log.push_back(yes ? "yes" : "no"); });
        dialog->triggerTimer(1);
        log.push_back("handler-end");
    };
    dialog->armTimer(1, milliseconds{600000});
    for (QMessageBox::StandardButton answer : {QMessageBox::Yes, QMessageBox::No}) {
        log.clear();
        QTest::mouseClick(dialog->control(probe::kButton), Qt::LeftButton);
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.ticks > 0; }));
        window.ticks = 0;
        box->button(answer)->click();
        QCoreApplication::processEvents();
        EXPECT_EQ(log, (std::vector<std::string>{"w.click:2004", "handler-end", "w.tick:1",
                                                 answer == QMessageBox::Yes ? "yes" : "no"}));
    }
    QTest::mouseClick(dialog->control(probe::kButton), Qt::LeftButton);
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    dialog->close(0);
    log.clear();
    box->button(QMessageBox::Yes)->click();
    EXPECT_TRUE(log.empty());
}

TEST_F(QtTimersTest, TickDueDuringAHandlerWaitsForItToReturn) {
    RecordingWindow window{kProbeTemplate, "w", log};
    auto dialog = system.open(window);
    dialog->armTimer(1, milliseconds{600000});
    window.onClick = [&](ControlId) {
        // Asked for twice, it comes once, after the handler.
        dialog->triggerTimer(1);
        dialog->triggerTimer(1);
        log.push_back("handler-end");
    };
    QTest::mouseClick(dialog->control(probe::kButton), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(log,
              (std::vector<std::string>{"w.init:0", "w.click:2004", "handler-end", "w.tick:1"}));
}

// The handler that opens a child returns at once; the opener ticks on but takes no input, and
// a close asked of it closes the child first, whose result comes before the opener is asked.
TEST_F(QtTimersTest, ChildOpensInFrontWithoutALoopOfItsOwn) {
    RecordingWindow parent{kProbeTemplate, "parent", log};
    auto dialog = system.open(parent);
    std::vector<int> results;
    parent.onClick = [&](ControlId) {
        dialog->openChild(std::make_unique<RecordingWindow>(kChildTemplate, "child", log),
                          [&](int result) { results.push_back(result); });
        // Refused: one child at a time.
        dialog->openChild(std::make_unique<RecordingWindow>(kChildTemplate, "second", log), {});
        log.push_back("handler returned");
    };
    dialog->armTimer(1, milliseconds{10});
    QTest::mouseClick(dialog->control(probe::kButton), Qt::LeftButton);
    QPointer<QtDialog> child = dialog->openChild();
    ASSERT_FALSE(child.isNull());
    EXPECT_TRUE(child->isVisible());
    EXPECT_EQ(child->parentWidget(), dialog.get());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"parent.init:0", "parent.click:2004", "child.init:0",
                                             "handler returned"}));

    const int before = parent.ticks;
    EXPECT_TRUE(processUntil([&] { return parent.ticks >= before + 2; }));
    QTest::mouseClick(dialog->control(probe::kButton), Qt::LeftButton);
    EXPECT_EQ(countAfter(0, "parent.click:2004"), 1);

    parent.allowClose = false;
    dialog->reject();  // the close box
    EXPECT_TRUE(processUntil([&] { return child.isNull(); }));
    dialog->killTimer(1);
    EXPECT_EQ(results, std::vector<int>{2});
    EXPECT_EQ(countAfter(0, "child.closed:0"), 1);
    EXPECT_LT(indexOf("child.closed:0"), indexOf("parent.closeRequest:0"));
    EXPECT_FALSE(dialog->isClosed());
    EXPECT_EQ(countAfter(0, "second.init:0"), 0);

    // A window closed from code takes its child along, and hears nothing of its result.
    parent.onClick = [&](ControlId) {
        dialog->openChild(std::make_unique<RecordingWindow>(kChildTemplate, "third", log),
                          [&](int result) { results.push_back(result); });
    };
    QTest::mouseClick(dialog->control(probe::kButton), Qt::LeftButton);
    ASSERT_NE(dialog->openChild(), nullptr);
    dialog->close(0);
    EXPECT_EQ(countAfter(0, "third.closed:0"), 1);
    EXPECT_EQ(results, std::vector<int>{2});
}

TEST_F(QtTimersTest, TheProgramsWindowRunsOnTheApplicationsLoop) {
    RecordingWindow window{kMainDialogTemplate, "main", log};
    QPointer<QtDialog> opened;
    test_support::RunWatcher watcher([&](QtDialog& dialog) {
        opened = &dialog;
        EXPECT_EQ(&dialog.window(), &window);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.parentWidget(), nullptr);
        dialog.close(5);
    });
    EXPECT_EQ(system.run(window), 5);
    EXPECT_TRUE(watcher.acted());
    EXPECT_EQ(log, (std::vector<std::string>{"main.init:0", "main.closed:0"}));
    EXPECT_TRUE(opened.isNull());
}

}  // namespace
}  // namespace veskator
