#pragma once
// What a parameter file would change: every setting that the three windows name, read from two
// workspaces (the image now and a file, or two files), with the window's own label; passwords are
// never shown. Bytes that differ where no window names a setting are counted, not listed.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/parameter_workspace.h"
#include "model/settings.h"

namespace veskator {

struct SettingDifference {
    SettingsWindow window;
    std::string label;
    std::string before;  // in the first workspace (the image now)
    std::string after;   // in the second (the file)
};

struct SettingsComparison {
    std::vector<SettingDifference> settings;
    // Image, dialer and subscriber bytes that differ outside every named setting.
    int otherBytes = 0;
    bool same() const { return settings.empty() && otherBytes == 0; }
};

SettingsComparison compareSettings(ConstWorkspace before, ConstWorkspace after);

// One setting's change as a report shows it: a password as stars.
SettingDifference settingDifference(const Setting& setting, std::string before, std::string after);

// "1 setting differs", "3 settings differ".
std::string settingsDifferText(const SettingsComparison& comparison);

// The comparison as text, one line a setting, grouped by window, lines ended by CR LF.
std::string comparisonReport(const SettingsComparison& comparison, std::string_view beforeName,
                             std::string_view afterName);

}  // namespace veskator
