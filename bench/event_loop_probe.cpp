// A spinning bench would take the processor the simulator and the link need, so the probe runs the
// program's own event loop and looks at the end from a 1 ms timer.

#include "bench/event_loop_probe.h"

#include <QEventLoop>
#include <algorithm>

namespace veskator::bench {
namespace {

constexpr std::chrono::milliseconds kProbePeriod{10};
constexpr std::chrono::milliseconds kDonePeriod{1};
// A run that never ends is cut off: the figure then shows it.
constexpr std::chrono::seconds kRunLimit{30};

}  // namespace

EventLoopProbe::EventLoopProbe() {
    m_probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_probe, &QTimer::timeout,
                     [this] { m_maxGap = std::max(m_maxGap, m_sinceTick.restart()); });
}

double EventLoopProbe::runUntil(const std::function<bool()>& done) {
    const auto start = std::chrono::steady_clock::now();
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done() || std::chrono::steady_clock::now() - start > kRunLimit) {
            loop.quit();
        }
    });
    m_sinceTick.start();
    m_probe.start(kProbePeriod);
    check.start(kDonePeriod);
    loop.exec();
    m_probe.stop();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double EventLoopProbe::runFor(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    return runUntil([end] { return std::chrono::steady_clock::now() >= end; });
}

}  // namespace veskator::bench
