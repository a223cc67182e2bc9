#pragma once
// Parameter files (16384-byte snapshots of the workspace) and the external alarm code.

#include <string>
#include <string_view>

#include "link/programmer_state.h"
#include "platform/file_system.h"

namespace veskator {

inline constexpr std::string_view kSavingNameFile = "./program/savingfile.txt";
inline constexpr std::string_view kLoadingNameFile = "./program/loadingfile.txt";
inline constexpr std::string_view kAlarmCodeFile = "./alarmcode.txt";
inline constexpr std::string_view kAlarmCodeBackup = "./alarmcode.bak";

inline constexpr std::string_view kTextSavingCompleted = "Saving completed.";
inline constexpr std::string_view kTextSavingFailed = "Saving failed.";
inline constexpr std::string_view kTextLoadQuestion = "Are you sure? Yes or No";
inline constexpr std::string_view kTextLoading = "loading";
inline constexpr std::string_view kTextLoadingFailed = "loading failed: file not found";

// Remembers the name, then writes the whole workspace under it. False when the file could not
// be created or written.
bool saveParameterFile(FileSystem& files, const ProgrammerState& state, std::string_view name);

// Remembers the name, then reads up to 16384 bytes of the file into the workspace from its start
// (a shorter file leaves the bytes after it as they were). False, with the workspace untouched,
// when the file cannot be opened.
bool loadParameterFile(FileSystem& files, ProgrammerState& state, std::string_view name);

// Reads "./alarmcode.txt" (created empty when missing) into the alarm-code buffer, turns CR into
// 7 and LF into "#", writes the converted bytes over the start of "./alarmcode.bak" and returns
// their count.
std::size_t loadAlarmCode(FileSystem& files, ProgrammerState& state);

}  // namespace veskator
