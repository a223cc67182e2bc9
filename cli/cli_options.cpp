// Parsed with CLI11: subcommands, options in any place and their errors come from a library
// that names what is wrong; what the words mean (devices, files, settings) is the program's own.

#include "cli/cli_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>

namespace veskator::cli {

const std::string_view kUsage =
    "usage: veskator-cli [--json] [-j N] [-i FILE] COMMAND ...\n"
    "  read HOST[:PORT]... -o FILE     save each device's parameters (several devices: FILE\n"
    "                                  holds {host}, replaced by HOST_PORT; folders are made)\n"
    "  write HOST[:PORT]... FILE       snapshot each device, write FILE, verify\n"
    "  compare HOST[:PORT]... FILE     list the settings FILE would change on each device\n"
    "  diff FILE1 FILE2                list the settings that differ between two files\n"
    "  get HOST[:PORT]...|FILE [KEY...]\n"
    "                                  list the named settings, or every one of the three windows\n"
    "  set HOST[:PORT]... KEY=VALUE...\n"
    "                                  snapshot each device, change the named settings, write\n"
    "                                  the blocks that changed, verify; a device that holds the\n"
    "                                  values already is left alone\n"
    "  set FILE KEY=VALUE... -o FILE2  the same for a parameter file, saved as FILE2\n"
    "  settings                        list every setting: key, window, label, what it takes\n"
    "  history [HOST[:PORT]...] [--since DATE]\n"
    "                                  the journal of writes (./program/journal.jsonl), newest\n"
    "                                  first; writes that never ended are marked interrupted\n"
    "  -j N, --parallel N              at most N devices at once (default 8, at most 256)\n"
    "  -i FILE, --inventory FILE       the devices of FILE too: one HOST[:PORT] a line, # notes\n"
    "  --json                          one JSON document on standard output\n"
    "  --any-size                      take files of any size over the start of the workspace\n"
    "                                  (parameter files hold 1024 or 16384 bytes)\n"
    "  --show-passwords                show passwords as they are, not as stars\n"
    "  --check                         set: say what would change on each device, write nothing\n"
    "  --from FILE.json                set: further settings, a JSON object of KEY: VALUE, or\n"
    "                                  what get --json printed\n"
    "A setting is named by its key (veskator-cli settings lists them), or by its label, which\n"
    "names its window where two windows show it: 'options/PASSWORD=secret'. Values are UTF-8 and\n"
    "the device holds latin-1.\n"
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
        case Command::Settings:
            return "settings";
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

// A word of get that is no device: it names a setting, or holds what no host name does.
bool namesSetting(std::string_view word) {
    if (std::holds_alternative<const Setting*>(findSetting(word))) return true;
    return word.find_first_of(" /=()") != std::string_view::npos;
}

std::optional<std::string> interpret(Options& options, const std::vector<std::string>& words,
                                     std::uint16_t defaultPort,
                                     const std::function<bool(std::string_view)>& isFile) {
    // An inventory's devices count as named ones.
    const bool inventory = !options.inventory.empty();
    switch (options.command) {
        case Command::Read:
            if (words.empty() && !inventory) return "read needs a device";
            if (options.output.empty()) return "read needs -o FILE";
            if (words.size() > 1 && options.output.find(kHostPlaceholder) == std::string::npos)
                return "several devices need {host} in the -o file name";
            return takeTargets(options, words, defaultPort);
        case Command::Write:
        case Command::Compare:
            if (words.size() < (inventory ? 1u : 2u)) return "a device and a file are needed";
            options.files.push_back(words.back());
            return takeTargets(options, std::span(words).first(words.size() - 1), defaultPort);
        case Command::Diff:
            if (inventory) return "diff takes no devices";
            if (words.size() != 2) return "diff needs two files";
            options.files = words;
            return std::nullopt;
        case Command::Settings:
            if (inventory) return "settings takes no devices";
            if (!words.empty()) return "settings takes no words: it lists them all";
            return std::nullopt;
        case Command::Get: {
            std::vector<std::string> places;
            for (const std::string& word : words) {
                // A file or a device comes first; the settings asked for follow.
                const bool setting = !places.empty() || inventory ? namesSetting(word) : false;
                (setting ? options.keys : places).push_back(word);
            }
            for (const std::string& key : options.keys) {
                const auto found = findSetting(key);
                if (const auto* error = std::get_if<std::string>(&found)) return *error;
            }
            if (places.empty() && !inventory) return "get needs a device or a file";
            if (places.size() == 1 && !inventory && isFile && isFile(places.front())) {
                options.files.push_back(places.front());
                return std::nullopt;
            }
            for (const std::string& place : places) {
                if (namesSetting(place)) return "get names its devices before its settings";
            }
            return takeTargets(options, places, defaultPort);
        }
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
            if (places.empty() && !inventory) return "set needs a device or a file";
            if (options.assignments.empty() && options.from.empty())
                return "set needs a setting: KEY=VALUE, or --from FILE.json";
            if (places.size() == 1 && !inventory && isFile && isFile(places.front())) {
                if (options.output.empty() && !options.check)
                    return "set of a file needs -o FILE for the result";
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

std::variant<std::vector<Target>, std::string> parseInventory(std::string_view text,
                                                              std::string_view name,
                                                              std::uint16_t defaultPort) {
    std::vector<Target> targets;
    int number = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        line = line.substr(0, line.find('#'));
        const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
        while (!line.empty() && blank(line.front())) line.remove_prefix(1);
        while (!line.empty() && blank(line.back())) line.remove_suffix(1);
        if (line.empty()) continue;
        const std::string where = std::string(name) + " line " + std::to_string(number);
        if (hasControlCharacter(line) || line.find_first_of(" \t") != std::string_view::npos)
            return where + " holds more than one device address";
        const auto target = parseTarget(line, defaultPort);
        if (!target) return where + ": not a device address: " + std::string(line);
        targets.push_back(*target);
    }
    if (targets.empty()) return std::string(name) + " names no device";
    return targets;
}

std::variant<Options, std::string> parseCommandLine(
    std::span<const std::string_view> args, std::uint16_t defaultPort,
    const std::function<bool(std::string_view)>& isFile, const ReadText& readText) {
    Options options;
    CLI::App app{"veskator-cli", "veskator-cli"};
    app.set_help_flag();
    app.require_subcommand(1);
    app.add_flag("--json", options.json);
    app.add_flag("--any-size", options.anySize);
    app.add_flag("--show-passwords", options.showPasswords);
    app.add_option("-i,--inventory", options.inventory)
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    app.add_option("-j,--parallel", options.parallel)
        ->check(CLI::Range(1, kMaxParallel).description(""))
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    std::vector<std::string> words;
    for (const Command command : {Command::Read, Command::Write, Command::Compare, Command::Diff,
                                  Command::Get, Command::Set, Command::History,
                                  Command::Settings}) {
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
            sub->add_flag("--check", options.check);
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
    if (!options.inventory.empty()) {
        const auto text = readText ? readText(options.inventory) : std::nullopt;
        if (!text) return options.inventory + " cannot be read";
        auto listed = parseInventory(*text, options.inventory, defaultPort);
        if (auto* problem = std::get_if<std::string>(&listed)) return *problem;
        for (Target& target : std::get<std::vector<Target>>(listed)) {
            options.targets.push_back(std::move(target));
        }
        if (options.command == Command::Read && options.targets.size() > 1 &&
            options.output.find(kHostPlaceholder) == std::string::npos)
            return "several devices need {host} in the -o file name";
    }
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
