#pragma once
// Keeps timer ticks, socket callbacks and window handlers from overlapping on the one window
// thread. A callback that comes due while a handler or a fixed wait is on the stack is held and
// delivered once, in order, as soon as the thread is free again. A modal child run opens a fresh
// scope: there the parent's timers tick even though the handler that opened the child is still
// on the stack.

#include <QObject>
#include <QPointer>
#include <cstddef>
#include <deque>
#include <functional>
#include <vector>

namespace veskator {

class TickGate {
  public:
    // late: the callback was held back and runs after its time.
    using Action = std::function<void(bool late)>;

    TickGate() = default;
    TickGate(const TickGate&) = delete;
    TickGate& operator=(const TickGate&) = delete;

    bool isFree() const { return m_busy == 0 && m_waits == 0; }
    bool inWait() const { return m_waits > 0; }
    std::size_t pendingCount() const { return m_queue.size(); }

    // Runs the action now when the thread is free, otherwise once it is. Actions are keyed by
    // (context, key): one that is already held is not held twice. A destroyed context drops them.
    void deliver(QObject* context, int key, Action action);
    // Like deliver, but never runs the action inside the caller: it runs from the event loop.
    void post(QObject* context, int key, Action action);
    // Runs a window handler; callbacks that fall due meanwhile are held until it returns.
    void runHandler(const std::function<void()>& handler);

    void beginWait();
    void endWait();
    void enterModal();
    void leaveModal();

    class WaitScope {
      public:
        explicit WaitScope(TickGate* gate) : m_gate(gate) {
            if (m_gate != nullptr) m_gate->beginWait();
        }
        ~WaitScope() {
            if (m_gate != nullptr) m_gate->endWait();
        }
        WaitScope(const WaitScope&) = delete;
        WaitScope& operator=(const WaitScope&) = delete;

      private:
        TickGate* m_gate;
    };

    class ModalScope {
      public:
        explicit ModalScope(TickGate& gate) : m_gate(gate) { m_gate.enterModal(); }
        ~ModalScope() { m_gate.leaveModal(); }
        ModalScope(const ModalScope&) = delete;
        ModalScope& operator=(const ModalScope&) = delete;

      private:
        TickGate& m_gate;
    };

  private:
    struct Entry {
        QPointer<QObject> context;
        const QObject* identity;
        int key;
        Action action;
    };
    struct Saved {
        int busy;
        int waits;
    };
    void enqueue(QObject* context, int key, Action action);
    void run(const Action& action, bool late);
    void scheduleFlush();
    void flush();

    QObject m_anchor;  // context of the posted flush, so it dies with the gate
    std::deque<Entry> m_queue;
    std::vector<Saved> m_saved;
    int m_busy = 0;
    int m_waits = 0;
    bool m_flushPosted = false;
};

}  // namespace veskator
