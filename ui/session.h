#pragma once
// What the three windows share: the one device model, the link that serves it with its logs, the
// snapshots of this run, and what the windows tell each other (the notice every status line shows,
// the loop polling switch). The application owns one; every window is handed it. The session
// drives the link's tick: it runs while the link has work, whatever a window is doing (one that
// waits out a fixed wait holds nothing up), and each tick wakes the windows to show it.

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "link/journal_observer.h"
#include "link/link_engine.h"
#include "link/link_logs.h"
#include "link/parameter_load.h"
#include "model/parameter_files.h"
#include "model/programmer_state.h"
#include "model/write_journal.h"
#include "platform/services.h"

namespace veskator {

class Session {
  public:
    explicit Session(Services& services)
        : m_services(services),
          m_logs(services.files),
          m_link(m_state, services.network, services.clock, &m_logs),
          m_snapshots(services.files),
          m_journal(services.files, services.wallClock, thisAuthor()),
          m_journalObserver(m_journal, m_state),
          m_linkAlarm(services.windows.makeAlarm([this] { tickLink(); })) {
        // Work for the link starts its tick and wakes every window.
        m_link.setOnRequest([this] {
            m_linkAlarm->start(std::chrono::milliseconds{0});
            wakeWindows();
        });
        // News on the link's socket is taken at once.
        m_link.setTickSoon([this] { m_linkAlarm->start(std::chrono::milliseconds{0}); });
        // Every write is in the journal before its first frame goes out.
        m_link.setWriteObserver(&m_journalObserver);
        m_journalObserver.setOnClosed([this] { readJournal(); });
    }
    ~Session() {
        m_linkAlarm.reset();
        m_link.setTickSoon(nullptr);
        m_link.setOnRequest(nullptr);
        m_link.setWriteObserver(nullptr);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    ProgrammerState& state() { return m_state; }
    const ProgrammerState& state() const { return m_state; }
    LinkEngine& link() { return m_link; }
    const LinkEngine& link() const { return m_link; }
    LinkLogFiles& logs() { return m_logs; }
    SnapshotKeeper& snapshots() { return m_snapshots; }
    // The load routine's pieces, taken from this session.
    LoadServices loadServices() {
        return {m_state, m_link, m_services.files, m_snapshots, m_services.wallClock};
    }

    WriteJournal& journal() { return m_journal; }
    // The writes of earlier runs cut short, until their device is read or written whole, and the
    // journal lines skipped when it was read: said before anything else.
    const std::string& interrupted() const { return m_interrupted; }
    const std::vector<std::string>& journalNotes() const { return m_journalNotes; }
    std::string journalMessage() const {
        std::string text = m_interrupted;
        for (const std::string& note : m_journalNotes) text += (text.empty() ? "" : "; ") + note;
        return text;
    }

    // What the windows have to say on every status line until something newer replaces it; the
    // writes cut short stay in front of it.
    const std::string& notice() const { return m_shownNotice; }
    void setNotice(std::string notice) {
        m_notice = std::move(notice);
        composeNotice();
        wakeWindows();
    }

    // The windows' timers rest while nothing is due; a window registers how to wake it while it
    // is open. wakeWindows wakes every window but `except`.
    void addWaker(const void* window, std::function<void()> wake) {
        m_wakers.emplace_back(window, std::move(wake));
    }
    void removeWaker(const void* window) {
        std::erase_if(m_wakers, [window](const auto& w) { return w.first == window; });
    }
    void wakeWindows(const void* except = nullptr) {
        // A copy, so that a wake that registers or removes a window cannot upset the loop.
        const auto wakers = m_wakers;
        for (const auto& [window, wake] : wakers) {
            if (window != except) wake();
        }
    }

    // The options window's "reading loop status" switch: it outlives the window, so polling
    // resumes when the window opens again.
    bool loopPolling = false;

    // Reads the journal again: the main window at its start, and after a device was made whole.
    void readJournal() {
        const JournalContent content = m_journal.read();
        m_journalNotes = content.notes;
        m_interrupted = interruptedText(m_journal.interrupted(content),
                                        dateText(m_services.wallClock.localNow()), "; ");
        composeNotice();
    }

    // The pace of the link's tick while it polls.
    static constexpr std::chrono::milliseconds kLinkTickPeriod{10};

  private:
    void tickLink() {
        m_link.tick();
        if (const std::optional<Clock::TimePoint> next = m_link.nextTick()) {
            const auto wait =
                std::chrono::ceil<std::chrono::milliseconds>(*next - m_services.clock.now());
            m_linkAlarm->start(std::max(wait, kLinkTickPeriod));
        }
        wakeWindows();
    }

    void composeNotice() {
        m_shownNotice = m_interrupted;
        if (!m_shownNotice.empty() && !m_notice.empty()) m_shownNotice += "    ";
        m_shownNotice += m_notice;
    }

    Services& m_services;
    ProgrammerState m_state;
    LinkLogFiles m_logs;
    LinkEngine m_link;
    SnapshotKeeper m_snapshots;
    WriteJournal m_journal;
    JournalObserver m_journalObserver;
    std::string m_interrupted;
    std::vector<std::string> m_journalNotes;
    std::string m_notice;
    std::string m_shownNotice;
    std::vector<std::pair<const void*, std::function<void()>>> m_wakers;
    std::unique_ptr<Alarm> m_linkAlarm;
};

}  // namespace veskator
