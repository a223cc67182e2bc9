#pragma once
// Parameter files (16384-byte snapshots of the workspace) and the external alarm code.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "model/programmer_state.h"
#include "platform/file_system.h"
#include "platform/wall_clock.h"

namespace veskator {

// The external alarm code is downloaded from a buffer of this size.
inline constexpr std::size_t kAlarmCodeBufferSize = 10000;

inline constexpr std::string_view kSavingNameFile = "./program/savingfile.txt";
inline constexpr std::string_view kLoadingNameFile = "./program/loadingfile.txt";
inline constexpr std::string_view kAlarmCodeFile = "./alarmcode.txt";
inline constexpr std::string_view kAlarmCodeBackup = "./alarmcode.bak";
// Before a load replaces what a read brought, the workspace is saved here; the newest are kept.
inline constexpr std::string_view kSnapshotDirectory = "./program/snapshots";
inline constexpr std::size_t kSnapshotsKept = 50;

inline constexpr std::string_view kTextSavingCompleted = "Saving completed.";
inline constexpr std::string_view kTextSavingFailed = "Saving failed.";
inline constexpr std::string_view kTextLoadQuestion = "Are you sure? Yes or No";
inline constexpr std::string_view kTextLoading = "loading";
inline constexpr std::string_view kTextLoadingFailed = "loading failed: file not found";

// Remembers the name, then writes the whole workspace under it. False when the file could not
// be created or written.
bool saveParameterFile(FileSystem& files, const ProgrammerState& state, std::string_view name);

struct LoadOutcome {
    enum class Status {
        Loaded,
        NotFound,  // the file cannot be opened
        // Fewer bytes than the image while the image holds no device data: the rest of it would
        // be zeros written over the device's settings.
        TooShort,
    };
    Status status = Status::NotFound;
    std::size_t bytes = 0;
};

// Remembers the name, then reads up to 16384 bytes of the file into `bytes`; the workspace is left
// as it is. The caller puts a Loaded outcome's bytes into the workspace from its start (a shorter
// file leaves the bytes after it as they were).
LoadOutcome readParameterFile(FileSystem& files, const ProgrammerState& state,
                              std::string_view name,
                              std::array<std::uint8_t, kWorkspaceSize>& bytes);
// What the workspace would hold after loading the file, without changing it or remembering the
// name; nullopt when the file cannot be opened.
std::optional<std::array<std::uint8_t, kWorkspaceSize>> workspaceAfterLoad(
    FileSystem& files, const ProgrammerState& state, std::string_view name);
// The message window's text for a load that did not happen.
std::string loadFailureText(std::string_view name, const LoadOutcome& outcome);

// "2026-12-08_14-03-22_192.168.1.20.bin": the local time, then the target address as typed with
// every character but letters, digits, "." and "-" made "_".
std::string snapshotName(const LocalTime& time, std::string_view target);

struct SnapshotOutcome {
    bool saved = false;
    std::string path;  // as the message window names it: "program/snapshots/<name>"
};

// Saves the workspace as a parameter file under the snapshot directory (made when missing), then
// deletes the oldest snapshots beyond the newest kSnapshotsKept; other files there stay.
SnapshotOutcome saveSnapshot(FileSystem& files, const ParameterWorkspace& workspace,
                             const LocalTime& time, std::string_view target);

struct AlarmCodeOutcome {
    std::size_t bytes = 0;  // converted bytes now at the start of the buffer
    bool created = false;   // the file was missing and has been created empty
    bool readable = true;
};

// Reads "./alarmcode.txt" (opened for reading only; created empty when missing) into the
// alarm-code buffer, turns CR into 7 and LF into "#", writes the converted bytes over the start
// of "./alarmcode.bak". The rest of the buffer is cleared, so a download carries this file only.
AlarmCodeOutcome loadAlarmCode(FileSystem& files,
                               std::array<std::uint8_t, kAlarmCodeBufferSize>& buffer);
// Why nothing is downloaded when the file gave no bytes.
std::string alarmCodeRefusal(const AlarmCodeOutcome& outcome);

}  // namespace veskator
