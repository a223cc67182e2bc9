#include "model/parameter_files.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <vector>

namespace veskator {

bool saveParameterFile(FileSystem& files, const ProgrammerState& state, std::string_view name) {
    writeWholeFile(files, kSavingNameFile, name);
    // Whole or not at all: a save that fails midway leaves the file that stood there.
    const auto bytes = state.workspace.bytes();
    return files.writeFileAtomically(
        name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

LoadOutcome readParameterFile(FileSystem& files, const ProgrammerState& state,
                              std::string_view name,
                              std::array<std::uint8_t, kWorkspaceSize>& bytes) {
    writeWholeFile(files, kLoadingNameFile, name);
    LoadOutcome outcome;
    auto file = files.open(name, FileOpen::ReadExisting);
    if (!file) return outcome;
    outcome.bytes = file->read(bytes);
    outcome.status = outcome.bytes < kImageSize && !state.imageHoldsDeviceData
                         ? LoadOutcome::Status::TooShort
                         : LoadOutcome::Status::Loaded;
    return outcome;
}

std::optional<std::array<std::uint8_t, kWorkspaceSize>> workspaceAfterLoad(
    FileSystem& files, const ProgrammerState& state, std::string_view name) {
    auto file = files.open(name, FileOpen::ReadExisting);
    if (!file) return std::nullopt;
    std::array<std::uint8_t, kWorkspaceSize> bytes{};
    const auto current = state.workspace.bytes();
    std::copy(current.begin(), current.end(), bytes.begin());
    // A shorter file leaves the bytes after it as they are, as a load would.
    std::array<std::uint8_t, kWorkspaceSize> read{};
    const std::size_t n = file->read(read);
    std::copy_n(read.begin(), n, bytes.begin());
    return bytes;
}

std::string loadFailureText(std::string_view name, const LoadOutcome& outcome) {
    if (outcome.status == LoadOutcome::Status::TooShort) {
        return "loading failed: " + std::string(name) + " holds " + std::to_string(outcome.bytes) +
               " bytes, the image needs " + std::to_string(kImageSize);
    }
    return std::string(kTextLoadingFailed);
}

namespace {

constexpr std::string_view kSnapshotExtension = ".bin";
constexpr std::size_t kSnapshotTimeLength = 19;  // "2026-12-08_14-03-22"
constexpr std::size_t kSnapshotTargetChars = 64;

bool isSnapshotName(std::string_view name) {
    constexpr std::string_view kShape = "dddd-dd-dd_dd-dd-dd_";
    if (name.size() <= kShape.size() + kSnapshotExtension.size() ||
        !name.ends_with(kSnapshotExtension))
        return false;
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(name[i])) != 0;
        if (kShape[i] == 'd' ? !digit : name[i] != kShape[i]) return false;
    }
    return true;
}

// Deletes the oldest snapshots beyond the newest kSnapshotsKept: names begin with the time, so
// they sort by it. The one just written (`keep`) stays whatever the clock did.
void pruneSnapshots(FileSystem& files, std::string_view keep) {
    std::vector<std::string> names = files.listFiles(kSnapshotDirectory);
    std::erase_if(names, [&](const std::string& n) { return !isSnapshotName(n) || n == keep; });
    std::sort(names.begin(), names.end());
    const std::size_t older = kSnapshotsKept - 1;  // besides the one just written
    for (std::size_t i = 0; i + older < names.size(); ++i) {
        files.removeFile(std::string(kSnapshotDirectory) + "/" + names[i]);
    }
}

}  // namespace

std::string snapshotName(const LocalTime& time, std::string_view target) {
    std::array<char, kSnapshotTimeLength + 1> stamp{};
    std::snprintf(stamp.data(), stamp.size(), "%04d-%02d-%02d_%02d-%02d-%02d",
                  std::clamp(time.year, 0, 9999), std::clamp(time.month, 0, 99),
                  std::clamp(time.day, 0, 99), std::clamp(time.hour, 0, 99),
                  std::clamp(time.minute, 0, 99), std::clamp(time.second, 0, 99));
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!target.empty() && blank(target.front())) target.remove_prefix(1);
    while (!target.empty() && blank(target.back())) target.remove_suffix(1);
    std::string safe;
    for (const char c : target.substr(0, kSnapshotTargetChars)) {
        const bool kept = std::isalnum(static_cast<unsigned char>(c)) != 0 && (c & 0x80) == 0;
        safe += kept || c == '.' || c == '-' ? c : '_';
    }
    if (safe.empty()) safe = "no-address";
    return std::string(stamp.data()) + "_" + safe + std::string(kSnapshotExtension);
}

SnapshotOutcome saveSnapshot(FileSystem& files, const ParameterWorkspace& workspace,
                             const LocalTime& time, std::string_view target) {
    const std::string name = snapshotName(time, target);
    const std::string path = std::string(kSnapshotDirectory) + "/" + name;
    SnapshotOutcome outcome;
    outcome.path = path.substr(path.find('/') + 1);  // without the leading "./"
    files.makeDirectory(kSnapshotDirectory);
    const auto bytes = workspace.bytes();
    outcome.saved = files.writeFileAtomically(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (outcome.saved) pruneSnapshots(files, name);
    return outcome;
}

AlarmCodeOutcome loadAlarmCode(FileSystem& files,
                               std::array<std::uint8_t, kAlarmCodeBufferSize>& code) {
    AlarmCodeOutcome outcome;
    if (auto file = openForReading(files, kAlarmCodeFile, &outcome.created)) {
        outcome.bytes = file->read(code);
    } else {
        outcome.readable = false;
    }
    auto buffer = std::span(code);
    // An earlier, longer file's tail (and its end mark) must not ride along with this one.
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(outcome.bytes), buffer.end(), 0);
    auto converted = buffer.first(outcome.bytes);
    // The device takes the code as one line: CR becomes 7 and LF becomes "#".
    for (std::uint8_t& b : converted) {
        if (b == 13) {
            b = 7;
        } else if (b == 10) {
            b = '#';
        }
    }
    if (auto backup = files.open(kAlarmCodeBackup, FileOpen::OpenOrCreate))
        backup->write(converted);
    return outcome;
}

std::string alarmCodeRefusal(const AlarmCodeOutcome& outcome) {
    const std::string file(kAlarmCodeFile);
    if (!outcome.readable) return "alarm code not sent: " + file + " cannot be read";
    if (outcome.created) {
        return "alarm code not sent: " + file + " was missing and has been created empty";
    }
    return "alarm code not sent: " + file + " is empty";
}

}  // namespace veskator
