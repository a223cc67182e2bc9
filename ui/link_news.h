#pragma once
// What the link has done since a window last looked: a full read that filled the image, a byte it
// rewrote as it sent it, a write of all blocks that ended, a pairing frame's exchange that ended.
// Each window keeps one and takes each piece of news once.

#include "link/link_status.h"

namespace veskator {

class LinkNews {
  public:
    struct News {
        bool read = false;
        bool rewrite = false;
        bool load = false;
        bool pairing = false;
    };

    // What the link did before a window opened is no news to it.
    void startFrom(const LinkStatus& status) { m_seen = countsOf(status); }
    // What happened since the last look, and it is then seen.
    News take(const LinkStatus& status) {
        const Counts now = countsOf(status);
        const News news{now.reads != m_seen.reads, now.rewrites != m_seen.rewrites,
                        now.loads != m_seen.loads, now.pairings != m_seen.pairings};
        m_seen = now;
        return news;
    }

  private:
    struct Counts {
        int reads = 0;
        int rewrites = 0;
        int loads = 0;
        int pairings = 0;
    };
    static Counts countsOf(const LinkStatus& s) {
        return {s.readsCompleted, s.imageRewrites, s.loadsFinished, s.pairingsEnded};
    }

    Counts m_seen;
};

}  // namespace veskator
