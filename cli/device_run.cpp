#include "cli/device_run.h"

#include <algorithm>
#include <array>
#include <map>

#include "link/parameter_load.h"

namespace veskator::cli {

namespace {

// "A0 to A2", or "A0 A3" where the blocks are not one run from A0.
std::string heldBlocks(const std::bitset<kBlockCount>& blocks) {
    int last = -1;
    for (int b = 0; b < kBlockCount; ++b) {
        if (blocks.test(static_cast<std::size_t>(b))) last = b;
    }
    bool run = last >= 0;
    for (int b = 0; b <= last; ++b) run = run && blocks.test(static_cast<std::size_t>(b));
    if (!run || last == 0) return blockList(blocks);
    std::string text = "A0 to A";
    text += std::to_string(last);
    return text;
}

// What the interrupted write left on the device.
std::string interruptedText(const LoadOutcome& outcome, std::string_view what,
                            const std::string& snapshot) {
    std::string text = "interrupted: ";
    text += outcome.written.none()
                ? "nothing was written, the device keeps its old settings"
                : "the device holds " + heldBlocks(outcome.written) + " of " + std::string(what);
    if (!snapshot.empty()) text += "; snapshot " + snapshot;
    return text;
}

// Writes of earlier runs cut short on the devices of this run, and lines of the journal skipped.
void warnInterrupted(const WriteJournal& journal, const std::vector<Target>& targets,
                     const WallClock& wallClock,
                     const std::function<void(const std::string&)>& warning) {
    const JournalContent content = journal.read();
    for (const std::string& note : content.notes) warning(note);
    const std::string today = dateText(wallClock.localNow());
    for (const JournalJob& job : journal.interrupted(content)) {
        const bool touched = std::any_of(targets.begin(), targets.end(), [&](const Target& t) {
            return Target{std::string(trimmedHost(t.host)), t.port}.text() == job.device;
        });
        if (touched) warning(interruptedText(job, today));
    }
}

// A look-up answered at once.
class FoundLookup final : public HostLookup {
  public:
    explicit FoundLookup(Ipv4Address address) : m_address(address) {}
    LookupStatus status() override { return LookupStatus::Done; }
    Ipv4Address address() override { return m_address; }

  private:
    Ipv4Address m_address;
};

// The hosts as the checks found them: no device's run asks a resolver again, so a fleet of names
// starts no worker per device, and a name means one address for the whole run.
class FoundHosts final : public Network {
  public:
    FoundHosts(Network& network, const std::map<std::string, Ipv4Address>& addresses)
        : m_network(network), m_addresses(addresses) {}
    std::unique_ptr<HostLookup> lookup(std::string_view hostName) override {
        const auto found = m_addresses.find(std::string(trimmedHost(hostName)));
        if (found == m_addresses.end()) return m_network.lookup(hostName);
        return std::make_unique<FoundLookup>(found->second);
    }
    std::unique_ptr<StreamSocket> connect(Ipv4Address address, std::uint16_t port) override {
        return m_network.connect(address, port);
    }

  private:
    Network& m_network;
    const std::map<std::string, Ipv4Address>& m_addresses;
};

std::string settingsCount(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " setting" : " settings");
}

}  // namespace

std::string writeOutcomeText(const LoadOutcome& outcome) {
    std::string text = "written, " + std::to_string(outcome.verified.count()) + " of " +
                       std::to_string(outcome.blocks.count()) + " blocks verified";
    if (outcome.differing.any()) {
        text += "; " + blockList(outcome.differing) +
                (outcome.differing.count() == 1 ? " differs" : " differ") + " on the device";
    }
    switch (outcome.stop) {
        case LoadOutcome::Stop::None:
        case LoadOutcome::Stop::Interrupted:
            break;
        case LoadOutcome::Stop::Writing:
            return "stopped: " + outcome.reason + "; " +
                   blockList(outcome.blocks & ~outcome.written) + " not written";
        case LoadOutcome::Stop::ReadBack:
            text += "; read-back stopped: " + outcome.reason;
            break;
        case LoadOutcome::Stop::Rewriting:
            text += "; writing again stopped: " + outcome.reason;
            break;
    }
    return text;
}

DeviceRun::DeviceRun(const Options& options, Target target, std::size_t index,
                     RunServices& services)
    : m_options(options),
      m_services(services),
      m_start(services.clock.now()),
      m_engine(m_state, services.network, services.clock) {
    if (services.journal != nullptr) {
        m_journal.emplace(*services.journal, m_state);
        m_engine.setWriteObserver(&*m_journal);
    }
    m_result.target = target;
    m_result.index = index;
    m_engine.setTarget(std::move(target));
    m_engine.requestFullRead();
}

void DeviceRun::interrupt() {
    if (m_phase != Phase::Done) m_engine.halt();
}

void DeviceRun::tick() {
    if (m_phase == Phase::Done) return;
    m_engine.tick();
    const LinkStatus& status = m_engine.status();
    if (m_engine.halted()) {
        if (m_engine.settled()) onInterrupted();
        return;
    }
    if (m_phase == Phase::Reading && !status.busyWith(TransferKind::FullRead)) {
        if (!m_state.holdsDeviceData()) return finish(false, status.lastError);
        onRead();
    } else if (m_phase == Phase::Writing && !status.busyWith(TransferKind::WriteAll) &&
               m_engine.idle()) {
        onWritten();
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
            m_result.comparison = compareSettings(
                bytes, workspaceWith(m_state.workspace, m_services.prepared.files.front()));
            return finish(true, settingsDifferText(*m_result.comparison));
        }
        case Command::Get:
            m_result.settings = settingsOf(bytes, m_options.keys, true);
            return finish(true, "read");
        case Command::Write:
            return startWrite();
        case Command::Set:
            return startSet();
        case Command::Diff:
        case Command::History:
        case Command::Settings:
            return finish(false, "reads no device");
    }
}

// What the device held is kept as a snapshot first; without one nothing is written.
void DeviceRun::startWrite() {
    const std::string& name = m_options.files.front();
    const LoadStart load =
        startLoad({m_state, m_engine, m_services.files, m_services.snapshots, m_services.wallClock},
                  {name, ReadBack::On,
                   m_options.anySize ? FileSizeRule::AnySize : FileSizeRule::ParameterFile});
    if (load.snapshot) m_result.file = load.snapshot->path;
    switch (load.status) {
        case LoadStart::Status::Started:
            m_phase = Phase::Writing;
            return;
        case LoadStart::Status::FileProblem:
            return finish(false, parameterFileProblem(name, load.file));
        case LoadStart::Status::SnapshotFailed:
            return finish(false, snapshotNotSavedText(*load.snapshot));
        case LoadStart::Status::TargetChanged:
            break;
    }
    return finish(false, "the device was not read; nothing was sent");
}

// The named settings by the windows' own rules; only the blocks that then differ, as they are
// sent, are written and read back. A device that holds the values already is left alone: no
// snapshot, no frame beyond the read.
void DeviceRun::startSet() {
    std::array<std::uint8_t, kWorkspaceSize> changed{};
    const auto now = m_state.workspace.bytes();
    std::copy(now.begin(), now.end(), changed.begin());
    const std::vector<Assignment>& assignments =
        m_services.prepared.assignmentsFor(m_result.target);
    // A value that shows as the device's own is not stored: a choice or a pair of options may
    // show one way for several byte values, and storing would write a block for nothing.
    for (const Assignment& a : assignments) {
        std::array<std::uint8_t, kWorkspaceSize> tried = changed;
        a.setting->store(tried, a.value);
        if (a.setting->show(tried) != a.setting->show(changed)) changed = tried;
    }
    std::bitset<kBlockCount> blocks;
    for (std::size_t i = 0; i < kImageSize; ++i) {
        if (sentAs(changed[i]) != sentAs(now[i])) blocks.set(i / kBlockSize);
    }
    std::size_t changing = 0;
    for (const Assignment& a : assignments) {
        m_result.changes.push_back({a.setting, a.setting->show(now), a.setting->show(changed)});
        changing += m_result.changes.back().changes() ? 1 : 0;
    }
    if (m_options.check) {
        m_result.changed = blocks.any();
        return finish(true, blocks.none() ? "unchanged: the device holds these values"
                                          : "would change " + settingsCount(changing) + " in " +
                                                blockList(blocks));
    }
    if (blocks.none()) return finish(true, "unchanged: the device holds these values");
    const SnapshotOutcome snapshot = m_services.snapshots.save(
        m_state.workspace, m_services.wallClock.localNow(), m_result.target);
    m_result.file = snapshot.path;
    if (!snapshot.saved) {
        return finish(false, snapshotNotSavedText(snapshot));
    }
    std::copy(changed.begin(), changed.end(), now.begin());
    // The journal names the settings that change, passwords as stars.
    std::vector<SettingDifference> journalled;
    for (const SettingChange& c : m_result.changes) {
        if (c.changes()) journalled.push_back(settingDifference(*c.setting, c.before, c.after));
    }
    m_engine.describeNextWrite({"set", {}, {}, snapshot.path, std::move(journalled)});
    m_engine.requestWriteAll(ReadBack::On, blocks);
    m_phase = Phase::Writing;
}

void DeviceRun::noteWritten() {
    const std::optional<LoadOutcome>& load = m_engine.status().lastLoad;
    m_result.changed = load && load->written.any();
}

void DeviceRun::onWritten() {
    noteWritten();
    const LinkStatus& status = m_engine.status();
    // Done only when the device holds every block written as it was sent.
    if (!status.lastLoad) return finish(false, status.lastError);
    std::string message = writeOutcomeText(*status.lastLoad);
    if (!m_result.file.empty()) message += "; snapshot " + m_result.file;
    finish(status.lastLoad->readBack && status.lastLoad->complete(), std::move(message));
}

void DeviceRun::onInterrupted() {
    m_result.interrupted = true;
    if (m_phase == Phase::Writing) noteWritten();
    const std::optional<LoadOutcome>& load = m_engine.status().lastLoad;
    if (m_phase == Phase::Writing && load) {
        const std::string what =
            m_options.command == Command::Write ? m_options.files.front() : "the new settings";
        return finish(false, interruptedText(*load, what, m_result.file));
    }
    finish(false,
           m_phase == Phase::Reading ? "interrupted: the read was not finished" : "interrupted");
}

void DeviceRun::finish(bool ok, std::string message) {
    m_result.ok = ok;
    m_result.message = message.empty() ? std::string("failed") : std::move(message);
    m_result.took =
        std::chrono::duration_cast<std::chrono::milliseconds>(m_services.clock.now() - m_start);
    m_phase = Phase::Done;
}

std::vector<DeviceResult> runDevices(const Options& options, const Prepared& prepared,
                                     Network& network, FileSystem& files, const Clock& clock,
                                     const WallClock& wallClock, const RunReports& reports) {
    SnapshotKeeper snapshots(files);
    WriteJournal journal(files, wallClock, thisAuthor());
    FoundHosts hosts(network, prepared.addresses);
    RunServices services{hosts, files, clock, wallClock, snapshots, prepared, &journal};
    if (reports.warning) warnInterrupted(journal, options.targets, wallClock, reports.warning);
    std::vector<std::optional<DeviceResult>> results(options.targets.size());
    std::vector<std::unique_ptr<DeviceRun>> running;
    std::size_t next = 0;
    bool interrupted = false;
    const auto report = [&](DeviceResult result) {
        const std::size_t at = result.index;
        results[at] = std::move(result);
        if (reports.finished) reports.finished(*results[at]);
    };
    while ((!interrupted && next < options.targets.size()) || !running.empty()) {
        if (!interrupted && reports.interrupted && reports.interrupted()) {
            interrupted = true;
            for (auto& run : running) run->interrupt();
        }
        while (!interrupted && next < options.targets.size() &&
               running.size() < static_cast<std::size_t>(options.parallel)) {
            running.push_back(
                std::make_unique<DeviceRun>(options, options.targets[next], next, services));
            ++next;
        }
        for (auto& run : running) run->tick();
        for (auto it = running.begin(); it != running.end();) {
            if (!(*it)->done()) {
                ++it;
                continue;
            }
            report((*it)->result());
            it = running.erase(it);
        }
        if (!running.empty() && reports.pause) reports.pause();
    }
    for (; next < options.targets.size(); ++next) {
        DeviceResult never;
        never.target = options.targets[next];
        never.index = next;
        never.interrupted = true;
        never.started = false;
        never.message = "not started: the run was interrupted before the device was touched";
        report(std::move(never));
    }
    std::vector<DeviceResult> ordered;
    ordered.reserve(results.size());
    for (auto& result : results) ordered.push_back(std::move(*result));
    return ordered;
}

std::vector<SettingShown> settingsOf(ConstWorkspace workspace, const std::vector<std::string>& keys,
                                     bool deviceOnly) {
    std::vector<SettingShown> shown;
    if (!keys.empty()) {
        for (const std::string& key : keys) {
            const auto found = findSetting(key);
            if (const auto* s = std::get_if<const Setting*>(&found)) {
                shown.push_back({*s, (*s)->show(workspace)});
            }
        }
        return shown;
    }
    for (const Setting& s : allSettings()) {
        if (deviceOnly && !s.inImage) continue;
        shown.push_back({&s, s.show(workspace)});
    }
    return shown;
}

int exitStatus(const std::vector<DeviceResult>& results) {
    return std::all_of(results.begin(), results.end(), [](const auto& r) { return r.ok; }) ? 0 : 1;
}

}  // namespace veskator::cli
