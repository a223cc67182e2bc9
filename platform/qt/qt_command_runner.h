#pragma once
// Runs a command line through the shell with its output (standard output and error) in a file,
// and waits for it while the windows keep painting.

#include <filesystem>

#include "platform/command_runner.h"

namespace veskator {

class TickGate;

class QtCommandRunner final : public CommandRunner {
  public:
    // Commands run in workingDirectory, and a relative output path resolves against it. With a
    // gate, no timer tick runs while a command is waited for, as during a fixed wait.
    explicit QtCommandRunner(
        std::filesystem::path workingDirectory = std::filesystem::current_path(),
        TickGate* gate = nullptr)
        : m_directory(std::move(workingDirectory)), m_gate(gate) {}

    int run(std::string_view commandLine, std::string_view outputPath) override;

  private:
    std::filesystem::path m_directory;
    TickGate* m_gate;
};

}  // namespace veskator
