#include "mainwin/parameter_files.h"

#include <algorithm>
#include <array>

namespace veskator {

bool saveParameterFile(FileSystem& files, const ProgrammerState& state, std::string_view name) {
    writeWholeFile(files, kSavingNameFile, name);
    auto file = files.open(name, FileOpen::CreateEmpty);
    return file && file->write(state.workspace.bytes());
}

bool loadParameterFile(FileSystem& files, ProgrammerState& state, std::string_view name) {
    writeWholeFile(files, kLoadingNameFile, name);
    auto file = files.open(name, FileOpen::ReadExisting);
    if (!file) return false;
    // Read into a copy first: a read that stops early still replaces only what it read.
    std::array<std::uint8_t, kWorkspaceSize> bytes{};
    const std::size_t n = file->read(bytes);
    std::copy_n(bytes.begin(), n, state.workspace.bytes().begin());
    return true;
}

std::size_t loadAlarmCode(FileSystem& files, ProgrammerState& state) {
    state.alarmCodeSource = 0;
    std::size_t n = 0;
    if (auto file = files.open(kAlarmCodeFile, FileOpen::OpenOrCreate)) {
        n = file->read(state.alarmCodeBuffer);
    }
    auto converted = std::span(state.alarmCodeBuffer).first(n);
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
    return n;
}

}  // namespace veskator
