// Jobs started again, stopped, or run against a device that does not answer: the device ends
// with one load's blocks or none, replies land at the unit that asked for them, and what could
// not be written is said and written once the device answers.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "link/link_engine.h"
#include "tests/link/link_fixture.h"
#include "tests/support/rig.h"

namespace veskator::link_test {
namespace {

using Kind = sim::SimEvent::Kind;

std::string imagePattern(std::uint8_t seed) {
    std::string bytes(kImageSize, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto b = static_cast<std::uint8_t>(i * 7 + seed);
        if (b == 13) b = 14;
        bytes[i] = static_cast<char>(b);
    }
    return bytes;
}

class LinkJobsTest : public LinkEngineTest {
  protected:
    void loadImage(const std::string& bytes, ReadBack readBack = ReadBack::Off) {
        auto image = state.workspace.image();
        std::copy(bytes.begin(), bytes.end(), image.begin());
        state.setLoaded("file", engine->target());
        engine->requestWriteAll(readBack);
    }
    std::size_t count(Kind kind) const { return events(kind).size(); }
};

TEST_F(LinkJobsTest, JobsStartedAgainOrStoppedNeverMix) {
    // A second load while the first is writing: the device ends with the second file whole.
    loadImage(imagePattern(1));
    ASSERT_TRUE(pumpUntil([&] { return count(Kind::BlockWrite) >= 3; }));
    const std::string second = imagePattern(2);
    loadImage(second);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(deviceBytes(0, kImageSize), second);
    ASSERT_TRUE(engine->status().lastLoad);
    EXPECT_TRUE(engine->status().lastLoad->complete());

    // Start/Go again while a reply is on its way: every unit holds its own bytes.
    sim::SimConfig split;
    split.fault = sim::FaultMode::SplitReplies;
    startSim(split);
    state.workspace.receiveArea()[0] = 0xAB;
    requestFullRead();
    for (std::size_t restart = 1; restart <= 3; ++restart) {
        ASSERT_TRUE(pumpUntil([&] {
            return (count(Kind::Read) > 4 * restart &&
                    engine->linkState() == LinkState::AwaitReply) ||
                   !engine->status().busyWith(TransferKind::FullRead);
        }));
        requestFullRead();
    }
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(firstDifference(receiveArea(), deviceBytes(0, kReceiveAreaSize)), std::nullopt);

    // A read stopped (a load takes over the image) stores nothing more.
    requestFullRead();
    ASSERT_TRUE(pumpUntil([&] { return count(Kind::Read) >= 2; }));
    engine->stopFullRead();
    std::fill(state.workspace.image().begin(), state.workspace.image().end(), 0x5A);
    ASSERT_TRUE(pumpUntilSettled());
    const auto image = state.workspace.image();
    EXPECT_TRUE(std::all_of(image.begin(), image.end(), [](std::uint8_t b) { return b == 0x5A; }));
}

// Against a device that never greets, is booting, or refuses: a load is over in seconds and the
// device holds all eight blocks of the file or none of them.
TEST_F(LinkJobsTest, ALoadStopsAtTheFirstBlockThatNeverReachedTheDevice) {
    network.setPatience(std::chrono::milliseconds(5));
    struct Case {
        sim::FaultMode fault;
        std::chrono::milliseconds greetingDelay;
        std::chrono::seconds overWithin;
        std::string_view reason;
    };
    const Case cases[] = {
        {sim::FaultMode::NoGreeting, {}, std::chrono::seconds(40), "no greeting from device"},
        {sim::FaultMode::Refuse, {}, std::chrono::seconds(10), "connect failed"},
        // Mute for its first 20 s: the load stops before it answers.
        {sim::FaultMode::GreetingDelay, std::chrono::seconds(20), std::chrono::seconds(40),
         "no greeting from device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "fault " << static_cast<int>(c.fault));
        sim::SimConfig config;
        config.fault = c.fault;
        config.greetingDelay = c.greetingDelay;
        startSim(config);
        const std::string before = deviceBytes(0, kImageSize);
        const auto start = clock.now();
        loadImage(imagePattern(3));
        ASSERT_TRUE(pumpUntil(
            [&] { return !engine->status().busyWith(TransferKind::WriteAll) && engine->idle(); }));
        EXPECT_LE(clock.now() - start, c.overWithin);
        EXPECT_EQ(connections(), kMaxAttempts);
        const std::optional<LoadOutcome>& load = engine->status().lastLoad;
        ASSERT_TRUE(load);
        EXPECT_EQ(load->stop, LoadOutcome::Stop::Writing);
        EXPECT_EQ(load->stoppedAt, 0);
        EXPECT_EQ(load->reason, c.reason);
        runTicks(200);
        EXPECT_EQ(connections(), kMaxAttempts) << "nothing is tried after the stop";
        EXPECT_EQ(deviceBytes(0, kImageSize), before);
        EXPECT_FALSE(engine->status().deviceAnswering);
    }

    // The alarm-code download stops the same way.
    sim::SimConfig mute;
    mute.fault = sim::FaultMode::NoGreeting;
    startSim(mute);
    std::array<std::uint8_t, 300> code{};
    code.fill('C');
    const auto start = clock.now();
    engine->startAlarmDownload(code);
    ASSERT_TRUE(pumpUntil(
        [&] { return !engine->status().busyWith(TransferKind::AlarmCode) && engine->idle(); }));
    EXPECT_LE(clock.now() - start, std::chrono::seconds(40));
    EXPECT_EQ(connections(), kMaxAttempts);
    EXPECT_EQ(engine->texts().download,
              "download stopped at chunk 64: no greeting from device; no later chunk was sent");
}

TEST_F(LinkJobsTest, WritesTheDeviceMissedAreListedAndGoOnceItAnswers) {
    readDeviceFirst();
    network.setPatience(std::chrono::milliseconds(5));
    device->setFault(sim::FaultMode::Refuse);
    state.workspace.image()[kBlockSize + 5] = 0x42;
    engine->requestBlockWrite(1);
    ASSERT_TRUE(pumpUntilSettled(std::chrono::seconds(60)));
    EXPECT_EQ(connections(), kMaxAttempts);
    EXPECT_EQ(engine->status().lastError, "A1 not written: connect failed");
    // While the device does not answer, each further request is tried once.
    engine->requestBlockWrite(3);
    engine->requestExchange(kCodeRemoteReset);
    ASSERT_TRUE(pumpUntilSettled(std::chrono::seconds(60)));
    EXPECT_EQ(connections(), kMaxAttempts + 2);
    EXPECT_EQ(engine->status().lastError, "remote reset not sent: connect failed");
    EXPECT_EQ(engine->status().unwrittenBlocks.to_ulong(), 0b1010u);

    // The first exchange that goes through brings the missed blocks after it.
    device->setFault(sim::FaultMode::None);
    device->clearEvents();
    engine->requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntilSettled());
    const auto writes = events(Kind::BlockWrite);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].number, 1);
    EXPECT_EQ(writes[1].number, 3);
    EXPECT_EQ(writes[0].data[5], 0x42);
    EXPECT_TRUE(engine->status().unwrittenBlocks.none());
    EXPECT_TRUE(engine->status().deviceAnswering);
}

TEST_F(LinkJobsTest, StatusRequestsNeverHoldAnythingUpAndNeverPileUp) {
    readDeviceFirst();
    for (int i = 0; i < 5; ++i) engine->requestExchange(kCodeStatus);
    engine->requestExchange(kCodeRemoteReset);
    engine->requestBlockWrite(2);
    EXPECT_EQ(engine->queued(), 3u);
    ASSERT_TRUE(pumpUntilSettled());
    std::vector<Kind> kinds;
    for (const sim::SimEvent& e : commands()) kinds.push_back(e.kind);
    EXPECT_EQ(kinds, (std::vector<Kind>{Kind::BlockWrite, Kind::RemoteReset, Kind::Status}));

    // One in flight is enough: a request made meanwhile is not queued behind it.
    device->clearEvents();
    engine->requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntil([&] { return !engine->idle(); }));
    engine->requestExchange(kCodeStatus);
    EXPECT_TRUE((engine->queued() == 0));
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(count(Kind::Status), 1u);
}

// A load read back: units 0 to 15 on one connection after the eight writes, compared with the
// image as sent (13 went out as 12) and never stored; a block that differs is written and read
// back once more, and the message counts and names the blocks. (A healthy device, and read-back
// switched off, are the main window's tests.)
TEST_F(LinkJobsTest, ReadBackChecksEveryBlockAndWritesOnceMoreWhatDiffers) {
    std::vector<int> units(2 * kBlockCount);
    for (int u = 0; u < 2 * kBlockCount; ++u) units[static_cast<std::size_t>(u)] = u;
    const std::vector<int> blocks{0, 1, 2, 3, 4, 5, 6, 7};
    const auto plus = [](std::vector<int> list, std::initializer_list<int> more) {
        list.insert(list.end(), more);
        return list;
    };
    struct Case {
        const char* name;
        std::function<void()> fault;  // switched on after the image is loaded, before a tick
        std::vector<int> writes;
        std::vector<int> reads;
        int connections;
        std::size_t verified;  // blocks read back as written
        std::string differing;
        LoadOutcome::Stop stop;
        int corruptBlock;  // whose byte the device holds flipped; -1: none
    };
    const Case cases[] = {
        // The last block of each round is read back on the connection that wrote it.
        {"A3 corrupted at every write", [&] { device->setCorruptOnWrite(3, false); },
         plus(blocks, {3}), plus(units, {6, 7}), 9, 7, "A3", LoadOutcome::Stop::None, 3},
        {"A5 corrupted at its first write", [&] { device->setCorruptOnWrite(5, true); },
         plus(blocks, {5}), plus(units, {10, 11}), 9, 8, "", LoadOutcome::Stop::None, -1},
        {"silent once reading back: each of three connections asks three times",
         [&] {
             network.setPatience(std::chrono::milliseconds(5));
             ASSERT_TRUE(pumpUntil([&] {
                 const Transfer* load = engine->status().transfer(TransferKind::WriteAll);
                 return load != nullptr && load->at == kBlockCount - 1;
             }));
             device->setFault(sim::FaultMode::Silence);
         },
         blocks, std::vector<int>(3 * kMaxAttempts, 0), 7 + kMaxAttempts, 0, "",
         LoadOutcome::Stop::ReadBack, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startSim();
        std::string image = imagePattern(9);
        image[5] = '\r';
        image[kImageSize - 1] = '\r';
        loadImage(image, ReadBack::On);
        c.fault();
        // The status says which block is written again.
        const int rewritten = c.writes.size() > kBlockCount ? c.writes.back() : -1;
        bool sawRewrite = false;
        ASSERT_TRUE(pumpUntil([&] {
            const Transfer* load = engine->status().transfer(TransferKind::WriteAll);
            sawRewrite = sawRewrite || (load != nullptr && load->stage == WriteStage::Rewriting &&
                                        load->at == rewritten);
            return settled();
        }));
        ASSERT_TRUE(test_support::deviceQuiet(*device));

        EXPECT_EQ(numbersOf(events(Kind::BlockWrite)), c.writes);
        const auto reads = events(Kind::Read);
        EXPECT_EQ(numbersOf(reads), c.reads);
        if (reads.size() >= units.size()) {
            EXPECT_TRUE(std::all_of(reads.begin(), reads.begin() + 16, [&](const auto& r) {
                return r.connection == reads.front().connection;
            }));
        }
        EXPECT_EQ(connections(), c.connections);
        const std::optional<LoadOutcome>& load = engine->status().lastLoad;
        ASSERT_TRUE(load);
        EXPECT_TRUE(load->readBack);
        EXPECT_EQ(load->verified.count(), c.verified);
        EXPECT_EQ(blockList(load->differing), c.differing);
        EXPECT_EQ(load->stop, c.stop);
        EXPECT_EQ(load->complete(), c.verified == kBlockCount);
        EXPECT_EQ(sawRewrite, rewritten >= 0);

        std::string sent = image;
        std::replace(sent.begin(), sent.end(), '\r', '\f');
        // What was read back stayed out of the image.
        EXPECT_EQ(firstDifference(textOf(state.workspace.image()), sent), std::nullopt);
        std::string held = sent;
        if (c.corruptBlock >= 0) {
            auto& flipped =
                held[static_cast<std::size_t>(c.corruptBlock) * kBlockSize + sim::kCorruptedByte];
            flipped = static_cast<char>(~flipped);
        }
        EXPECT_EQ(firstDifference(deviceBytes(0, kImageSize), held), std::nullopt);
    }
}

}  // namespace
}  // namespace veskator::link_test
