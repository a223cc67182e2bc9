// JSON is written with nlohmann-json: escaping, nesting and numbers come from a well-kept library
// instead of string pasting. Device texts are 8-bit bytes (latin-1); each goes into JSON as the
// character of its own code, so nothing of them is lost and the document stays valid UTF-8.

#include "cli/results.h"

#include <nlohmann/json.hpp>

namespace veskator::cli {

namespace {

using nlohmann::json;
using nlohmann::ordered_json;

std::string masked(const Setting& setting, const std::string& value, bool showPasswords) {
    return setting.secret && !showPasswords ? std::string(value.size(), '*') : value;
}

std::string utf8(std::string_view latin1) { return utf8FromLatin1(latin1); }

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

// Key to value: what set --from takes back.
ordered_json settingsObject(const std::vector<SettingShown>& settings, bool showPasswords) {
    ordered_json out = ordered_json::object();
    for (const SettingShown& s : settings) {
        out[s.setting->key] = utf8(masked(*s.setting, s.value, showPasswords));
    }
    return out;
}

ordered_json changesArray(const std::vector<SettingChange>& changes, bool showPasswords) {
    ordered_json out = ordered_json::array();
    for (const SettingChange& c : changes) {
        out.push_back({{"key", c.setting->key},
                       {"window", std::string(windowKey(c.setting->window))},
                       {"setting", utf8(c.setting->label)},
                       {"before", utf8(masked(*c.setting, c.before, showPasswords))},
                       {"after", utf8(masked(*c.setting, c.after, showPasswords))},
                       {"changed", c.changes()}});
    }
    return out;
}

}  // namespace

std::string oneLine(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || (b >= 0x7f && b < 0xa0) || c == '\\') {
            constexpr std::string_view kDigits = "0123456789abcdef";
            out += "\\x";
            out += kDigits[b >> 4];
            out += kDigits[b & 0xf];
        } else {
            out += utf8(std::string_view(&c, 1));
        }
    }
    return out;
}

std::string_view statusName(const DeviceResult& result) {
    if (!result.started) return "not started";
    if (result.interrupted) return "interrupted";
    return result.ok ? "ok" : "failed";
}

std::string settingsText(const std::vector<SettingShown>& settings, bool showPasswords) {
    std::string text;
    for (const SettingShown& s : settings) {
        text += std::string(windowKey(s.setting->window)) + "/" + oneLine(s.setting->label) + "=" +
                oneLine(masked(*s.setting, s.value, showPasswords)) + "\n";
    }
    return text;
}

std::string changesText(const std::vector<SettingChange>& changes, bool showPasswords) {
    std::string lines;
    for (const SettingChange& c : changes) {
        if (!c.changes()) continue;
        lines += "  " + std::string(windowKey(c.setting->window)) + "/" +
                 oneLine(c.setting->label) + ": \"" +
                 oneLine(masked(*c.setting, c.before, showPasswords)) + "\" -> \"" +
                 oneLine(masked(*c.setting, c.after, showPasswords)) + "\"\n";
    }
    return lines;
}

std::string resultLine(const DeviceResult& result, bool showPasswords) {
    const std::string_view status = statusName(result);
    std::string line = oneLine(result.target.text()) + "  " +
                       (status == "ok"       ? "ok"
                        : status == "failed" ? "FAILED"
                                             : std::string(status)) +
                       "  " + oneLine(result.message) + " (" + std::to_string(result.took.count()) +
                       " ms)\n";
    if (result.comparison) line += comparisonReport(*result.comparison, "device", "file");
    line += changesText(result.changes, showPasswords);
    line += settingsText(result.settings, showPasswords);
    return line;
}

std::string resultsJson(Command command, const std::vector<DeviceResult>& results, bool interrupted,
                        bool showPasswords) {
    ordered_json devices = ordered_json::array();
    int failed = 0;
    int notStarted = 0;
    for (const DeviceResult& r : results) {
        ordered_json device = {
            {"device", utf8(r.target.text())},      {"ok", r.ok},
            {"status", std::string(statusName(r))}, {"interrupted", r.interrupted},
            {"message", oneLine(r.message)},        {"milliseconds", r.took.count()}};
        if (!r.file.empty()) device["file"] = utf8(r.file);
        if (r.comparison) device["comparison"] = comparisonJson(*r.comparison);
        if (command == Command::Get) device["settings"] = settingsObject(r.settings, showPasswords);
        if (command == Command::Set) {
            device["changed"] = r.changed;
            device["settings"] = changesArray(r.changes, showPasswords);
            if (!r.file.empty()) device["snapshot"] = utf8(r.file);
        }
        if (command == Command::Write) device["changed"] = r.changed;
        devices.push_back(std::move(device));
        failed += r.ok || !r.started ? 0 : 1;
        notStarted += r.started ? 0 : 1;
    }
    const ordered_json document = {{"command", std::string(commandName(command))},
                                   {"ok", failed == 0 && notStarted == 0 && !interrupted},
                                   {"results", devices},
                                   {"failed", failed},
                                   {"notStarted", notStarted},
                                   {"interrupted", interrupted}};
    return document.dump() + "\n";
}

std::string diffJson(const SettingsComparison& comparison) {
    return json{{"command", "diff"}, {"ok", true}, {"comparison", comparisonJson(comparison)}}
               .dump() +
           "\n";
}

std::string errorJson(const std::string& problem, bool usage) {
    return ordered_json{{"ok", false}, {"usageError", usage}, {"error", oneLine(problem)}}.dump() +
           "\n";
}

std::string settingsJson(Command command, const std::string& file,
                         const std::vector<SettingShown>& settings,
                         const std::vector<SettingChange>& changes, bool showPasswords) {
    ordered_json document = {
        {"command", std::string(commandName(command))}, {"ok", true}, {"file", utf8(file)}};
    if (command == Command::Get) document["settings"] = settingsObject(settings, showPasswords);
    if (command == Command::Set) {
        const bool changed =
            std::any_of(changes.begin(), changes.end(), [](const auto& c) { return c.changes(); });
        document["changed"] = changed;
        document["settings"] = changesArray(changes, showPasswords);
    }
    return document.dump() + "\n";
}

std::string settingsListText() {
    std::string text;
    for (const Setting& s : allSettings()) {
        text += s.key + "  " + std::string(windowKey(s.window)) + "/\"" + oneLine(s.label) +
                "\"  " + s.kindText();
        if (s.secret) text += ", a password";
        if (!s.note.empty()) text += "; " + s.note;
        text += "\n";
    }
    return text;
}

std::string settingsListJson() {
    ordered_json list = ordered_json::array();
    for (const Setting& s : allSettings()) {
        ordered_json entry = {{"key", s.key},
                              {"window", std::string(windowKey(s.window))},
                              {"label", utf8(s.label)},
                              {"kind", std::string(kindName(s.kind))},
                              {"takes", s.kindText()},
                              {"secret", s.secret},
                              {"written", s.inImage && s.kind != SettingKind::Shown}};
        switch (s.kind) {
            case SettingKind::Text:
            case SettingKind::Digits:
            case SettingKind::Host:
                entry["maxChars"] = s.maxChars;
                break;
            case SettingKind::Number:
                entry["min"] = s.low;
                entry["max"] = s.high;
                entry["step"] = s.step;
                break;
            case SettingKind::Choice:
                entry["choices"] = ordered_json::array();
                for (const std::string& c : s.choices) entry["choices"].push_back(utf8(c));
                break;
            case SettingKind::Port:
                entry["min"] = 1;
                entry["max"] = 65535;
                break;
            case SettingKind::OnOff:
                entry["choices"] = {"on", "off"};
                break;
            case SettingKind::Shown:
                break;
        }
        if (!s.note.empty()) entry["note"] = s.note;
        list.push_back(std::move(entry));
    }
    return ordered_json{{"command", "settings"}, {"ok", true}, {"settings", list}}.dump() + "\n";
}

}  // namespace veskator::cli
