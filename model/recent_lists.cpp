#include "model/recent_lists.h"

#include <algorithm>

#include "model/field_rules.h"

namespace veskator {

namespace {

std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty()) lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

}  // namespace

std::vector<RecentDevice> parseRecentDevices(std::string_view text) {
    std::vector<RecentDevice> devices;
    for (std::string_view line : linesOf(text)) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos || tab == 0) continue;
        const std::string_view rest = line.substr(tab + 1);
        const std::size_t second = rest.find('\t');
        const std::uint16_t port = parsePort(rest.substr(0, second));
        if (port == 0) continue;
        RecentDevice device{{std::string(line.substr(0, tab)), port}, {}};
        if (second != std::string_view::npos)
            device.lastRead = std::string(rest.substr(second + 1));
        devices.push_back(std::move(device));
        if (devices.size() == kRecentDeviceCount) break;
    }
    return devices;
}

std::string recentDevicesText(const std::vector<RecentDevice>& devices) {
    std::string text;
    for (const RecentDevice& d : devices) {
        text += d.target.host + '\t' + std::to_string(d.target.port) + '\t' + d.lastRead + '\n';
    }
    return text;
}

void rememberDevice(std::vector<RecentDevice>& devices, RecentDevice device) {
    std::erase_if(devices,
                  [&](const RecentDevice& d) { return sameDevice(d.target, device.target); });
    devices.insert(devices.begin(), std::move(device));
    if (devices.size() > kRecentDeviceCount) devices.resize(kRecentDeviceCount);
}

std::string recentDeviceChoice(const RecentDevice& device) {
    return device.target.text() + (device.lastRead.empty() ? "" : "   read " + device.lastRead);
}

std::vector<std::string> parseRecentFiles(std::string_view text) {
    std::vector<std::string> names;
    for (std::string_view line : linesOf(text)) {
        names.emplace_back(line);
        if (names.size() == kRecentFileCount) break;
    }
    return names;
}

std::string recentFilesText(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += name + '\n';
    return text;
}

void rememberFile(std::vector<std::string>& names, std::string name) {
    // A name of several lines could not be read back as one.
    if (name.empty() || name.find_first_of("\r\n") != std::string::npos) return;
    std::erase(names, name);
    names.insert(names.begin(), std::move(name));
    if (names.size() > kRecentFileCount) names.resize(kRecentFileCount);
}

}  // namespace veskator
