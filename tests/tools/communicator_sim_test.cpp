#include "tools/communicator_sim/communicator_sim.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace veskator::sim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// Bound for anything that must happen; quiet periods for things that must not.
constexpr auto kWait = 2000ms;
constexpr auto kQuiet = 150ms;

Bytes bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes commandFrame(std::string_view text) {
    std::string frame = "\n\"";
    frame.append(text);
    frame.push_back('\r');
    return Bytes(frame.begin(), frame.end());
}

Bytes writeFrame(std::uint8_t suffix, const Bytes& data, std::uint8_t end = kCarriageReturn) {
    std::string text = "\n\"";
    text.append(kWritePrefix);
    Bytes frame(text.begin(), text.end());
    frame.push_back(suffix);
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(end);
    return frame;
}

// Block data with carriage returns, line feeds and quotes where a line parser would trip.
Bytes awkwardBlock(std::uint8_t seed) {
    Bytes data(kBlockSize);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
    data[0] = kCarriageReturn;
    data[1] = kLineFeed;
    data[2] = kQuote;
    data[64] = kCarriageReturn;
    data[127] = kCarriageReturn;
    return data;
}

Bytes slice(const SimMemory& memory, std::size_t offset, std::size_t size) {
    return Bytes(memory.begin() + static_cast<std::ptrdiff_t>(offset),
                 memory.begin() + static_cast<std::ptrdiff_t>(offset + size));
}

// A small blocking client over loopback, with every wait bounded by poll().
class Client {
  public:
    explicit Client(std::uint16_t port) {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = m_fd >= 0 && connect(m_fd, reinterpret_cast<const sockaddr*>(&address),
                                           sizeof address) == 0;
        const int on = 1;
        setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    ~Client() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool connected() const { return m_connected; }
    bool peerClosed() const { return m_peerClosed; }

    void send(const Bytes& data) {
        ASSERT_EQ(::send(m_fd, data.data(), data.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(data.size()));
    }

    // The bytes of one receive, or nothing when none came within the timeout or the peer closed.
    Bytes receiveSome(std::chrono::milliseconds timeout) {
        pollfd fd{m_fd, POLLIN, 0};
        if (m_peerClosed || poll(&fd, 1, static_cast<int>(timeout.count())) <= 0) {
            return {};
        }
        Bytes buffer(4096);
        const ssize_t n = recv(m_fd, buffer.data(), buffer.size(), 0);
        if (n <= 0) {
            m_peerClosed = true;
            return {};
        }
        buffer.resize(static_cast<std::size_t>(n));
        return buffer;
    }

    // Up to `count` bytes, gathered until they are all there, the peer closes or time runs out.
    Bytes receive(std::size_t count, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        Bytes all;
        while (all.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left <= 0ms) {
                break;
            }
            const Bytes some = receiveSome(left);
            if (some.empty()) {
                break;
            }
            all.insert(all.end(), some.begin(), some.end());
        }
        return all;
    }

    // What the programmer waits for: a carriage return at position 5 or later.
    std::string greeting() {
        std::string text;
        while (text.find('\r', 5) == std::string::npos) {
            const Bytes some = receiveSome(kWait);
            if (some.empty()) {
                break;
            }
            text.append(some.begin(), some.end());
        }
        return text;
    }

    // Sends `chunk` over and over without waiting until the socket takes no more or `limit`
    // bytes have gone; returns how many went.
    std::size_t sendUntilFull(const Bytes& chunk, std::size_t limit) {
        std::size_t sent = 0;
        while (sent < limit) {
            const ssize_t n = ::send(m_fd, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            sent += static_cast<std::size_t>(n);
        }
        return sent;
    }

    bool writableWithin(std::chrono::milliseconds timeout) {
        pollfd fd{m_fd, POLLOUT, 0};
        return poll(&fd, 1, static_cast<int>(timeout.count())) > 0 && (fd.revents & POLLOUT) != 0;
    }

    // Whether the peer closed within the timeout (any data on the way is dropped).
    bool closedWithin(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!m_peerClosed && std::chrono::steady_clock::now() < deadline) {
            receiveSome(std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now()));
        }
        return m_peerClosed;
    }

  private:
    int m_fd = -1;
    bool m_connected = false;
    bool m_peerClosed = false;
};

auto hasEvent(SimEvent::Kind kind, int number = -1) {
    return [kind, number](const std::vector<SimEvent>& events) {
        return std::any_of(events.begin(), events.end(), [&](const SimEvent& e) {
            return e.kind == kind && (number < 0 || e.number == number);
        });
    };
}

std::vector<SimEvent> eventsOf(const CommunicatorSim& sim, SimEvent::Kind kind) {
    std::vector<SimEvent> found;
    for (const SimEvent& event : sim.events()) {
        if (event.kind == kind) {
            found.push_back(event);
        }
    }
    return found;
}

SimConfig faultConfig(FaultMode mode) {
    SimConfig config;
    config.fault = mode;
    return config;
}

TEST(CommunicatorSim, GreetsAndAnswersEachReadWithItsUnit) {
    CommunicatorSim sim;
    ASSERT_TRUE(sim.start());
    ASSERT_NE(sim.port(), 0);
    EXPECT_EQ(sim.memory(), defaultMemory());
    Bytes lastUnit(kSimUnitSize);
    for (std::size_t i = 0; i < lastUnit.size(); ++i) {
        lastUnit[i] = static_cast<std::uint8_t>(0x80 + i);
    }
    sim.setBytes(63 * kSimUnitSize, lastUnit);

    // A full read runs all its frames over one connection.
    Client client(sim.port());
    ASSERT_TRUE(client.connected());
    const std::string greeting = client.greeting();
    EXPECT_EQ(greeting, "NORVANE COMMUNICATOR READY\r\n");

    client.send(commandFrame("read program0"));
    EXPECT_EQ(client.receive(kSimUnitSize, kWait), slice(defaultMemory(), 0, kSimUnitSize));
    client.send(commandFrame("read programAo"));
    EXPECT_EQ(client.receive(kSimUnitSize, kWait), lastUnit);
    // Memory changed at run time is what the next read sees.
    sim.setBytes(kSimUnitSize, Bytes{1, 2, 3});
    client.send(commandFrame("read program1"));
    const Bytes unit1 = client.receive(kSimUnitSize, kWait);
    ASSERT_EQ(unit1.size(), kSimUnitSize);
    EXPECT_EQ(Bytes(unit1.begin(), unit1.begin() + 3), (Bytes{1, 2, 3}));
    EXPECT_EQ(Bytes(unit1.begin() + 3, unit1.end()),
              slice(defaultMemory(), kSimUnitSize + 3, kSimUnitSize - 3));
    // Nothing beyond the 64 bytes of each reply.
    EXPECT_TRUE(client.receiveSome(kQuiet).empty());

    const auto reads = eventsOf(sim, SimEvent::Kind::Read);
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[0].number, 0);
    EXPECT_EQ(reads[1].number, 63);
    EXPECT_EQ(reads[1].text, "read programAo");
    EXPECT_EQ(reads[2].number, 1);
    EXPECT_EQ(sim.connectionCount(), 1);
    EXPECT_EQ(sim.events().front().kind, SimEvent::Kind::Accepted);

    // Setting bytes past the end of memory keeps what fits and drops the rest.
    sim.setBytes(kSimMemorySize - 1, Bytes{9, 9});
    EXPECT_EQ(sim.memory().back(), 9);

    // A second simulator cannot take the same port, and stopping closes open connections.
    SimConfig samePort;
    samePort.port = sim.port();
    CommunicatorSim other(samePort);
    EXPECT_FALSE(other.start());
    sim.stop();
    EXPECT_TRUE(client.closedWithin(kWait));
}

TEST(CommunicatorSim, StoresWriteFramesWholeWhateverTheSegments) {
    CommunicatorSim sim;
    ASSERT_TRUE(sim.start());

    // Block A5 arrives in three segments; its data holds CR, LF and quotes.
    const Bytes block5 = awkwardBlock(5);
    const Bytes frame5 = writeFrame('5', block5);
    {
        Client client(sim.port());
        ASSERT_FALSE(client.greeting().empty());
        client.send(Bytes(frame5.begin(), frame5.begin() + 10));
        std::this_thread::sleep_for(5ms);
        client.send(Bytes(frame5.begin() + 10, frame5.begin() + 80));
        std::this_thread::sleep_for(5ms);
        client.send(Bytes(frame5.begin() + 80, frame5.end()));
        ASSERT_TRUE(sim.waitFor(hasEvent(SimEvent::Kind::BlockWrite, 5), kWait));
    }

    // One segment holding an alarm-code chunk for block 140, a reset and a read.
    const Bytes chunk = awkwardBlock(140);
    {
        Client client(sim.port());
        ASSERT_FALSE(client.greeting().empty());
        Bytes segment = writeFrame(188, chunk);
        for (const auto& frame : {commandFrame("$remotereset$"), commandFrame("read programA:")}) {
            segment.insert(segment.end(), frame.begin(), frame.end());
        }
        client.send(segment);
        EXPECT_EQ(client.receive(kSimUnitSize, kWait).size(), kSimUnitSize);
    }

    // A write frame that does not end with CR is refused, whatever block it names.
    {
        Client client(sim.port());
        ASSERT_FALSE(client.greeting().empty());
        client.send(writeFrame('6', awkwardBlock(6), 'X'));
        ASSERT_TRUE(sim.waitFor(hasEvent(SimEvent::Kind::Unknown), kWait));
    }

    SimMemory expected = defaultMemory();
    std::copy(block5.begin(), block5.end(), expected.begin() + 5 * kSimBlockSize);
    std::copy(chunk.begin(), chunk.end(), expected.begin() + 140 * kSimBlockSize);
    EXPECT_EQ(sim.memory(), expected);

    const auto blockWrites = eventsOf(sim, SimEvent::Kind::BlockWrite);
    ASSERT_EQ(blockWrites.size(), 1u);
    EXPECT_EQ(blockWrites[0].data, block5);
    EXPECT_EQ(blockWrites[0].text, "write programA5");
    const auto chunkWrites = eventsOf(sim, SimEvent::Kind::ChunkWrite);
    ASSERT_EQ(chunkWrites.size(), 1u);
    EXPECT_EQ(chunkWrites[0].number, 140);
    EXPECT_EQ(chunkWrites[0].data, chunk);
    EXPECT_EQ(sim.remoteResetCount(), 1);
    ASSERT_TRUE(sim.waitFor(
        [](const std::vector<SimEvent>& events) {
            return std::count_if(events.begin(), events.end(), [](const SimEvent& e) {
                       return e.kind == SimEvent::Kind::Closed;
                   }) == 3;
        },
        kWait));
    EXPECT_EQ(sim.connectionCount(), 3);
}

TEST(CommunicatorSim, LiveStatusPairingAndUnknownFrames) {
    CommunicatorSim sim;
    ASSERT_TRUE(sim.start());
    const auto statusReply = [&] {
        Client client(sim.port());
        client.greeting();
        client.send(commandFrame("gpcommandr1"));
        return client.receive(9, kWait);
    };
    Bytes status = statusReply();
    ASSERT_GE(status.size(), 8u);
    EXPECT_EQ(status[6], 0x10);
    EXPECT_EQ(status[7], 0x00);
    sim.setLoopStatus(0x01, 0x13);
    status = statusReply();
    ASSERT_GE(status.size(), 8u);
    EXPECT_EQ(status[6], 0x01);
    EXPECT_EQ(status[7], 0x13);

    Client client(sim.port());
    client.greeting();
    client.send(commandFrame("gpcommandr2"));
    const Bytes status2 = client.receiveSome(kWait);
    ASSERT_FALSE(status2.empty());
    EXPECT_EQ(status2.back(), kCarriageReturn);

    const std::string pairing = "00:11:22:33:44:55/DOWNLOADBT/66:77:88:99:AA:BB5550199";
    client.send(bytes(pairing + "\r"));
    EXPECT_EQ(client.receive(10, kWait), bytes("BT PAIRED\r"));

    // An unknown command gets no answer: the next reply is the status that follows it.
    client.send(commandFrame("hello"));
    client.send(commandFrame("gpcommandr1"));
    const Bytes next = client.receive(9, kWait);
    ASSERT_GE(next.size(), 6u);
    EXPECT_EQ(Bytes(next.begin(), next.begin() + 6), bytes("STATUS"));

    const auto statuses = eventsOf(sim, SimEvent::Kind::Status);
    ASSERT_EQ(statuses.size(), 4u);
    EXPECT_EQ(statuses[2].number, 2);
    const auto pairings = eventsOf(sim, SimEvent::Kind::Pairing);
    ASSERT_EQ(pairings.size(), 1u);
    EXPECT_EQ(pairings[0].text, pairing);
    const auto unknown = eventsOf(sim, SimEvent::Kind::Unknown);
    ASSERT_EQ(unknown.size(), 1u);
    EXPECT_EQ(unknown[0].text, "hello");
    EXPECT_EQ(describeEvent(unknown[0]), "#3 Unknown \"hello\"");
}

TEST(SimMemory, DefaultContentAndFileRoundTrip) {
    const SimMemory memory = defaultMemory();
    EXPECT_EQ(slice(memory, blockOffset(0, 0x00), 14),
              bytes(std::string_view("192.168.1.100\0", 14)));
    EXPECT_EQ(slice(memory, blockOffset(0, 0x60), 5), bytes(std::string_view("3061\0", 5)));
    // The second server address runs from A0 into A1.
    EXPECT_EQ(slice(memory, blockOffset(0, 0x70), 19),
              bytes(std::string_view("backup.example.net\0", 19)));
    EXPECT_EQ(slice(memory, blockOffset(1, 0x20), 15), bytes("PROGDATA0123456"));
    EXPECT_EQ(slice(memory, blockOffset(1, 0x7a), 6), (Bytes{0x00, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E}));
    for (const std::size_t option :
         {blockOffset(0, 0x1f), blockOffset(1, 0x3f), blockOffset(1, 0x3d), blockOffset(1, 0x38)}) {
        EXPECT_NE(memory[option], 0) << "option byte at " << option;
    }
    // Nothing is programmed beyond the parameter blocks.
    EXPECT_TRUE(std::all_of(memory.begin() + 8 * kSimBlockSize, memory.end(),
                            [](std::uint8_t b) { return b == 0; }));

    std::string pattern = std::filesystem::temp_directory_path() / "simmemXXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path dir = pattern;
    const std::string path = dir / "memory.bin";

    SimMemory changed = memory;
    changed[0] = 'X';
    changed[kSimMemorySize - 1] = 0x5A;
    ASSERT_TRUE(saveMemory(path, changed));
    EXPECT_EQ(std::filesystem::file_size(path), kSimMemorySize);
    SimMemory loaded{};
    ASSERT_TRUE(loadMemory(path, loaded));
    EXPECT_EQ(loaded, changed);

    // A short file replaces only its own bytes; an overlong one only the memory's.
    const std::string shortPath = dir / "short.bin";
    std::ofstream(shortPath, std::ios::binary) << "abc";
    SimMemory partial = memory;
    ASSERT_TRUE(loadMemory(shortPath, partial));
    EXPECT_EQ(slice(partial, 0, 3), bytes("abc"));
    EXPECT_EQ(slice(partial, 3, kSimMemorySize - 3), slice(memory, 3, kSimMemorySize - 3));
    const std::string longPath = dir / "long.bin";
    {
        std::ofstream out(longPath, std::ios::binary);
        out << std::string(kSimMemorySize, 'L') << "tail";
    }
    ASSERT_TRUE(loadMemory(longPath, partial));
    EXPECT_TRUE(
        std::all_of(partial.begin(), partial.end(), [](std::uint8_t b) { return b == 'L'; }));

    SimMemory untouched = memory;
    EXPECT_FALSE(loadMemory((dir / "missing.bin").string(), untouched));
    EXPECT_EQ(untouched, memory);
    EXPECT_FALSE(saveMemory((dir / "no-such-dir" / "m.bin").string(), memory));

    // A simulator started from a loaded memory answers with it.
    SimConfig config;
    config.memory = changed;
    CommunicatorSim sim(config);
    ASSERT_TRUE(sim.start());
    Client client(sim.port());
    client.greeting();
    client.send(commandFrame("read program0"));
    EXPECT_EQ(client.receive(kSimUnitSize, kWait), slice(changed, 0, kSimUnitSize));

    std::filesystem::remove_all(dir);
}

TEST(CommunicatorSimFaults, RefusedConnectionsAndRuntimeSwitching) {
    CommunicatorSim sim;
    ASSERT_TRUE(sim.start());
    sim.setFault(FaultMode::Refuse);
    EXPECT_EQ(sim.fault(), FaultMode::Refuse);
    {
        Client client(sim.port());
        EXPECT_TRUE(client.receiveSome(kWait).empty());
        EXPECT_TRUE(client.peerClosed());
    }
    sim.setFault(FaultMode::None);
    Client client(sim.port());
    EXPECT_EQ(client.greeting(), "NORVANE COMMUNICATOR READY\r\n");
    EXPECT_EQ(sim.connectionCount(), 2);
}

TEST(CommunicatorSimFaults, NoGreetingSilenceAndDelayedGreeting) {
    {
        CommunicatorSim sim(faultConfig(FaultMode::NoGreeting));
        ASSERT_TRUE(sim.start());
        Client client(sim.port());
        client.send(commandFrame("read program0"));
        EXPECT_TRUE(client.receiveSome(kQuiet).empty());
        EXPECT_FALSE(client.peerClosed());
        EXPECT_FALSE(hasEvent(SimEvent::Kind::Read)(sim.events()));
    }
    {
        CommunicatorSim sim(faultConfig(FaultMode::Silence));
        ASSERT_TRUE(sim.start());
        Client client(sim.port());
        EXPECT_FALSE(client.greeting().empty());
        client.send(commandFrame("read program0"));
        ASSERT_TRUE(sim.waitFor(hasEvent(SimEvent::Kind::Read, 0), kWait));
        EXPECT_TRUE(client.receiveSome(kQuiet).empty());
        EXPECT_FALSE(client.peerClosed());
    }
    {
        SimConfig config = faultConfig(FaultMode::GreetingDelay);
        config.greetingDelay = 250ms;
        CommunicatorSim sim(config);
        ASSERT_TRUE(sim.start());
        Client client(sim.port());
        // A read sent before the greeting is answered after it.
        client.send(commandFrame("read program0"));
        EXPECT_TRUE(client.receiveSome(kQuiet).empty());
        const std::string greeting = config.greeting;
        const Bytes expected = [&] {
            Bytes all = bytes(greeting);
            const Bytes unit = slice(defaultMemory(), 0, kSimUnitSize);
            all.insert(all.end(), unit.begin(), unit.end());
            return all;
        }();
        EXPECT_EQ(client.receive(expected.size(), kWait), expected);
    }
}

TEST(CommunicatorSimFaults, EndlessGreetingAndGreetingWithCrLfApart) {
    {
        CommunicatorSim sim(faultConfig(FaultMode::EndlessGreeting));
        ASSERT_TRUE(sim.start());
        Client client(sim.port());
        client.send(commandFrame("read program0"));
        const Bytes text = client.receive(kEndlessGreetingBytes, kWait);
        EXPECT_EQ(text.size(), kEndlessGreetingBytes);
        EXPECT_TRUE(std::all_of(text.begin(), text.end(),
                                [](std::uint8_t b) { return b >= 0x20 && b < 0x7f; }));
        // Bounded: nothing follows, yet the connection stays open and input stays unanswered.
        EXPECT_TRUE(client.receiveSome(kQuiet).empty());
        EXPECT_FALSE(client.peerClosed());
        EXPECT_FALSE(hasEvent(SimEvent::Kind::Read)(sim.events()));
    }
    {
        SimConfig config = faultConfig(FaultMode::GreetingCrLf);
        config.greeting = std::string(99, 'G') + "\r\n";
        config.splitPause = 40ms;  // wide enough that the LF is received on its own
        CommunicatorSim sim(config);
        ASSERT_TRUE(sim.start());
        Client client(sim.port());
        EXPECT_EQ(client.receiveSome(kWait), bytes(std::string(99, 'G') + "\r"));
        EXPECT_EQ(client.receiveSome(kWait), bytes("\n"));
        // Then served as usual: a read reply comes whole.
        client.send(commandFrame("read program1"));
        EXPECT_EQ(client.receive(kSimUnitSize, kWait),
                  slice(defaultMemory(), kSimUnitSize, kSimUnitSize));
    }
}

TEST(CommunicatorSimFaults, StallSendsNeverReadsAfterTheGreeting) {
    CommunicatorSim sim(faultConfig(FaultMode::StallSends));
    ASSERT_TRUE(sim.start());
    {
        Client client(sim.port());
        EXPECT_EQ(client.greeting(), "NORVANE COMMUNICATOR READY\r\n");
        Bytes frames;
        while (frames.size() < 65536) {
            const Bytes frame = commandFrame("read program0");
            frames.insert(frames.end(), frame.begin(), frame.end());
        }
        // The buffers fill and stay full, as nothing on the other side reads.
        constexpr std::size_t kLimit = std::size_t{64} << 20;
        EXPECT_LT(client.sendUntilFull(frames, kLimit), kLimit);
        EXPECT_FALSE(client.writableWithin(kQuiet));
        EXPECT_TRUE(client.receiveSome(kQuiet).empty());
        EXPECT_FALSE(hasEvent(SimEvent::Kind::Read)(sim.events()));
    }
    // Unread input does not hide a peer's close.
    {
        Client client(sim.port());
        EXPECT_FALSE(client.greeting().empty());
        client.send(commandFrame("read program0"));
    }
    EXPECT_TRUE(sim.waitFor(
        [](const std::vector<SimEvent>& events) {
            return std::any_of(events.begin(), events.end(), [](const SimEvent& e) {
                return e.kind == SimEvent::Kind::Closed && e.connection == 2;
            });
        },
        kWait));
    EXPECT_FALSE(hasEvent(SimEvent::Kind::Read)(sim.events()));
}

TEST(CommunicatorSimFaults, SplitRepliesArriveInPiecesButComplete) {
    SimConfig config = faultConfig(FaultMode::SplitReplies);
    config.splitPause = 40ms;  // wide enough that each piece is received on its own
    CommunicatorSim sim(config);
    ASSERT_TRUE(sim.start());
    Client client(sim.port());
    const Bytes firstGreetingPiece = client.receiveSome(kWait);
    EXPECT_FALSE(firstGreetingPiece.empty());
    EXPECT_LT(firstGreetingPiece.size(), config.greeting.size());
    Bytes greeting = firstGreetingPiece;
    const Bytes rest = client.receive(config.greeting.size() - greeting.size(), kWait);
    greeting.insert(greeting.end(), rest.begin(), rest.end());
    EXPECT_EQ(greeting, bytes(config.greeting));

    client.send(commandFrame("read programA2"));
    Bytes reply = client.receiveSome(kWait);
    EXPECT_FALSE(reply.empty());
    EXPECT_LT(reply.size(), kSimUnitSize);
    const Bytes more = client.receive(kSimUnitSize - reply.size(), kWait);
    reply.insert(reply.end(), more.begin(), more.end());
    EXPECT_EQ(reply, slice(defaultMemory(), 2 * kSimUnitSize, kSimUnitSize));
}

TEST(CommunicatorSimFaults, ShortAndOverlongReplies) {
    {
        SimConfig config = faultConfig(FaultMode::ShortReplies);
        config.shortReplyBytes = 40;
        CommunicatorSim sim(config);
        ASSERT_TRUE(sim.start());
        Client client(sim.port());
        client.greeting();
        client.send(commandFrame("read program0"));
        EXPECT_EQ(client.receive(kSimUnitSize, kQuiet), slice(defaultMemory(), 0, 40));
    }
    {
        SimConfig config = faultConfig(FaultMode::ExtraBytes);
        config.extraBytes = 16;
        CommunicatorSim sim(config);
        ASSERT_TRUE(sim.start());
        Client client(sim.port());
        client.greeting();
        client.send(commandFrame("read program1"));
        Bytes expected = slice(defaultMemory(), kSimUnitSize, kSimUnitSize);
        expected.insert(expected.end(), 16, kExtraByteValue);
        EXPECT_EQ(client.receive(kSimUnitSize + 32, kQuiet), expected);
        // The status answer is not a read reply and keeps its length.
        client.send(commandFrame("gpcommandr1"));
        EXPECT_EQ(client.receive(64, kQuiet).size(), 9u);
    }
}

TEST(CommunicatorSimFaults, DropAfterRepliesCountsPerConnection) {
    SimConfig config = faultConfig(FaultMode::DropAfterReplies);
    config.dropAfterReplies = 3;
    CommunicatorSim sim(config);
    ASSERT_TRUE(sim.start());
    for (int connection = 0; connection < 2; ++connection) {
        Client client(sim.port());
        client.greeting();
        for (int i = 0; i < 3; ++i) {
            EXPECT_FALSE(client.peerClosed());
            client.send(commandFrame(i == 0 ? "read program0" : "read program1"));
            EXPECT_EQ(client.receive(kSimUnitSize, kWait).size(), kSimUnitSize)
                << "connection " << connection << " reply " << i;
        }
        EXPECT_TRUE(client.closedWithin(kWait));
    }
}

// Writes of the chosen block land with one byte flipped, every time or the first time only; the
// recorded write and the other blocks are as sent.
TEST(CommunicatorSimFaults, CorruptOnWriteFlipsOneByteOfItsBlock) {
    for (const bool firstOnly : {false, true}) {
        SCOPED_TRACE(firstOnly ? "first write only" : "every write");
        CommunicatorSim sim;
        ASSERT_TRUE(sim.start());
        sim.setCorruptOnWrite(3, firstOnly);
        EXPECT_EQ(sim.fault(), FaultMode::CorruptOnWrite);
        const Bytes data = awkwardBlock(3);
        for (int round = 0; round < 2; ++round) {
            Client client(sim.port());
            client.greeting();
            client.send(writeFrame('2', data));
            client.send(writeFrame('3', data));
            ASSERT_TRUE(sim.waitFor(
                [&](const std::vector<SimEvent>& events) {
                    return std::count_if(events.begin(), events.end(), [](const SimEvent& e) {
                               return e.kind == SimEvent::Kind::BlockWrite;
                           }) == 2 * (round + 1);
                },
                kWait));
            const SimMemory memory = sim.memory();
            Bytes stored = data;
            if (round == 0 || !firstOnly) stored[kCorruptedByte] ^= 0xFF;
            EXPECT_EQ(slice(memory, blockOffset(3, 0), kSimBlockSize), stored) << round;
            EXPECT_EQ(slice(memory, blockOffset(2, 0), kSimBlockSize), data) << round;
        }
        for (const SimEvent& e : eventsOf(sim, SimEvent::Kind::BlockWrite)) {
            EXPECT_EQ(e.data, data);
        }
    }
}

}  // namespace
}  // namespace veskator::sim
