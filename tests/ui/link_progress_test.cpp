// The progress bar of the long transfers: what it counts, in which order the transfers are
// shown, and the time left from the pace so far (or the dialer's fixed pace).

#include <gtest/gtest.h>

#include "platform/headless/headless_platform.h"
#include "ui/link_progress.h"

namespace veskator {
namespace {

using namespace std::chrono_literals;

TEST(LinkProgressTest, CountsTheTransferUnderWayAndItsTimeLeft) {
    VirtualClock clock;
    LinkProgress progress(clock);
    LinkStatus status;
    EXPECT_EQ(progress.update(status), ProgressView{});

    status.fullReadPending = true;
    EXPECT_EQ(progress.update(status), (ProgressView{0, 64, "reading device: 0 of 64 units"}));
    clock.advance(600ms);
    status.unitsRead = 16;
    EXPECT_EQ(progress.update(status),
              (ProgressView{16, 64, "reading device: 16 of 64 units, about 2 s left"}));

    // A full read comes first; once it ends, the load under way shows, its pace its own.
    status.writeAllPending = true;
    status.writeAllReadsBack = true;
    status.writeAllBlock = 2;
    clock.advance(400ms);
    progress.update(status);
    status.fullReadPending = false;
    EXPECT_EQ(progress.update(status), (ProgressView{2, 9, "writing all blocks: step 3 of 9"}));
    clock.advance(2s);
    EXPECT_EQ(progress.update(status),
              (ProgressView{2, 9, "writing all blocks: step 3 of 9, about 7 s left"}));
    status.writeAllReadingBack = true;
    status.writeAllBlock = 5;
    EXPECT_EQ(progress.update(status).text, "reading the blocks back: step 9 of 9, about 1 s left");

    // The dialer's pace is fixed: five seconds a chunk still to go.
    status = LinkStatus{};
    status.dialer.running = true;
    status.dialer.nextChunk = 1;
    status.dialer.chunksToSend = 4;
    EXPECT_EQ(progress.update(status),
              (ProgressView{1, 4, "dialer upload: chunk 2 of 4, about 15 s left"}));
    status.dialer.nextChunk = 3;
    status.dialer.chunksToSend = 33;
    EXPECT_EQ(progress.update(status).text, "dialer upload: chunk 4 of 33, about 3 min left");
}

}  // namespace
}  // namespace veskator
