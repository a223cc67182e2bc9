#pragma once
// The main window on the headless double, its link engine on real loopback sockets against the
// communicator simulator, and real files in a temporary directory. Timers, waits and the engine's
// bounds run on the double's virtual clock: each pump step moves it 10 ms and yields briefly to
// the real network.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/programmer_app.h"
#include "link/link_engine.h"
#include "mainwin/main_prog_dlg.h"
#include "model/programmer_state.h"
#include "platform/command_runner.h"
#include "platform/file_system.h"
#include "platform/headless/headless_platform.h"
#include "platform/headless/scripted_command_runner.h"
#include "platform/network.h"
#include "platform/posix_network.h"
#include "tests/support/patient_network.h"
#include "tools/communicator_sim/communicator_sim.h"

namespace veskator::mainwin_test {

using test_support::makeTempDir;
using test_support::textOf;

using namespace std::chrono_literals;

// The main window never runs commands.
class NoCommands final : public CommandRunner {
  public:
    std::unique_ptr<RunningCommand> start(Command, CommandDone) override {
        ADD_FAILURE() << "the main window ran a command";
        return nullptr;
    }
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, std::string_view bytes);

class MainWindowTest : public ::testing::Test {
  protected:
    // Which runner the services carry: the main window's tests refuse every command; a window
    // that runs programs gets the scripted double.
    enum class Commands { Refused, Scripted };
    explicit MainWindowTest(Commands commandsKind = Commands::Refused);
    ~MainWindowTest() override;

    // Opens the window as at start-up: the target is the simulator, the disclaimer agreed or not.
    void openWindow(bool agreed = true);

    // Moves virtual time on in 10 ms steps until done() holds; false when virtualLimit of virtual
    // time or a few seconds of real time pass first.
    bool pumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds virtualLimit = std::chrono::minutes(2));
    // Moves virtual time on by `duration`, in 10 ms steps with real yields.
    void pumpFor(std::chrono::milliseconds duration);
    // Nothing requested or pending and the engine idle.
    bool settled() const;
    // A connection open on either side: virtual time then yields to the real network.
    bool networkBusy() const;
    // Then one tick more: the windows the link's last news woke show it.
    bool pumpUntilSettled() {
        return pumpUntil([this] { return settled(); }) && shownAfter();
    }
    bool shownAfter() {
        pumpFor(kTickPeriod);
        return true;
    }
    // "Start/Go" and the whole full read; then the simulator's events are cleared.
    void readDevice();

    std::vector<sim::SimEvent> events(sim::SimEvent::Kind kind) const;
    std::vector<sim::SimEvent> blockWrites() const {
        return events(sim::SimEvent::Kind::BlockWrite);
    }
    int connections() const {
        return static_cast<int>(events(sim::SimEvent::Kind::Accepted).size());
    }
    // Sets device memory bytes at block Ak, offset.
    void setDeviceBytes(int block, int offset, std::span<const std::uint8_t> bytes);
    void setDeviceText(int block, int offset, std::string_view text);
    std::string deviceBytes(std::size_t offset, std::size_t size) const;
    std::string imageBytes(int block, int offset, std::size_t size) const;

    const ControlValues& values() const { return dlg->values(); }
    std::string shown(ControlId id) const { return dialog->text(id); }
    std::filesystem::path path(std::string_view name) const { return dir / name; }

    std::filesystem::path dir;
    PosixFileSystem files;
    HeadlessWindowSystem windows;
    VirtualClock& clock;
    PosixNetwork posixNetwork;
    test_support::PatientNetwork network{posixNetwork, clock};
    NoCommands noCommands;
    ScriptedCommandRunner scriptedCommands{windows, files};
    CommandRunner& commands;
    std::unique_ptr<sim::CommunicatorSim> sim;
    FixedWallClock wallClock;
    Services services{clock, files, network, commands, windows, wallClock};
    // The application as the program builds it: its state, link and main window.
    std::unique_ptr<CProgrammerApp> app;
    ProgrammerState& state;
    LinkEngine* engine;
    CMainProgDlg* dlg;
    HeadlessDialog* dialog = nullptr;
};

}  // namespace veskator::mainwin_test
