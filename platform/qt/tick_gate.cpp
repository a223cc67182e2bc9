#include "platform/qt/tick_gate.h"

#include <QTimer>
#include <algorithm>

namespace veskator {

void TickGate::deliver(QObject* context, int key, Action action) {
    // Held callbacks go first, so that effects keep their order.
    if (isFree() && m_queue.empty()) {
        run(action, false);
        return;
    }
    enqueue(context, key, std::move(action));
}

void TickGate::post(QObject* context, int key, Action action) {
    enqueue(context, key, std::move(action));
}

void TickGate::runHandler(const std::function<void()>& handler) {
    ++m_busy;
    handler();
    --m_busy;
    scheduleFlush();
}

void TickGate::beginWait() { ++m_waits; }

void TickGate::endWait() {
    --m_waits;
    scheduleFlush();
}

void TickGate::enterModal() {
    m_saved.push_back(Saved{m_busy, m_waits});
    m_busy = 0;
    m_waits = 0;
    scheduleFlush();
}

void TickGate::leaveModal() {
    if (m_saved.empty()) return;
    m_busy = m_saved.back().busy;
    m_waits = m_saved.back().waits;
    m_saved.pop_back();
    scheduleFlush();
}

void TickGate::enqueue(QObject* context, int key, Action action) {
    const bool held = std::any_of(m_queue.begin(), m_queue.end(), [&](const Entry& e) {
        return !e.context.isNull() && e.identity == context && e.key == key;
    });
    if (!held)
        m_queue.push_back(Entry{QPointer<QObject>(context), context, key, std::move(action)});
    scheduleFlush();
}

void TickGate::run(const Action& action, bool late) {
    ++m_busy;
    action(late);
    --m_busy;
    scheduleFlush();
}

void TickGate::scheduleFlush() {
    if (m_flushPosted || !isFree() || m_queue.empty()) return;
    m_flushPosted = true;
    QTimer::singleShot(0, &m_anchor, [this] {
        m_flushPosted = false;
        flush();
    });
}

void TickGate::flush() {
    while (isFree() && !m_queue.empty()) {
        Entry entry = std::move(m_queue.front());
        m_queue.pop_front();
        if (entry.context.isNull()) continue;
        run(entry.action, true);
    }
}

}  // namespace veskator
