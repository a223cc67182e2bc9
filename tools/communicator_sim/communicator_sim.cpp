#include "tools/communicator_sim/communicator_sim.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <optional>
#include <string_view>

namespace veskator::sim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kReadPrefix = "read program";
constexpr std::string_view kRemoteReset = "$remotereset$";
constexpr std::string_view kStatusRequest = "gpcommandr1";
constexpr std::string_view kStatusRequest2 = "gpcommandr2";
constexpr std::string_view kPairingKeyword = "DOWNLOADBT/";
constexpr std::string_view kStatusPrefix = "STATUS";  // loop bytes follow at 6 and 7
constexpr std::string_view kStatus2Reply = "GP2 OK\r";
constexpr std::size_t kMaxConnections = 8;
constexpr std::size_t kMaxEvents = 100000;
constexpr int kIdlePollMs = 250;
constexpr int kSplitPieces = 3;
// Small enough that a few frames fill it; the kernel doubles it and keeps a floor of its own.
constexpr int kStallReceiveBuffer = 4096;
constexpr std::size_t kEndlessChunk = 16384;
// The endless text cycles through the printable ASCII range, which holds no CR or LF.
constexpr std::uint8_t kFirstPrintable = 0x20;
constexpr std::size_t kPrintableCount = 0x7f - kFirstPrintable;

static_assert(kStatusPrefix.size() == 6);

// The unit named by a read command: "read program0" and "read program1" carry the digit,
// units from 2 on are "read programA" followed by the suffix character.
std::optional<int> readUnit(std::string_view text) {
    if (!text.starts_with(kReadPrefix)) {
        return std::nullopt;
    }
    const std::string_view rest = text.substr(kReadPrefix.size());
    if (rest == "0" || rest == "1") {
        return rest[0] - '0';
    }
    if (rest.size() == 2 && rest[0] == 'A') {
        return suffixNumber(static_cast<std::uint8_t>(rest[1]));
    }
    return std::nullopt;
}

std::vector<std::uint8_t> bytesOf(std::string_view text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

bool setNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 &&
           fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

int millisecondsUntil(Clock::time_point when, Clock::time_point now) {
    if (when <= now) {
        return 0;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(when - now).count();
    return static_cast<int>(std::min<long long>(wait, kIdlePollMs));
}

// Sends the next bytes of the endless text until the socket takes no more or `left` runs out;
// false on an error that ends the connection.
bool sendEndlessText(int fd, std::size_t& left) {
    std::array<std::uint8_t, kEndlessChunk> chunk{};
    while (left > 0) {
        const std::size_t offset = kEndlessGreetingBytes - left;
        const std::size_t size = std::min(chunk.size(), left);
        for (std::size_t i = 0; i < size; ++i) {
            chunk[i] = static_cast<std::uint8_t>(kFirstPrintable + (offset + i) % kPrintableCount);
        }
        const ssize_t n = send(fd, chunk.data(), size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

struct CommunicatorSim::Connection {
    struct Piece {
        Clock::time_point due;
        std::vector<std::uint8_t> bytes;
        std::size_t sent = 0;
    };

    int fd = -1;
    int id = 0;
    FrameReader reader;
    bool greets = true;  // false: the greeting never comes and input is dropped
    bool reads = true;   // false: the socket is never read, so input piles up in the kernel
    std::size_t endlessLeft = 0;  // bytes of endless text still to send
    bool greeted = false;
    Clock::time_point greetAt;
    std::deque<Piece> output;
    int readReplies = 0;
    bool holdingLate = false;  // an answer held back by AnswerLateOnce
    bool closeAfterFlush = false;
    bool closed = false;
};

CommunicatorSim::CommunicatorSim(SimConfig config)
    : m_config(std::move(config)), m_memory(m_config.memory) {}

CommunicatorSim::~CommunicatorSim() { stop(); }

bool CommunicatorSim::start() {
    if (m_thread.joinable()) {
        return false;
    }
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return false;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_config.port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only, never any other address
    socklen_t length = sizeof address;
    int pipeFds[2] = {-1, -1};
    const bool ok = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                    listen(fd, 16) == 0 && setNonBlocking(fd) &&
                    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
                    pipe(pipeFds) == 0;
    if (!ok || !setNonBlocking(pipeFds[0]) || !setNonBlocking(pipeFds[1])) {
        close(fd);
        for (const int p : pipeFds) {
            if (p >= 0) {
                close(p);
            }
        }
        return false;
    }
    m_listenFd = fd;
    m_wakeRead = pipeFds[0];
    m_wakeWrite = pipeFds[1];
    m_port = ntohs(address.sin_port);
    m_stopping = false;
    m_thread = std::thread([this] { run(); });
    return true;
}

void CommunicatorSim::stop() {
    if (!m_thread.joinable()) {
        return;
    }
    m_stopping = true;
    const char wake = 'x';
    [[maybe_unused]] const auto written = write(m_wakeWrite, &wake, 1);
    m_thread.join();
    for (int* fd : {&m_listenFd, &m_wakeRead, &m_wakeWrite}) {
        close(*fd);
        *fd = -1;
    }
}

std::uint16_t CommunicatorSim::port() const { return m_port; }

void CommunicatorSim::run() {
    std::vector<pollfd> fds;
    while (!m_stopping) {
        const auto now = Clock::now();
        fds.clear();
        fds.push_back({m_wakeRead, POLLIN, 0});
        const bool listening = m_connections.size() < kMaxConnections;
        if (listening) {
            fds.push_back({m_listenFd, POLLIN, 0});
        }
        const std::size_t first = fds.size();
        int timeout = kIdlePollMs;
        for (const Connection& connection : m_connections) {
            // A connection that is not read must not poll for input, or poll() would spin; the
            // peer's close still shows as POLLRDHUP.
            short events = connection.reads ? POLLIN : POLLRDHUP;
            if (connection.endlessLeft > 0) {
                events |= POLLOUT;
            }
            if (connection.greets && !connection.greeted) {
                timeout = std::min(timeout, millisecondsUntil(connection.greetAt, now));
            }
            if (!connection.output.empty()) {
                if (connection.output.front().due <= now) {
                    events |= POLLOUT;
                } else {
                    timeout =
                        std::min(timeout, millisecondsUntil(connection.output.front().due, now));
                }
            }
            fds.push_back({connection.fd, events, 0});
        }
        if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
            break;
        }
        if (fds[0].revents != 0) {
            std::array<char, 64> drain{};
            while (read(m_wakeRead, drain.data(), drain.size()) > 0) {
            }
        }
        if (m_stopping) {
            break;
        }
        // Serve the connections polled above before accepting, so new ones join the next round.
        const std::size_t polled = m_connections.size();
        for (std::size_t i = 0; i < polled; ++i) {
            if (!serviceConnection(m_connections[i], fds[first + i].revents)) {
                closeConnection(m_connections[i]);
            }
        }
        std::erase_if(m_connections, [](const Connection& c) { return c.closed; });
        if (listening && (fds[1].revents & POLLIN) != 0) {
            acceptConnection();
        }
    }
    for (Connection& connection : m_connections) {
        closeConnection(connection);
    }
    m_connections.clear();
}

void CommunicatorSim::acceptConnection() {
    while (m_connections.size() < kMaxConnections) {
        const int fd = accept(m_listenFd, nullptr, nullptr);
        if (fd < 0) {
            return;  // nothing more waiting (or a transient error): poll again
        }
        if (!setNonBlocking(fd)) {
            close(fd);
            continue;
        }
        // Each reply piece must leave as its own segment.
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);

        Connection connection;
        connection.fd = fd;
        FaultMode mode;
        std::chrono::milliseconds delay{};
        {
            std::lock_guard lock(m_mutex);
            connection.id = ++m_connectionCount;
            mode = m_config.fault;
            delay = m_config.greetingDelay;
        }
        connection.greets = mode != FaultMode::NoGreeting && mode != FaultMode::EndlessGreeting;
        connection.endlessLeft = mode == FaultMode::EndlessGreeting ? kEndlessGreetingBytes : 0;
        connection.reads = mode != FaultMode::StallSends;
        if (!connection.reads) {
            // Loopback buffers are large; a small one makes the peer's sends stall sooner.
            setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kStallReceiveBuffer, sizeof kStallReceiveBuffer);
        }
        connection.greetAt =
            Clock::now() + (mode == FaultMode::GreetingDelay ? delay : delay.zero());
        record({SimEvent::Kind::Accepted, connection.id, -1, {}, {}});
        if (mode == FaultMode::Refuse) {
            closeConnection(connection);
            continue;
        }
        m_connections.push_back(std::move(connection));
        // Greet at once instead of waiting for the next round.
        if (!serviceConnection(m_connections.back(), 0)) {
            closeConnection(m_connections.back());
            m_connections.pop_back();
        }
    }
}

bool CommunicatorSim::serviceConnection(Connection& connection, short revents) {
    bool peerClosed = false;
    if (!connection.reads) {
        peerClosed = (revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
    } else if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        std::array<std::uint8_t, 4096> buffer{};
        for (;;) {
            const ssize_t n = recv(connection.fd, buffer.data(), buffer.size(), 0);
            if (n > 0) {
                if (connection.greets) {
                    connection.reader.feed(std::span(buffer).first(static_cast<std::size_t>(n)));
                }
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            peerClosed = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
            break;
        }
    }
    if (connection.endlessLeft > 0 && !sendEndlessText(connection.fd, connection.endlessLeft)) {
        return false;
    }
    if (connection.greets && !connection.greeted && Clock::now() >= connection.greetAt) {
        std::string greeting;
        FaultMode mode;
        std::chrono::milliseconds pause{};
        {
            std::lock_guard lock(m_mutex);
            greeting = m_config.greeting;
            mode = m_config.fault;
            pause = m_config.splitPause;
        }
        const std::size_t cr = greeting.find('\r');
        if (mode == FaultMode::GreetingCrLf && cr != std::string::npos &&
            cr + 1 < greeting.size()) {
            queueReply(connection, bytesOf(std::string_view(greeting).substr(0, cr + 1)));
            // Later, so the CR has left as a segment of its own before the rest.
            connection.output.push_back({connection.output.back().due + pause,
                                         bytesOf(std::string_view(greeting).substr(cr + 1)), 0});
        } else {
            queueReply(connection, bytesOf(greeting));
        }
        connection.greeted = true;
    }
    // Frames that came before the (delayed) greeting are answered once it has gone out.
    if (connection.greeted) {
        processFrames(connection);
    }
    if (!flush(connection) || peerClosed) {
        return false;
    }
    return !(connection.closeAfterFlush && connection.output.empty());
}

void CommunicatorSim::processFrames(Connection& connection) {
    while (!connection.closeAfterFlush) {
        std::optional<Frame> frame = connection.reader.next();
        if (!frame) {
            return;
        }
        handleFrame(connection, *frame);
    }
}

void CommunicatorSim::handleFrame(Connection& connection, const Frame& frame) {
    SimEvent event{SimEvent::Kind::Unknown, connection.id, -1, frame.text, frame.raw};
    std::vector<std::uint8_t> reply;
    bool isRead = false;
    FaultMode mode;
    int dropAfter = 0;
    int shortBytes = 0;
    int extraBytes = 0;
    int lateUnit = 0;
    std::chrono::milliseconds latePause{};
    {
        std::lock_guard lock(m_mutex);
        mode = m_config.fault;
        lateUnit = m_config.lateUnit;
        latePause = m_config.latePause;
        dropAfter = m_config.dropAfterReplies;
        shortBytes = m_config.shortReplyBytes;
        extraBytes = m_config.extraBytes;
        switch (frame.kind) {
            case Frame::Kind::Write:
                // A write frame without its closing carriage return was built wrongly: keep
                // it out of memory so the mistake shows as an unknown frame.
                if (frame.terminated) {
                    const int block = frame.block();
                    const auto data = frame.data();
                    event.kind =
                        block < 8 ? SimEvent::Kind::BlockWrite : SimEvent::Kind::ChunkWrite;
                    event.number = block;
                    event.data.assign(data.begin(), data.end());
                    const std::size_t offset = static_cast<std::size_t>(block) * kSimBlockSize;
                    const std::size_t count =
                        std::min(data.size(), m_memory.size() - std::min(offset, m_memory.size()));
                    std::copy_n(data.begin(), count,
                                m_memory.begin() + static_cast<std::ptrdiff_t>(offset));
                    const bool corrupt =
                        mode == FaultMode::CorruptOnWrite && block == m_config.corruptBlock &&
                        !(m_config.corruptFirstWriteOnly && m_corrupted) && kCorruptedByte < count;
                    if (corrupt) {
                        m_memory[offset + kCorruptedByte] ^= 0xFF;
                        m_corrupted = true;
                    }
                }
                break;
            case Frame::Kind::Line:
                if (!frame.overlong && frame.text.find(kPairingKeyword) != std::string::npos) {
                    event.kind = SimEvent::Kind::Pairing;
                    reply = bytesOf(m_config.pairingReply);
                }
                break;
            case Frame::Kind::Command:
                if (frame.overlong) {
                    break;
                }
                if (frame.text == kRemoteReset) {
                    event.kind = SimEvent::Kind::RemoteReset;
                    ++m_remoteResetCount;
                } else if (frame.text == kStatusRequest) {
                    event.kind = SimEvent::Kind::Status;
                    event.number = 1;
                    reply = bytesOf(kStatusPrefix);
                    reply.push_back(m_config.loop1);
                    reply.push_back(m_config.loop2);
                    reply.push_back(kCarriageReturn);
                } else if (frame.text == kStatusRequest2) {
                    event.kind = SimEvent::Kind::Status;
                    event.number = 2;
                    reply = bytesOf(kStatus2Reply);
                } else if (const auto unit = readUnit(frame.text)) {
                    event.kind = SimEvent::Kind::Read;
                    event.number = *unit;
                    isRead = true;
                    // Units past the end of memory read as zeros.
                    reply.assign(kSimUnitSize, 0);
                    const std::size_t offset = static_cast<std::size_t>(*unit) * kSimUnitSize;
                    if (offset < m_memory.size()) {
                        const std::size_t count = std::min(kSimUnitSize, m_memory.size() - offset);
                        std::copy_n(m_memory.begin() + static_cast<std::ptrdiff_t>(offset), count,
                                    reply.begin());
                    }
                }
                break;
        }
    }
    record(event);

    if (mode == FaultMode::Silence || reply.empty()) {
        return;
    }
    if (isRead) {
        if (mode == FaultMode::DropAfterReplies && connection.readReplies >= dropAfter) {
            connection.closeAfterFlush = true;
            return;
        }
        if (mode == FaultMode::ShortReplies) {
            reply.resize(static_cast<std::size_t>(
                std::clamp(shortBytes, 0, static_cast<int>(kSimUnitSize))));
        } else if (mode == FaultMode::ExtraBytes) {
            reply.insert(reply.end(), static_cast<std::size_t>(std::max(extraBytes, 0)),
                         kExtraByteValue);
        }
        ++connection.readReplies;
        if (mode == FaultMode::DropAfterReplies && connection.readReplies >= dropAfter) {
            connection.closeAfterFlush = true;
        }
        if (mode == FaultMode::AnswerLateOnce && event.number == lateUnit) {
            if (!m_lateHeld) {
                m_lateHeld = true;
                connection.holdingLate = true;
                return;
            }
            if (connection.holdingLate) {
                connection.holdingLate = false;
                queueReply(connection, reply);
                connection.output.push_back(
                    {connection.output.back().due + latePause, std::move(reply), 0});
                return;
            }
        }
    }
    if (!reply.empty()) {
        queueReply(connection, std::move(reply));
    }
}

void CommunicatorSim::queueReply(Connection& connection, std::vector<std::uint8_t> bytes) {
    FaultMode mode;
    std::chrono::milliseconds pause{};
    {
        std::lock_guard lock(m_mutex);
        mode = m_config.fault;
        pause = m_config.splitPause;
    }
    // Pieces never overtake what is already queued.
    auto due = Clock::now();
    if (!connection.output.empty()) {
        due = std::max(due, connection.output.back().due);
    }
    if (mode != FaultMode::SplitReplies || bytes.size() < 2) {
        connection.output.push_back({due, std::move(bytes), 0});
        return;
    }
    const std::size_t pieces = std::min<std::size_t>(kSplitPieces, bytes.size());
    std::size_t start = 0;
    for (std::size_t i = 0; i < pieces; ++i) {
        const std::size_t end = bytes.size() * (i + 1) / pieces;
        connection.output.push_back(
            {due,
             std::vector<std::uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                                       bytes.begin() + static_cast<std::ptrdiff_t>(end)),
             0});
        start = end;
        due += pause;
    }
}

bool CommunicatorSim::flush(Connection& connection) {
    const auto now = Clock::now();
    while (!connection.output.empty() && connection.output.front().due <= now) {
        Connection::Piece& piece = connection.output.front();
        const ssize_t n = send(connection.fd, piece.bytes.data() + piece.sent,
                               piece.bytes.size() - piece.sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        piece.sent += static_cast<std::size_t>(n);
        if (piece.sent < piece.bytes.size()) {
            return true;  // the rest goes when the socket can take it
        }
        connection.output.pop_front();
    }
    return true;
}

void CommunicatorSim::closeConnection(Connection& connection) {
    if (connection.closed) {
        return;
    }
    close(connection.fd);
    connection.fd = -1;
    connection.closed = true;
    {
        std::lock_guard lock(m_mutex);
        ++m_closedCount;
    }
    record({SimEvent::Kind::Closed, connection.id, -1, {}, {}});
}

void CommunicatorSim::record(SimEvent event) {
    {
        std::lock_guard lock(m_mutex);
        if (m_events.size() >= kMaxEvents) {
            m_events.erase(m_events.begin(),
                           m_events.begin() + static_cast<std::ptrdiff_t>(kMaxEvents / 2));
        }
        m_events.push_back(event);
    }
    m_changed.notify_all();
    // verbose and onEvent are fixed at construction, so reading them needs no lock.
    if (m_config.verbose) {
        std::fprintf(stderr, "%s\n", describeEvent(event).c_str());
    }
    if (m_config.onEvent) {
        m_config.onEvent(event);
    }
}

}  // namespace veskator::sim
