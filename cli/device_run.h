#pragma once
// One device of a command-line run: its own device model and link engine, the same bounds as the
// window's. A run keeps at most N of them going at once, ticking each in turn on one thread.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/preflight.h"
#include "link/journal_observer.h"
#include "link/link_engine.h"
#include "model/parameter_files.h"
#include "model/programmer_state.h"
#include "model/settings_compare.h"
#include "model/write_journal.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/network.h"
#include "platform/wall_clock.h"

namespace veskator::cli {

// A setting as get shows it.
struct SettingShown {
    const Setting* setting = nullptr;
    std::string value;  // latin-1, as the device holds it
};

// A setting that set was given: what the device held and what it holds (or would) after.
struct SettingChange {
    const Setting* setting = nullptr;
    std::string before;
    std::string after;
    bool changes() const { return before != after; }
};

struct DeviceResult {
    Target target;
    std::size_t index = 0;  // in the order the devices were given
    bool ok = false;
    bool interrupted = false;
    bool started = true;  // false: the run ended before the device was touched
    // write, set: the device holds something it did not (set --check: it would)
    bool changed = false;
    std::string message;  // one line: what became of it
    std::string file;     // read: where the parameters went; write, set: the snapshot
    std::optional<SettingsComparison> comparison;  // compare
    std::vector<SettingShown> settings;            // get
    std::vector<SettingChange> changes;            // set: every setting it was given
    std::chrono::milliseconds took{0};
};

// What every device of a run shares: the platform's pieces, the run's snapshot keeper, and what
// was checked before the run.
struct RunServices {
    Network& network;
    FileSystem& files;
    const Clock& clock;
    const WallClock& wallClock;
    SnapshotKeeper& snapshots;
    const Prepared& prepared;
    WriteJournal* journal = nullptr;  // none: writes go unrecorded
};

// The link keeps no logs here: the exchange logs are the window's, one device at a time.
class DeviceRun {
  public:
    DeviceRun(const Options& options, Target target, std::size_t index, RunServices& services);
    void tick();
    // No new block begins; the one under way ends within the link's bounds, then the device is
    // reported with what it holds.
    void interrupt();
    bool done() const { return m_phase == Phase::Done; }
    const DeviceResult& result() const { return m_result; }

  private:
    enum class Phase { Reading, Writing, Done };
    void onRead();
    void startWrite();
    void startSet();
    void onWritten();
    void onInterrupted();
    void noteWritten();
    void finish(bool ok, std::string message);

    const Options& m_options;
    RunServices& m_services;
    Clock::TimePoint m_start;
    ProgrammerState m_state;
    std::optional<JournalObserver> m_journal;
    LinkEngine m_engine;
    Phase m_phase = Phase::Reading;
    DeviceResult m_result;
};

// What a run reports as it goes: each device as it ends (not in the targets' order), and how far
// the run has come.
struct RunReports {
    std::function<void()> pause;  // between rounds of ticks (a short sleep)
    std::function<void(const DeviceResult&)> finished;
    // Asked between rounds: true once the run is to stop.
    std::function<bool()> interrupted;
    // Before any device is touched: what the journal says of earlier writes cut short on them.
    std::function<void(const std::string&)> warning;
};

// Runs every target of the options, at most options.parallel at once, on one thread, with one
// snapshot keeper for the whole run; a device's host is taken at the address the checks found.
// Interrupted, no device starts any more and those under way end as soon as their link allows; a
// device never started is reported as such. The results are in the order of the targets.
std::vector<DeviceResult> runDevices(const Options& options, const Prepared& prepared,
                                     Network& network, FileSystem& files, const Clock& clock,
                                     const WallClock& wallClock, const RunReports& reports);

// The settings of a workspace as get lists them: those named by `keys` (each one a setting), or
// all; a device's read holds the image alone, so `deviceOnly` leaves out what only a parameter
// file holds.
std::vector<SettingShown> settingsOf(ConstWorkspace workspace, const std::vector<std::string>& keys,
                                     bool deviceOnly);

// 0 when every device succeeded, 1 otherwise.
int exitStatus(const std::vector<DeviceResult>& results);

// What a write's outcome is called in a result line: "written, 8 of 8 blocks verified".
std::string writeOutcomeText(const LoadOutcome& outcome);

}  // namespace veskator::cli
