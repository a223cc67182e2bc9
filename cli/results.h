#pragma once
// What veskator-cli prints: a line per device (with what get lists and set changed), or one JSON
// document for a whole run. Device texts are latin-1; what is printed is UTF-8.

#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/device_run.h"
#include "model/settings_compare.h"

namespace veskator::cli {

// Bytes of a device text as one line of UTF-8: control characters as \xNN.
std::string oneLine(std::string_view text);

// "ok", "failed", "interrupted" or "not started".
std::string_view statusName(const DeviceResult& result);

std::string resultLine(const DeviceResult& result, bool showPasswords);
std::string resultsJson(Command command, const std::vector<DeviceResult>& results, bool interrupted,
                        bool showPasswords);
std::string diffJson(const SettingsComparison& comparison);
// An error before or beside any device as a document: {"ok": false, "error": ...}; `usage` when
// the command line was at fault (exit status 2).
std::string errorJson(const std::string& problem, bool usage);

// get and set of a parameter file: the settings as "window/LABEL=VALUE" lines, or JSON.
std::string settingsText(const std::vector<SettingShown>& settings, bool showPasswords);
std::string changesText(const std::vector<SettingChange>& changes, bool showPasswords);
std::string settingsJson(Command command, const std::string& file,
                         const std::vector<SettingShown>& settings,
                         const std::vector<SettingChange>& changes, bool showPasswords);

// Every setting a script may name: key, window, label, what it takes, what to know of it.
std::string settingsListText();
std::string settingsListJson();

}  // namespace veskator::cli
