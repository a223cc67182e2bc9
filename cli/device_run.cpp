#include "cli/device_run.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "link/command_frame.h"
#include "model/parameter_files.h"

namespace veskator::cli {

namespace {

std::string_view commandName(Command command) {
    switch (command) {
        case Command::Read:
            return "read";
        case Command::Write:
            return "write";
        case Command::Compare:
            return "compare";
        case Command::Diff:
            return "diff";
    }
    return {};
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (ch) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                if (c < 0x20 || c >= 0x7f) {
                    // Device texts are 8-bit bytes: each is written as its own code point.
                    std::array<char, 8> escaped{};
                    std::snprintf(escaped.data(), escaped.size(), "\\u%04x", c);
                    out += escaped.data();
                } else {
                    out += ch;
                }
        }
    }
    return out + "\"";
}

std::string comparisonJson(const SettingsComparison& comparison) {
    std::string out = "{\"settings\":[";
    for (std::size_t i = 0; i < comparison.settings.size(); ++i) {
        const SettingDifference& d = comparison.settings[i];
        if (i > 0) out += ',';
        out += "{\"window\":" + jsonString(windowName(d.window)) +
               ",\"setting\":" + jsonString(d.label) + ",\"device\":" + jsonString(d.before) +
               ",\"file\":" + jsonString(d.after) + "}";
    }
    return out + "],\"otherBytes\":" + std::to_string(comparison.otherBytes) + "}";
}

}  // namespace

std::string diffJson(const SettingsComparison& comparison) {
    return "{\"command\":\"diff\",\"comparison\":" + comparisonJson(comparison) + "}\n";
}

DeviceRun::DeviceRun(const Options& options, Target target, Network& network, FileSystem& files,
                     const Clock& clock, const WallClock& wallClock)
    : m_options(options),
      m_files(files),
      m_clock(clock),
      m_wallClock(wallClock),
      m_start(clock.now()),
      m_engine(m_state, network, m_noLogs, clock) {
    m_result.target = target;
    m_engine.setTarget(target.host, target.port);
    m_engine.requestFullRead();
}

void DeviceRun::tick() {
    if (m_phase == Phase::Done) return;
    m_engine.tick();
    const LinkStatus& status = m_engine.status();
    if (m_phase == Phase::Reading && !status.fullReadPending) {
        if (!m_state.imageHoldsDeviceData) return finish(false, status.lastError);
        onRead();
    } else if (m_phase == Phase::Writing && !status.writeAllPending && m_engine.idle()) {
        // Done only when the device holds every block as the file has it.
        const std::string allVerified = std::string(kTextLoadingCompleted) + ", " +
                                        std::to_string(kBlockCount) + " of " +
                                        std::to_string(kBlockCount) + " blocks verified";
        finish(status.lastLoad == allVerified,
               status.lastLoad.empty() ? status.lastError : status.lastLoad);
    }
}

void DeviceRun::onRead() {
    const auto bytes = m_state.workspace.bytes();
    switch (m_options.command) {
        case Command::Read: {
            m_result.file = outputPath(m_options, m_result.target);
            const bool saved = m_files.writeFileAtomically(
                m_result.file,
                std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
            return finish(saved, saved ? "read, saved to " + m_result.file
                                       : "read, but " + m_result.file + " cannot be written");
        }
        case Command::Compare: {
            const auto after = workspaceAfterLoad(m_files, m_state, m_options.files.front());
            if (!after) return finish(false, m_options.files.front() + " cannot be read");
            m_result.comparison = compareSettings(bytes, *after);
            return finish(
                true, std::to_string(m_result.comparison->settings.size()) + " settings differ");
        }
        case Command::Write:
            return startWrite();
        case Command::Diff:
            return finish(false, "diff reads no device");
    }
}

// What the device held is kept as a snapshot first; without one nothing is written.
void DeviceRun::startWrite() {
    const auto after = workspaceAfterLoad(m_files, m_state, m_options.files.front());
    if (!after) return finish(false, m_options.files.front() + " cannot be read");
    const SnapshotOutcome snapshot =
        saveSnapshot(m_files, m_state.workspace, m_wallClock.localNow(), m_result.target.text());
    m_result.file = snapshot.path;
    if (!snapshot.saved) {
        return finish(false, "snapshot " + snapshot.path + " could not be saved; nothing was sent");
    }
    std::copy(after->begin(), after->end(), m_state.workspace.bytes().begin());
    m_engine.requestWriteAll(ReadBack::On);
    m_phase = Phase::Writing;
}

void DeviceRun::finish(bool ok, std::string message) {
    m_result.ok = ok;
    m_result.message = message.empty() ? std::string("failed") : std::move(message);
    m_result.took = std::chrono::duration_cast<std::chrono::milliseconds>(m_clock.now() - m_start);
    m_phase = Phase::Done;
}

std::vector<DeviceResult> runDevices(const Options& options, Network& network, FileSystem& files,
                                     const Clock& clock, const WallClock& wallClock,
                                     const std::function<void()>& pause,
                                     const std::function<void(const DeviceResult&)>& finished) {
    std::vector<DeviceResult> results;
    std::vector<std::unique_ptr<DeviceRun>> running;
    std::size_t next = 0;
    while (next < options.targets.size() || !running.empty()) {
        while (next < options.targets.size() &&
               running.size() < static_cast<std::size_t>(options.parallel)) {
            running.push_back(std::make_unique<DeviceRun>(options, options.targets[next++], network,
                                                          files, clock, wallClock));
        }
        for (auto& run : running) run->tick();
        for (auto it = running.begin(); it != running.end();) {
            if (!(*it)->done()) {
                ++it;
                continue;
            }
            results.push_back((*it)->result());
            if (finished) finished(results.back());
            it = running.erase(it);
        }
        if (!running.empty()) pause();
    }
    return results;
}

std::variant<SettingsComparison, std::string> diffFiles(FileSystem& files, const std::string& first,
                                                        const std::string& second) {
    // The second file is read over the first, as loading it would be.
    ProgrammerState state;
    const auto base = workspaceAfterLoad(files, state, first);
    if (!base) return first + " cannot be read";
    std::copy(base->begin(), base->end(), state.workspace.bytes().begin());
    const auto other = workspaceAfterLoad(files, state, second);
    if (!other) return second + " cannot be read";
    return compareSettings(state.workspace.bytes(), *other);
}

int exitStatus(const std::vector<DeviceResult>& results) {
    return std::all_of(results.begin(), results.end(), [](const auto& r) { return r.ok; }) ? 0 : 1;
}

std::string resultLine(const DeviceResult& result) {
    std::string line = result.target.text() + "  " + (result.ok ? "ok" : "FAILED") + "  " +
                       result.message + " (" + std::to_string(result.took.count()) + " ms)\n";
    if (result.comparison) {
        line += comparisonReport(*result.comparison, "device", "file");
    }
    return line;
}

std::string resultsJson(Command command, const std::vector<DeviceResult>& results) {
    std::string out = "{\"command\":" + jsonString(commandName(command)) + ",\"results\":[";
    for (std::size_t i = 0; i < results.size(); ++i) {
        const DeviceResult& r = results[i];
        if (i > 0) out += ',';
        out += "{\"device\":" + jsonString(r.target.text()) +
               ",\"ok\":" + (r.ok ? "true" : "false") + ",\"message\":" + jsonString(r.message) +
               ",\"milliseconds\":" + std::to_string(r.took.count());
        if (!r.file.empty()) out += ",\"file\":" + jsonString(r.file);
        if (r.comparison) out += ",\"comparison\":" + comparisonJson(*r.comparison);
        out += '}';
    }
    return out + "],\"failed\":" +
           std::to_string(
               std::count_if(results.begin(), results.end(), [](const auto& r) { return !r.ok; })) +
           "}\n";
}

}  // namespace veskator::cli
