// The progress bar of the long transfers: what it counts, in which order the transfers are
// shown, and the time left from the pace so far (or the dialer's fixed pace).

#include "ui/link_progress.h"

#include <gtest/gtest.h>

#include "platform/headless/headless_platform.h"

namespace veskator {
namespace {

using namespace std::chrono_literals;

TEST(LinkProgressTest, CountsTheTransferUnderWayAndItsTimeLeft) {
    VirtualClock clock;
    LinkProgress progress(clock);
    LinkStatus status;
    EXPECT_EQ(progress.update(status), ProgressView{});

    status.transfers = {{TransferKind::FullRead, 0, 64, 0}};
    EXPECT_EQ(progress.update(status), (ProgressView{0, 64, "reading device: 0 of 64 units"}));
    clock.advance(600ms);
    status.transfers = {{TransferKind::FullRead, 16, 64, 16}};
    EXPECT_EQ(progress.update(status),
              (ProgressView{16, 64, "reading device: 16 of 64 units, about 2 s left"}));

    // A full read comes first; once it ends, the load under way shows, its pace its own.
    Transfer load{TransferKind::WriteAll, 2, 9, 2, WriteStage::Writing, true};
    status.transfers.push_back(load);
    clock.advance(400ms);
    progress.update(status);
    status.transfers = {load};
    EXPECT_EQ(progress.update(status), (ProgressView{2, 9, "writing all blocks: step 3 of 9"}));
    clock.advance(2s);
    EXPECT_EQ(progress.update(status),
              (ProgressView{2, 9, "writing all blocks: step 3 of 9, about 7 s left"}));
    status.transfers = {{TransferKind::WriteAll, 8, 9, 5, WriteStage::ReadingBack, true}};
    EXPECT_EQ(progress.update(status).text, "reading the blocks back: step 9 of 9, about 1 s left");

    // The dialer's pace is fixed: five seconds a chunk still to go.
    status = LinkStatus{};
    status.transfers = {{TransferKind::DialerUpload, 1, 4, 1}};
    EXPECT_EQ(progress.update(status),
              (ProgressView{1, 4, "dialer upload: chunk 2 of 4, about 15 s left"}));
    status.transfers = {{TransferKind::DialerUpload, 3, 33, 3}};
    EXPECT_EQ(progress.update(status).text, "dialer upload: chunk 4 of 33, about 3 min left");
}

}  // namespace
}  // namespace veskator
