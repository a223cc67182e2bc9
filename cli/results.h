#pragma once
// What veskator-cli prints: a line per device (with what get lists and set changed), or one JSON
// document for a whole run.

#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/device_run.h"
#include "model/settings_compare.h"

namespace veskator::cli {

// Bytes of a device text as one line: control characters as \xNN.
std::string oneLine(std::string_view text);

std::string resultLine(const DeviceResult& result, bool showPasswords);
std::string resultsJson(Command command, const std::vector<DeviceResult>& results, bool interrupted,
                        bool showPasswords);
std::string diffJson(const SettingsComparison& comparison);

// get and set of a parameter file: the settings as "window/LABEL=VALUE" lines, or JSON.
std::string settingsText(const std::vector<SettingShown>& settings, bool showPasswords);
std::string settingsJson(Command command, const std::string& file,
                         const std::vector<SettingShown>& settings,
                         const std::vector<SettingDifference>& changed, bool showPasswords);
// The settings of a workspace, as get lists them.
std::vector<SettingShown> settingsOf(ConstWorkspace workspace);

}  // namespace veskator::cli
