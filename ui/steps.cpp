#include "ui/steps.h"

namespace veskator {

void StepRunner::start(StepProgram program) {
    m_steps.insert(m_steps.begin(), std::make_move_iterator(program.m_steps.begin()),
                   std::make_move_iterator(program.m_steps.end()));
    if (!m_resuming) resume();
}

void StepRunner::resume() {
    if (m_resuming) return;
    m_resuming = true;
    while (!m_due || m_clock.now() >= *m_due) {
        m_due.reset();
        if (m_steps.empty()) break;
        const std::chrono::milliseconds wait = runNext();
        if (wait.count() > 0) m_due = m_clock.now() + wait;
    }
    m_resuming = false;
}

void StepRunner::finish() {
    const bool resuming = m_resuming;
    m_resuming = true;
    m_due.reset();
    while (!m_steps.empty()) runNext();
    m_resuming = resuming;
}

std::chrono::milliseconds StepRunner::runNext() {
    StepProgram::Entry step = std::move(m_steps.front());
    m_steps.pop_front();
    if (step.action) step.action();
    return step.wait;
}

}  // namespace veskator
