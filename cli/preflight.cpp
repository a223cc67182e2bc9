// The JSON of --from is read with nlohmann-json: a settings file is the technician's, and a
// library that names the line and column of a mistake says more than a hand-written reader would.

#include "cli/preflight.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

namespace veskator::cli {
namespace {

constexpr std::size_t kSettingsFileLimit = std::size_t{1} << 20;
constexpr std::chrono::seconds kLookupLimit{5};

std::optional<std::string> readFiles(const Options& options, FileSystem& files,
                                     Prepared& prepared) {
    const FileSizeRule rule = options.anySize ? FileSizeRule::AnySize : FileSizeRule::ParameterFile;
    for (const std::string& name : options.files) {
        ParameterFile file = readParameterFile(files, name, rule);
        if (!file.read()) return parameterFileProblem(name, file);
        prepared.files.push_back(std::move(file));
    }
    return std::nullopt;
}

std::optional<std::string> makeOutputFolders(const Options& options, FileSystem& files) {
    std::vector<std::string> paths;
    if (options.command == Command::Read) {
        for (const Target& target : options.targets) paths.push_back(outputPath(options, target));
    } else if (!options.output.empty()) {
        paths.push_back(options.output);
    }
    for (const std::string& path : paths) {
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        if (folder.empty()) continue;
        if (!files.makeDirectory(folder.string(), FileAccess::OwnerOnly)) {
            return "the folder " + folder.string() + " for " + path + " cannot be made";
        }
    }
    return std::nullopt;
}

// "true" is on, a number its digits, a text as it is.
std::optional<std::string> valueOf(const nlohmann::ordered_json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_boolean()) return std::string(value.get<bool>() ? "on" : "off");
    if (value.is_number_unsigned() || value.is_number_integer()) return value.dump();
    return std::nullopt;
}

std::optional<std::string> readAssignments(const Options& options, FileSystem& files,
                                           Prepared& prepared) {
    std::vector<std::pair<std::string, std::string>> named;
    for (const std::string& text : options.assignments) {
        const std::size_t equals = text.find('=');
        named.emplace_back(text.substr(0, equals), text.substr(equals + 1));
    }
    if (!options.from.empty()) {
        const auto text = readFileStart(files, options.from, kSettingsFileLimit);
        if (!text) return options.from + " cannot be read";
        // In the order the file gives them.
        nlohmann::ordered_json settings;
        try {
            settings = nlohmann::ordered_json::parse(*text);
        } catch (const nlohmann::json::parse_error& error) {
            return options.from + " is no JSON: " + error.what();
        }
        if (!settings.is_object()) return options.from + " holds no object of LABEL: VALUE";
        for (const auto& [name, value] : settings.items()) {
            const auto shown = valueOf(value);
            if (!shown)
                return options.from + ": " + name + " takes a text, a number, true or false";
            named.emplace_back(name, *shown);
        }
    }
    for (auto& [name, value] : named) {
        auto checked = checkAssignment(name, std::move(value));
        if (auto* error = std::get_if<std::string>(&checked)) return *error;
        Assignment assignment = std::get<Assignment>(std::move(checked));
        const bool onlyStars = !assignment.value.empty() &&
                               assignment.value.find_first_not_of('*') == std::string::npos;
        if (assignment.setting->secret && onlyStars) {
            return assignment.setting->qualifiedName() +
                   " would be all stars, as get shows a password: give the password itself";
        }
        if (!options.targets.empty() && !assignment.setting->inImage) {
            return assignment.setting->qualifiedName() +
                   " goes to the dialer with its upload, not with a write: set it in a parameter "
                   "file";
        }
        const bool twice =
            std::any_of(prepared.assignments.begin(), prepared.assignments.end(),
                        [&](const Assignment& a) { return a.setting == assignment.setting; });
        if (twice) return assignment.setting->qualifiedName() + " is set twice";
        prepared.assignments.push_back(std::move(assignment));
    }
    return std::nullopt;
}

// Two names of one device (a host name and its address, or one device given twice) would have two
// runs talk to it at once: the device takes one connection at a time.
std::optional<std::string> findTwins(const Options& options, Network& network, const Clock& clock,
                                     const std::function<void()>& pause) {
    if (options.targets.size() < 2) return std::nullopt;
    std::vector<std::unique_ptr<HostLookup>> lookups;
    for (const Target& target : options.targets) {
        lookups.push_back(network.lookup(std::string(trimmedHost(target.host))));
    }
    const auto pending = [&] {
        return std::any_of(lookups.begin(), lookups.end(),
                           [](const auto& l) { return l && l->status() == LookupStatus::Pending; });
    };
    const Clock::TimePoint end = clock.now() + kLookupLimit;
    while (pending() && clock.now() < end) pause();
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < options.targets.size(); ++i) {
        const Target& target = options.targets[i];
        std::string key;
        if (lookups[i] && lookups[i]->status() == LookupStatus::Done) {
            const std::uint32_t a = lookups[i]->address().value;
            key = std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xff) + "." +
                  std::to_string((a >> 8) & 0xff) + "." + std::to_string(a & 0xff);
        } else {
            key = trimmedHost(target.host);
            std::transform(key.begin(), key.end(), key.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        }
        key.append(":").append(std::to_string(target.port));
        const auto same = std::find(keys.begin(), keys.end(), key);
        if (same != keys.end()) {
            const Target& first = options.targets[static_cast<std::size_t>(same - keys.begin())];
            return first.text() + " and " + target.text() + " are the same device (" + key + ")";
        }
        keys.push_back(key);
    }
    return std::nullopt;
}

}  // namespace

std::variant<Prepared, std::string> prepare(const Options& options, FileSystem& files,
                                            Network& network, const Clock& clock,
                                            const std::function<void()>& pause) {
    Prepared prepared;
    if (auto problem = readFiles(options, files, prepared)) return *problem;
    if (options.command == Command::Read || options.command == Command::Set) {
        if (auto problem = makeOutputFolders(options, files)) return *problem;
    }
    if (options.command == Command::Set) {
        if (auto problem = readAssignments(options, files, prepared)) return *problem;
    }
    if (auto problem = findTwins(options, network, clock, pause)) return *problem;
    return prepared;
}

}  // namespace veskator::cli
