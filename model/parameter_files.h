#pragma once
// Parameter files (snapshots of the workspace: 16384 bytes, or the 1024 bytes of the image alone),
// the snapshots a load keeps of the device first, and the external alarm code.

#include <array>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "model/device_target.h"
#include "model/parameter_workspace.h"
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

// Remembers the name, then writes the whole workspace under it, readable by its owner only (it
// holds the device's passwords). False when the file could not be created or written.
bool saveParameterFile(FileSystem& files, const ParameterWorkspace& workspace,
                       std::string_view name);

// Which files count as parameter files: exactly the workspace or the image, or (asked for by
// name) any file, whose bytes then go over the start of the workspace.
enum class FileSizeRule { ParameterFile, AnySize };

struct ParameterFile {
    enum class Status {
        Read,
        NotFound,   // cannot be opened
        WrongSize,  // neither 1024 nor 16384 bytes
    };
    Status status = Status::NotFound;
    std::size_t bytes = 0;  // the file's size, up to one byte more than the workspace
    std::array<std::uint8_t, kWorkspaceSize> content{};  // its first bytes

    bool read() const { return status == Status::Read; }
};

ParameterFile readParameterFile(FileSystem& files, std::string_view name,
                                FileSizeRule rule = FileSizeRule::ParameterFile);
// Why a file that was not read cannot be loaded: "notes.txt holds 12 bytes; a parameter file
// holds 1024 or 16384".
std::string parameterFileProblem(std::string_view name, const ParameterFile& file);
// The workspace with the file over its start: a file of the image alone leaves the rest as it is.
std::array<std::uint8_t, kWorkspaceSize> workspaceWith(const ParameterWorkspace& workspace,
                                                       const ParameterFile& file);
void applyParameterFile(ParameterWorkspace& workspace, const ParameterFile& file);

// "2026-12-08_14-03-22_192.168.1.20_4000.bin": the local time, then the device's host (every
// character but letters, digits, "." and "-" made "_", shortened in its middle only where the
// name would be too long for the file system) and its whole port.
std::string snapshotName(const LocalTime& time, const Target& device);

struct SnapshotOutcome {
    bool saved = false;
    std::string path;  // as the message window names it: "program/snapshots/<name>"
};
// Why nothing was sent: "snapshot <path> could not be saved; nothing was sent".
std::string snapshotNotSavedText(const SnapshotOutcome& snapshot);

// Saves the workspace as a snapshot of the device before a load replaces it. A snapshot never
// replaces another (a second one of the same second gets a suffix), and pruning to the newest
// kSnapshotsKept never removes one that this keeper has made: one keeper lives for a whole run of
// the program or of the command line. The folder and the files are readable by their owner only.
class SnapshotKeeper {
  public:
    explicit SnapshotKeeper(FileSystem& files) : m_files(files) {}
    SnapshotOutcome save(const ParameterWorkspace& workspace, const LocalTime& time,
                         const Target& device);
    std::size_t made() const { return m_made.size(); }

  private:
    void prune();

    FileSystem& m_files;
    std::set<std::string> m_made;
};

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
