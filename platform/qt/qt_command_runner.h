#pragma once
// Runs commands as child processes on the Qt event loop. Their ends are posted to the event loop,
// so a completion never runs inside start() or a handler.

#include <filesystem>

#include "platform/command_runner.h"

namespace veskator {

class QtCommandRunner final : public CommandRunner {
  public:
    // Programs run in workingDirectory, and a relative output path resolves against it.
    explicit QtCommandRunner(
        std::filesystem::path workingDirectory = std::filesystem::current_path())
        : m_directory(std::move(workingDirectory)) {}

    std::unique_ptr<RunningCommand> start(Command command, CommandDone done) override;

  private:
    std::filesystem::path m_directory;
};

}  // namespace veskator
