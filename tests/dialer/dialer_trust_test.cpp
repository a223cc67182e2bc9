// The dialer upload and the bridge pairing a technician can trust: the list as it stood at the
// press goes whole, at a steady pace, or stops and says so for good; one pairing frame per press;
// the window shows what the device holds.

#include <algorithm>
#include <map>
#include <string>

#include "resources/main_dialog_template.h"
#include "tests/dialer/dialer_fixture.h"
#include "tests/support/rig.h"
#include "ui/status_line.h"

namespace veskator::dialer_test {
namespace {

namespace ids = dialer_ids;
using mainwin_test::writeFile;

// The chunks the device took, by number, with the virtual time each arrived.
class DialerTrustTest : public DialerWindowTest {
  protected:
    std::map<int, Clock::TimePoint> arrivals;
    void noteArrivals() {
        for (const sim::SimEvent& e : events(Kind::ChunkWrite)) {
            arrivals.try_emplace(e.number - kDialerFirstBlock, clock.now());
        }
    }
    bool pumpNoting(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        return pumpUntil(
            [&] {
                noteArrivals();
                return done();
            },
            limit);
    }
    std::string deviceChunk(int chunk) const {
        return deviceBytes(static_cast<std::size_t>(32 + chunk) * kBlockSize, kBlockSize);
    }
};

TEST_F(DialerTrustTest, ALoadDuringAnUploadLeavesTheDialerTheFirstListWhole) {
    openDialer();
    for (int line = 0; line < 21; ++line) {
        replaceText(ids::kTelephone, "55501" + std::to_string(10 + line));
        click(ids::kNextLine);
    }
    replaceText(ids::kTelephone, "E");
    const std::string listed(area(0, 4 * kBlockSize));
    click(ids::kUpload);
    win->requestClose();
    ASSERT_TRUE(pumpUntil([&] { return events(Kind::ChunkWrite).size() == 2; }, 20s));
    // Another file over the workspace: its dialer list is empty.
    writeFile(path("other.par"), std::string(kWorkspaceSize, '\0'));
    dialog->replaceText(main_ids::kLoadName, "other.par");
    dialog->click(main_ids::kLoad);
    dialog->click(main_ids::kYes);
    pumpFor(20ms);
    EXPECT_NE(
        shown(main_ids::kStatusLine).find("the dialer upload is still sending the earlier list"),
        std::string::npos)
        << shown(main_ids::kStatusLine);
    ASSERT_TRUE(pumpUntil([&] { return !engine->status().dialer.running; }, 60s));
    ASSERT_TRUE(pumpUntilSettled());
    // Chunks 0 to 3 of the first list, the end mark in the last: nothing of the second.
    EXPECT_EQ(events(Kind::ChunkWrite).size(), 4u);
    for (int chunk = 0; chunk < 4; ++chunk) {
        EXPECT_EQ(deviceChunk(chunk),
                  listed.substr(static_cast<std::size_t>(chunk) * kBlockSize, kBlockSize))
            << "chunk " << chunk;
    }
    EXPECT_NE(shown(main_ids::kStatusLine).find("dialer upload completed"), std::string::npos);
}

// After a connection that was never greeted the chunks still reach the dialer at least five
// seconds apart; a device that never greets ends the upload within about 20 s, and says so in
// every window until the next upload, and in a reopened dialer window.
TEST_F(DialerTrustTest, AnUploadKeepsItsPaceAndAFailureLasts) {
    network.setPatience(5ms);
    openDialer(false);
    for (int line = 0; line < 17; ++line) click(ids::kNextLine);
    replaceText(ids::kTelephone, "E");  // line 17: chunk 3 ends the list
    click(ids::kUpload);
    ASSERT_TRUE(pumpNoting([&] { return arrivals.size() == 1; }, 10s));
    // Chunk 1's first connection is never greeted.
    sim->setFault(sim::FaultMode::NoGreeting);
    const int connected = sim->connectionCount();
    ASSERT_TRUE(pumpUntil([&] { return sim->connectionCount() > connected; }, 10s));
    sim->setFault(sim::FaultMode::None);
    ASSERT_TRUE(pumpNoting([&] { return !engine->status().dialer.running; }, 60s));
    // The simulator notes the last chunk on its own thread, a moment after it went.
    ASSERT_TRUE(test_support::deviceQuiet(*sim));
    noteArrivals();
    ASSERT_EQ(arrivals.size(), 4u);
    for (int chunk = 1; chunk < 4; ++chunk) {
        EXPECT_GE(arrivals[chunk] - arrivals[chunk - 1], 5s) << "chunk " << chunk;
    }

    // A device that never greets: the upload stops within about 20 s, before its second chunk.
    sim->clearEvents();
    sim->setFault(sim::FaultMode::NoGreeting);
    click(ids::kUpload);
    const auto start = clock.now();
    win->requestClose();
    ASSERT_TRUE(pumpUntil([&] { return !engine->status().dialer.running; }, 60s));
    EXPECT_LE(clock.now() - start, 21s);
    EXPECT_TRUE(events(Kind::ChunkWrite).empty());
    const std::string stopped =
        "dialer upload stopped at chunk 0: no greeting from device; the dialer holds none of the "
        "new list, upload again";
    sim->setFault(sim::FaultMode::None);
    pumpFor(10s);
    EXPECT_NE(shown(main_ids::kStatusLine).find(stopped), std::string::npos);
    reopen();
    EXPECT_EQ(log(), stopped + "\r\n");
    EXPECT_NE(win->text(ids::kStatusLine).find(stopped), std::string::npos);
    click(ids::kUpload);
    pumpFor(20ms);
    EXPECT_EQ(shown(main_ids::kStatusLine).find(stopped), std::string::npos);
}

TEST_F(DialerTrustTest, OnePairingFramePerPressAndNoneBeforeARead) {
    openDialer(false);
    click(ids::kPair);
    EXPECT_NE(win->text(ids::kStatusLine).find(kTextReadFirst), std::string::npos);
    pumpFor(3s);
    EXPECT_EQ(connections(), 0);

    openWindow();
    readDevice();
    reopen();
    network.setPatience(5ms);
    sim->setFault(sim::FaultMode::Silence);  // greets, then never answers
    click(ids::kPair);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(events(Kind::Pairing).size(), 1u);
    EXPECT_EQ(connections(), 1);
    EXPECT_TRUE(log().ends_with("pairing frame sent; the bridge did not answer\r\n")) << log();
}

TEST_F(DialerTrustTest, TheWindowShowsWhatTheDeviceHolds) {
    setDeviceByte(0, 0x6c, 0x0c);  // clicking "schedule time" makes it 13, sent as 12
    openDialer();
    click(ids::kScheduleOrAutomatic);
    replaceText(ids::kLineDelay, "13");
    replaceText(ids::kTcpSocketSize, "300");
    EXPECT_EQ(win->text(ids::kTcpSocketSize), "255");
    ASSERT_TRUE(pumpUntilSettled());
    pumpFor(50ms);
    EXPECT_EQ(deviceByte(0, 0x6c), 0x0c);
    EXPECT_FALSE(win->isChecked(ids::kScheduleOrAutomatic));
    EXPECT_EQ(deviceByte(3, 0x50), 12);
    EXPECT_EQ(win->text(ids::kLineDelay), "12");
    // Every rewrite of the action is named, not just the last.
    const std::string status = win->text(ids::kStatusLine);
    EXPECT_NE(status.find("A0 0x6c"), std::string::npos) << status;
    EXPECT_NE(status.find("A3 0x50"), std::string::npos) << status;

    // The subscriber box takes what its slot holds, and says nothing is cut by taking no more.
    typeText(ids::kSubscriber, std::string(1030, 's'));
    EXPECT_EQ(win->text(ids::kSubscriber).size(), 1023u);
}

}  // namespace
}  // namespace veskator::dialer_test
