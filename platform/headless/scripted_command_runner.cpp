#include "platform/headless/scripted_command_runner.h"

#include <algorithm>
#include <memory>

namespace veskator {

class ScriptedRunningCommand final : public RunningCommand {
  public:
    ScriptedRunningCommand(ScriptedCommandRunner& runner, int key) : m_runner(runner), m_key(key) {}
    ~ScriptedRunningCommand() override { cancel(); }
    ScriptedRunningCommand(const ScriptedRunningCommand&) = delete;
    ScriptedRunningCommand& operator=(const ScriptedRunningCommand&) = delete;

    void cancel() override { m_runner.cancel(m_key); }

  private:
    ScriptedCommandRunner& m_runner;
    int m_key;
};

void ScriptedCommandRunner::script(const std::string& program, Behaviour behaviour) {
    m_scripts[program] = [behaviour](const std::vector<std::string>&) { return behaviour; };
}

void ScriptedCommandRunner::script(const std::string& program, Script script) {
    m_scripts[program] = std::move(script);
}

std::unique_ptr<RunningCommand> ScriptedCommandRunner::start(Command command, CommandDone done) {
    m_started.push_back(command);
    const auto script =
        command.argv.empty() ? m_scripts.end() : m_scripts.find(command.argv.front());
    const bool opened = writeWholeFile(m_files, command.outputPath, {});

    CommandResult result{CommandEnd::FailedToStart};
    Behaviour behaviour;
    std::chrono::milliseconds runs{0};
    if (script != m_scripts.end() && opened) {
        behaviour = script->second(command.argv);
        const bool timedOut = behaviour.duration > command.bound;
        result = timedOut ? CommandResult{CommandEnd::TimedOut}
                          : CommandResult{CommandEnd::Exited, behaviour.exitCode};
        runs = std::min(behaviour.duration, command.bound);
    }
    // Even a failed start ends later, never inside this call.
    auto key = std::make_shared<int>(0);
    *key = m_windows.callAt(m_windows.clock().now() + runs,
                            [this, key, result, output = std::move(behaviour.output),
                             path = command.outputPath, done = std::move(done)] {
                                m_running.erase(*key);
                                if (result.end != CommandEnd::FailedToStart)
                                    writeWholeFile(m_files, path, output);
                                if (done) done(result);
                            });
    m_running.insert(*key);
    return std::make_unique<ScriptedRunningCommand>(*this, *key);
}

void ScriptedCommandRunner::cancel(int key) {
    if (m_running.erase(key) > 0) m_windows.cancelCall(key);
}

}  // namespace veskator
