#pragma once
// The command line of veskator-cli: what to do, with which devices and files, how many at once.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "model/device_target.h"

namespace veskator::cli {

enum class Command { Read, Write, Compare, Diff };

using veskator::Target;

struct Options {
    Command command = Command::Read;
    std::vector<Target> targets;
    std::vector<std::string> files;  // write, compare: one; diff: two
    std::string output;              // read: the file, "{host}" replaced by host_port
    int parallel = 8;
    bool json = false;
};

inline constexpr int kMaxParallel = 64;
inline constexpr std::string_view kHostPlaceholder = "{host}";

extern const std::string_view kUsage;

// "HOST", "HOST:PORT"; a missing port is defaultPort (nullopt when that is 0 too).
std::optional<Target> parseTarget(std::string_view text, std::uint16_t defaultPort);

// The options, or the reason they cannot be used. defaultPort stands for a target without one.
std::variant<Options, std::string> parseCommandLine(std::span<const std::string_view> args,
                                                    std::uint16_t defaultPort);

// Where a read of this target is saved.
std::string outputPath(const Options& options, const Target& target);

}  // namespace veskator::cli
