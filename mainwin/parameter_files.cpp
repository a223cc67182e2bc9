#include "mainwin/parameter_files.h"

#include <algorithm>
#include <array>

namespace veskator {

bool saveParameterFile(FileSystem& files, const ProgrammerState& state, std::string_view name) {
    writeWholeFile(files, kSavingNameFile, name);
    // Whole or not at all: a save that fails midway leaves the file that stood there.
    const auto bytes = state.workspace.bytes();
    return files.writeFileAtomically(
        name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

LoadOutcome loadParameterFile(FileSystem& files, ProgrammerState& state, std::string_view name) {
    writeWholeFile(files, kLoadingNameFile, name);
    LoadOutcome outcome;
    auto file = files.open(name, FileOpen::ReadExisting);
    if (!file) return outcome;
    // Read into a copy first: a read that stops early still replaces only what it read.
    std::array<std::uint8_t, kWorkspaceSize> bytes{};
    outcome.bytes = file->read(bytes);
    if (outcome.bytes < kImageSize && !state.imageHoldsDeviceData) {
        outcome.status = LoadOutcome::Status::TooShort;
        return outcome;
    }
    std::copy_n(bytes.begin(), outcome.bytes, state.workspace.bytes().begin());
    outcome.status = LoadOutcome::Status::Loaded;
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
