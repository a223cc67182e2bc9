// JSON is written with nlohmann-json: escaping, nesting and numbers come from a well-kept library
// instead of string pasting. Device texts are 8-bit bytes; each goes into JSON as the character
// of its own code (Latin-1), so nothing of them is lost or invalid.

#include "cli/results.h"

#include <nlohmann/json.hpp>

namespace veskator::cli {

namespace {

using nlohmann::json;

std::string utf8(std::string_view latin1) {
    std::string out;
    for (const char ch : latin1) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xc0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return out;
}

std::string shownValue(const SettingShown& s, bool showPasswords) {
    return s.secret && !showPasswords ? std::string(s.value.size(), '*') : s.value;
}

json comparisonJson(const SettingsComparison& comparison) {
    json settings = json::array();
    for (const SettingDifference& d : comparison.settings) {
        settings.push_back({{"window", utf8(windowName(d.window))},
                            {"setting", utf8(d.label)},
                            {"device", utf8(d.before)},
                            {"file", utf8(d.after)}});
    }
    return {{"settings", settings}, {"otherBytes", comparison.otherBytes}};
}

json settingsArray(const std::vector<SettingShown>& settings, bool showPasswords) {
    json out = json::array();
    for (const SettingShown& s : settings) {
        out.push_back({{"window", std::string(windowKey(s.window))},
                       {"setting", utf8(s.label)},
                       {"value", utf8(shownValue(s, showPasswords))}});
    }
    return out;
}

json changedArray(const std::vector<SettingDifference>& changed) {
    json out = json::array();
    for (const SettingDifference& d : changed) {
        out.push_back({{"window", std::string(windowKey(d.window))},
                       {"setting", utf8(d.label)},
                       {"before", utf8(d.before)},
                       {"after", utf8(d.after)}});
    }
    return out;
}

std::string changedLines(const std::vector<SettingDifference>& changed) {
    std::string lines;
    for (const SettingDifference& d : changed) {
        lines += "  " + std::string(windowKey(d.window)) + "/" + oneLine(d.label) + ": \"" +
                 oneLine(d.before) + "\" -> \"" + oneLine(d.after) + "\"\n";
    }
    return lines;
}

}  // namespace

std::string oneLine(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7f || c == '\\') {
            constexpr std::string_view kDigits = "0123456789abcdef";
            out += "\\x";
            out += kDigits[b >> 4];
            out += kDigits[b & 0xf];
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<SettingShown> settingsOf(ConstWorkspace workspace) {
    std::vector<SettingShown> shown;
    for (const Setting& s : allSettings()) {
        shown.push_back({s.window, s.label, s.show(workspace), s.secret});
    }
    return shown;
}

std::string settingsText(const std::vector<SettingShown>& settings, bool showPasswords) {
    std::string text;
    for (const SettingShown& s : settings) {
        text += std::string(windowKey(s.window)) + "/" + oneLine(s.label) + "=" +
                oneLine(shownValue(s, showPasswords)) + "\n";
    }
    return text;
}

std::string resultLine(const DeviceResult& result, bool showPasswords) {
    std::string line = oneLine(result.target.text()) + "  " + (result.ok ? "ok" : "FAILED") + "  " +
                       oneLine(result.message) + " (" + std::to_string(result.took.count()) +
                       " ms)\n";
    if (result.comparison) line += comparisonReport(*result.comparison, "device", "file");
    line += changedLines(result.changed);
    line += settingsText(result.settings, showPasswords);
    return line;
}

std::string resultsJson(Command command, const std::vector<DeviceResult>& results, bool interrupted,
                        bool showPasswords) {
    json devices = json::array();
    int failed = 0;
    for (const DeviceResult& r : results) {
        json device = {{"device", utf8(r.target.text())},
                       {"ok", r.ok},
                       {"interrupted", r.interrupted},
                       {"message", utf8(r.message)},
                       {"milliseconds", r.took.count()}};
        if (!r.file.empty()) device["file"] = utf8(r.file);
        if (r.comparison) device["comparison"] = comparisonJson(*r.comparison);
        if (command == Command::Get) device["settings"] = settingsArray(r.settings, showPasswords);
        if (command == Command::Set) device["changed"] = changedArray(r.changed);
        devices.push_back(std::move(device));
        failed += r.ok ? 0 : 1;
    }
    const json document = {{"command", std::string(commandName(command))},
                           {"results", devices},
                           {"failed", failed},
                           {"interrupted", interrupted}};
    return document.dump() + "\n";
}

std::string diffJson(const SettingsComparison& comparison) {
    return json{{"command", "diff"}, {"comparison", comparisonJson(comparison)}}.dump() + "\n";
}

std::string settingsJson(Command command, const std::string& file,
                         const std::vector<SettingShown>& settings,
                         const std::vector<SettingDifference>& changed, bool showPasswords) {
    json document = {{"command", std::string(commandName(command))}, {"file", utf8(file)}};
    if (command == Command::Get) document["settings"] = settingsArray(settings, showPasswords);
    if (command == Command::Set) document["changed"] = changedArray(changed);
    return document.dump() + "\n";
}

}  // namespace veskator::cli
