#pragma once
// The progress bar of the long transfers (full read, write of all blocks with its read-back,
// alarm-code download, dialer upload): how far the one under way has come and about how long it
// has left. The time left comes from the pace so far, except for the dialer upload, whose pace
// is fixed.

#include <optional>
#include <string>

#include "link/link_status.h"
#include "platform/clock.h"

namespace veskator {

struct ProgressView {
    int value = 0;
    int maximum = 1;
    std::string text;  // empty when nothing long is under way
    friend bool operator==(const ProgressView&, const ProgressView&) = default;
};

class LinkProgress {
  public:
    explicit LinkProgress(const Clock& clock) : m_clock(clock) {}
    // Called at each tick; a transfer's pace is measured from the first tick that saw it.
    ProgressView update(const LinkStatus& status);

  private:
    const Clock& m_clock;
    JobKind m_kind = JobKind::None;
    Clock::TimePoint m_started{};
};

}  // namespace veskator
