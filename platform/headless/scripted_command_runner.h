#pragma once
// The headless double of the command runner: nothing is run. A test scripts how each program
// behaves (its exit code, its output, how long it runs), and a command ends when the virtual
// clock of the headless window system passes its end, in time order with the windows' ticks.

#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/command_runner.h"
#include "platform/file_system.h"
#include "platform/headless/headless_platform.h"

namespace veskator {

class ScriptedCommandRunner final : public CommandRunner {
  public:
    struct Behaviour {
        int exitCode = 0;
        std::string output;  // written to the command's output file when it ends
        std::chrono::milliseconds duration{0};
    };
    using Script = std::function<Behaviour(const std::vector<std::string>& argv)>;

    // Both outlive the runner, and the runner every handle it gives out.
    ScriptedCommandRunner(HeadlessWindowSystem& windows, FileSystem& files)
        : m_windows(windows), m_files(files) {}

    // How a program (argv[0]) behaves from now on, always or by its arguments. A program
    // without a script fails to start.
    void script(const std::string& program, Behaviour behaviour);
    void script(const std::string& program, Script script);

    // The output file is emptied at once, as a real run's is; the output comes with the end. A
    // program that outruns its bound ends there, timed out, its output written all the same.
    std::unique_ptr<RunningCommand> start(Command command, CommandDone done) override;

    // What a test inspects: every command started, in order, and those still running.
    const std::vector<Command>& started() const { return m_started; }
    std::size_t runningCount() const { return m_running.size(); }

  private:
    friend class ScriptedRunningCommand;
    void cancel(int key);

    HeadlessWindowSystem& m_windows;
    FileSystem& m_files;
    std::map<std::string, Script> m_scripts;
    std::vector<Command> m_started;
    std::set<int> m_running;  // keys of their calls on the window system
};

}  // namespace veskator
