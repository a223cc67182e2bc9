// Real TCP over loopback only.
#include "platform/qt/posix_network.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <fstream>
#include <string>

#include "platform/qt/tick_gate.h"
#include "platform/test_windows.h"

namespace veskator {
namespace {

using testing::processUntil;

constexpr std::uint32_t kLoopback = 0x7f000001;

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
    int accept() { return ::accept(m_fd, nullptr, nullptr); }
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

std::unique_ptr<StreamSocket> connectTo(Network& network, std::uint16_t port) {
    auto socket = network.connect(Ipv4Address{kLoopback}, port);
    if (socket == nullptr) return nullptr;
    processUntil([&] { return socket->connectStatus() != ConnectStatus::Pending; });
    return socket;
}

TEST(PosixNetworkTest, LookupResolvesDottedAddressesAtOnce) {
    PosixNetwork network;
    auto numeric = network.lookup("127.0.0.1");
    EXPECT_EQ(numeric->status(), LookupStatus::Done);
    EXPECT_EQ(numeric->address(), Ipv4Address{kLoopback});
    EXPECT_EQ(network.lookup("")->status(), LookupStatus::Failed);
}

TEST(PosixNetworkTest, LookupOfANameRunsOffTheWindowThread) {
    // Only a name the hosts file answers, so that no resolver is ever asked.
    std::ifstream hosts("/etc/hosts");
    std::string content((std::istreambuf_iterator<char>(hosts)), std::istreambuf_iterator<char>());
    if (content.find("127.0.0.1 localhost") == std::string::npos &&
        content.find("127.0.0.1\tlocalhost") == std::string::npos)
        GTEST_SKIP() << "localhost is not in /etc/hosts";
    PosixNetwork network;
    auto lookup = network.lookup("localhost");
    ASSERT_TRUE(processUntil([&] { return lookup->status() != LookupStatus::Pending; }));
    EXPECT_EQ(lookup->status(), LookupStatus::Done);
    EXPECT_EQ(lookup->address(), Ipv4Address{kLoopback});
}

TEST(PosixNetworkTest, ConnectsSendsReceivesAndSeesTheClose) {
    LoopbackPort listener;
    PosixNetwork network;
    auto socket = connectTo(network, listener.port());
    ASSERT_NE(socket, nullptr);
    ASSERT_EQ(socket->connectStatus(), ConnectStatus::Connected);
    const int peer = listener.accept();
    ASSERT_GE(peer, 0);

    std::array<std::uint8_t, 16> buffer{};
    EXPECT_EQ(socket->receive(buffer).status, IoStatus::WouldBlock);

    const IoResult sent = socket->send(bytes("read program0"));
    EXPECT_EQ(sent.status, IoStatus::Ok);
    EXPECT_EQ(sent.count, 13u);
    std::array<char, 32> got{};
    ASSERT_EQ(::recv(peer, got.data(), got.size(), 0), 13);
    EXPECT_EQ(std::string(got.data(), 13), "read program0");

    int ready = 0;
    socket->setReadyHandler([&] { ++ready; });
    ASSERT_EQ(::send(peer, "hello\r", 6, 0), 6);
    ASSERT_TRUE(processUntil([&] { return ready > 0; }));
    // Quiet until the owner reads.
    QCoreApplication::processEvents();
    EXPECT_EQ(ready, 1);
    const IoResult received = socket->receive(buffer);
    ASSERT_EQ(received.status, IoStatus::Ok);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data()), received.count), "hello\r");

    ::close(peer);
    IoResult last;
    ASSERT_TRUE(processUntil([&] {
        last = socket->receive(buffer);
        return last.status != IoStatus::WouldBlock;
    }));
    EXPECT_EQ(last.status, IoStatus::Closed);
}

TEST(PosixNetworkTest, ConnectToAClosedPortFails) {
    LoopbackPort unused(false);
    const std::uint16_t port = unused.port();
    unused.closeNow();
    PosixNetwork network;
    auto socket = network.connect(Ipv4Address{kLoopback}, port);
    ASSERT_NE(socket, nullptr);
    ASSERT_TRUE(processUntil([&] { return socket->connectStatus() != ConnectStatus::Pending; }));
    EXPECT_EQ(socket->connectStatus(), ConnectStatus::Failed);
    std::array<std::uint8_t, 4> buffer{};
    EXPECT_NE(socket->receive(buffer).status, IoStatus::Ok);
}

TEST(PosixNetworkTest, ReadyCallbackWaitsForTheEndOfAWait) {
    TickGate gate;
    LoopbackPort listener;
    PosixNetwork network(&gate);
    auto socket = connectTo(network, listener.port());
    ASSERT_NE(socket, nullptr);
    const int peer = listener.accept();
    ASSERT_GE(peer, 0);
    int ready = 0;
    socket->setReadyHandler([&] { ++ready; });

    gate.beginWait();
    ASSERT_EQ(::send(peer, "x", 1, 0), 1);
    ASSERT_TRUE(processUntil([&] { return gate.pendingCount() == 1; }));
    EXPECT_EQ(ready, 0);
    gate.endWait();
    QCoreApplication::processEvents();
    EXPECT_EQ(ready, 1);
    ::close(peer);
}

}  // namespace
}  // namespace veskator
