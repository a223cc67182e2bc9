#include "model/parameter_files.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <functional>
#include <vector>

namespace veskator {

bool saveParameterFile(FileSystem& files, const ParameterWorkspace& workspace,
                       std::string_view name) {
    writeWholeFile(files, kSavingNameFile, name);
    // Whole or not at all: a save that fails midway leaves the file that stood there.
    const auto bytes = workspace.bytes();
    return files.writeFileAtomically(
        name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
        FileAccess::OwnerOnly);
}

ParameterFile readParameterFile(FileSystem& files, std::string_view name, FileSizeRule rule) {
    ParameterFile result;
    auto file = files.open(name, FileOpen::ReadExisting);
    if (!file) return result;
    // One byte more than the workspace tells a larger file from a whole one.
    std::array<std::uint8_t, kWorkspaceSize + 1> bytes{};
    result.bytes = file->read(bytes);
    std::copy_n(bytes.begin(), std::min(result.bytes, kWorkspaceSize), result.content.begin());
    const bool whole = result.bytes == kWorkspaceSize || result.bytes == kImageSize;
    result.status = whole || rule == FileSizeRule::AnySize ? ParameterFile::Status::Read
                                                           : ParameterFile::Status::WrongSize;
    return result;
}

std::string snapshotNotSavedText(const SnapshotOutcome& snapshot) {
    return std::string("snapshot ")
        .append(snapshot.path)
        .append(" could not be saved; nothing was sent");
}

std::string parameterFileProblem(std::string_view name, const ParameterFile& file) {
    const std::string named(name);
    switch (file.status) {
        case ParameterFile::Status::Read:
            return {};
        case ParameterFile::Status::NotFound:
            return named + " cannot be read";
        case ParameterFile::Status::WrongSize:
            break;
    }
    const std::string size = file.bytes > kWorkspaceSize
                                 ? "more than " + std::to_string(kWorkspaceSize) + " bytes"
                                 : std::to_string(file.bytes) + " bytes";
    return named + " holds " + size + "; a parameter file holds " + std::to_string(kImageSize) +
           " or " + std::to_string(kWorkspaceSize);
}

std::array<std::uint8_t, kWorkspaceSize> workspaceWith(const ParameterWorkspace& workspace,
                                                       const ParameterFile& file) {
    std::array<std::uint8_t, kWorkspaceSize> bytes{};
    const auto current = workspace.bytes();
    std::copy(current.begin(), current.end(), bytes.begin());
    std::copy_n(file.content.begin(), std::min(file.bytes, kWorkspaceSize), bytes.begin());
    return bytes;
}

void applyParameterFile(ParameterWorkspace& workspace, const ParameterFile& file) {
    const auto bytes = workspaceWith(workspace, file);
    std::copy(bytes.begin(), bytes.end(), workspace.bytes().begin());
}

namespace {

constexpr std::string_view kSnapshotExtension = ".bin";
constexpr std::size_t kSnapshotTimeLength = 19;  // "2026-12-08_14-03-22"
// A file name holds at most 255 bytes, and the atomic write's temporary name adds 11 to it.
constexpr std::size_t kSnapshotNameMax = 255 - 11;
// Room for a suffix that keeps a second snapshot of the same second apart ("-99").
constexpr std::size_t kSuffixRoom = 4;

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

std::string safeHost(std::string_view host, std::size_t room) {
    std::string safe;
    for (const char c : trimmedHost(host)) {
        const bool kept = std::isalnum(static_cast<unsigned char>(c)) != 0 && (c & 0x80) == 0;
        safe += kept || c == '.' || c == '-' ? c : '_';
    }
    if (safe.empty()) return "no-address";
    if (safe.size() <= room) return safe;
    // Both ends tell hosts apart: a name's head and a domain's tail.
    const std::size_t head = (room - 1) / 2;
    const std::size_t tail = room - 1 - head;
    return safe.substr(0, head) + "~" + safe.substr(safe.size() - tail);
}

}  // namespace

std::string snapshotName(const LocalTime& time, const Target& device) {
    std::array<char, kSnapshotTimeLength + 1> stamp{};
    std::snprintf(stamp.data(), stamp.size(), "%04d-%02d-%02d_%02d-%02d-%02d",
                  std::clamp(time.year, 0, 9999), std::clamp(time.month, 0, 99),
                  std::clamp(time.day, 0, 99), std::clamp(time.hour, 0, 99),
                  std::clamp(time.minute, 0, 99), std::clamp(time.second, 0, 99));
    // Appended: GCC 12 at -O3 takes a one-character prefix insert for an overlapping copy.
    std::string port(1, '_');
    port += std::to_string(device.port);
    const std::size_t room = kSnapshotNameMax - kSnapshotTimeLength - 1 - port.size() -
                             kSuffixRoom - kSnapshotExtension.size();
    return std::string(stamp.data()) + "_" + safeHost(device.host, room) + port +
           std::string(kSnapshotExtension);
}

SnapshotOutcome SnapshotKeeper::save(const ParameterWorkspace& workspace, const LocalTime& time,
                                     const Target& device) {
    const std::string name = snapshotName(time, device);
    const std::string_view stem =
        std::string_view(name).substr(0, name.size() - kSnapshotExtension.size());
    m_files.makeDirectory(kSnapshotDirectory, FileAccess::OwnerOnly);
    const auto bytes = workspace.bytes();
    const std::string_view content(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    SnapshotOutcome outcome;
    for (int n = 1; n < 100 && !outcome.saved; ++n) {
        const std::string candidate =
            n == 1 ? name
                   : std::string(stem) + "-" + std::to_string(n) + std::string(kSnapshotExtension);
        const std::string path = std::string(kSnapshotDirectory) + "/" + candidate;
        outcome.path = path.substr(path.find('/') + 1);  // without the leading "./"
        outcome.saved =
            m_files.writeFileAtomically(path, content, FileAccess::OwnerOnly, Existing::Keep);
        if (outcome.saved) {
            m_made.insert(candidate);
        } else if (m_files.open(path, FileOpen::ReadExisting) == nullptr) {
            break;  // not taken by another snapshot: the folder cannot be written
        }
    }
    if (outcome.saved) prune();
    return outcome;
}

// Names begin with the time, so they sort by it. The newest kSnapshotsKept stay, and so does
// every snapshot this keeper made, whatever the clock did.
void SnapshotKeeper::prune() {
    std::vector<std::string> names = m_files.listFiles(kSnapshotDirectory);
    std::erase_if(names, [](const std::string& n) { return !isSnapshotName(n); });
    std::sort(names.begin(), names.end(), std::greater<>());
    std::size_t kept = 0;
    for (const std::string& name : names) {
        if (m_made.contains(name)) {
            ++kept;
        } else if (kept < kSnapshotsKept) {
            ++kept;
        } else {
            m_files.removeFile(std::string(kSnapshotDirectory) + "/" + name);
        }
    }
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
