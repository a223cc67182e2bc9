#pragma once
// How long the event loop's thread is ever held while a bench runs the program's own event loop:
// the largest gap between ticks of a 10 ms probe timer.

#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <functional>

namespace veskator::bench {

class EventLoopProbe {
  public:
    EventLoopProbe();

    // Runs the loop until `done` holds (looked at every millisecond) or 30 s have passed; returns
    // the seconds it ran.
    double runUntil(const std::function<bool()>& done);
    double runFor(std::chrono::milliseconds duration);

    // The longest gap since the last reset.
    qint64 maxStallMs() const { return m_maxGap; }
    void resetStall() { m_maxGap = 0; }

  private:
    QElapsedTimer m_sinceTick;
    QTimer m_probe;
    qint64 m_maxGap = 0;
};

}  // namespace veskator::bench
