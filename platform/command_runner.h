#pragma once
// Runs a command line with its output redirected to a file and waits for it to end.

#include <string_view>

namespace veskator {

class CommandRunner {
  public:
    virtual ~CommandRunner() = default;
    // Returns the command's exit code, or -1 when it could not be run. The real runner keeps the
    // window painting while it waits.
    virtual int run(std::string_view commandLine, std::string_view outputPath) = 0;
};

}  // namespace veskator
