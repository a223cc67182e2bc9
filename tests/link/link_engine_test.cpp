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

std::vector<int> numbersOf(const std::vector<sim::SimEvent>& events) {
    std::vector<int> numbers;
    for (const sim::SimEvent& e : events) numbers.push_back(e.number);
    return numbers;
}

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

// A device that is slow with one unit: it answers that unit's first read frame only after the
// frame has come a second time, and then answers both, a moment apart, as a device working
// through its input would.
class LateAnsweringDevice {
  public:
    static constexpr int kLateUnit = 5;

    explicit LateAnsweringDevice(const sim::SimMemory& memory) : m_memory(memory) {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listen >= 0 &&
            ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(m_listen, 4) == 0 &&
            ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            m_port = ntohs(address.sin_port);
            m_thread = std::thread([this] { run(); });
        }
    }
    ~LateAnsweringDevice() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        if (m_listen >= 0) ::close(m_listen);
    }
    LateAnsweringDevice(const LateAnsweringDevice&) = delete;
    LateAnsweringDevice& operator=(const LateAnsweringDevice&) = delete;
    std::uint16_t port() const { return m_port; }

  private:
    static constexpr int kPollMs = 10;

    void run() {
        while (!m_stop) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, kPollMs) <= 0) continue;
            const int fd = ::accept(m_listen, nullptr, nullptr);
            if (fd < 0) continue;
            serve(fd);
            ::close(fd);
        }
    }

    void serve(int fd) {
        const std::string greeting = sim::SimConfig{}.greeting;
        ::send(fd, greeting.data(), greeting.size(), MSG_NOSIGNAL);
        std::string input;
        bool holding = false;
        while (!m_stop) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, kPollMs) <= 0) continue;
            std::array<char, 256> buffer{};
            const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (n <= 0) return;
            input.append(buffer.data(), static_cast<std::size_t>(n));
            for (std::size_t end; (end = input.find('\r')) != std::string::npos;) {
                const std::string frame = input.substr(0, end + 1);
                input.erase(0, end + 1);
                const int unit = unitOf(frame);
                if (unit < 0) continue;
                if (unit == kLateUnit && !m_heldOnce) {
                    m_heldOnce = true;
                    holding = true;
                    continue;
                }
                if (unit == kLateUnit && holding) {
                    holding = false;
                    answer(fd, unit);
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
                answer(fd, unit);
            }
        }
    }

    static int unitOf(const std::string& frame) {
        for (int u = 0; u < kReadUnitCount; ++u) {
            if (frame == commandFrame(readCommandText(u))) return u;
        }
        return -1;
    }

    void answer(int fd, int unit) {
        ::send(fd, m_memory.data() + static_cast<std::size_t>(unit) * kReadUnitSize, kReadUnitSize,
               MSG_NOSIGNAL);
    }

    sim::SimMemory m_memory;
    int m_listen = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    bool m_heldOnce = false;
    std::thread m_thread;
};

TEST_F(LinkEngineTest, FullReadFillsTheReceiveAreaOverOneConnectionAndLogsIt) {
    const std::string greeting = sim::SimConfig{}.greeting;
    requestFullRead();
    // The trace of the connection: socket, connected, the greeting, then one "5" per reply.
    ASSERT_TRUE(pumpUntil([&] { return state.imageCursor > 0; }));
    const std::string head = "123" + greeting;
    ASSERT_TRUE(state.texts.traceBox.starts_with(head)) << state.texts.traceBox;
    EXPECT_EQ(state.texts.traceBox.substr(head.size()),
              std::string(static_cast<std::size_t>(state.imageCursor) / kReadUnitSize, '5'));
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
    EXPECT_EQ(state.imageCursor, 4096);
    EXPECT_EQ(state.readAllRequest, 0);
    EXPECT_EQ(state.refreshRequest, 1);
    EXPECT_TRUE(state.imageHoldsDeviceData);
    EXPECT_EQ(state.texts.traceBox, "socket closed1");
    EXPECT_EQ(state.texts.linkError, "");
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

TEST_F(LinkEngineTest, StatusExchangePublishesTheLoopBytesAndLogsTheWholeExchange) {
    device->setLoopStatus(0x90, 0x10);
    // The status does not depend on the image: it goes before any read.
    state.requests.requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntilSettled());

    ASSERT_EQ(events(Kind::Status).size(), 1u);
    EXPECT_EQ(connections(), 1);
    EXPECT_EQ(state.loopStatus1, -112);  // sign-extended
    EXPECT_EQ(state.loopStatus2, 16);
    EXPECT_EQ(state.loopStatusReady, 1);
    EXPECT_EQ(state.texts.traceBox, "socket closed1");

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
    state.requests.requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(state.loopStatus1, 0);
    EXPECT_EQ(state.loopStatus2, -1);
    EXPECT_EQ(connections(), 2);
    // Nothing of a status reply lands in the receive area.
    EXPECT_EQ(state.imageCursor, 0);
    const auto area = state.workspace.receiveArea();
    EXPECT_TRUE(std::all_of(area.begin(), area.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST_F(LinkEngineTest, NoImageBlockIsWrittenBeforeTheDeviceHasBeenRead) {
    values.setText(main_ids::kReceiver1, "12345");
    state.setFieldCommit(FieldCommit::Receiver1, clock.now());
    state.requests.requestBlockWrite(3);
    state.startWriteAll();
    ASSERT_TRUE(pumpUntilSettled());
    runTicks(150);  // past the pause a connection would have taken

    EXPECT_EQ(connections(), 0);
    EXPECT_EQ(state.texts.notice, "read the device first (Start/Go)");
    EXPECT_EQ(state.writeAllRequest, 0);
    EXPECT_EQ(deviceBytes(0, kImageSize), patternBytes(0, kImageSize));
    // The change itself is kept in the image.
    EXPECT_EQ(readText(state.workspace.image(), 0x30, 16), "12345");

    // What does not depend on the image still goes.
    state.remoteResetRequest = 1;
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(device->remoteResetCount(), 1);
    EXPECT_EQ(commands().size(), 1u);
    EXPECT_EQ(state.remoteResetRequest, 0);
}

TEST_F(LinkEngineTest, WriteOfAllBlocksUsesEightConnectionsInBlockOrder) {
    // As after loading a parameter file: the image holds a whole parameter set.
    auto image = state.workspace.image();
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(255 - i % 251);
    image[5] = 13;
    image[kImageSize - 1] = 13;
    state.imageHoldsDeviceData = true;
    std::string expected = textOf(image);
    std::replace(expected.begin(), expected.end(), '\r', '\f');
    state.startWriteAll();
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
    EXPECT_EQ(state.texts.messageWindow, "loading completed");
    EXPECT_EQ(state.texts.traceBox, "socket closed1");
}

TEST_F(LinkEngineTest, WriteOfAllBlocksRetriesARefusedBlockAndNamesBlocksThatNeverWent) {
    readDeviceFirst();
    device->setFault(sim::FaultMode::Refuse);
    state.startWriteAll();
    ASSERT_TRUE(pumpUntil([&] { return !state.texts.linkError.empty(); }));
    device->setFault(sim::FaultMode::None);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(numbersOf(events(Kind::BlockWrite)), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(connections(), 9);
    EXPECT_EQ(state.texts.messageWindow, "loading completed");

    // A device that never takes a block: A0 is tried three times, and nothing after it goes.
    device->clearEvents();
    state.texts.messageWindow.clear();
    device->setFault(sim::FaultMode::Refuse);
    state.startWriteAll();
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_TRUE(events(Kind::BlockWrite).empty());
    EXPECT_EQ(connections(), 3);
    EXPECT_EQ(state.texts.messageWindow,
              "loading stopped: connect failed; A0 to A7 not written (the device keeps its old "
              "settings)");
}

TEST_F(LinkEngineTest, FieldsOfTwoBlocksCommittedInOneTickBothReachTheDevice) {
    readDeviceFirst();
    values.setText(main_ids::kReceiver2, "5550123");
    values.setText(main_ids::kAccountPrefix, "9876");
    state.setFieldCommit(FieldCommit::Receiver2, clock.now());
    state.setFieldCommit(FieldCommit::AccountPrefix, clock.now());
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
    values.setText(main_ids::kReceiver2, "777");
    state.setFieldCommit(FieldCommit::Receiver2, clock.now());
    tick();
    ASSERT_FALSE(engine->idle());  // block A1 is on its way: connecting, then the pause

    values.setText(main_ids::kReceiver1, "111");
    state.setFieldCommit(FieldCommit::Receiver1, clock.now());
    runTicks(3);
    values.setText(main_ids::kServerPort2, "2222");
    state.setFieldCommit(FieldCommit::ServerPort2, clock.now());
    runTicks(3);
    EXPECT_EQ(state.requests.size(), 1u);
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
    ASSERT_TRUE(
        pumpUntil([&] { return state.imageCursor >= 20 * static_cast<int>(kReadUnitSize); }));
    ASSERT_NE(state.readAllRequest, 0);
    values.setText(main_ids::kAlarmSequence, "0042");
    state.setFieldCommit(FieldCommit::AlarmSequence, clock.now());
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
    EXPECT_EQ(state.imageCursor, 4096);
    EXPECT_EQ(state.readAllRequest, 0);
    EXPECT_EQ(state.refreshRequest, 1);
}

TEST_F(LinkEngineTest, RemoteResetGoesOnceAfterTheWritesRequestedBeforeIt) {
    readDeviceFirst();
    state.requests.requestExchange(kCodeRemoteReset);
    values.setText(main_ids::kReceiver1, "31");
    values.setText(main_ids::kReceiver2, "32");
    state.setFieldCommit(FieldCommit::Receiver1, clock.now());
    state.setFieldCommit(FieldCommit::Receiver2, clock.now());
    state.remoteResetRequest = 1;  // the same reset, asked for again by another window
    ASSERT_TRUE(pumpUntilSettled());

    const auto seen = commands();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].kind, Kind::BlockWrite);
    EXPECT_EQ(seen[1].kind, Kind::BlockWrite);
    EXPECT_EQ(seen[2].kind, Kind::RemoteReset);
    EXPECT_EQ(seen[2].text, "$remotereset$");
    EXPECT_EQ(device->remoteResetCount(), 1);
    EXPECT_EQ(connections(), 3);
    EXPECT_EQ(state.remoteResetRequest, 0);

    // A reset waits for a full read that is already asked for.
    device->clearEvents();
    requestFullRead();
    state.remoteResetRequest = 1;
    ASSERT_TRUE(pumpUntilSettled());
    const auto after = commands();
    ASSERT_EQ(after.size(), 65u);
    EXPECT_EQ(after.back().kind, Kind::RemoteReset);
    EXPECT_EQ(device->remoteResetCount(), 2);
}

TEST_F(LinkEngineTest, RefusedConnectionsAreReportedAndANewRequestTriesAfresh) {
    // A device that accepts and drops the connection at once.
    device->setFault(sim::FaultMode::Refuse);
    state.requests.requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntil([&] { return !state.texts.linkError.empty(); }));
    EXPECT_EQ(state.texts.linkError, "connect failed");
    EXPECT_EQ(state.texts.traceBox, "12");
    EXPECT_TRUE(pumpUntilSettled(std::chrono::seconds(60)));
    EXPECT_EQ(connections(), 3);  // the request is tried three times, then given up
    EXPECT_EQ(state.texts.linkError, "status request not sent: connect failed");
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ(state.loopStatusReady, 0);

    // Nothing listening at the port.
    {
        ClosedPort closed;
        ASSERT_NE(closed.port(), 0);
        values.setText(main_ids::kTargetPort, std::to_string(closed.port()));
        state.texts.traceBox.clear();
        state.texts.linkError.clear();
        state.requests.requestExchange(kCodeStatus);
        ASSERT_TRUE(pumpUntil([&] { return !state.texts.linkError.empty(); }));
        // The device did not answer before: one attempt, and the request is named.
        EXPECT_EQ(state.texts.linkError, "status request not sent: connect failed");
        EXPECT_EQ(state.texts.traceBox, "12");
        EXPECT_TRUE(pumpUntilSettled(std::chrono::seconds(60)));
    }

    // Port 0 is no port.
    values.setText(main_ids::kTargetPort, "0");
    state.texts.traceBox.clear();
    state.texts.linkError.clear();
    state.requests.requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntil([&] { return !state.texts.linkError.empty(); }));
    EXPECT_EQ(state.texts.linkError, "status request not sent: connect failed");
    EXPECT_EQ(state.texts.traceBox, "12");
    EXPECT_TRUE(pumpUntilSettled(std::chrono::seconds(60)));

    // The device answers again: a new request connects afresh and clears the error text.
    device->setFault(sim::FaultMode::None);
    values.setText(main_ids::kTargetPort, std::to_string(device->port()));
    state.requests.requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(events(Kind::Status).size(), 1u);
    EXPECT_EQ(state.loopStatusReady, 1);
    EXPECT_EQ(state.texts.linkError, "");
    EXPECT_EQ(state.texts.traceBox, "socket closed1");
}

TEST_F(LinkEngineTest, DeviceThatNeverGreetsFailsAfterTheGreetingBound) {
    network.setPatience(std::chrono::milliseconds(5));  // nothing is coming
    device->setFault(sim::FaultMode::NoGreeting);
    const auto start = clock.now();
    state.requests.requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntil([&] { return !state.texts.linkError.empty(); }));
    EXPECT_EQ(state.texts.linkError, "no greeting from device");
    EXPECT_EQ(state.texts.traceBox, "12");
    // The pause after connecting, then the greeting's own bound.
    const auto waited = clock.now() - start;
    EXPECT_GE(waited, kPauseAfterConnect + kGreetingTimeout);
    EXPECT_LE(waited, kPauseAfterConnect + kGreetingTimeout + std::chrono::milliseconds(100));

    EXPECT_TRUE(pumpUntilSettled(std::chrono::seconds(60)));
    EXPECT_EQ(connections(), 3);
    EXPECT_TRUE(commands().empty());  // no frame was sent without a greeting
    EXPECT_EQ(state.loopStatusReady, 0);
}

TEST_F(LinkEngineTest, GreetingEndsOnlyWithACarriageReturnAtPositionFiveOrLater) {
    network.setPatience(std::chrono::milliseconds(5));
    sim::SimConfig config;
    config.greeting = "OK!\r\n";  // its carriage return at position 3
    startSim(config);
    state.requests.requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntil([&] { return !state.texts.linkError.empty(); }));
    EXPECT_EQ(state.texts.linkError, "no greeting from device");
    EXPECT_EQ(state.texts.traceBox, "123OK!\r\n");
    EXPECT_TRUE(pumpUntilSettled(std::chrono::seconds(60)));
    EXPECT_TRUE(commands().empty());

    config.greeting = "READY\r";  // at position 5
    startSim(config);
    state.texts.traceBox.clear();
    state.requests.requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(events(Kind::Status).size(), 1u);
    EXPECT_EQ(state.loopStatusReady, 1);
    EXPECT_EQ(state.texts.linkError, "");
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
    EXPECT_EQ(state.imageCursor, 4096);
    EXPECT_EQ(state.refreshRequest, 1);
    EXPECT_EQ(firstDifference(readWorkFile(kReceiveLogPath), receiveLogOf(device, kReadUnitCount)),
              std::nullopt);
}

TEST_F(LinkEngineTest, ShortRepliesEndTheirConnectionThenTheReadStopsWithNothingOutOfPlace) {
    network.setPatience(std::chrono::milliseconds(5));
    device->setFault(sim::FaultMode::SplitReplies);  // a read over many ticks
    requestFullRead();
    ASSERT_TRUE(
        pumpUntil([&] { return state.imageCursor >= 5 * static_cast<int>(kReadUnitSize); }));
    ASSERT_NE(state.readAllRequest, 0);
    device->setFault(sim::FaultMode::ShortReplies);
    ASSERT_TRUE(pumpUntilSettled());

    const int stopped = state.imageCursor / static_cast<int>(kReadUnitSize);
    EXPECT_GE(stopped, 5);
    EXPECT_TRUE(
        state.texts.linkError.starts_with("full read stopped at unit " + std::to_string(stopped)))
        << state.texts.linkError;
    EXPECT_EQ(state.readAllRequest, 0);
    EXPECT_EQ(state.refreshRequest, 0);
    EXPECT_FALSE(state.imageHoldsDeviceData);
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
    EXPECT_EQ(state.refreshRequest, 1);
    EXPECT_EQ(state.texts.linkError, "");
}

TEST_F(LinkEngineTest, SilentDeviceGetsTheFrameTwiceMoreThenTheExchangeFails) {
    network.setPatience(std::chrono::milliseconds(5));
    device->setFault(sim::FaultMode::Silence);
    const auto start = clock.now();
    state.requests.requestExchange(kCodeStatus);
    ASSERT_TRUE(pumpUntil([&] { return !state.texts.linkError.empty(); }));
    EXPECT_EQ(state.texts.linkError, "no reply from device");
    const auto first = events(Kind::Status);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[0].connection, first[2].connection);
    EXPECT_GE(clock.now() - start, kPauseAfterConnect + 3 * kReplyTimeout);

    EXPECT_TRUE(pumpUntilSettled(std::chrono::seconds(60)));
    EXPECT_EQ(events(Kind::Status).size(), 9u);
    EXPECT_EQ(connections(), 3);
    EXPECT_EQ(state.loopStatusReady, 0);
    const std::string log = readWorkFile(kExchangeLogPath);
    EXPECT_TRUE(log.starts_with("4" + commandFrame("gpcommandr1"))) << log;
    EXPECT_EQ(log.find('8'), std::string::npos);
}

TEST_F(LinkEngineTest, LateReplyToAFrameSentAgainNeverLandsInTheNextUnit) {
    network.setPatience(std::chrono::milliseconds(5));
    LateAnsweringDevice late(memoryPattern());
    ASSERT_NE(late.port(), 0);
    values.setText(main_ids::kTargetPort, std::to_string(late.port()));
    requestFullRead();
    ASSERT_TRUE(pumpUntil([&] { return settled(); }));

    EXPECT_EQ(firstDifference(receiveArea(), patternBytes(0, kReceiveAreaSize)), std::nullopt);
    EXPECT_EQ(state.imageCursor, 4096);
    EXPECT_EQ(state.refreshRequest, 1);
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
        EXPECT_EQ(state.imageCursor, 4096);
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
    EXPECT_EQ(state.refreshRequest, 1);
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
        auto& buffer = state.alarmCodeBuffer;
        for (std::size_t i = 0; i < kBlockSize; ++i)
            buffer[i] = static_cast<std::uint8_t>('A' + i % 26);
        buffer[50] = 13;  // chunk data travel as they are
        const std::string last = "E130 01 BURGLARY ?? END";
        std::copy(last.begin(), last.end(), buffer.begin() + kBlockSize);
        state.alarmCodeSource = 0;
        state.startAlarmCode();
    }
    std::string chunk(std::size_t index) const {
        return textOf(std::span(state.alarmCodeBuffer).subspan(index * kBlockSize, kBlockSize));
    }
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
        EXPECT_EQ(state.alarmCodeChunk, 0);
        EXPECT_EQ(state.texts.downloadLine, "fileend" + "E130 01 BURGLARY ?? END"s);
    }
};

TEST_F(AlarmCodeTest, ChunksGoUntilTheEndMark) {
    // While a chunk's connection is made, the line says which chunk is on its way.
    tick();
    EXPECT_EQ(state.texts.downloadLine, "sending alarm code chunk 64");
    ASSERT_TRUE(pumpUntil([&] { return state.alarmCodeChunk == 64; }));
    // The 146 bytes from the chunk's start: its own 128 and the first 18 of the next.
    EXPECT_EQ(state.texts.downloadLine, chunk(0) + "E130 01 BURGLARY ?");
    ASSERT_TRUE(pumpUntil([&] { return state.texts.downloadLine.starts_with("sending"); }));
    EXPECT_EQ(state.texts.downloadLine, "sending alarm code chunk 65");
    ASSERT_TRUE(pumpUntilSettled());
    expectTwoChunksSent();
    EXPECT_EQ(connections(), 2);
}

TEST_F(AlarmCodeTest, RefusedChunkIsSentAgainWithTheSameNumberAndBytes) {
    device->setFault(sim::FaultMode::Refuse);
    ASSERT_TRUE(pumpUntil([&] { return !state.texts.linkError.empty(); }));
    EXPECT_EQ(state.texts.linkError, "connect failed");
    device->setFault(sim::FaultMode::None);
    ASSERT_TRUE(pumpUntilSettled());
    expectTwoChunksSent();
    EXPECT_EQ(connections(), 3);
}

TEST_F(AlarmCodeTest, ACodeWithoutAnEndMarkStopsAtChunk140AndSaysSo) {
    std::fill(state.alarmCodeBuffer.begin(), state.alarmCodeBuffer.end(), std::uint8_t{'A'});
    state.alarmCodeChunk = kLastAlarmChunk - 3;  // as if chunks 64 to 137 had gone
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(numbersOf(events(Kind::ChunkWrite)), (std::vector<int>{138, 139, 140}));
    EXPECT_EQ(state.texts.downloadLine,
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
    const int cursor = state.imageCursor;
    device->clearEvents();

    std::array<std::uint8_t, kBlockSize> dialerChunk{};
    const std::string numbers = "0123456789\r\n\"E";
    std::copy(numbers.begin(), numbers.end(), dialerChunk.begin());
    state.requests.requestChunk(dialerChunk, 32);
    const std::string pairing = "001122334455/DOWNLOADBT/66778899AABB5551234\r";
    ASSERT_TRUE(state.requests.requestPairing(
        std::span(reinterpret_cast<const std::uint8_t*>(pairing.data()), pairing.size())));
    // One that does not fit the frame buffer is refused whole, never sent cut short.
    const std::string overlong(kFrameBufferSize + 1, 'M');
    EXPECT_FALSE(state.requests.requestPairing(
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
    EXPECT_EQ(state.imageCursor, cursor);
}

}  // namespace
}  // namespace veskator::link_test
