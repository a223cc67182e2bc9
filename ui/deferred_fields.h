#pragma once
// Deferred edits: a field's change is committed one second after its last keystroke, whatever
// the tick rate, or at once when the user presses Enter, saves, or closes the window. Rows are
// a window's commit table, taken in the table's order.

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <optional>
#include <vector>

#include "platform/clock.h"

namespace veskator {

inline constexpr std::chrono::milliseconds kCommitDelay{1000};

class DeferredFields {
  public:
    DeferredFields(const Clock& clock, std::size_t rows) : m_clock(clock), m_due(rows) {}

    void mark(std::size_t row) { m_due.at(row) = m_clock.now() + kCommitDelay; }
    void markNow(std::size_t row) { m_due.at(row) = m_clock.now(); }
    void drop(std::size_t row) { m_due.at(row).reset(); }
    bool pending(std::size_t row) const { return m_due.at(row).has_value(); }
    int pendingCount() const {
        return static_cast<int>(std::count_if(m_due.begin(), m_due.end(),
                                              [](const auto& due) { return due.has_value(); }));
    }

    // When the earliest pending row falls due; none when nothing is pending.
    std::optional<Clock::TimePoint> nextDue() const {
        std::optional<Clock::TimePoint> next;
        for (const auto& due : m_due) {
            if (due && (!next || *due < *next)) next = due;
        }
        return next;
    }

    enum class Which { Due, All };
    // Calls commit(row) for every row due by now (or every pending row), in table order, and
    // clears each before its call.
    template <typename Commit>
    void take(Which which, Commit&& commit) {
        take(which, commit, [](std::size_t) { return true; });
    }
    // The same for the rows `only` accepts.
    template <typename Commit, typename Only>
    void take(Which which, Commit&& commit, Only&& only) {
        const Clock::TimePoint now = m_clock.now();
        for (std::size_t row = 0; row < m_due.size(); ++row) {
            if (!m_due[row] || (which == Which::Due && *m_due[row] > now) || !only(row)) continue;
            m_due[row].reset();
            commit(row);
        }
    }

  private:
    const Clock& m_clock;
    std::vector<std::optional<Clock::TimePoint>> m_due;
};

}  // namespace veskator
