// Parsed with CLI11: subcommands, options in any place and their errors come from a library
// that names what is wrong; what the words mean (devices, files, settings) is the program's own.

#include "cli/cli_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>

namespace veskator::cli {

const std::string_view kUsage =
    "usage: veskator-cli [--json] [-j N] COMMAND ...\n"
    "  read HOST[:PORT]... -o FILE     save each device's parameters (several devices: FILE\n"
    "                                  holds {host}, replaced by HOST_PORT; folders are made)\n"
    "  write HOST[:PORT]... FILE       snapshot each device, write FILE, verify\n"
    "  compare HOST[:PORT]... FILE     list the settings FILE would change on each device\n"
    "  diff FILE1 FILE2                list the settings that differ between two files\n"
    "  get HOST[:PORT]|FILE            list every setting of the three windows\n"
    "  set HOST[:PORT]... 'LABEL=VALUE'...\n"
    "                                  snapshot each device, change the named settings, write\n"
    "                                  the blocks that changed, verify\n"
    "  set FILE 'LABEL=VALUE'... -o FILE2\n"
    "                                  the same for a parameter file, saved as FILE2\n"
    "  history [HOST[:PORT]...] [--since DATE]\n"
    "                                  the journal of writes (./program/journal.jsonl), newest\n"
    "                                  first; writes that never ended are marked interrupted\n"
    "  -j N, --parallel N              at most N devices at once (default 8)\n"
    "  --json                          one JSON document on standard output\n"
    "  --any-size                      take files of any size over the start of the workspace\n"
    "                                  (parameter files hold 1024 or 16384 bytes)\n"
    "  --show-passwords                get shows passwords as they are, not as stars\n"
    "  --from FILE.json                set: further settings, a JSON object of LABEL: VALUE\n"
    "A label names its window where two windows show it: 'options/PASSWORD=secret'.\n"
    "A device without :PORT uses the port in ./program/clientport.txt.\n"
    "Exit status: 0 when every device succeeded, 1 when any failed, 2 for a usage error, 128 and\n"
    "the signal's number when interrupted (Ctrl-C: 130).\n";

std::string_view commandName(Command command) {
    switch (command) {
        case Command::Read:
            return "read";
        case Command::Write:
            return "write";
        case Command::Compare:
            return "compare";
        case Command::Diff:
            return "diff";
        case Command::Get:
            return "get";
        case Command::Set:
            return "set";
        case Command::History:
            return "history";
    }
    return {};
}

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

bool hasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

// "2026-12-08" or "2026-12-08 15:20", as the journal's times begin.
bool validDate(std::string_view text) {
    constexpr std::string_view kShape = "dddd-dd-dd dd:dd";
    if (text.size() != 10 && text.size() != kShape.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
        if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return false;
    }
    return true;
}

std::optional<std::string> takeTargets(Options& options, std::span<const std::string> words,
                                       std::uint16_t defaultPort) {
    for (const std::string& word : words) {
        if (hasControlCharacter(word)) {
            return "a device address holds a control character: " + word;
        }
        const auto target = parseTarget(word, defaultPort);
        if (!target) return "not a device address: " + word;
        options.targets.push_back(*target);
    }
    return std::nullopt;
}

std::optional<std::string> interpret(Options& options, const std::vector<std::string>& words,
                                     std::uint16_t defaultPort,
                                     const std::function<bool(std::string_view)>& isFile) {
    switch (options.command) {
        case Command::Read:
            if (words.empty()) return "read needs a device";
            if (options.output.empty()) return "read needs -o FILE";
            if (words.size() > 1 && options.output.find(kHostPlaceholder) == std::string::npos)
                return "several devices need {host} in the -o file name";
            return takeTargets(options, words, defaultPort);
        case Command::Write:
        case Command::Compare:
            if (words.size() < 2) return "a device and a file are needed";
            options.files.push_back(words.back());
            return takeTargets(options, std::span(words).first(words.size() - 1), defaultPort);
        case Command::Diff:
            if (words.size() != 2) return "diff needs two files";
            options.files = words;
            return std::nullopt;
        case Command::Get:
            if (words.size() != 1) return "get takes one device or one file";
            if (isFile && isFile(words.front())) {
                options.files.push_back(words.front());
                return std::nullopt;
            }
            return takeTargets(options, words, defaultPort);
        case Command::History:
            for (const std::string& word : words) {
                if (hasControlCharacter(word) || word.empty() || word.starts_with(':')) {
                    return "not a device address: " + word;
                }
            }
            if (!options.since.empty() && !validDate(options.since)) {
                return "--since takes a date: YYYY-MM-DD, or YYYY-MM-DD HH:MM";
            }
            options.devices = words;
            return std::nullopt;
        case Command::Set: {
            std::vector<std::string> places;
            for (const std::string& word : words) {
                (word.find('=') != std::string::npos ? options.assignments : places)
                    .push_back(word);
            }
            if (places.empty()) return "set needs a device or a file";
            if (options.assignments.empty() && options.from.empty())
                return "set needs a setting: LABEL=VALUE, or --from FILE.json";
            if (places.size() == 1 && isFile && isFile(places.front())) {
                if (options.output.empty()) return "set of a file needs -o FILE for the result";
                options.files.push_back(places.front());
                return std::nullopt;
            }
            if (!options.output.empty()) return "-o is for set of a file, not of devices";
            return takeTargets(options, places, defaultPort);
        }
    }
    return std::nullopt;
}

}  // namespace

std::variant<Options, std::string> parseCommandLine(
    std::span<const std::string_view> args, std::uint16_t defaultPort,
    const std::function<bool(std::string_view)>& isFile) {
    Options options;
    CLI::App app{"veskator-cli", "veskator-cli"};
    app.set_help_flag();
    app.require_subcommand(1);
    app.add_flag("--json", options.json);
    app.add_flag("--any-size", options.anySize);
    app.add_flag("--show-passwords", options.showPasswords);
    app.add_option("-j,--parallel", options.parallel)
        ->check(CLI::Range(1, kMaxParallel).description(""))
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    std::vector<std::string> words;
    for (const Command command : {Command::Read, Command::Write, Command::Compare, Command::Diff,
                                  Command::Get, Command::Set, Command::History}) {
        CLI::App* sub = app.add_subcommand(std::string(commandName(command)));
        sub->set_help_flag();
        sub->fallthrough();
        sub->add_option("words", words);
        sub->callback([&options, command] { options.command = command; });
        if (command == Command::Read || command == Command::Set) {
            sub->add_option("-o,--output", options.output)
                ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
        }
        if (command == Command::History) {
            sub->add_option("--since", options.since)
                ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
        }
        if (command == Command::Set) {
            sub->add_option("--from", options.from)
                ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
        }
    }
    std::vector<std::string> owned{"veskator-cli"};
    for (const std::string_view arg : args) owned.emplace_back(arg);
    std::vector<const char*> argv;
    for (const std::string& arg : owned) argv.push_back(arg.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& error) {
        if (app.get_subcommands().empty() && !args.empty() && !args.front().starts_with('-')) {
            return "unknown command: " + std::string(args.front());
        }
        return std::string(error.what());
    }
    if (auto problem = interpret(options, words, defaultPort, isFile)) return *problem;
    return options;
}

std::string outputPath(const Options& options, const Target& target) {
    std::string path = options.output;
    // Appended: GCC 12 at -O3 takes a one-character insert for an overlapping copy.
    std::string host = target.host;
    host += '_';
    host += std::to_string(target.port);
    for (std::size_t at = path.find(kHostPlaceholder); at != std::string::npos;
         at = path.find(kHostPlaceholder, at + host.size())) {
        path.replace(at, kHostPlaceholder.size(), host);
    }
    return path;
}

}  // namespace veskator::cli
