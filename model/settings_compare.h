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

// A byte that differs where no window names a setting, as sent (13 in the image as 12).
struct ByteDifference {
    std::size_t offset = 0;  // in the workspace
    std::uint8_t before = 0;
    std::uint8_t after = 0;
};

struct SettingsComparison {
    std::vector<SettingDifference> settings;
    // Image, dialer and subscriber bytes that differ outside every named setting.
    int otherBytes = 0;
    std::vector<ByteDifference> others;  // each of them, in workspace order
    bool same() const { return settings.empty() && otherBytes == 0; }
};

SettingsComparison compareSettings(ConstWorkspace before, ConstWorkspace after);

// One setting's change as a report shows it: a password as stars.
SettingDifference settingDifference(const Setting& setting, std::string before, std::string after);

// "1 setting differs", "3 settings differ".
std::string settingsDifferText(const SettingsComparison& comparison);

// Where a workspace byte lies, as a technician names it: "A3 offset 0x12" in the image, "dialer
// data offset 0x258", "subscribers offset 0x10".
std::string bytePlaceText(std::size_t offset);
// "0x5a".
std::string byteText(std::uint8_t byte);

// The comparison as comma-separated values, a heading line first: window, setting, the two
// names' values; then a line for each other byte (its place, both bytes). Lines end in CR LF;
// a field with a comma, a quote or a line end is quoted.
std::string comparisonCsv(const SettingsComparison& comparison, std::string_view beforeName,
                          std::string_view afterName);

// The comparison as text, one line a setting, grouped by window, lines ended by CR LF.
std::string comparisonReport(const SettingsComparison& comparison, std::string_view beforeName,
                             std::string_view afterName);

}  // namespace veskator
