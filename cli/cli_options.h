#pragma once
// The command line of veskator-cli: what to do, with which devices and files, how many at once.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "model/device_target.h"
#include "model/settings.h"

namespace veskator::cli {

enum class Command { Read, Write, Compare, Diff, Get, Set, History, Settings };

using veskator::Target;

struct Options {
    Command command = Command::Read;
    std::vector<Target> targets;
    std::vector<std::string> files;  // write, compare: one; diff: two; get, set: one, or none
    std::string output;              // read: the file, "{host}" replaced; set FILE: the new file
    std::vector<std::string> assignments;  // set: "LABEL=VALUE" as given
    std::string from;                      // set: a JSON file of further assignments
    std::vector<std::string> devices;      // history: "HOST" or "HOST:PORT"; none: all
    std::string since;                     // history: "YYYY-MM-DD[ HH:MM]"
    std::vector<std::string> keys;         // get: the settings asked for; none: all
    std::string inventory;                 // -i: the file the targets came from
    int parallel = 8;
    bool json = false;
    bool anySize = false;        // files of any size are taken over the start of the workspace
    bool showPasswords = false;  // get shows passwords as they are
    bool check = false;          // set: say what would change, write nothing
};

inline constexpr int kMaxParallel = 256;
inline constexpr std::string_view kHostPlaceholder = "{host}";

extern const std::string_view kUsage;

std::string_view commandName(Command command);

// "HOST", "HOST:PORT"; a missing port is defaultPort (nullopt when that is 0 too).
std::optional<Target> parseTarget(std::string_view text, std::uint16_t defaultPort);

using ReadText = std::function<std::optional<std::string>(std::string_view)>;

// The options, or what is wrong with them. defaultPort stands for a target without one; `isFile`
// tells a parameter file from a device where a command takes either (get, set); `readText` reads
// an inventory (-i FILE).
std::variant<Options, std::string> parseCommandLine(
    std::span<const std::string_view> args, std::uint16_t defaultPort,
    const std::function<bool(std::string_view)>& isFile = {}, const ReadText& readText = {});

// The devices of an inventory: one HOST[:PORT] a line; blank lines and what follows a # are
// skipped. The targets, or what is wrong with a line.
std::variant<std::vector<Target>, std::string> parseInventory(std::string_view text,
                                                              std::string_view name,
                                                              std::uint16_t defaultPort);

// Where a read of this target is saved: every "{host}" replaced by HOST_PORT.
std::string outputPath(const Options& options, const Target& target);

}  // namespace veskator::cli
