#include "platform/posix_network.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace veskator {

namespace {

// Shared between the window thread and the look-up's worker, which may outlive the look-up.
struct LookupState {
    std::mutex mutex;
    LookupStatus status = LookupStatus::Pending;
    Ipv4Address address;
};

class PosixLookup final : public HostLookup {
  public:
    explicit PosixLookup(std::shared_ptr<LookupState> state) : m_state(std::move(state)) {}
    LookupStatus status() override {
        std::lock_guard lock(m_state->mutex);
        return m_state->status;
    }
    Ipv4Address address() override {
        std::lock_guard lock(m_state->mutex);
        return m_state->address;
    }

  private:
    std::shared_ptr<LookupState> m_state;
};

void resolve(const std::string& name, LookupState& state) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
    std::lock_guard lock(state.mutex);
    state.status = LookupStatus::Failed;
    if (rc == 0) {
        for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
            if (a->ai_family != AF_INET || a->ai_addr == nullptr) continue;
            const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
            state.address = Ipv4Address{ntohl(in->sin_addr.s_addr)};
            state.status = LookupStatus::Done;
            break;
        }
    }
    if (found != nullptr) ::freeaddrinfo(found);
}

class PosixSocket final : public StreamSocket {
  public:
    PosixSocket(int fd, ConnectStatus status) : m_fd(fd), m_status(status) {}
    ~PosixSocket() override { ::close(m_fd); }
    PosixSocket(const PosixSocket&) = delete;
    PosixSocket& operator=(const PosixSocket&) = delete;

    ConnectStatus connectStatus() override {
        if (m_status != ConnectStatus::Pending) return m_status;
        pollfd p{m_fd, POLLOUT, 0};
        const int rc = ::poll(&p, 1, 0);
        if (rc < 0 && errno != EINTR) {
            m_status = ConnectStatus::Failed;
        } else if (rc > 0 && (p.revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
            m_status = error == 0 ? ConnectStatus::Connected : ConnectStatus::Failed;
        }
        return m_status;
    }

    IoResult send(std::span<const std::uint8_t> bytes) override {
        if (bytes.empty()) return {IoStatus::Ok, 0};
        ssize_t n;
        do {
            n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        } while (n < 0 && errno == EINTR);
        if (n >= 0) return {IoStatus::Ok, static_cast<std::size_t>(n)};
        if (errno == EAGAIN || errno == EWOULDBLOCK) return {IoStatus::WouldBlock, 0};
        return {IoStatus::Error, 0};
    }

    IoResult receive(std::span<std::uint8_t> buffer) override {
        if (buffer.empty()) return {IoStatus::Ok, 0};
        ssize_t n;
        do {
            n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
        } while (n < 0 && errno == EINTR);
        if (n > 0) return {IoStatus::Ok, static_cast<std::size_t>(n)};
        if (n == 0) return {IoStatus::Closed, 0};
        if (errno == EAGAIN || errno == EWOULDBLOCK) return {IoStatus::WouldBlock, 0};
        return {IoStatus::Error, 0};
    }

    // Polling only: see the header.
    void setReadyHandler(std::function<void()>) override {}

  private:
    int m_fd;
    ConnectStatus m_status;
};

}  // namespace

std::unique_ptr<HostLookup> PosixNetwork::lookup(std::string_view hostName) {
    if (auto answered = lookupWithoutResolver(hostName)) return answered;
    auto state = std::make_shared<LookupState>();
    try {
        std::thread([state, name = std::string(hostName)] { resolve(name, *state); }).detach();
    } catch (const std::system_error&) {
        state->status = LookupStatus::Failed;
    }
    return std::make_unique<PosixLookup>(state);
}

std::unique_ptr<StreamSocket> PosixNetwork::connect(Ipv4Address address, std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = htonl(address.value);
    const int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target);
    ConnectStatus status = ConnectStatus::Connected;
    if (rc != 0) {
        // An interrupted non-blocking connect goes on by itself, like one in progress.
        status = (errno == EINPROGRESS || errno == EINTR) ? ConnectStatus::Pending
                                                          : ConnectStatus::Failed;
    }
    return std::make_unique<PosixSocket>(fd, status);
}

}  // namespace veskator
