// One contract for both networks: the polled POSIX one of the headless tests and tools, and the
// Qt one of the windowed program (which progresses only in the event loop: every wait here turns
// it). Real TCP over loopback only.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <array>
#include <fstream>
#include <string>
#include <thread>
#include <type_traits>

#include "platform/posix_network.h"
#include "platform/qt/qt_network.h"
#include "platform/test_windows.h"
#include "tools/communicator_sim/communicator_sim.h"

namespace veskator {
namespace {

using testing::processUntil;

constexpr std::uint32_t kLoopback = 0x7f000001;
// Far more than a bounded socket and the kernel's buffers hold when nobody reads on one side.
constexpr std::size_t kUnbounded = std::size_t{16} << 20;

// A loopback socket bound to a free port; listening unless asked not to.
class LoopbackPort {
  public:
    explicit LoopbackPort(bool listening = true) {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(kLoopback);
        EXPECT_EQ(::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        if (listening) {
            EXPECT_EQ(::listen(m_fd, 4), 0);
        }
        socklen_t length = sizeof address;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~LoopbackPort() { closeNow(); }
    LoopbackPort(const LoopbackPort&) = delete;
    LoopbackPort& operator=(const LoopbackPort&) = delete;

    std::uint16_t port() const { return m_port; }
    // The peer's end; its blocking receives give up after a second instead of hanging a test.
    int accept() {
        const int peer = ::accept(m_fd, nullptr, nullptr);
        const timeval second{1, 0};
        ::setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &second, sizeof second);
        return peer;
    }
    void closeNow() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

  private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
};

std::span<const std::uint8_t> bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string text(std::span<const std::uint8_t> buffer, const IoResult& r) {
    return std::string(reinterpret_cast<const char*>(buffer.data()), r.count);
}

std::unique_ptr<StreamSocket> connectTo(Network& network, std::uint16_t port) {
    auto socket = network.connect(Ipv4Address{kLoopback}, port);
    if (socket == nullptr) return nullptr;
    processUntil([&] { return socket->connectStatus() != ConnectStatus::Pending; });
    return socket;
}

// Receives until something other than WouldBlock comes, turning the event loop meanwhile.
IoResult receiveNext(StreamSocket& socket, std::span<std::uint8_t> buffer) {
    IoResult r;
    processUntil([&] {
        r = socket.receive(buffer);
        return r.status != IoStatus::WouldBlock;
    });
    return r;
}

// A stream whose every byte tells its position, so that a loss or a repeat shows.
constexpr std::size_t kPatternPeriod = 251;
std::uint8_t patternAt(std::size_t position) {
    return static_cast<std::uint8_t>(position % kPatternPeriod);
}
constexpr std::size_t kChunk = 64 * 1024;
const std::array<std::uint8_t, kChunk + kPatternPeriod>& patternSource() {
    static const auto source = [] {
        std::array<std::uint8_t, kChunk + kPatternPeriod> a{};
        for (std::size_t i = 0; i < a.size(); ++i) a[i] = patternAt(i);
        return a;
    }();
    return source;
}
// kChunk bytes of the pattern from stream position `position` on.
std::span<const std::uint8_t> patternFrom(std::size_t position) {
    return std::span(patternSource()).subspan(position % kPatternPeriod, kChunk);
}

struct PosixKind {
    static constexpr const char* kName = "Posix";
    PosixNetwork network;
};

struct QtKind {
    static constexpr const char* kName = "Qt";
    QtNetwork network;
};

struct KindName {
    template <typename Kind>
    static std::string GetName(int) {
        return Kind::kName;
    }
};

template <typename Kind>
class NetworkContract : public ::testing::Test {
  protected:
    Kind kind;
    Network& network = kind.network;
};

using Kinds = ::testing::Types<PosixKind, QtKind>;
TYPED_TEST_SUITE(NetworkContract, Kinds, KindName);

TYPED_TEST(NetworkContract, LookupResolvesDottedAddressesAtOnce) {
    auto numeric = this->network.lookup("127.0.0.1");
    EXPECT_EQ(numeric->status(), LookupStatus::Done);
    EXPECT_EQ(numeric->address(), Ipv4Address{kLoopback});
    EXPECT_EQ(this->network.lookup("")->status(), LookupStatus::Failed);
}

TYPED_TEST(NetworkContract, LookupOfANameRunsOffTheWindowThread) {
    // Only a name the hosts file answers, so that no resolver is ever asked.
    std::ifstream hosts("/etc/hosts");
    std::string content((std::istreambuf_iterator<char>(hosts)), std::istreambuf_iterator<char>());
    if (content.find("127.0.0.1 localhost") == std::string::npos &&
        content.find("127.0.0.1\tlocalhost") == std::string::npos)
        GTEST_SKIP() << "localhost is not in /etc/hosts";
    auto lookup = this->network.lookup("localhost");
    ASSERT_TRUE(processUntil([&] { return lookup->status() != LookupStatus::Pending; }));
    EXPECT_EQ(lookup->status(), LookupStatus::Done);
    EXPECT_EQ(lookup->address(), Ipv4Address{kLoopback});
}

TYPED_TEST(NetworkContract, ConnectsSendsReceivesAndSeesTheClose) {
    LoopbackPort listener;
    auto socket = connectTo(this->network, listener.port());
    ASSERT_NE(socket, nullptr);
    ASSERT_EQ(socket->connectStatus(), ConnectStatus::Connected);
    const int peer = listener.accept();
    ASSERT_GE(peer, 0);

    std::array<std::uint8_t, 16> buffer{};
    EXPECT_EQ(socket->receive(buffer).status, IoStatus::WouldBlock);

    const IoResult sent = socket->send(bytes("read program0"));
    EXPECT_EQ(sent.status, IoStatus::Ok);
    EXPECT_EQ(sent.count, 13u);
    // In the kernel at once: the peer gets it while the event loop stands still.
    std::array<char, 32> got{};
    ASSERT_EQ(::recv(peer, got.data(), got.size(), 0), 13);
    EXPECT_EQ(std::string(got.data(), 13), "read program0");

    // And what the kernel has received is there for the next receive, without the event loop:
    // a reply that came during a tick is taken in that tick.
    ASSERT_EQ(::send(peer, "hello\r", 6, 0), 6);
    IoResult received;
    for (int tries = 0; tries < 1000; ++tries) {
        received = socket->receive(buffer);
        if (received.status != IoStatus::WouldBlock) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(received.status, IoStatus::Ok);
    EXPECT_EQ(text(buffer, received), "hello\r");

    // What the peer sent just before it closed comes first, then the close, and it stays.
    ASSERT_EQ(::send(peer, "bye", 3, 0), 3);
    ::close(peer);
    received = receiveNext(*socket, buffer);
    ASSERT_EQ(received.status, IoStatus::Ok);
    EXPECT_EQ(text(buffer, received), "bye");
    EXPECT_EQ(receiveNext(*socket, buffer).status, IoStatus::Closed);
    EXPECT_EQ(socket->receive(buffer).status, IoStatus::Closed);
    EXPECT_EQ(socket->connectStatus(), ConnectStatus::Connected);
}

TYPED_TEST(NetworkContract, ConnectToAClosedPortFails) {
    LoopbackPort unused(false);
    const std::uint16_t port = unused.port();
    unused.closeNow();
    auto socket = this->network.connect(Ipv4Address{kLoopback}, port);
    ASSERT_NE(socket, nullptr);
    ASSERT_TRUE(processUntil([&] { return socket->connectStatus() != ConnectStatus::Pending; }));
    EXPECT_EQ(socket->connectStatus(), ConnectStatus::Failed);
    std::array<std::uint8_t, 4> buffer{};
    EXPECT_NE(socket->receive(buffer).status, IoStatus::Ok);
    EXPECT_NE(socket->send(bytes("x")).status, IoStatus::Ok);
}

// A device that greets and then reads nothing: after a bounded amount the sends meet WouldBlock,
// and keep meeting it however often the event loop turns, so the link's send bound can run out.
TYPED_TEST(NetworkContract, SendsToADeviceThatStopsReadingComeToWouldBlock) {
    sim::SimConfig config;
    config.fault = sim::FaultMode::StallSends;
    sim::CommunicatorSim device(config);
    ASSERT_TRUE(device.start());
    auto socket = connectTo(this->network, device.port());
    ASSERT_NE(socket, nullptr);
    std::array<std::uint8_t, 64> greeting{};
    ASSERT_EQ(receiveNext(*socket, greeting).status, IoStatus::Ok);

    std::size_t accepted = 0;
    int refusals = 0;
    while (refusals < 3 && accepted < kUnbounded) {
        const IoResult r = socket->send(patternFrom(accepted));
        if (r.status == IoStatus::Ok) {
            ASSERT_GT(r.count, 0u);
            accepted += r.count;
            refusals = 0;
            continue;
        }
        ASSERT_EQ(r.status, IoStatus::WouldBlock);
        ++refusals;
        QTest::qWait(5);
    }
    EXPECT_GT(accepted, 0u);
    EXPECT_LT(accepted, kUnbounded);
    EXPECT_EQ(socket->send(patternFrom(accepted)).status, IoStatus::WouldBlock);
}

// An owner that reads nothing makes a streaming peer wait after a bounded amount, and once it
// reads, every byte comes, in order.
TYPED_TEST(NetworkContract, AStreamingPeerWaitsForTheOwnerAndLosesNothing) {
    LoopbackPort listener;
    auto socket = connectTo(this->network, listener.port());
    ASSERT_NE(socket, nullptr);
    const int peer = listener.accept();
    ASSERT_GE(peer, 0);
    const int small = 4096;  // the peer's own buffer stays small, so what waits is ours
    ::setsockopt(peer, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);

    // Pushes while the owner's event loop turns (the owner reads nothing), until the peer has
    // made no progress for a while: long enough for TCP to have reopened a closed window.
    std::size_t pushed = 0;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    while (sinceProgress.elapsed() < 250 && pushed < kUnbounded) {
        for (;;) {
            const std::span<const std::uint8_t> chunk = patternFrom(pushed);
            const ssize_t n = ::send(peer, chunk.data(), chunk.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n <= 0) break;
            pushed += static_cast<std::size_t>(n);
            sinceProgress.restart();
        }
        QTest::qWait(5);
    }
    EXPECT_GT(pushed, 0u);
    EXPECT_LT(pushed, kUnbounded);

    std::array<std::uint8_t, 4096> buffer{};
    std::size_t got = 0;
    std::size_t misplaced = 0;
    while (got < pushed) {
        const IoResult r = receiveNext(*socket, buffer);
        ASSERT_EQ(r.status, IoStatus::Ok) << "after " << got << " of " << pushed << " bytes";
        for (std::size_t i = 0; i < r.count; ++i) misplaced += buffer[i] != patternAt(got + i);
        got += r.count;
    }
    EXPECT_EQ(got, pushed);
    EXPECT_EQ(misplaced, 0u);
    ::close(peer);
    EXPECT_EQ(receiveNext(*socket, buffer).status, IoStatus::Closed);
}

// An owner that sleeps until its socket has news hears of a refused connect too: the POSIX
// socket says it must be polled, the Qt one tells the end of every connect.
TYPED_TEST(NetworkContract, ASocketSaysWhetherItTellsItsNewsAndTellsARefusal) {
    LoopbackPort unused(false);
    const std::uint16_t port = unused.port();
    unused.closeNow();
    auto socket = this->network.connect(Ipv4Address{kLoopback}, port);
    ASSERT_NE(socket, nullptr);
    int told = 0;
    socket->setReadyHandler([&] { ++told; });
    const bool tells = std::is_same_v<TypeParam, QtKind>;
    EXPECT_EQ(socket->callsReadyHandler(), tells);
    if (!tells) return;
    ASSERT_TRUE(processUntil([&] { return told > 0; }));
    EXPECT_EQ(socket->connectStatus(), ConnectStatus::Failed);
}

// The POSIX network reports no readiness (nothing runs its loop). The Qt one reports the connect
// and then readable data once per read of the owner's, level-triggered, from the event loop.
TEST(QtNetworkTest, ReadyCallbackComesOncePerReadFromTheEventLoop) {
    QtNetwork network;
    LoopbackPort listener;
    auto socket = network.connect(Ipv4Address{kLoopback}, listener.port());
    ASSERT_NE(socket, nullptr);
    int ready = 0;
    socket->setReadyHandler([&] { ++ready; });
    ASSERT_TRUE(processUntil([&] { return ready == 1; }));
    EXPECT_EQ(socket->connectStatus(), ConnectStatus::Connected);
    const int peer = listener.accept();
    ASSERT_GE(peer, 0);
    std::array<std::uint8_t, 16> buffer{};
    EXPECT_EQ(socket->receive(buffer).status, IoStatus::WouldBlock);

    ASSERT_EQ(::send(peer, "hello\r", 6, 0), 6);
    ASSERT_TRUE(processUntil([&] { return ready == 2; }));
    // Quiet until the owner reads, though more comes.
    ASSERT_EQ(::send(peer, "more", 4, 0), 4);
    QTest::qWait(20);
    EXPECT_EQ(ready, 2);
    const IoResult received = socket->receive(buffer);
    ASSERT_EQ(received.status, IoStatus::Ok);
    EXPECT_EQ(text(buffer, received), "hello\rmore");

    ASSERT_EQ(::send(peer, "x", 1, 0), 1);
    ASSERT_TRUE(processUntil([&] { return ready == 3; }));

    // Bytes already waiting count for a handler set after they came.
    int late = 0;
    socket->setReadyHandler([&] { ++late; });
    EXPECT_TRUE(processUntil([&] { return late == 1; }));
    EXPECT_EQ(ready, 3);
    ::close(peer);
}

}  // namespace
}  // namespace veskator
