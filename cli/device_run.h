#pragma once
// One device of a command-line run: its own workspace and link engine, the same bounds as the
// window's. A run keeps at most N of them going at once, ticking each in turn on one thread.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli/cli_options.h"
#include "link/link_engine.h"
#include "model/parameter_files.h"
#include "model/programmer_state.h"
#include "model/settings_compare.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/network.h"
#include "platform/wall_clock.h"

namespace veskator::cli {

struct DeviceResult {
    Target target;
    bool ok = false;
    std::string message;  // one line: what became of it
    std::string file;     // read: where the parameters went; write: the snapshot of the device
    std::optional<SettingsComparison> comparison;
    std::chrono::milliseconds took{0};
};

// What every device of a run shares: the platform's pieces and the run's snapshot keeper.
struct RunServices {
    Network& network;
    FileSystem& files;
    const Clock& clock;
    const WallClock& wallClock;
    SnapshotKeeper& snapshots;
};

// The link keeps no logs here: the exchange logs are the window's, one device at a time.
class DeviceRun {
  public:
    DeviceRun(const Options& options, Target target, RunServices& services);
    void tick();
    bool done() const { return m_phase == Phase::Done; }
    const DeviceResult& result() const { return m_result; }

  private:
    enum class Phase { Reading, Writing, Done };
    void onRead();
    void startWrite();
    void finish(bool ok, std::string message);

    const Options& m_options;
    RunServices& m_services;
    Clock::TimePoint m_start;
    ProgrammerState m_state;
    LinkEngine m_engine;
    Phase m_phase = Phase::Reading;
    DeviceResult m_result;
};

// Runs every target of the options, at most options.parallel at once, with one snapshot keeper for
// the whole run. `pause` is called between rounds of ticks (a short sleep); `finished` as each
// device ends.
std::vector<DeviceResult> runDevices(const Options& options, Network& network, FileSystem& files,
                                     const Clock& clock, const WallClock& wallClock,
                                     const std::function<void()>& pause,
                                     const std::function<void(const DeviceResult&)>& finished);

// What a write's outcome is called in a result line: "written, 8 of 8 blocks verified".
std::string writeOutcomeText(const LoadOutcome& outcome);

// The comparison of two files, as "diff" prints it; nullopt names the file that cannot be read.
std::variant<SettingsComparison, std::string> diffFiles(FileSystem& files, const std::string& first,
                                                        const std::string& second);

// 0 when every device succeeded, 1 otherwise.
int exitStatus(const std::vector<DeviceResult>& results);

// Output: one line per device, or one JSON document for all.
std::string resultLine(const DeviceResult& result);
std::string resultsJson(Command command, const std::vector<DeviceResult>& results);
std::string diffJson(const SettingsComparison& comparison);

}  // namespace veskator::cli
