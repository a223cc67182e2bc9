#pragma once
// The link engine on real loopback sockets against the communicator simulator, with the engine's
// bounds (the pause after connecting, the connect and greeting bounds, the reply timeout) run on
// a virtual clock: each pump step is one 10 ms tick of virtual time and a short real yield.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_engine.h"
#include "model/programmer_state.h"
#include "platform/file_system.h"
#include "platform/headless/headless_platform.h"
#include "platform/network.h"
#include "platform/posix_network.h"
#include "tests/support/patient_network.h"
#include "tools/communicator_sim/communicator_sim.h"

namespace veskator::link_test {

using test_support::makeTempDir;
using test_support::PatientNetwork;
using test_support::textOf;

using namespace std::chrono_literals;

// The position of the first byte where a and b differ (a length difference counts); nullopt when
// they are equal.
std::optional<std::size_t> firstDifference(std::string_view a, std::string_view b);
// The frame the device receives for a command text: LF, quote, the text, CR.
std::string commandFrame(std::string_view text);
// The block or unit numbers of the events, in order.
inline std::vector<int> numbersOf(const std::vector<sim::SimEvent>& events) {
    std::vector<int> numbers;
    for (const sim::SimEvent& e : events) numbers.push_back(e.number);
    return numbers;
}
// The read command of unit u (0..63), written out independently of the engine's table.
std::string readCommandText(int unit);

class LinkEngineTest : public ::testing::Test {
  protected:
    LinkEngineTest();
    ~LinkEngineTest() override;

    // Replaces the simulator by a new one with `config` (its memory defaults to memoryPattern()).
    void startSim(sim::SimConfig config = {});
    // A device memory in which every read unit differs from every other.
    static sim::SimMemory memoryPattern();
    static std::string patternBytes(std::size_t offset, std::size_t size);
    std::string deviceBytes(std::size_t offset, std::size_t size) const;
    std::string receiveArea() const;

    // Requests from now on go to this port of targetHost.
    void setTargetPort(std::string port);
    // As after a read of the target: the image is its device's.
    void imageIsTheTargets() { state.setReadFrom(engine->target()); }
    // One tick; the read's progress is noted after it.
    void tick();
    // Ticks, advancing the virtual clock 10 ms per tick, until done() holds after a tick; false
    // when virtualLimit of virtual time or a few seconds of real time pass first.
    bool pumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds virtualLimit = std::chrono::minutes(2));
    // Nothing requested and the engine idle.
    bool settled() const;
    // A connection open on either side: virtual time then yields to the real network.
    bool networkBusy() const;
    // Pumps until settled, then waits (in real time, bounded) until the device has taken in all
    // that was sent: it has seen every connection close.
    bool pumpUntilSettled(std::chrono::milliseconds virtualLimit = std::chrono::minutes(2));
    void runTicks(int count);

    // "Start/Go": a full read from unit 0.
    void requestFullRead();
    // Bytes the running (or last) full read has stored, as the classic image cursor counted them.
    int cursor() const { return m_cursor; }
    // Whether a full read has completed since the last takeRefresh().
    bool refreshed() const { return engine->status().readsCompleted != m_refreshSeen; }
    void takeRefresh() { m_refreshSeen = engine->status().readsCompleted; }
    // A field's text into its image slot, and its block's write requested, as a window commits.
    void commitText(int block, int offset, int slotSize, std::string_view text);
    // A completed full read, so that the image holds device data; then the simulator's events
    // are cleared and the refresh request taken.
    void readDeviceFirst();

    std::vector<sim::SimEvent> events(sim::SimEvent::Kind kind) const;
    // The device commands seen, without the simulator's connection events.
    std::vector<sim::SimEvent> commands() const;
    int connections() const {
        return static_cast<int>(events(sim::SimEvent::Kind::Accepted).size());
    }
    std::string readWorkFile(std::string_view name) const;

    std::filesystem::path dir;
    PosixFileSystem files;
    VirtualClock clock;
    PosixNetwork posixNetwork;
    PatientNetwork network{posixNetwork, clock};
    ProgrammerState state;
    LinkLogFiles logs{files};
    std::string targetHost = "127.0.0.1";
    std::string targetPort;
    std::unique_ptr<sim::CommunicatorSim> device;  // the simulated communicator
    std::unique_ptr<LinkEngine> engine;

  private:
    int m_cursor = 0;
    int m_refreshSeen = 0;
};

}  // namespace veskator::link_test
