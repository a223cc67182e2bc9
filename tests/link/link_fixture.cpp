#include "tests/link/link_fixture.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "tests/support/rig.h"

namespace veskator::link_test {
namespace {

constexpr auto kTickPeriod = 10ms;
using test_support::kRealYield;

}  // namespace

std::optional<std::size_t> firstDifference(std::string_view a, std::string_view b) {
    const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (ia == a.end() && ib == b.end()) return std::nullopt;
    return static_cast<std::size_t>(ia - a.begin());
}

std::string commandFrame(std::string_view text) { return "\n\"" + std::string(text) + "\r"; }

std::string readCommandText(int unit) {
    if (unit < 2) return "read program" + std::to_string(unit);
    return std::string("read programA") + static_cast<char>(48 + unit);
}

LinkEngineTest::LinkEngineTest() : dir(makeTempDir("veskator-link")), files(dir) {
    // As at start-up: the received-data log is made empty and stays open.
    logs.start();
    engine = std::make_unique<LinkEngine>(state, network, clock, &logs);
    startSim();
}

LinkEngineTest::~LinkEngineTest() {
    engine.reset();
    device.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

sim::SimMemory LinkEngineTest::memoryPattern() {
    sim::SimMemory memory{};
    for (std::size_t i = 0; i < memory.size(); ++i) {
        memory[i] = static_cast<std::uint8_t>(i * 7 + i / 64 * 3 + 1);
    }
    return memory;
}

std::string LinkEngineTest::patternBytes(std::size_t offset, std::size_t size) {
    const sim::SimMemory memory = memoryPattern();
    return textOf(std::span(memory).subspan(offset, size));
}

void LinkEngineTest::startSim(sim::SimConfig config) {
    device.reset();
    config.memory = memoryPattern();
    device = std::make_unique<sim::CommunicatorSim>(std::move(config));
    ASSERT_TRUE(device->start());
    setTargetPort(std::to_string(device->port()));
}

void LinkEngineTest::setTargetPort(std::string port) {
    targetPort = std::move(port);
    engine->setTarget({targetHost, parsePort(targetPort)});
}

std::string LinkEngineTest::deviceBytes(std::size_t offset, std::size_t size) const {
    const sim::SimMemory memory = device->memory();
    return textOf(std::span(memory).subspan(offset, size));
}

std::string LinkEngineTest::receiveArea() const { return textOf(state.workspace.receiveArea()); }

bool LinkEngineTest::pumpUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds virtualLimit) {
    // One tick first: done() is asked after a tick, never before the first.
    tick();
    return test_support::pumpUntil(
        clock,
        [this] {
            clock.advance(kTickPeriod);
            tick();
        },
        done, virtualLimit, [this] { return networkBusy(); });
}

bool LinkEngineTest::settled() const { return engine->settled(); }

bool LinkEngineTest::networkBusy() const {
    return network.openSockets() > 0 || device->openConnections() > 0;
}

bool LinkEngineTest::pumpUntilSettled(std::chrono::milliseconds virtualLimit) {
    return pumpUntil([this] { return settled(); }, virtualLimit) &&
           test_support::deviceQuiet(*device);
}

void LinkEngineTest::runTicks(int count) {
    for (int i = 0; i < count; ++i) {
        tick();
        clock.advance(kTickPeriod);
        if (networkBusy()) std::this_thread::sleep_for(kRealYield);
    }
}

void LinkEngineTest::tick() {
    const int reads = engine->status().readsCompleted;
    engine->tick();
    if (const Transfer* read = engine->status().transfer(TransferKind::FullRead)) {
        m_cursor = read->done * static_cast<int>(kReadUnitSize);
    } else if (engine->status().readsCompleted != reads) {
        m_cursor = static_cast<int>(kReceiveAreaSize);
    }
}

void LinkEngineTest::requestFullRead() {
    m_cursor = 0;
    engine->requestFullRead();
}

void LinkEngineTest::commitText(int block, int offset, int slotSize, std::string_view text) {
    writeText(state.workspace.image(), imageOffset({block, offset}), slotSize, text);
    engine->requestBlockWrite(block);
}

void LinkEngineTest::readDeviceFirst() {
    requestFullRead();
    ASSERT_TRUE(pumpUntilSettled());
    ASSERT_TRUE(refreshed());
    ASSERT_TRUE(state.holdsDeviceData());
    ASSERT_EQ(firstDifference(receiveArea(), deviceBytes(0, kReceiveAreaSize)), std::nullopt);
    takeRefresh();
    device->clearEvents();
}

std::vector<sim::SimEvent> LinkEngineTest::events(sim::SimEvent::Kind kind) const {
    return test_support::eventsOf(*device, kind);
}

std::vector<sim::SimEvent> LinkEngineTest::commands() const {
    std::vector<sim::SimEvent> found;
    for (const sim::SimEvent& e : device->events()) {
        if (e.kind != sim::SimEvent::Kind::Accepted && e.kind != sim::SimEvent::Kind::Closed) {
            found.push_back(e);
        }
    }
    return found;
}

std::string LinkEngineTest::readWorkFile(std::string_view name) const {
    std::ifstream in(dir / std::filesystem::path(std::string(name)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace veskator::link_test
