// The headless double must behave as the real window system does: these are the rules window
// classes are tested against.
#include "platform/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/control_values.h"
#include "platform/headless/scripted_command_runner.h"
#include "platform/test_windows.h"
#include "resources/main_dialog_template.h"

namespace veskator {
namespace {

using std::chrono::milliseconds;
using testing::kChildTemplate;
using testing::kProbeTemplate;
using testing::RecordingWindow;
namespace probe = testing::probe_ids;
namespace ids = main_ids;

TEST(HeadlessPlatformTest, RearmReplacesThePeriodAndTriggerRunsOnce) {
    HeadlessWindowSystem system;
    std::vector<std::string> log;
    RecordingWindow window{kProbeTemplate, "w", log};
    HeadlessDialog& dialog = system.open(window);
    dialog.armTimer(1, milliseconds{1000});
    system.advance(milliseconds{500});
    dialog.armTimer(1, milliseconds{10});
    EXPECT_EQ(dialog.timerPeriod(1), milliseconds{10});
    system.advance(milliseconds{10});
    EXPECT_EQ(window.ticks, 1);
    system.advance(milliseconds{485});  // where the old period would have ended
    EXPECT_EQ(window.ticks, 49);

    dialog.armTimer(2, milliseconds{60000});
    dialog.triggerTimer(2);
    dialog.triggerTimer(2);
    system.runDue();
    EXPECT_EQ(window.count("tick:2"), 1);
    EXPECT_EQ(dialog.timerPeriod(2), milliseconds{60000});
}

TEST(HeadlessPlatformTest, ShowRunsNoHandlerAndLeavesEqualControlsAlone) {
    HeadlessWindowSystem system;
    std::vector<std::string> log;
    RecordingWindow window{kMainDialogTemplate, "main", log};
    HeadlessDialog& dialog = system.open(window);
    log.clear();

    ControlValues values(kMainDialogTemplate);
    values.setText(ids::kTargetPort, "5001");
    values.setChecked(ids::kEmail, true);
    values.show(dialog);
    EXPECT_EQ(dialog.text(ids::kTargetPort), "5001");
    EXPECT_TRUE(dialog.isChecked(ids::kEmail));
    EXPECT_EQ(dialog.writeCount(ids::kTargetPort), 1);
    EXPECT_EQ(dialog.writeCount(ids::kTargetAddress), 0);
    values.show(dialog);
    EXPECT_EQ(dialog.writeCount(ids::kTargetPort), 1);
    EXPECT_EQ(dialog.writeCount(ids::kEmail), 1);
    EXPECT_TRUE(log.empty());

    // What the user types is taken back; a zero byte ends what an edit shows.
    dialog.typeText(ids::kServerPort1, "12");
    EXPECT_EQ(window.count("text:1012"), 2);
    values.take(dialog);
    EXPECT_EQ(values.text(ids::kServerPort1), "12");
    values.setText(ids::kServerIp1, std::string_view("ab\0c", 4));
    values.show(dialog);
    EXPECT_EQ(dialog.text(ids::kServerIp1), "ab");
}

TEST(HeadlessPlatformTest, ChildRunsWhileTheOpenersTimerTicks) {
    HeadlessWindowSystem system;
    std::vector<std::string> log;
    RecordingWindow parent{kProbeTemplate, "parent", log};
    HeadlessDialog& dialog = system.open(parent);
    dialog.armTimer(1, milliseconds{10});
    int ticksInChild = 0;
    system.onModal(kChildTemplate.resourceId, [&](HeadlessDialog& opened) {
        const int before = parent.ticks;
        system.advance(milliseconds{50});
        ticksInChild = parent.ticks - before;
        opened.click(probe::kButton);
        opened.close(7);
    });
    int result = 0;
    parent.onClick = [&](ControlId) {
        dialog.openChild(std::make_unique<RecordingWindow>(kChildTemplate, "child", log),
                         [&](int closed) { result = closed; });
    };
    dialog.click(probe::kButton);
    EXPECT_EQ(ticksInChild, 5);
    EXPECT_EQ(result, 7);
    EXPECT_EQ(std::count(log.begin(), log.end(), "child.click:2004"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "child.closed:0"), 1);
}

TEST(HeadlessPlatformTest, ScriptedCommandsEndOnTheVirtualClockInTimeWithTheTicks) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::filesystem::path base = dir.path().toStdString();
    const auto contentOf = [&](const char* name) {
        std::ifstream in(base / name, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    };
    PosixFileSystem files(base);
    HeadlessWindowSystem system;
    ScriptedCommandRunner commands(system, files);
    using Behaviour = ScriptedCommandRunner::Behaviour;
    commands.script("lister", Behaviour{0, "one\ntwo\n", milliseconds{300}});
    commands.script("prober", [](const std::vector<std::string>& argv) {
        return argv.back() == "10.0.0.7" ? Behaviour{0, "found", milliseconds{50}}
                                         : Behaviour{1, "silent", milliseconds{2000}};
    });

    std::vector<std::string> log;
    RecordingWindow window{kProbeTemplate, "w", log};
    HeadlessDialog& dialog = system.open(window);
    dialog.armTimer(1, milliseconds{250});
    log.clear();
    const auto record = [&](const std::string& name) {
        return [&log, &system, name](const CommandResult& r) {
            log.push_back(name + ":" + std::to_string(static_cast<int>(r.end)) + "/" +
                          std::to_string(r.exitCode) + "@" +
                          std::to_string(system.clock().elapsed().count()));
        };
    };
    std::vector<std::unique_ptr<RunningCommand>> running;
    running.push_back(commands.start({{"lister", "-a"}, "list.txt"}, record("list")));
    running.push_back(commands.start({{"prober", "10.0.0.7"}, "hit.txt"}, record("hit")));
    running.push_back(
        commands.start({{"prober", "10.0.0.8"}, "miss.txt", milliseconds{1000}}, record("miss")));
    running.push_back(commands.start({{"unscripted"}, "u.txt"}, record("unscripted")));
    running.push_back(commands.start({{"lister"}, "missing/dir/x.txt"}, record("unwritable")));
    auto cancelled = commands.start({{"lister"}, "cancelled.txt"}, record("cancelled"));
    EXPECT_TRUE(log.empty()) << "never inside start";
    EXPECT_EQ(commands.runningCount(), 6u);
    ASSERT_EQ(commands.started().size(), 6u);
    EXPECT_EQ(commands.started()[2].argv, (std::vector<std::string>{"prober", "10.0.0.8"}));
    // Output files are emptied when their commands start.
    EXPECT_TRUE(std::filesystem::exists(base / "list.txt"));
    EXPECT_EQ(contentOf("list.txt"), "");
    cancelled.reset();
    EXPECT_EQ(commands.runningCount(), 5u);

    // Exited = 0, FailedToStart = 1, TimedOut = 2; a command ends before a tick of its time.
    system.advance(milliseconds{1000});
    EXPECT_EQ(log, (std::vector<std::string>{"unscripted:1/-1@0", "unwritable:1/-1@0", "hit:0/0@50",
                                             "w.tick:1", "list:0/0@300", "w.tick:1", "w.tick:1",
                                             "miss:2/-1@1000", "w.tick:1"}));
    EXPECT_EQ(contentOf("list.txt"), "one\ntwo\n");
    EXPECT_EQ(contentOf("hit.txt"), "found");
    EXPECT_EQ(contentOf("miss.txt"), "silent");
    EXPECT_EQ(contentOf("cancelled.txt"), "");
    EXPECT_EQ(commands.runningCount(), 0u);
}

}  // namespace
}  // namespace veskator
