#include "tests/support/rig.h"

#include <algorithm>
#include <thread>

namespace veskator::test_support {

bool pumpUntil(const VirtualClock& clock, const std::function<void()>& step,
               const std::function<bool()>& done, std::chrono::milliseconds virtualLimit,
               const std::function<bool()>& busy) {
    const auto realEnd = std::chrono::steady_clock::now() + kRealLimit;
    const auto virtualEnd = clock.now() + virtualLimit;
    for (;;) {
        if (done()) return true;
        if (clock.now() >= virtualEnd || std::chrono::steady_clock::now() >= realEnd) return false;
        step();
        if (!busy || busy()) std::this_thread::sleep_for(kRealYield);
    }
}

std::vector<sim::SimEvent> eventsOf(const sim::CommunicatorSim& sim, sim::SimEvent::Kind kind) {
    std::vector<sim::SimEvent> found;
    for (const sim::SimEvent& e : sim.events()) {
        if (e.kind == kind) found.push_back(e);
    }
    return found;
}

bool deviceQuiet(const sim::CommunicatorSim& sim) {
    return sim.waitFor(
        [](const std::vector<sim::SimEvent>& seen) {
            const auto count = [&](sim::SimEvent::Kind kind) {
                return std::count_if(seen.begin(), seen.end(),
                                     [&](const sim::SimEvent& e) { return e.kind == kind; });
            };
            return count(sim::SimEvent::Kind::Accepted) == count(sim::SimEvent::Kind::Closed);
        },
        std::chrono::seconds(5));
}

}  // namespace veskator::test_support
