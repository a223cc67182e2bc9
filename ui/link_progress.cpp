#include "ui/link_progress.h"

#include <algorithm>

#include "model/dialer_data.h"
#include "link/link_jobs.h"

namespace veskator {

namespace {

struct Transfer {
    JobKind kind = JobKind::None;
    int value = 0;
    int maximum = 1;
    std::string what;  // "reading device: 23 of 64 units"
    std::optional<std::chrono::seconds> fixedLeft;
};

// The same order as the status line: the first of these under way is the one shown.
Transfer transferOf(const LinkStatus& status) {
    Transfer t;
    if (status.fullReadPending) {
        t = {JobKind::FullRead,
             status.unitsRead,
             kReadUnitCount,
             "reading device: " + std::to_string(status.unitsRead) + " of 64 units",
             {}};
    } else if (status.alarmDownloadPending) {
        const int chunks = kLastAlarmChunk - kFirstAlarmChunk + 1;
        const int done = std::clamp(status.alarmChunk - kFirstAlarmChunk, 0, chunks);
        t = {JobKind::AlarmCodeDownload,
             done,
             chunks,
             "alarm code: chunk " + std::to_string(done + 1) + " of at most " +
                 std::to_string(chunks),
             {}};
    } else if (status.writeAllPending) {
        // Each block write is about one connection, and so is the whole read-back.
        const int steps = kBlockCount + (status.writeAllReadsBack ? 1 : 0);
        const bool afterWrites = status.writeAllReadingBack || status.writeAllRewriting;
        const int done = afterWrites ? kBlockCount : std::min(status.writeAllBlock, kBlockCount);
        t = {JobKind::WriteAll,
             done,
             steps,
             std::string(status.writeAllReadingBack ? "reading the blocks back"
                         : status.writeAllRewriting ? "writing again what differed"
                                                    : "writing all blocks") +
                 ": step " + std::to_string(std::min(done + 1, steps)) + " of " +
                 std::to_string(steps),
             {}};
    } else if (status.dialer.running) {
        const int total = std::max(status.dialer.chunksToSend, status.dialer.nextChunk + 1);
        const auto left = kDialerChunkInterval * (total - status.dialer.nextChunk);
        t = {JobKind::DialerUpload, status.dialer.nextChunk, total,
             "dialer upload: chunk " + std::to_string(status.dialer.nextChunk + 1) + " of " +
                 std::to_string(total),
             std::chrono::duration_cast<std::chrono::seconds>(left)};
    }
    return t;
}

std::string secondsText(std::chrono::seconds left) {
    if (left.count() >= 120)
        return "about " + std::to_string((left.count() + 30) / 60) + " min left";
    return "about " + std::to_string(std::max<long long>(left.count(), 1)) + " s left";
}

}  // namespace

ProgressView LinkProgress::update(const LinkStatus& status) {
    const Transfer t = transferOf(status);
    const Clock::TimePoint now = m_clock.now();
    if (t.kind != m_kind) {
        m_kind = t.kind;
        m_started = now;
    }
    if (t.kind == JobKind::None) return {};
    ProgressView view{t.value, t.maximum, t.what};
    std::optional<std::chrono::seconds> left = t.fixedLeft;
    const auto elapsed = now - m_started;
    if (!left && t.value > 0 && elapsed.count() > 0) {
        // The pace so far, for what is still to come.
        left = std::chrono::ceil<std::chrono::seconds>(elapsed * (t.maximum - t.value) / t.value);
    }
    if (left) view.text += ", " + secondsText(*left);
    return view;
}

}  // namespace veskator
