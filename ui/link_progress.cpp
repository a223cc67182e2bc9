#include "ui/link_progress.h"

#include <algorithm>

#include "link/link_jobs.h"
#include "model/dialer_data.h"

namespace veskator {

namespace {

struct Shown {
    JobKind kind = JobKind::None;
    int value = 0;
    int maximum = 1;
    std::string what;  // "reading device: 23 of 64 units"
    std::optional<std::chrono::seconds> fixedLeft;
};

// The transfer the status line names is the one shown.
Shown transferOf(const LinkStatus& status) {
    Shown t;
    if (status.transfers.empty()) return t;
    const Transfer& shown = status.transfers.front();
    switch (shown.kind) {
        case TransferKind::FullRead:
            return {JobKind::FullRead,
                    shown.done,
                    shown.total,
                    "reading device: " + std::to_string(shown.done) + " of " +
                        std::to_string(shown.total) + " units",
                    {}};
        case TransferKind::AlarmCode: {
            const int done = std::clamp(shown.done, 0, shown.total);
            return {JobKind::AlarmCodeDownload,
                    done,
                    shown.total,
                    "alarm code: chunk " + std::to_string(done + 1) + " of at most " +
                        std::to_string(shown.total),
                    {}};
        }
        case TransferKind::WriteAll: {
            const char* what = shown.stage == WriteStage::ReadingBack ? "reading the blocks back"
                               : shown.stage == WriteStage::Rewriting
                                   ? "writing again what differed"
                                   : "writing all blocks";
            return {JobKind::WriteAll,
                    shown.done,
                    shown.total,
                    std::string(what) + ": step " +
                        std::to_string(std::min(shown.done + 1, shown.total)) + " of " +
                        std::to_string(shown.total),
                    {}};
        }
        case TransferKind::DialerUpload: {
            const auto left = kDialerChunkInterval * (shown.total - shown.done);
            return {JobKind::DialerUpload, shown.done, shown.total,
                    "dialer upload: chunk " + std::to_string(shown.done + 1) + " of " +
                        std::to_string(shown.total),
                    std::chrono::duration_cast<std::chrono::seconds>(left)};
        }
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
    const Shown t = transferOf(status);
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
