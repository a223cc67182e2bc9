#include "link/link_engine.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/link/link_fixture.h"

namespace veskator::link_test {
namespace {

using Kind = sim::SimEvent::Kind;
using namespace std::string_literals;

constexpr std::size_t kA0 = 0;
constexpr std::size_t kA1 = 128;

std::vector<int> allUnits() {
    std::vector<int> units(kReadUnitCount);
    for (int u = 0; u < kReadUnitCount; ++u) units[static_cast<std::size_t>(u)] = u;
    return units;
}

// What the received-data log holds after the given units were read, one record each.
std::string receiveLogOf(const std::string& device, int units) {
    std::string log;
    for (int u = 0; u < units; ++u) {
        log +=
            "\r\n/64/" + device.substr(static_cast<std::size_t>(u) * kReadUnitSize, kReadUnitSize);
    }
    return log;
}

// A bound but not listening socket: connecting to its port is refused by the system.
class ClosedPort {
  public:
    ClosedPort() {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            m_port = ntohs(address.sin_port);
        }
    }
    ~ClosedPort() {
        if (m_fd >= 0) ::close(m_fd);
    }
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;
    std::uint16_t port() const { return m_port; }

  private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
};

TEST_F(LinkEngineTest, FullReadFillsTheReceiveAreaOverOneConnectionAndLogsIt) {
    const std::string greeting = sim::SimConfig{}.greeting;
    requestFullRead();
    // The trace of the connection: socket, connected, the greeting, then one "5" per reply.
    ASSERT_TRUE(pumpUntil([&] { return cursor() > 0; }));
    const std::string head = "123" + greeting;
    // A device that answers at once may be read whole within one tick; otherwise the trace stands
    // where the read does.
    if (cursor() < static_cast<int>(kReceiveAreaSize)) {
        ASSERT_TRUE(engine->texts().trace.starts_with(head)) << engine->texts().trace;
        EXPECT_EQ(engine->texts().trace.substr(head.size()),
                  std::string(static_cast<std::size_t>(cursor()) / kReadUnitSize, '5'));
    }
    ASSERT_TRUE(pumpUntilSettled());

    const std::string device = deviceBytes(0, kReceiveAreaSize);
    EXPECT_EQ(firstDifference(receiveArea(), device), std::nullopt);
    const auto reads = events(Kind::Read);
    ASSERT_EQ(reads.size(), 64u);
    for (int u = 0; u < kReadUnitCount; ++u) {
        EXPECT_EQ(reads[static_cast<std::size_t>(u)].text, readCommandText(u)) << "unit " << u;
    }
    EXPECT_EQ(reads[2].text, "read programA2");
    EXPECT_EQ(reads[10].text, "read programA:");
    EXPECT_EQ(reads[63].text, "read programAo");
    EXPECT_EQ(commands().size(), 64u);
    EXPECT_EQ(connections(), 1);
    EXPECT_EQ(cursor(), 4096);
    EXPECT_FALSE(engine->status().busyWith(TransferKind::FullRead));
    EXPECT_TRUE(refreshed());
    EXPECT_TRUE(state.holdsDeviceData());
    EXPECT_EQ(engine->texts().trace, "socket closed1");
    EXPECT_EQ(engine->status().lastError, "");
    // The rest of the workspace is not touched by a read.
    const auto rest = state.workspace.bytes().subspan(kReceiveAreaSize);
    EXPECT_TRUE(std::all_of(rest.begin(), rest.end(), [](std::uint8_t b) { return b == 0; }));

    const std::string receiveLog = readWorkFile(kReceiveLogPath);
    EXPECT_EQ(receiveLog.size(), 64u * 70u);
    EXPECT_EQ(firstDifference(receiveLog, receiveLogOf(device, kReadUnitCount)), std::nullopt);

    // The exchange log: the 64 frames in order, each followed by one "7" per tick of waiting.
    const std::string exchangeLog = readWorkFile(kExchangeLogPath);
    std::size_t pos = 0;
    for (int u = 0; u < kReadUnitCount; ++u) {
        const std::string frame = commandFrame(readCommandText(u));
        ASSERT_EQ(exchangeLog.compare(pos, frame.size(), frame), 0) << "unit " << u;
        pos += frame.size();
        const std::size_t end =
            std::min(exchangeLog.find_first_not_of('7', pos), exchangeLog.size());
        ASSERT_GT(end, pos) << "no wait logged after unit " << u;
        pos = end;
    }
    EXPECT_EQ(pos, exchangeLog.size());
}

// The engine says when it next needs a tick: never while settled (a request wakes its driver),
// the pause's end while it pauses, its driver's pace while it polls a socket that tells nothing.
TEST_F(LinkEngineTest, TheEngineNamesItsNextTickAndARequestWakesItsDriver) {
    int wakes = 0;
    engine->setOnRequest([&] { ++wakes; });
    EXPECT_EQ(engine->nextTick(), std::nullopt);
    engine->requestExchange(kCodeStatus);
    engine->requestExchange(kCodeStatus);  // one waits already: no work, no wake
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(engine->nextTick(), clock.now());
    std::optional<Clock::TimePoint> pauseEnd;
    for (int i = 0; i < 100 && !pauseEnd; ++i) {
        runTicks(1);
        if (engine->nextTick() > clock.now()) pauseEnd = engine->nextTick();
    }
    ASSERT_TRUE(pauseEnd);
    EXPECT_GT(*pauseEnd, clock.now() + kPauseAfterConnect - std::chrono::milliseconds(50));
    EXPECT_LE(*pauseEnd, clock.now() + kPauseAfterConnect);
    clock.set(*pauseEnd);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(engine->nextTick(), std::nullopt);
    EXPECT_TRUE(engine->status().loops.ready);
}

TEST_F(LinkEngineTest, StatusExchangePublishesTheLoopBytesAndLogsTheWholeExchange) {
    device->setLoopStatus(0x90, 0x10);
    // The status does not depend on the image: it goes before any read.
    engine->requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntilSettled());

    ASSERT_EQ(events(Kind::Status).size(), 1u);
    EXPECT_EQ(connections(), 1);
    EXPECT_EQ(engine->status().loops.loop1, -112);  // sign-extended
    EXPECT_EQ(engine->status().loops.loop2, 16);
    EXPECT_EQ(engine->status().loops.ready, 1);
    EXPECT_EQ(engine->texts().trace, "socket closed1");

    const std::string log = readWorkFile(kExchangeLogPath);
    const std::string head = "4" + commandFrame("gpcommandr1");
    const std::string tail = "STATUS\x90\x10\r"s + "8";
    ASSERT_TRUE(log.starts_with(head)) << log;
    ASSERT_TRUE(log.ends_with(tail)) << log;
    ASSERT_GT(log.size(), head.size() + tail.size());
    const std::string waits = log.substr(head.size(), log.size() - head.size() - tail.size());
    EXPECT_EQ(waits.find_first_not_of('7'), std::string::npos) << waits;

    // The latest reply is the one shown.
    device->setLoopStatus(0x00, 0xFF);
    engine->requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(engine->status().loops.loop1, 0);
    EXPECT_EQ(engine->status().loops.loop2, -1);
    EXPECT_EQ(connections(), 2);
    // Nothing of a status reply lands in the receive area.
    EXPECT_EQ(cursor(), 0);

    // A reply that comes in pieces is taken whole, its loop bytes from its last piece.
    sim::SimConfig split;
    split.fault = sim::FaultMode::SplitReplies;
    split.splitPause = 20ms;
    split.loop1 = 0x10;
    split.loop2 = 0x00;
    startSim(split);
    engine->requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(engine->status().loops.loop1, 0x10);
    EXPECT_EQ(engine->status().loops.loop2, 0);
    const auto area = state.workspace.receiveArea();
    EXPECT_TRUE(std::all_of(area.begin(), area.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST_F(LinkEngineTest, NoImageBlockIsWrittenBeforeTheDeviceHasBeenRead) {
    commitText(0, 0x30, 16, "12345");
    engine->requestBlockWrite(3);
    engine->requestWriteAll();
    ASSERT_TRUE(pumpUntilSettled());
    runTicks(150);  // past the pause a connection would have taken

    EXPECT_EQ(connections(), 0);
    EXPECT_EQ(engine->status().refusal, Refusal::NoDeviceData);
    EXPECT_FALSE(engine->status().busyWith(TransferKind::WriteAll));
    EXPECT_EQ(deviceBytes(0, kImageSize), patternBytes(0, kImageSize));
    // The change itself is kept in the image.
    EXPECT_EQ(readText(state.workspace.image(), 0x30, 16), "12345");

    // What does not depend on the image still goes.
    engine->requestRemoteReset();
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(device->remoteResetCount(), 1);
    EXPECT_EQ(commands().size(), 1u);
}

TEST_F(LinkEngineTest, WriteOfAllBlocksUsesEightConnectionsInBlockOrder) {
    // As after loading a parameter file: the image holds a whole parameter set.
    auto image = state.workspace.image();
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(255 - i % 251);
    image[5] = 13;
    image[kImageSize - 1] = 13;
    imageIsTheTargets();
    std::string expected = textOf(image);
    std::replace(expected.begin(), expected.end(), '\r', '\f');
    engine->requestWriteAll();
    ASSERT_TRUE(pumpUntilSettled());

    const auto writes = events(Kind::BlockWrite);
    ASSERT_EQ(writes.size(), 8u);
    for (int k = 0; k < kBlockCount; ++k) {
        const sim::SimEvent& w = writes[static_cast<std::size_t>(k)];
        EXPECT_EQ(w.number, k);
        EXPECT_EQ(w.text, "write programA" + std::to_string(k));
        EXPECT_EQ(w.connection, k + 1) << "block " << k << " shares a connection";
    }
    EXPECT_EQ(connections(), 8);
    EXPECT_EQ(commands().size(), 8u);  // no "$remotereset$" and nothing else
    EXPECT_EQ(firstDifference(deviceBytes(0, kImageSize), expected), std::nullopt);
    // A carriage return never stays in a written block, in the image either.
    EXPECT_EQ(firstDifference(textOf(image), expected), std::nullopt);
    ASSERT_TRUE(engine->status().lastLoad);
    EXPECT_TRUE(engine->status().lastLoad->complete());
    EXPECT_FALSE(engine->status().lastLoad->readBack);
    EXPECT_EQ(engine->texts().trace, "socket closed1");
}

TEST_F(LinkEngineTest, WriteOfAllBlocksRetriesARefusedBlockAndNamesBlocksThatNeverWent) {
    readDeviceFirst();
    device->setFault(sim::FaultMode::Refuse);
    engine->requestWriteAll();
    ASSERT_TRUE(pumpUntil([&] { return !engine->status().lastError.empty(); }));
    device->setFault(sim::FaultMode::None);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(numbersOf(events(Kind::BlockWrite)), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(connections(), 9);
    ASSERT_TRUE(engine->status().lastLoad);
    EXPECT_TRUE(engine->status().lastLoad->complete());

    // A device that never takes a block: A0 is tried three times, and nothing after it goes.
    device->clearEvents();
    device->setFault(sim::FaultMode::Refuse);
    engine->requestWriteAll();
    EXPECT_FALSE(engine->status().lastLoad);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_TRUE(events(Kind::BlockWrite).empty());
    EXPECT_EQ(connections(), 3);
    ASSERT_TRUE(engine->status().lastLoad);
    EXPECT_EQ(engine->status().lastLoad->stop, LoadOutcome::Stop::Writing);
    EXPECT_EQ(engine->status().lastLoad->stoppedAt, 0);
    EXPECT_EQ(engine->status().lastLoad->reason, "connect failed");
}

TEST_F(LinkEngineTest, FieldsOfTwoBlocksCommittedInOneTickBothReachTheDevice) {
    readDeviceFirst();
    commitText(1, 0x10, 16, "5550123");
    commitText(0, 0x40, 16, "9876");
    ASSERT_TRUE(pumpUntilSettled());

    const auto writes = events(Kind::BlockWrite);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(numbersOf(writes), (std::vector<int>{1, 0}));  // in the order of the commits
    EXPECT_NE(writes[0].connection, writes[1].connection);
    EXPECT_EQ(deviceBytes(kA1 + 0x10, 8), "5550123\0"s);
    EXPECT_EQ(deviceBytes(kA0 + 0x40, 5), "9876\0"s);
    // The device's blocks are the image's, and nothing outside them changed.
    EXPECT_EQ(firstDifference(deviceBytes(0, kImageSize), textOf(state.workspace.image())),
              std::nullopt);
    EXPECT_EQ(deviceBytes(2 * kBlockSize, 6 * kBlockSize),
              patternBytes(2 * kBlockSize, 6 * kBlockSize));
}

TEST_F(LinkEngineTest, WritesOfOneBlockWaitingTogetherGoAsOne) {
    readDeviceFirst();
    commitText(1, 0x10, 16, "777");
    tick();
    ASSERT_FALSE(engine->idle());  // block A1 is on its way: connecting, then the pause

    commitText(0, 0x30, 16, "111");
    runTicks(3);
    commitText(0, 0x50, 16, "2222");
    runTicks(3);
    EXPECT_EQ(engine->queued(), 1u);
    ASSERT_TRUE(pumpUntilSettled());

    const auto writes = events(Kind::BlockWrite);
    ASSERT_EQ(numbersOf(writes), (std::vector<int>{1, 0}));
    const std::string a0 = textOf(writes[1].data);
    EXPECT_EQ(a0.substr(0x30, 4), "111\0"s);
    EXPECT_EQ(a0.substr(0x50, 5), "2222\0"s);
    EXPECT_EQ(deviceBytes(kA1 + 0x10, 4), "777\0"s);
    EXPECT_EQ(connections(), 2);
}

TEST_F(LinkEngineTest, WriteRequestedDuringAFullReadGoesFirstAndTheReadCompletes) {
    readDeviceFirst();
    device->setBytes(3000, std::vector<std::uint8_t>(64, 0xA5));  // the device moved on
    // Replies in pieces spread the read over many ticks, so the commit surely comes mid-way.
    device->setFault(sim::FaultMode::SplitReplies);
    requestFullRead();
    ASSERT_TRUE(pumpUntil([&] { return cursor() >= 20 * static_cast<int>(kReadUnitSize); }));
    ASSERT_TRUE(engine->status().busyWith(TransferKind::FullRead));
    commitText(0, 0x20, 16, "0042");
    ASSERT_TRUE(pumpUntilSettled());

    const auto seen = commands();
    const auto write = std::find_if(seen.begin(), seen.end(), [](const sim::SimEvent& e) {
        return e.kind == Kind::BlockWrite;
    });
    ASSERT_NE(write, seen.end());
    EXPECT_EQ(write->number, 0);
    EXPECT_EQ(numbersOf(events(Kind::BlockWrite)), std::vector<int>{0});
    // Every unit read once, in order, around the write; the write on a connection of its own.
    EXPECT_EQ(numbersOf(events(Kind::Read)), allUnits());
    ASSERT_NE(write, seen.begin());
    ASSERT_NE(write + 1, seen.end());
    EXPECT_NE(write->connection, (write - 1)->connection);
    EXPECT_NE(write->connection, (write + 1)->connection);
    EXPECT_EQ((write + 1)->kind, Kind::Read);
    EXPECT_EQ((write + 1)->number, (write - 1)->number + 1);  // resumed where it stopped
    EXPECT_EQ(connections(), 3);

    EXPECT_EQ(deviceBytes(kA0 + 0x20, 5), "0042\0"s);
    EXPECT_EQ(firstDifference(receiveArea(), deviceBytes(0, kReceiveAreaSize)), std::nullopt);
    EXPECT_EQ(cursor(), 4096);
    EXPECT_FALSE(engine->status().busyWith(TransferKind::FullRead));
    EXPECT_TRUE(refreshed());
}

TEST_F(LinkEngineTest, RemoteResetGoesOnceAfterTheWritesRequestedBeforeIt) {
    readDeviceFirst();
    engine->requestExchange(kCodeRemoteReset);
    commitText(0, 0x30, 16, "31");
    commitText(1, 0x10, 16, "32");
    engine->requestRemoteReset();  // the same reset, asked for again by another window
    ASSERT_TRUE(pumpUntilSettled());

    const auto seen = commands();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].kind, Kind::BlockWrite);
    EXPECT_EQ(seen[1].kind, Kind::BlockWrite);
    EXPECT_EQ(seen[2].kind, Kind::RemoteReset);
    EXPECT_EQ(seen[2].text, "$remotereset$");
    EXPECT_EQ(device->remoteResetCount(), 1);
    EXPECT_EQ(connections(), 3);

    // A reset waits for a full read that is already asked for.
    device->clearEvents();
    requestFullRead();
    engine->requestRemoteReset();
    ASSERT_TRUE(pumpUntilSettled());
    const auto after = commands();
    ASSERT_EQ(after.size(), 65u);
    EXPECT_EQ(after.back().kind, Kind::RemoteReset);
    EXPECT_EQ(device->remoteResetCount(), 2);
}

TEST_F(LinkEngineTest, RefusedConnectionsAreReportedAndANewRequestTriesAfresh) {
    // A device that accepts and drops the connection at once.
    device->setFault(sim::FaultMode::Refuse);
    engine->requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntil([&] { return !engine->status().lastError.empty(); }));
    EXPECT_EQ(engine->status().lastError, "connect failed");
    EXPECT_EQ(engine->texts().trace, "12");
    EXPECT_TRUE(pumpUntilSettled(std::chrono::seconds(60)));
    EXPECT_EQ(connections(), 3);  // the request is tried three times, then given up
    EXPECT_EQ(engine->status().lastError, "status request not sent: connect failed");
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(engine->status().loops.ready, 0);

    // Nothing listening at the port.
    {
        ClosedPort closed;
        ASSERT_NE(closed.port(), 0);
        setTargetPort(std::to_string(closed.port()));
        const std::size_t before = engine->texts().trace.size();
        engine->clearError();
        engine->requestExchange(kCodeStatus);
        ASSERT_TRUE(pumpUntil([&] { return !engine->status().lastError.empty(); }));
        // The device did not answer before: one attempt, and the request is named.
        EXPECT_EQ(engine->status().lastError, "status request not sent: connect failed");
        EXPECT_EQ(engine->texts().trace.substr(before), "12");
        EXPECT_TRUE(pumpUntilSettled(std::chrono::seconds(60)));
    }

    // Port 0 is no port.
    setTargetPort("0");
    const std::size_t before = engine->texts().trace.size();
    engine->clearError();
    engine->requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntil([&] { return !engine->status().lastError.empty(); }));
    EXPECT_EQ(engine->status().lastError, "status request not sent: connect failed");
    EXPECT_EQ(engine->texts().trace.substr(before), "12");
    EXPECT_TRUE(pumpUntilSettled(std::chrono::seconds(60)));

    // The device answers again: a new request connects afresh and clears the error text.
    device->setFault(sim::FaultMode::None);
    setTargetPort(std::to_string(device->port()));
    engine->requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(events(Kind::Status).size(), 1u);
    EXPECT_EQ(engine->status().loops.ready, 1);
    EXPECT_EQ(engine->status().lastError, "");
    EXPECT_EQ(engine->texts().trace, "socket closed1");
}

TEST_F(LinkEngineTest, DeviceThatNeverGreetsFailsAfterTheGreetingBound) {
    network.setPatience(std::chrono::milliseconds(5));  // nothing is coming
    device->setFault(sim::FaultMode::NoGreeting);
    const auto start = clock.now();
    engine->requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntil([&] { return !engine->status().lastError.empty(); }));
    EXPECT_EQ(engine->status().lastError, "no greeting from device");
    EXPECT_EQ(engine->texts().trace, "12");
    // The pause after connecting, then the greeting's own bound.
    const auto waited = clock.now() - start;
    EXPECT_GE(waited, kPauseAfterConnect + kGreetingTimeout);
    EXPECT_LE(waited, kPauseAfterConnect + kGreetingTimeout + std::chrono::milliseconds(100));

    EXPECT_TRUE(pumpUntilSettled(std::chrono::seconds(60)));
    EXPECT_EQ(connections(), 3);
    EXPECT_TRUE(commands().empty());  // no frame was sent without a greeting
    EXPECT_EQ(engine->status().loops.ready, 0);
}

TEST_F(LinkEngineTest, GreetingEndsOnlyWithACarriageReturnAtPositionFiveOrLater) {
    network.setPatience(std::chrono::milliseconds(5));
    sim::SimConfig config;
    config.greeting = "OK!\r\n";  // its carriage return at position 3
    startSim(config);
    engine->requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntil([&] { return !engine->status().lastError.empty(); }));
    EXPECT_EQ(engine->status().lastError, "no greeting from device");
    EXPECT_EQ(engine->texts().trace, "123OK!\r\n");
    EXPECT_TRUE(pumpUntilSettled(std::chrono::seconds(60)));
    EXPECT_TRUE(commands().empty());

    config.greeting = "READY\r";  // at position 5
    startSim(config);
    engine->requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(events(Kind::Status).size(), 1u);
    EXPECT_EQ(engine->status().loops.ready, 1);
    EXPECT_EQ(engine->status().lastError, "");
}

TEST_F(LinkEngineTest, FullReadWithRepliesSplitOverSegmentsIsComplete) {
    sim::SimConfig config;
    config.fault = sim::FaultMode::SplitReplies;
    startSim(config);
    requestFullRead();
    ASSERT_TRUE(pumpUntilSettled());

    const std::string device = deviceBytes(0, kReceiveAreaSize);
    EXPECT_EQ(firstDifference(receiveArea(), device), std::nullopt);
    EXPECT_EQ(numbersOf(events(Kind::Read)), allUnits());  // no frame needed sending twice
    EXPECT_EQ(connections(), 1);
    EXPECT_EQ(cursor(), 4096);
    EXPECT_TRUE(refreshed());
    EXPECT_EQ(firstDifference(readWorkFile(kReceiveLogPath), receiveLogOf(device, kReadUnitCount)),
              std::nullopt);
}

TEST_F(LinkEngineTest, ShortRepliesEndTheirConnectionThenTheReadStopsWithNothingOutOfPlace) {
    network.setPatience(std::chrono::milliseconds(5));
    device->setFault(sim::FaultMode::SplitReplies);  // a read over many ticks
    requestFullRead();
    ASSERT_TRUE(pumpUntil([&] { return cursor() >= 5 * static_cast<int>(kReadUnitSize); }));
    ASSERT_TRUE(engine->status().busyWith(TransferKind::FullRead));
    device->setFault(sim::FaultMode::ShortReplies);
    ASSERT_TRUE(pumpUntilSettled());

    const int stopped = cursor() / static_cast<int>(kReadUnitSize);
    EXPECT_GE(stopped, 5);
    EXPECT_TRUE(engine->status().lastError.starts_with("full read stopped at unit " +
                                                       std::to_string(stopped)))
        << engine->status().lastError;
    EXPECT_FALSE(engine->status().busyWith(TransferKind::FullRead));
    EXPECT_FALSE(refreshed());
    EXPECT_FALSE(state.holdsDeviceData());
    // Three connections, the frame of the failing unit sent once on each: a reply that stops
    // halfway ends its connection instead of being mixed with the answer to a resend.
    const auto reads = events(Kind::Read);
    const auto tries = std::count_if(reads.begin(), reads.end(),
                                     [&](const sim::SimEvent& e) { return e.number == stopped; });
    EXPECT_EQ(tries, 3);
    EXPECT_EQ(connections(), 3);
    // The units read before stay; nothing of the short replies is stored anywhere.
    const std::size_t good = static_cast<std::size_t>(stopped) * kReadUnitSize;
    const std::string area = receiveArea();
    EXPECT_EQ(firstDifference(area.substr(0, good), deviceBytes(0, good)), std::nullopt);
    EXPECT_EQ(area.find_first_not_of('\0', good), std::string::npos);
    EXPECT_EQ(firstDifference(readWorkFile(kReceiveLogPath),
                              receiveLogOf(deviceBytes(0, kReceiveAreaSize), stopped)),
              std::nullopt);

    // Once the device answers in full again, Start/Go reads it all.
    device->setFault(sim::FaultMode::None);
    requestFullRead();
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(firstDifference(receiveArea(), deviceBytes(0, kReceiveAreaSize)), std::nullopt);
    EXPECT_TRUE(refreshed());
    EXPECT_EQ(engine->status().lastError, "");
}

TEST_F(LinkEngineTest, SilentDeviceGetsTheFrameTwiceMoreThenTheExchangeFails) {
    network.setPatience(std::chrono::milliseconds(5));
    device->setFault(sim::FaultMode::Silence);
    const auto start = clock.now();
    engine->requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntil([&] { return !engine->status().lastError.empty(); }));
    EXPECT_EQ(engine->status().lastError, "no reply from device");
    const auto first = events(Kind::Status);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[0].connection, first[2].connection);
    EXPECT_GE(clock.now() - start, kPauseAfterConnect + 3 * kReplyTimeout);

    EXPECT_TRUE(pumpUntilSettled(std::chrono::seconds(60)));
    EXPECT_EQ(events(Kind::Status).size(), 9u);
    EXPECT_EQ(connections(), 3);
    EXPECT_EQ(engine->status().loops.ready, 0);
    const std::string log = readWorkFile(kExchangeLogPath);
    EXPECT_TRUE(log.starts_with("4" + commandFrame("gpcommandr1"))) << log;
    EXPECT_EQ(log.find('8'), std::string::npos);
}

TEST_F(LinkEngineTest, LateReplyToAFrameSentAgainNeverLandsInTheNextUnit) {
    network.setPatience(std::chrono::milliseconds(5));
    // Unit 5 is answered only once its frame has come twice, and then twice.
    sim::SimConfig config;
    config.fault = sim::FaultMode::AnswerLateOnce;
    startSim(config);
    requestFullRead();
    ASSERT_TRUE(pumpUntil([&] { return settled(); }));
    EXPECT_GE(events(Kind::Read).size(), 65u) << "unit 5 was asked for again";

    EXPECT_EQ(firstDifference(receiveArea(), patternBytes(0, kReceiveAreaSize)), std::nullopt);
    EXPECT_EQ(cursor(), 4096);
    EXPECT_TRUE(refreshed());
}

class FaultyReadTest : public LinkEngineTest {
  protected:
    // The read ended with the receive area equal to the device, every unit asked for in order
    // over `count` connections, and one record per unit in the received-data log.
    void expectCompleteRead(int count) {
        const std::string device = deviceBytes(0, kReceiveAreaSize);
        EXPECT_EQ(firstDifference(receiveArea(), device), std::nullopt);
        EXPECT_EQ(numbersOf(events(Kind::Read)), allUnits());
        EXPECT_EQ(connections(), count);
        EXPECT_EQ(cursor(), 4096);
        EXPECT_EQ(
            firstDifference(readWorkFile(kReceiveLogPath), receiveLogOf(device, kReadUnitCount)),
            std::nullopt);
    }
};

TEST_F(FaultyReadTest, ReadDroppedMidWayResumesAtTheFailedUnit) {
    sim::SimConfig config;
    config.fault = sim::FaultMode::DropAfterReplies;
    config.dropAfterReplies = 20;
    startSim(config);
    requestFullRead();
    ASSERT_TRUE(pumpUntilSettled());
    expectCompleteRead(4);
    EXPECT_TRUE(refreshed());
}

TEST_F(FaultyReadTest, ExtraBytesAfterRepliesAreDropped) {
    sim::SimConfig config;
    config.fault = sim::FaultMode::ExtraBytes;
    startSim(config);
    requestFullRead();
    ASSERT_TRUE(pumpUntilSettled());
    expectCompleteRead(1);
    const auto rest = state.workspace.bytes().subspan(kReceiveAreaSize);
    EXPECT_TRUE(std::all_of(rest.begin(), rest.end(), [](std::uint8_t b) { return b == 0; }));
}

class AlarmCodeTest : public LinkEngineTest {
  protected:
    // Two chunks of alarm code; the second carries the end mark.
    AlarmCodeTest() {
        auto& buffer = code;
        for (std::size_t i = 0; i < kBlockSize; ++i)
            buffer[i] = static_cast<std::uint8_t>('A' + i % 26);
        buffer[50] = 13;  // chunk data travel as they are
        const std::string last = "E130 01 BURGLARY ?? END";
        std::copy(last.begin(), last.end(), buffer.begin() + kBlockSize);
        engine->startAlarmDownload(code);
    }
    std::string chunk(std::size_t index) const {
        return textOf(std::span(code).subspan(index * kBlockSize, kBlockSize));
    }
    std::array<std::uint8_t, kAlarmCodeBufferSize> code{};
    void expectTwoChunksSent() {
        const auto chunks = events(Kind::ChunkWrite);
        ASSERT_EQ(chunks.size(), 2u);
        EXPECT_EQ(chunks[0].number, 64);
        EXPECT_EQ(chunks[0].text, "write programAp");
        EXPECT_EQ(textOf(chunks[0].data), chunk(0));
        EXPECT_EQ(chunks[1].number, 65);
        EXPECT_EQ(chunks[1].text, "write programAq");
        EXPECT_EQ(textOf(chunks[1].data), chunk(1));
        EXPECT_NE(chunks[0].connection, chunks[1].connection);
        EXPECT_EQ(commands().size(), 2u);
        EXPECT_EQ(deviceBytes(64 * kBlockSize, 2 * kBlockSize), chunk(0) + chunk(1));
        EXPECT_FALSE(engine->status().busyWith(TransferKind::AlarmCode));
        EXPECT_EQ(engine->texts().download, "fileend" + "E130 01 BURGLARY ?? END"s);
    }
};

TEST_F(AlarmCodeTest, ChunksGoUntilTheEndMark) {
    // While a chunk's connection is made, the line says which chunk is on its way.
    tick();
    EXPECT_EQ(engine->texts().download, "sending alarm code chunk 64");
    ASSERT_TRUE(pumpUntil([&] {
        const Transfer* alarm = engine->status().transfer(TransferKind::AlarmCode);
        return alarm != nullptr && alarm->at == 65;
    }));
    // The 146 bytes from the chunk's start: its own 128 and the first 18 of the next.
    EXPECT_EQ(engine->texts().download, chunk(0) + "E130 01 BURGLARY ?");
    ASSERT_TRUE(pumpUntil([&] { return engine->texts().download.starts_with("sending"); }));
    EXPECT_EQ(engine->texts().download, "sending alarm code chunk 65");
    ASSERT_TRUE(pumpUntilSettled());
    expectTwoChunksSent();
    EXPECT_EQ(connections(), 2);
}

TEST_F(AlarmCodeTest, RefusedChunkIsSentAgainWithTheSameNumberAndBytes) {
    device->setFault(sim::FaultMode::Refuse);
    ASSERT_TRUE(pumpUntil([&] { return !engine->status().lastError.empty(); }));
    EXPECT_EQ(engine->status().lastError, "connect failed");
    device->setFault(sim::FaultMode::None);
    ASSERT_TRUE(pumpUntilSettled());
    expectTwoChunksSent();
    EXPECT_EQ(connections(), 3);
}

// The download as a job on its own: chunk after chunk until 140 when no end mark comes.
TEST(AlarmCodeDownload, ACodeWithoutAnEndMarkStopsAtChunk140AndSaysSo) {
    std::array<std::uint8_t, kAlarmCodeBufferSize> code{};
    std::fill(code.begin(), code.end(), std::uint8_t{'A'});
    AlarmCodeDownload job(code);
    ProgrammerState state;
    LinkStatus status;
    LinkTexts texts;
    LinkLogs noLogs;
    JobContext ctx{state, status, texts, noLogs, {}};
    std::vector<int> chunks;
    FrameBuffer frame{};
    while (!job.done() && chunks.size() < 100) {
        job.buildFrame(frame, ctx);
        chunks.push_back(job.nextChunk());
        EXPECT_EQ(frame[16], static_cast<std::uint8_t>(48 + job.nextChunk()));
        job.succeeded(ctx);
    }
    ASSERT_EQ(chunks.size(), 77u);
    EXPECT_EQ(chunks.front(), 64);
    EXPECT_EQ(chunks.back(), 140);
    EXPECT_EQ(texts.download,
              "download stopped at chunk 140, the last one, without an end mark (\"??\")");
}

TEST(ParsePort, ReadsLeadingDigitsModulo65536) {
    EXPECT_EQ(parsePort("  +5001x"), 5001);
    EXPECT_EQ(parsePort("5001"), 5001);
    EXPECT_EQ(parsePort(""), 0);
    EXPECT_EQ(parsePort("abc"), 0);
    EXPECT_EQ(parsePort("70000"), 4464);
    EXPECT_EQ(parsePort("-1"), 65535);
    EXPECT_EQ(parsePort("65536"), 0);
    // Longer than any integer type: still the number modulo 65536.
    EXPECT_EQ(parsePort("99999999999999999999"), 65535);
    EXPECT_EQ(parsePort("4294967297"), 1);
}

}  // namespace
}  // namespace veskator::link_test

namespace veskator::link_test {
namespace {

// Dialer chunks and the pairing frame carry no command code: after a full read they must still
// go as a write and as a frame with one answer, never as reads that store at the image cursor.
TEST_F(LinkEngineTest, ChunksAndPairingAreTheirOwnExchangesAfterAFullRead) {
    readDeviceFirst();
    const std::string before = receiveArea();
    const int readCursor = cursor();
    device->clearEvents();

    std::array<std::uint8_t, kBlockSize> dialerChunk{};
    const std::string numbers = "0123456789\r\n\"E";
    std::copy(numbers.begin(), numbers.end(), dialerChunk.begin());
    ASSERT_TRUE(engine->requestChunk(dialerChunk, 32));
    // Only the chunk blocks: image blocks go as block writes, and a number past 207 wraps its
    // suffix (256 on would write A0).
    for (int number : {-1, 0, 7, 31, 141, 208, 256, 263}) {
        EXPECT_FALSE(engine->requestChunk(dialerChunk, number)) << number;
    }
    const std::string pairing = "001122334455/DOWNLOADBT/66778899AABB5551234\r";
    ASSERT_TRUE(engine->requestPairing(
        std::span(reinterpret_cast<const std::uint8_t*>(pairing.data()), pairing.size())));
    // One that does not fit the frame buffer is refused whole, never sent cut short.
    const std::string overlong(kFrameBufferSize + 1, 'M');
    EXPECT_FALSE(engine->requestPairing(
        std::span(reinterpret_cast<const std::uint8_t*>(overlong.data()), overlong.size())));
    ASSERT_TRUE(pumpUntilSettled());

    const auto chunks = events(Kind::ChunkWrite);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].number, 32);
    EXPECT_EQ(chunks[0].text, "write programAP");
    EXPECT_EQ(textOf(chunks[0].data), textOf(dialerChunk));
    const auto pairings = events(Kind::Pairing);
    ASSERT_EQ(pairings.size(), 1u);
    EXPECT_EQ(pairings[0].text + "\r", pairing);
    EXPECT_TRUE(events(Kind::Read).empty());
    EXPECT_EQ(connections(), 2);

    // The pairing connection's log: the frame, a "7" per tick of waiting, then the answer.
    const std::string log = readWorkFile(kExchangeLogPath);
    ASSERT_TRUE(log.starts_with(pairing)) << log;
    const std::string rest = log.substr(pairing.size());
    const std::size_t sevens = rest.find_first_not_of('7');
    EXPECT_GE(sevens, 1u);
    EXPECT_EQ(rest.substr(sevens), "BT PAIRED\r");
    EXPECT_EQ(receiveArea(), before);
    EXPECT_EQ(cursor(), readCursor);
}

}  // namespace
}  // namespace veskator::link_test
