#include "cli/device_run.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "link/command_frame.h"
#include "link/parameter_load.h"

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

std::string writeOutcomeText(const LoadOutcome& outcome) {
    std::string text = "written, " + std::to_string(outcome.verified.count()) + " of " +
                       std::to_string(kBlockCount) + " blocks verified";
    if (outcome.differing.any()) {
        text += "; " + blockList(outcome.differing) +
                (outcome.differing.count() == 1 ? " differs" : " differ") + " on the device";
    }
    switch (outcome.stop) {
        case LoadOutcome::Stop::None:
            break;
        case LoadOutcome::Stop::Writing: {
            std::bitset<kBlockCount> notWritten;
            for (int b = outcome.stoppedAt; b < kBlockCount; ++b) notWritten.set(b);
            return "stopped: " + outcome.reason + "; " + blockList(notWritten) + " not written";
        }
        case LoadOutcome::Stop::ReadBack:
            text += "; read-back stopped: " + outcome.reason;
            break;
        case LoadOutcome::Stop::Rewriting:
            text += "; writing again stopped: " + outcome.reason;
            break;
    }
    return text;
}

DeviceRun::DeviceRun(const Options& options, Target target, RunServices& services)
    : m_options(options),
      m_services(services),
      m_start(services.clock.now()),
      m_engine(m_state, services.network, services.clock) {
    m_result.target = target;
    m_engine.setTarget(std::move(target));
    m_engine.requestFullRead();
}

void DeviceRun::tick() {
    if (m_phase == Phase::Done) return;
    m_engine.tick();
    const LinkStatus& status = m_engine.status();
    if (m_phase == Phase::Reading && !status.busyWith(TransferKind::FullRead)) {
        if (!m_state.holdsDeviceData()) return finish(false, status.lastError);
        onRead();
    } else if (m_phase == Phase::Writing && !status.busyWith(TransferKind::WriteAll) &&
               m_engine.idle()) {
        // Done only when the device holds every block as the file has it.
        if (!status.lastLoad) return finish(false, status.lastError);
        finish(status.lastLoad->readBack && status.lastLoad->complete(),
               writeOutcomeText(*status.lastLoad));
    }
}

void DeviceRun::onRead() {
    const auto bytes = m_state.workspace.bytes();
    switch (m_options.command) {
        case Command::Read: {
            m_result.file = outputPath(m_options, m_result.target);
            const bool saved = m_services.files.writeFileAtomically(
                m_result.file,
                std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                FileAccess::OwnerOnly);
            return finish(saved, saved ? "read, saved to " + m_result.file
                                       : "read, but " + m_result.file + " cannot be written");
        }
        case Command::Compare: {
            const std::string& name = m_options.files.front();
            const ParameterFile file = readParameterFile(m_services.files, name);
            if (!file.read()) return finish(false, parameterFileProblem(name, file));
            m_result.comparison = compareSettings(bytes, workspaceWith(m_state.workspace, file));
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
    const std::string& name = m_options.files.front();
    const LoadStart load =
        startLoad({m_state, m_engine, m_services.files, m_services.snapshots, m_services.wallClock},
                  {name, ReadBack::On});
    if (load.snapshot) m_result.file = load.snapshot->path;
    switch (load.status) {
        case LoadStart::Status::Started:
            m_phase = Phase::Writing;
            return;
        case LoadStart::Status::FileProblem:
            return finish(false, parameterFileProblem(name, load.file));
        case LoadStart::Status::SnapshotFailed:
            return finish(
                false, "snapshot " + load.snapshot->path + " could not be saved; nothing was sent");
        case LoadStart::Status::TargetChanged:
            break;
    }
    return finish(false, "the device was not read; nothing was sent");
}

void DeviceRun::finish(bool ok, std::string message) {
    m_result.ok = ok;
    m_result.message = message.empty() ? std::string("failed") : std::move(message);
    m_result.took =
        std::chrono::duration_cast<std::chrono::milliseconds>(m_services.clock.now() - m_start);
    m_phase = Phase::Done;
}

std::vector<DeviceResult> runDevices(const Options& options, Network& network, FileSystem& files,
                                     const Clock& clock, const WallClock& wallClock,
                                     const std::function<void()>& pause,
                                     const std::function<void(const DeviceResult&)>& finished) {
    SnapshotKeeper snapshots(files);
    RunServices services{network, files, clock, wallClock, snapshots};
    std::vector<DeviceResult> results;
    std::vector<std::unique_ptr<DeviceRun>> running;
    std::size_t next = 0;
    while (next < options.targets.size() || !running.empty()) {
        while (next < options.targets.size() &&
               running.size() < static_cast<std::size_t>(options.parallel)) {
            running.push_back(
                std::make_unique<DeviceRun>(options, options.targets[next++], services));
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
    ParameterWorkspace base;
    const ParameterFile one = readParameterFile(files, first);
    if (!one.read()) return parameterFileProblem(first, one);
    applyParameterFile(base, one);
    const ParameterFile other = readParameterFile(files, second);
    if (!other.read()) return parameterFileProblem(second, other);
    return compareSettings(base.bytes(), workspaceWith(base, other));
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
