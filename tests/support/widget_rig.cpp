#include "tests/support/widget_rig.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

#include "tests/support/patient_network.h"

namespace veskator::test_support {

std::unique_ptr<RunningCommand> RefusedCommands::start(Command, CommandDone) {
    ADD_FAILURE() << "a window ran a program";
    return nullptr;
}

namespace {

std::filesystem::path preparedFolder(std::string_view name) {
    const std::filesystem::path dir = makeTempDir(name);
    std::filesystem::create_directories(dir / "program");
    std::ofstream(dir / "program/liability") << "agree";
    std::ofstream(dir / "program/serverIPm.txt") << "127.0.0.1";
    return dir;
}

}  // namespace

WidgetRig::WidgetRig(std::string_view name, sim::SimConfig config, Time time,
                     const NetworkWrapper& wrap)
    : dir(preparedFolder(name)),
      sim(std::move(config)),
      files(dir),
      clock(time == Time::Real ? static_cast<Clock&>(steadyClock) : virtualClock),
      wrapped(wrap ? wrap(qtNetwork) : nullptr),
      services{clock, files, wrapped ? *wrapped : qtNetwork, commands, windows, wallClock} {
    if (!sim.start()) throw std::runtime_error("the simulator did not start");
    std::ofstream(dir / "program/clientport.txt") << sim.port();
    app = std::make_unique<CProgrammerApp>(services);
}

WidgetRig::~WidgetRig() {
    app.reset();
    sim.stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

void WidgetRig::imageAsRead() {
    const sim::SimMemory device = sim.memory();
    ProgrammerState& state = app->state();
    std::copy_n(device.begin(), kReceiveAreaSize, state.workspace.receiveArea().begin());
    state.setReadFrom({"127.0.0.1", sim.port()});
}

std::unique_ptr<QtDialog> WidgetRig::openMain() { return windows.open(app->mainWindow()); }

}  // namespace veskator::test_support
