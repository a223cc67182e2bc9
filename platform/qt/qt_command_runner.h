#pragma once
// Runs commands as child processes on the Qt event loop. Their ends are delivered through the tick
// gate, so a completion never runs inside a handler or a fixed wait.

#include <filesystem>

#include "platform/command_runner.h"

namespace veskator {

class TickGate;

class QtCommandRunner final : public CommandRunner {
  public:
    // Programs run in workingDirectory, and a relative output path resolves against it. Without
    // a gate, completions come from the event loop on their own.
    explicit QtCommandRunner(
        std::filesystem::path workingDirectory = std::filesystem::current_path(),
        TickGate* gate = nullptr)
        : m_directory(std::move(workingDirectory)), m_gate(gate) {}

    std::unique_ptr<RunningCommand> start(Command command, CommandDone done) override;

  private:
    std::filesystem::path m_directory;
    TickGate* m_gate;
};

}  // namespace veskator
