#pragma once
// What the main window offers again: the devices last read (host, port, when) and the parameter
// files last saved and loaded, newest first, each kept in a small text file of ./program/.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "model/device_target.h"
#include "platform/wall_clock.h"

namespace veskator {

inline constexpr std::string_view kRecentDevicesFile = "./program/recentdevices.txt";
inline constexpr std::string_view kRecentSavesFile = "./program/recentsaves.txt";
inline constexpr std::string_view kRecentLoadsFile = "./program/recentloads.txt";
inline constexpr std::size_t kRecentDeviceCount = 20;
inline constexpr std::size_t kRecentFileCount = 10;
// More than the lists can hold: a longer file is someone else's, and only its start is read.
inline constexpr std::size_t kRecentFileBytes = 16384;

struct RecentDevice {
    Target target;
    std::string lastRead;  // "2026-12-08 15:40:12", local time
};

// One device a line: host, port and time of the last read, separated by tabs. Lines that do not
// name a host and a port are skipped; at most kRecentDeviceCount are taken.
std::vector<RecentDevice> parseRecentDevices(std::string_view text);
std::string recentDevicesText(const std::vector<RecentDevice>& devices);
// The device goes first; an entry of the same device goes, and the oldest beyond the count.
void rememberDevice(std::vector<RecentDevice>& devices, RecentDevice device);
// "127.0.0.1:4000   read 2026-12-08 15:40:12", as a list offers it.
std::string recentDeviceChoice(const RecentDevice& device);

// One file name a line, at most kRecentFileCount.
std::vector<std::string> parseRecentFiles(std::string_view text);
std::string recentFilesText(const std::vector<std::string>& names);
void rememberFile(std::vector<std::string>& names, std::string name);

}  // namespace veskator
