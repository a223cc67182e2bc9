#pragma once
// Handlers with fixed waits run as step programs. A wait never holds the thread: the steps up to
// the first wait run at once, the rest when it has passed, from the window's step timer. So no
// event loop runs inside a handler, and nothing (a close, a tick, a read coming back, another
// window's request) meets a handler half-run. While a window's program runs, what the user does
// there and the window's own ticks wait their turn and come, in order, when it ends.

#include <chrono>
#include <deque>
#include <functional>
#include <optional>

#include "platform/clock.h"

namespace veskator {

// A row of a step list: what to do, and how long to wait after it.
template <typename Op>
struct Step {
    Op op;
    std::chrono::milliseconds wait{0};  // the window is busy until it has passed
};

class StepProgram {
  public:
    using Action = std::function<void()>;

    StepProgram& then(Action action, std::chrono::milliseconds waitAfter = {}) {
        m_steps.push_back({std::move(action), waitAfter});
        return *this;
    }
    StepProgram& pause(std::chrono::milliseconds wait) { return then({}, wait); }

  private:
    friend class StepRunner;
    struct Entry {
        Action action;
        std::chrono::milliseconds wait;
    };
    std::deque<Entry> m_steps;
};

// Runs a window's programs on its clock: one program at a time, steps in order.
class StepRunner {
  public:
    explicit StepRunner(const Clock& clock) : m_clock(clock) {}

    // A program started from inside a step runs before the rest of the one that started it.
    void start(StepProgram program);
    // Runs every step that is due now.
    void resume();
    // Runs every step left at once, without its wait: the window is closing.
    void finish();
    bool running() const { return !m_steps.empty() || m_due.has_value(); }
    // True inside a step.
    bool resuming() const { return m_resuming; }
    // When the next step is due; none while no wait is running.
    std::optional<Clock::TimePoint> due() const { return m_due; }

  private:
    // Takes the first step off and runs it; its wait.
    std::chrono::milliseconds runNext();

    const Clock& m_clock;
    std::deque<StepProgram::Entry> m_steps;
    std::optional<Clock::TimePoint> m_due;
    bool m_resuming = false;
};

}  // namespace veskator
