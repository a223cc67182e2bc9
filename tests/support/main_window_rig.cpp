#include "tests/support/main_window_rig.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "model/main_fields.h"
#include "resources/main_dialog_template.h"
#include "tests/support/rig.h"

namespace veskator::mainwin_test {
namespace {

using SteadyTime = std::chrono::steady_clock;

constexpr auto kStep = 10ms;
using test_support::kRealYield;

}  // namespace

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

namespace {
std::unique_ptr<sim::CommunicatorSim> startedSim() {
    auto sim = std::make_unique<sim::CommunicatorSim>();
    if (!sim->start()) throw std::runtime_error("the simulator did not start");
    return sim;
}
}  // namespace

MainWindowTest::MainWindowTest(Commands commandsKind)
    : dir(makeTempDir("veskator-mainwin")),
      files(dir),
      clock((windows.clock().advance(std::chrono::hours(1)), windows.clock())),
      commands(commandsKind == Commands::Scripted ? static_cast<CommandRunner&>(scriptedCommands)
                                                  : noCommands),
      sim(startedSim()),
      app(std::make_unique<CProgrammerApp>(services)),
      state(app->state()),
      engine(&app->link()),
      dlg(&app->mainWindow()) {
    // The virtual clock starts well away from zero, as a real clock would (above).
}

MainWindowTest::~MainWindowTest() {
    engine->setTickSoon(nullptr);
    app.reset();
    sim.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

void MainWindowTest::openWindow(bool agreed) {
    std::filesystem::create_directories(dir / "program");
    writeFile(dir / "program/serverIPm.txt", "127.0.0.1");
    writeFile(dir / "program/clientport.txt", std::to_string(sim->port()));
    if (agreed) writeFile(dir / "program/liability", "agree");
    dialog = &windows.open(*dlg);
}

bool MainWindowTest::pumpUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds virtualLimit) {
    return test_support::pumpUntil(
        clock, [this] { windows.advance(kStep); }, done, virtualLimit,
        [this] { return networkBusy(); });
}

bool MainWindowTest::networkBusy() const {
    return network.openSockets() > 0 || sim->openConnections() > 0;
}

void MainWindowTest::pumpFor(std::chrono::milliseconds duration) {
    const auto end = clock.now() + duration;
    while (clock.now() < end) {
        windows.advance(std::min<std::chrono::milliseconds>(
            kStep, std::chrono::duration_cast<std::chrono::milliseconds>(end - clock.now())));
        if (networkBusy()) std::this_thread::sleep_for(kRealYield);
    }
}

bool MainWindowTest::settled() const {
    // The simulator records on its own thread: settled only once it has seen every connection
    // the engine opened come to its end.
    return engine->settled() && dlg->pendingCommits() == 0 && !dlg->programRunning() &&
           events(sim::SimEvent::Kind::Closed).size() ==
               events(sim::SimEvent::Kind::Accepted).size();
}

void MainWindowTest::readDevice() {
    dialog->click(main_ids::kStartGo);
    ASSERT_EQ(engine->status().busyWith(TransferKind::FullRead), true);
    ASSERT_TRUE(pumpUntilSettled());
    ASSERT_TRUE(state.holdsDeviceData());
    ASSERT_EQ(textOf(state.workspace.receiveArea()), deviceBytes(0, kReceiveAreaSize));
    sim->clearEvents();
}

std::vector<sim::SimEvent> MainWindowTest::events(sim::SimEvent::Kind kind) const {
    return test_support::eventsOf(*sim, kind);
}

void MainWindowTest::setDeviceBytes(int block, int offset, std::span<const std::uint8_t> bytes) {
    sim->setBytes(
        sim::blockOffset(static_cast<std::size_t>(block), static_cast<std::size_t>(offset)), bytes);
}

void MainWindowTest::setDeviceText(int block, int offset, std::string_view text) {
    setDeviceBytes(block, offset,
                   std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::string MainWindowTest::deviceBytes(std::size_t offset, std::size_t size) const {
    const sim::SimMemory memory = sim->memory();
    return textOf(std::span(memory).subspan(offset, size));
}

std::string MainWindowTest::imageBytes(int block, int offset, std::size_t size) const {
    return textOf(state.workspace.image().subspan(
        static_cast<std::size_t>(imageOffset({block, offset})), size));
}

}  // namespace veskator::mainwin_test
