#pragma once
// What the three windows share: the one device model, the link that serves it with its logs, the
// snapshots of this run, and what the windows tell each other (the notice every status line shows,
// the loop polling switch). The application owns one; every window is handed it.

#include <string>

#include "link/link_engine.h"
#include "link/link_logs.h"
#include "link/parameter_load.h"
#include "model/parameter_files.h"
#include "model/programmer_state.h"
#include "platform/services.h"

namespace veskator {

class Session {
  public:
    explicit Session(Services& services)
        : m_services(services),
          m_logs(services.files),
          m_link(m_state, services.network, services.clock, &m_logs),
          m_snapshots(services.files) {}
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

    // What the windows have to say on every status line until something newer replaces it.
    std::string notice;
    // The options window's "reading loop status" switch: it outlives the window, so polling
    // resumes when the window opens again.
    bool loopPolling = false;

  private:
    Services& m_services;
    ProgrammerState m_state;
    LinkLogFiles m_logs;
    LinkEngine m_link;
    SnapshotKeeper m_snapshots;
};

}  // namespace veskator
