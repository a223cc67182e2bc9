#pragma once
// The shared test rig: virtual time pumped in steps with a short real yield after each (so the
// simulator's thread and the real sockets keep up), and questions put to the simulator.

#include <chrono>
#include <functional>
#include <vector>

#include "platform/headless/headless_platform.h"
#include "tools/communicator_sim/communicator_sim.h"

namespace veskator::test_support {

// However much virtual time a test needs, no pump may hold the test program longer than this.
inline constexpr std::chrono::seconds kRealLimit{10};
inline constexpr std::chrono::microseconds kRealYield{200};

// Calls step() (which moves the virtual clock on) until done() holds; false when virtualLimit of
// virtual time or kRealLimit of real time pass first. done() is asked before every step. After a
// step the real network is given kRealYield, but only while busy() says something is under way on
// it (without busy, always): with no connection open, virtual time runs as fast as ticks go.
bool pumpUntil(const VirtualClock& clock, const std::function<void()>& step,
               const std::function<bool()>& done, std::chrono::milliseconds virtualLimit,
               const std::function<bool()>& busy = {});

std::vector<sim::SimEvent> eventsOf(const sim::CommunicatorSim& sim, sim::SimEvent::Kind kind);
// Waits in real time (bounded) until the simulator has seen every connection it accepted end.
bool deviceQuiet(const sim::CommunicatorSim& sim);

}  // namespace veskator::test_support
