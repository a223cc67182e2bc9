#pragma once
// Runs local programs (those of the LAN discovery) without a shell and without holding the
// window thread: the program's output goes to a file, and its end is reported later, through a
// callback that never overlaps a window handler.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veskator {

inline constexpr std::chrono::milliseconds kDefaultCommandBound{30000};

struct Command {
    // The program, then its arguments, passed as they are: no shell reads them.
    std::vector<std::string> argv;
    // Standard output and standard error, written anew; a relative path resolves against the
    // runner's working directory.
    std::string outputPath;
    // A program still running after this long is killed.
    std::chrono::milliseconds bound = kDefaultCommandBound;
};

enum class CommandEnd {
    Exited,         // it ended by itself; exitCode holds its exit code
    FailedToStart,  // no such program, an empty argv, or an output file that cannot be written
    TimedOut,       // killed when its bound ran out
    Crashed,        // ended by a signal
};

struct CommandResult {
    CommandEnd end = CommandEnd::FailedToStart;
    int exitCode = -1;  // only for Exited
    friend bool operator==(const CommandResult&, const CommandResult&) = default;
};

using CommandDone = std::function<void(const CommandResult&)>;

// A started command. Cancelling it, or dropping the handle, kills the program at once, and its
// completion never comes: what a window does when it closes.
class RunningCommand {
  public:
    virtual ~RunningCommand() = default;
    virtual void cancel() = 0;
};

class CommandRunner {
  public:
    virtual ~CommandRunner() = default;
    // Starts the command. `done` comes exactly once unless the command is cancelled first, and
    // always later, never inside this call, even for a program that cannot start. The runner
    // outlives the handles it gives out.
    virtual std::unique_ptr<RunningCommand> start(Command command, CommandDone done) = 0;
};

}  // namespace veskator
