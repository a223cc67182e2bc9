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
constexpr std::size_t kLookupsAtOnce = 16;

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

using Named = std::vector<std::pair<std::string, std::string>>;

// The settings of --from: a flat object of KEY: VALUE, or what get --json printed (of a file, or of
// devices with each its own settings).
struct FromFile {
    Named common;  // for every device
    std::map<std::string, Named> byDevice;
    bool document = false;
};

std::optional<std::string> namedIn(const std::string& from, const nlohmann::ordered_json& object,
                                   Named& named) {
    for (const auto& [name, value] : object.items()) {
        const auto shown = valueOf(value);
        if (!shown) return from + ": " + name + " takes a text, a number, true or false";
        named.emplace_back(name, *shown);
    }
    return std::nullopt;
}

std::variant<FromFile, std::string> readFrom(const std::string& from, FileSystem& files) {
    const auto text = readFileStart(files, from, kSettingsFileLimit);
    if (!text) return from + " cannot be read";
    // In the order the file gives them.
    nlohmann::ordered_json json;
    try {
        json = nlohmann::ordered_json::parse(*text);
    } catch (const nlohmann::json::parse_error& error) {
        return from + " is no JSON: " + error.what();
    }
    if (!json.is_object()) return from + " holds no object of KEY: VALUE";
    FromFile read;
    const auto results = json.find("results");
    const auto settings = json.find("settings");
    if (results != json.end() && results->is_array()) {
        read.document = true;
        for (const auto& device : *results) {
            const auto name = device.find("device");
            const auto values = device.find("settings");
            if (name == device.end() || !name->is_string() || values == device.end() ||
                !values->is_object())
                return from + ": a result without its device and settings";
            Named& named = read.byDevice[name->get<std::string>()];
            if (auto problem = namedIn(from, *values, named)) return *problem;
        }
        if (read.byDevice.size() == 1) {
            read.common = std::move(read.byDevice.begin()->second);
            read.byDevice.clear();
        }
    } else if (settings != json.end() && settings->is_object() && json.contains("command")) {
        read.document = true;
        if (auto problem = namedIn(from, *settings, read.common)) return *problem;
    } else if (auto problem = namedIn(from, json, read.common)) {
        return *problem;
    }
    return read;
}

bool onlyStars(std::string_view value) {
    return !value.empty() && value.find_first_not_of('*') == std::string_view::npos;
}

// The assignments of one device, checked; `fromDocument` are what get printed, so the settings
// it shows only and the passwords it hid are passed over, and a setting also named on the command
// line takes the command line's value.
std::optional<std::string> addAssignments(const Options& options, const Named& named,
                                          bool fromDocument, std::vector<Assignment>& out) {
    const std::size_t given = out.size();
    for (const auto& [name, value] : named) {
        if (fromDocument) {
            const auto found = findSetting(name);
            const auto* setting = std::get_if<const Setting*>(&found);
            if (setting && !(*setting)->store) continue;
            if (setting && (*setting)->secret && onlyStars(value)) continue;
            const bool overridden =
                setting && std::any_of(out.begin(), out.begin() + static_cast<long>(given),
                                       [&](const Assignment& a) { return a.setting == *setting; });
            if (overridden) continue;
        }
        auto checked = checkAssignment(name, value);
        if (auto* error = std::get_if<std::string>(&checked)) return *error;
        Assignment assignment = std::get<Assignment>(std::move(checked));
        if (assignment.setting->secret && onlyStars(assignment.value)) {
            return assignment.setting->qualifiedName() +
                   " would be all stars, as get shows a password: give the password itself";
        }
        if (!options.targets.empty() && !assignment.setting->inImage) {
            return assignment.setting->qualifiedName() +
                   " goes to the dialer with its upload, not with a write: set it in a parameter "
                   "file";
        }
        const bool twice = std::any_of(out.begin(), out.end(), [&](const Assignment& a) {
            return a.setting == assignment.setting;
        });
        if (twice) return assignment.setting->qualifiedName() + " is set twice";
        out.push_back(std::move(assignment));
    }
    return std::nullopt;
}

std::optional<std::string> readAssignments(const Options& options, FileSystem& files,
                                           Prepared& prepared) {
    Named named;
    for (const std::string& text : options.assignments) {
        const std::size_t equals = text.find('=');
        named.emplace_back(text.substr(0, equals), text.substr(equals + 1));
    }
    if (auto problem = addAssignments(options, named, false, prepared.assignments)) return *problem;
    if (options.from.empty()) return std::nullopt;
    auto read = readFrom(options.from, files);
    if (auto* problem = std::get_if<std::string>(&read)) return *problem;
    const FromFile& from = std::get<FromFile>(read);
    if (auto problem = addAssignments(options, from.common, from.document, prepared.assignments))
        return *problem;
    if (from.byDevice.empty()) return std::nullopt;
    if (options.targets.empty()) {
        return options.from + " holds several devices; set of a file takes the settings of one";
    }
    for (const Target& target : options.targets) {
        const auto own = from.byDevice.find(target.text());
        if (own == from.byDevice.end()) return target.text() + " is not in " + options.from;
        std::vector<Assignment> all = prepared.assignments;
        if (auto problem = addAssignments(options, own->second, true, all)) return *problem;
        prepared.deviceAssignments[target.text()] = std::move(all);
    }
    return std::nullopt;
}

std::string dotted(Ipv4Address address) {
    const std::uint32_t a = address.value;
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xff) + "." +
           std::to_string((a >> 8) & 0xff) + "." + std::to_string(a & 0xff);
}

// Every host is looked up, a few at a time: a resolver's worker each, not one per device of a
// fleet at once.
std::optional<std::string> resolveHosts(const Options& options, Network& network,
                                        const Clock& clock, const std::function<void()>& pause,
                                        Prepared& prepared) {
    std::vector<std::string> names;
    for (const Target& target : options.targets) {
        std::string name(trimmedHost(target.host));
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    struct Asked {
        std::unique_ptr<HostLookup> lookup;
        Clock::TimePoint since;
    };
    std::vector<Asked> asked;
    std::size_t next = 0;
    std::size_t answered = 0;
    while (answered < names.size()) {
        std::size_t pending = 0;
        for (std::size_t i = 0; i < asked.size(); ++i) {
            Asked& a = asked[i];
            if (!a.lookup) continue;
            const LookupStatus status = a.lookup->status();
            if (status == LookupStatus::Failed) return "cannot resolve " + names[i];
            if (status == LookupStatus::Done) {
                prepared.addresses[names[i]] = a.lookup->address();
                a.lookup.reset();
                ++answered;
            } else if (clock.now() - a.since >= kLookupLimit) {
                return "cannot resolve " + names[i] + ": no answer within " +
                       std::to_string(kLookupLimit.count()) + " s";
            } else {
                ++pending;
            }
        }
        if (next < names.size() && pending < kLookupsAtOnce) {
            auto lookup = network.lookup(names[next++]);
            if (!lookup) return "cannot resolve " + names[next - 1];
            asked.push_back({std::move(lookup), clock.now()});
            continue;
        }
        if (answered < names.size()) pause();
    }
    return std::nullopt;
}

// Two names of one device (a host name and its address, or one device given twice) would have two
// runs talk to it at once: the device takes one connection at a time.
std::optional<std::string> findTwins(const Options& options, const Prepared& prepared) {
    std::map<std::string, const Target*> seen;
    for (const Target& target : options.targets) {
        const auto address = prepared.addresses.find(std::string(trimmedHost(target.host)));
        if (address == prepared.addresses.end()) continue;
        const std::string key = dotted(address->second) + ":" + std::to_string(target.port);
        const auto [same, added] = seen.emplace(key, &target);
        if (!added) {
            return same->second->text() + " and " + target.text() + " are the same device (" + key +
                   ")";
        }
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
    if (auto problem = resolveHosts(options, network, clock, pause, prepared)) return *problem;
    if (auto problem = findTwins(options, prepared)) return *problem;
    return prepared;
}

const std::vector<Assignment>& Prepared::assignmentsFor(const Target& target) const {
    const auto own = deviceAssignments.find(target.text());
    return own == deviceAssignments.end() ? assignments : own->second;
}

}  // namespace veskator::cli
