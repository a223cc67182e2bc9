#include "cli/cli_options.h"

#include <charconv>

namespace veskator::cli {

const std::string_view kUsage =
    "usage: veskator-cli [--json] [-j N] COMMAND ...\n"
    "  read HOST[:PORT]... -o FILE     save each device's parameters (several devices: FILE\n"
    "                                  holds {host}, replaced by HOST_PORT)\n"
    "  write HOST[:PORT]... FILE       snapshot each device, write FILE, verify\n"
    "  compare HOST[:PORT]... FILE     list the settings FILE would change on each device\n"
    "  diff FILE1 FILE2                list the settings that differ between two files\n"
    "  -j N, --parallel N              at most N devices at once (default 8)\n"
    "  --json                          one JSON document on standard output\n"
    "A device without :PORT uses the port in ./program/clientport.txt.\n"
    "Exit status: 0 when every device succeeded, 1 when any failed, 2 for a usage error.\n";

std::optional<Target> parseTarget(std::string_view text, std::uint16_t defaultPort) {
    Target target;
    const std::size_t colon = text.rfind(':');
    target.host = std::string(text.substr(0, colon));
    target.port = defaultPort;
    if (colon != std::string_view::npos) {
        const std::string_view port = text.substr(colon + 1);
        unsigned value = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (error != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535)
            return std::nullopt;
        target.port = static_cast<std::uint16_t>(value);
    }
    if (target.host.empty() || target.port == 0) return std::nullopt;
    return target;
}

namespace {

std::optional<Command> commandOf(std::string_view word) {
    if (word == "read") return Command::Read;
    if (word == "write") return Command::Write;
    if (word == "compare") return Command::Compare;
    if (word == "diff") return Command::Diff;
    return std::nullopt;
}

}  // namespace

std::variant<Options, std::string> parseCommandLine(std::span<const std::string_view> args,
                                                    std::uint16_t defaultPort) {
    Options options;
    std::optional<Command> command;
    std::vector<std::string_view> words;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--json") {
            options.json = true;
        } else if (arg == "-j" || arg == "--parallel") {
            if (!hasValue) return std::string("-j needs a number");
            const std::string_view n = args[++i];
            int value = 0;
            const auto [end, error] = std::from_chars(n.data(), n.data() + n.size(), value);
            if (error != std::errc() || end != n.data() + n.size() || value < 1 ||
                value > kMaxParallel)
                return "-j takes 1 to " + std::to_string(kMaxParallel);
            options.parallel = value;
        } else if (arg == "-o" || arg == "--output") {
            if (!hasValue) return std::string("-o needs a file name");
            options.output = std::string(args[++i]);
        } else if (!command) {
            command = commandOf(arg);
            if (!command) return "unknown command: " + std::string(arg);
        } else {
            words.push_back(arg);
        }
    }
    if (!command) return std::string("no command given");
    options.command = *command;

    const auto takeTargets = [&](std::size_t count) -> std::optional<std::string> {
        for (std::size_t i = 0; i < count; ++i) {
            const auto target = parseTarget(words[i], defaultPort);
            if (!target) return "not a device address: " + std::string(words[i]);
            options.targets.push_back(*target);
        }
        return std::nullopt;
    };
    switch (options.command) {
        case Command::Read:
            if (words.empty()) return std::string("read needs a device");
            if (options.output.empty()) return std::string("read needs -o FILE");
            if (words.size() > 1 && options.output.find(kHostPlaceholder) == std::string::npos)
                return std::string("several devices need {host} in the -o file name");
            if (auto error = takeTargets(words.size())) return *error;
            break;
        case Command::Write:
        case Command::Compare:
            if (words.size() < 2) return std::string("a device and a file are needed");
            if (auto error = takeTargets(words.size() - 1)) return *error;
            options.files.emplace_back(words.back());
            break;
        case Command::Diff:
            if (words.size() != 2) return std::string("diff needs two files");
            options.files.assign(words.begin(), words.end());
            break;
    }
    return options;
}

std::string outputPath(const Options& options, const Target& target) {
    std::string path = options.output;
    const std::size_t at = path.find(kHostPlaceholder);
    if (at != std::string::npos) {
        path.replace(at, kHostPlaceholder.size(), target.host + "_" + std::to_string(target.port));
    }
    return path;
}

}  // namespace veskator::cli
