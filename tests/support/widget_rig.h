#pragma once
// The whole program on real Qt widgets (offscreen) against the simulator on loopback, set up once
// for every test that drives it as a technician would: a temporary working folder whose
// ./program/ files point at the simulator, real files, the Qt network, and the application with
// its windows. Time is the real clock, or a virtual one the test moves on.

#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>

#include "app/programmer_app.h"
#include "platform/command_runner.h"
#include "platform/headless/headless_platform.h"
#include "platform/qt/qt_network.h"
#include "platform/qt/qt_window_system.h"
#include "tools/communicator_sim/communicator_sim.h"

namespace veskator::test_support {

// No window under test may run a program: the LAN discovery's addresses are never pinged here.
class RefusedCommands final : public CommandRunner {
  public:
    std::unique_ptr<RunningCommand> start(Command command, CommandDone done) override;
};

class WidgetRig {
  public:
    enum class Time { Real, Virtual };
    // A network laid over the Qt network (a fault of the test's own), or none.
    using NetworkWrapper = std::function<std::unique_ptr<Network>(Network&)>;

    explicit WidgetRig(std::string_view name, sim::SimConfig config = {}, Time time = Time::Real,
                       const NetworkWrapper& wrap = {});
    ~WidgetRig();
    WidgetRig(const WidgetRig&) = delete;
    WidgetRig& operator=(const WidgetRig&) = delete;

    // As after a full read of the simulator, without spending real time on one.
    void imageAsRead();
    // The main window shown without running it, for a test to drive step by step.
    std::unique_ptr<QtDialog> openMain();
    // The named control of a window, as a technician's tools find it.
    template <typename Widget>
    static Widget* control(QWidget& dialog, ControlId id) {
        return dialog.findChild<Widget*>(QString::number(id));
    }

    std::filesystem::path dir;
    sim::CommunicatorSim sim;
    PosixFileSystem files;
    SteadyClock steadyClock;
    VirtualClock virtualClock;
    Clock& clock;
    QtWindowSystem windows;
    QtNetwork qtNetwork;
    std::unique_ptr<Network> wrapped;
    RefusedCommands commands;
    FixedWallClock wallClock;
    Services services;
    std::unique_ptr<CProgrammerApp> app;
};

}  // namespace veskator::test_support
