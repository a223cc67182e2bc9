// Harmless local programs only, each with an argv of our own.
#include "platform/qt/qt_command_runner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "platform/test_windows.h"

namespace veskator {

// Readable failures.
[[maybe_unused]] static void PrintTo(const CommandResult& result, std::ostream* out) {
    constexpr const char* kEnds[] = {"Exited", "FailedToStart", "TimedOut", "Crashed"};
    *out << kEnds[static_cast<int>(result.end)] << "(" << result.exitCode << ")";
}

namespace {

using std::chrono::milliseconds;
using testing::processUntil;

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// How many of this process's children run `name` (as /proc tells their command name).
int childrenNamed(std::string_view name) {
    int count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // "pid (name) state ppid ...", where the name may hold spaces and parentheses itself.
        const std::size_t open = line.find('(');
        const std::size_t close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 1));
        char state = 0;
        pid_t parent = 0;
        rest >> state >> parent;
        if (parent == ::getpid() && line.substr(open + 1, close - open - 1) == name) ++count;
    }
    return count;
}

// One command's end as its callback saw it, and how often it came.
struct Ending {
    std::optional<CommandResult> result;
    int calls = 0;
    CommandDone callback() {
        return [this](const CommandResult& r) {
            result = r;
            ++calls;
        };
    }
};

class QtCommandRunnerTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    std::filesystem::path path(const std::string& name) const {
        return std::filesystem::path(dir.path().toStdString()) / name;
    }

    QTemporaryDir dir;
    QtCommandRunner runner{dir.path().toStdString()};
};

TEST_F(QtCommandRunnerTest, OutputGoesToTheFileInTheWorkingDirectory) {
    Ending first;
    auto echo = runner.start(Command{{"/bin/echo", "hi"}, "out.txt"}, first.callback());
    ASSERT_TRUE(processUntil([&] { return first.calls > 0; }));
    EXPECT_EQ(first.result, (CommandResult{CommandEnd::Exited, 0}));
    EXPECT_EQ(readAll(path("out.txt")), "hi\n");

    // The file is written anew, and error output joins the normal output.
    Ending second;
    auto shell =
        runner.start(Command{{"/bin/sh", "-c", "echo one; echo two 1>&2; exit 3"}, "out.txt"},
                     second.callback());
    ASSERT_TRUE(processUntil([&] { return second.calls > 0; }));
    EXPECT_EQ(second.result, (CommandResult{CommandEnd::Exited, 3}));
    EXPECT_EQ(readAll(path("out.txt")), "one\ntwo\n");
}

TEST_F(QtCommandRunnerTest, UnwritableOutputFileFailsTheRun) {
    Ending ending;
    auto running =
        runner.start(Command{{"/bin/echo", "hi"}, "missing/dir/out.txt"}, ending.callback());
    EXPECT_EQ(ending.calls, 0) << "never inside start";
    ASSERT_TRUE(processUntil([&] { return ending.calls > 0; }));
    EXPECT_EQ(ending.result, (CommandResult{CommandEnd::FailedToStart}));
}

TEST_F(QtCommandRunnerTest, EveryWayACommandEndsComesOnceAndNeverInsideStart) {
    struct Case {
        const char* name;
        Command command;
        CommandResult expected;
        const char* output;
    };
    const milliseconds shortBound{50};
    const std::vector<Case> cases = {
        // No shell: the argument reaches the program as it is.
        {"no shell",
         {{"/bin/echo", "a b;$HOME *"}, "echo.txt"},
         {CommandEnd::Exited, 0},
         "a b;$HOME *\n"},
        {"exit code", {{"/bin/sh", "-c", "exit 3"}, "exit.txt"}, {CommandEnd::Exited, 3}, ""},
        {"killed by a signal",
         {{"/bin/sh", "-c", "kill -9 $$"}, "crash.txt"},
         {CommandEnd::Crashed},
         ""},
        {"no such program",
         {{"/nonexistent/veskator-program"}, "none.txt"},
         {CommandEnd::FailedToStart},
         nullptr},
        {"empty argv", {{}, "empty.txt"}, {CommandEnd::FailedToStart}, nullptr},
        {"outruns its bound",
         {{"/bin/sleep", "30"}, "sleep.txt", shortBound},
         {CommandEnd::TimedOut},
         ""},
    };
    std::vector<Ending> endings(cases.size());
    std::vector<std::unique_ptr<RunningCommand>> running;
    for (std::size_t i = 0; i < cases.size(); ++i)
        running.push_back(runner.start(cases[i].command, endings[i].callback()));
    for (const Ending& e : endings) EXPECT_EQ(e.calls, 0) << "never inside start";

    ASSERT_TRUE(processUntil([&] {
        return std::all_of(endings.begin(), endings.end(), [](const Ending& e) { return e.calls; });
    }));
    QCoreApplication::processEvents();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(endings[i].calls, 1);
        EXPECT_EQ(endings[i].result, cases[i].expected);
        if (cases[i].output != nullptr) {
            EXPECT_EQ(readAll(path(cases[i].command.outputPath)), cases[i].output);
        }
    }
    EXPECT_EQ(childrenNamed("sleep"), 0);
}

TEST_F(QtCommandRunnerTest, CancelOrDroppingTheHandleKillsTheProgramWithoutACompletion) {
    Ending cancelled;
    Ending dropped;
    auto first = runner.start(Command{{"/bin/sleep", "30"}, "a.txt"}, cancelled.callback());
    auto second = runner.start(Command{{"/bin/sleep", "30"}, "b.txt"}, dropped.callback());
    ASSERT_TRUE(processUntil([] { return childrenNamed("sleep") == 2; }));

    first->cancel();
    EXPECT_EQ(childrenNamed("sleep"), 1);
    second.reset();
    EXPECT_EQ(childrenNamed("sleep"), 0);
    first.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(cancelled.calls + dropped.calls, 0);
}

TEST_F(QtCommandRunnerTest, CompletionComesFromTheEventLoopAndMayDropItsHandle) {
    Ending ending;
    std::unique_ptr<RunningCommand> running;
    running = runner.start(Command{{"/bin/echo", "hi"}, "out.txt"}, [&](const CommandResult& r) {
        ending.result = r;
        ++ending.calls;
        running.reset();  // as a window does that is done with the command
    });
    EXPECT_EQ(ending.calls, 0);
    ASSERT_TRUE(processUntil([&] { return ending.calls > 0; }));
    EXPECT_EQ(ending.calls, 1);
    EXPECT_EQ(ending.result, (CommandResult{CommandEnd::Exited, 0}));
    EXPECT_EQ(running, nullptr);
}

}  // namespace
}  // namespace veskator
