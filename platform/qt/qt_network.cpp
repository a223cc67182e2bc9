#include "platform/qt/qt_network.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <string>

namespace veskator {

namespace {

class QtLookup final : public HostLookup {
  public:
    explicit QtLookup(std::string_view hostName) {
        m_id = QHostInfo::lookupHost(
            QString::fromUtf8(hostName.data(), static_cast<qsizetype>(hostName.size())),
            &m_receiver, [this](const QHostInfo& info) { take(info); });
    }
    ~QtLookup() override {
        if (m_status == LookupStatus::Pending) QHostInfo::abortHostLookup(m_id);
    }
    QtLookup(const QtLookup&) = delete;
    QtLookup& operator=(const QtLookup&) = delete;

    LookupStatus status() override { return m_status; }
    Ipv4Address address() override { return m_address; }

  private:
    void take(const QHostInfo& info) {
        m_status = LookupStatus::Failed;
        if (info.error() != QHostInfo::NoError) return;
        const QList<QHostAddress> found = info.addresses();
        const auto v4 = std::find_if(found.begin(), found.end(), [](const QHostAddress& a) {
            return a.protocol() == QAbstractSocket::IPv4Protocol;
        });
        if (v4 == found.end()) return;
        m_address = Ipv4Address{v4->toIPv4Address()};
        m_status = LookupStatus::Done;
    }

    LookupStatus m_status = LookupStatus::Pending;
    Ipv4Address m_address;
    int m_id = -1;
    QObject m_receiver;  // a result that comes after the look-up is gone goes nowhere
};

class QtSocket final : public StreamSocket {
  public:
    QtSocket() {
        // The device is on the LAN: no proxy, whatever the environment says.
        m_socket.setProxy(QNetworkProxy::NoProxy);
        QObject::connect(&m_socket, &QTcpSocket::connected, &m_socket, [this] {
            m_everConnected = true;
            signalOnce();
        });
        // Unbuffered, Qt reads nothing itself: the end of the stream comes as readyRead too, and
        // the owner's next receive reports it. A failed write closes the socket: disconnected.
        QObject::connect(&m_socket, &QTcpSocket::readyRead, &m_socket, [this] { signalReady(); });
        QObject::connect(&m_socket, &QTcpSocket::disconnected, &m_socket, [this] { signalOnce(); });
        // A refused or failed connect: never connected, so never disconnected either.
        QObject::connect(&m_socket, &QTcpSocket::errorOccurred, &m_socket,
                         [this] { signalOnce(); });
    }
    ~QtSocket() override {
        m_handler = nullptr;  // the close below signals, and the owner is gone
        // As with a plain socket's close: what the kernel has taken still goes out.
        m_socket.abort();
    }
    QtSocket(const QtSocket&) = delete;
    QtSocket& operator=(const QtSocket&) = delete;

    // False when no socket could be made at all.
    bool start(Ipv4Address address, std::uint16_t port) {
        // Unbuffered: receive() and send() go to the kernel's buffers themselves, as with a plain
        // socket. A reply that came while the owner was busy is taken at its next receive, not
        // only after the event loop has turned; and Qt holds no received bytes at all.
        m_socket.connectToHost(QHostAddress(address.value), port,
                               QIODevice::ReadWrite | QIODevice::Unbuffered);
        return m_socket.state() != QAbstractSocket::UnconnectedState ||
               m_socket.error() != QAbstractSocket::SocketResourceError;
    }

    ConnectStatus connectStatus() override {
        // Connected once means connected: a peer that closed at once is for receive to report.
        if (m_everConnected || m_socket.state() == QAbstractSocket::ConnectedState)
            return ConnectStatus::Connected;
        if (m_socket.state() == QAbstractSocket::UnconnectedState) return ConnectStatus::Failed;
        return ConnectStatus::Pending;
    }

    IoResult send(std::span<const std::uint8_t> bytes) override {
        if (bytes.empty()) return {IoStatus::Ok, 0};
        switch (m_socket.state()) {
            case QAbstractSocket::ConnectedState:
                break;
            case QAbstractSocket::HostLookupState:
            case QAbstractSocket::ConnectingState:
                return {IoStatus::WouldBlock, 0};
            default:
                return {IoStatus::Error, 0};
        }
        // Bytes the kernel did not take last time go first; while any remain, nothing more.
        if (m_socket.bytesToWrite() > 0) m_socket.flush();
        if (m_socket.bytesToWrite() > 0) return {IoStatus::WouldBlock, 0};
        const auto chunk = bytes.first(std::min(bytes.size(), QtNetwork::kMaxSendChunk));
        const qint64 n = m_socket.write(reinterpret_cast<const char*>(chunk.data()),
                                        static_cast<qint64>(chunk.size()));
        // Unbuffered, the bytes went to the kernel at once (a frame reported sent is on its way
        // even if the socket is closed right after); what it had no room for, Qt keeps and sends
        // from the event loop.
        if (n <= 0) return {IoStatus::Error, 0};
        return {IoStatus::Ok, static_cast<std::size_t>(n)};
    }

    IoResult receive(std::span<std::uint8_t> buffer) override {
        if (buffer.empty()) return {IoStatus::Ok, 0};
        const IoResult result = readSome(buffer);
        // The owner has read: report the next readiness. After Closed or Error, polling only.
        if (result.status == IoStatus::Ok || result.status == IoStatus::WouldBlock) arm();
        return result;
    }

    void setReadyHandler(std::function<void()> handler) override {
        m_handler = std::move(handler);
        m_armed = false;
        if (m_handler) arm();
    }
    // Level-triggered and re-armed by every receive: no news is ever missed.
    bool callsReadyHandler() const override { return true; }

  private:
    IoResult readSome(std::span<std::uint8_t> buffer) {
        switch (m_socket.state()) {
            case QAbstractSocket::ConnectedState: {
                // A read that meets the end of the stream or an error leaves the socket
                // unconnected, with the reason in error().
                const qint64 n = m_socket.read(reinterpret_cast<char*>(buffer.data()),
                                               static_cast<qint64>(buffer.size()));
                if (n > 0) return {IoStatus::Ok, static_cast<std::size_t>(n)};
                if (n == 0) return {IoStatus::WouldBlock, 0};
                break;
            }
            case QAbstractSocket::HostLookupState:
            case QAbstractSocket::ConnectingState:
                return {IoStatus::WouldBlock, 0};
            default:
                break;
        }
        return {m_socket.error() == QAbstractSocket::RemoteHostClosedError ? IoStatus::Closed
                                                                           : IoStatus::Error,
                0};
    }

    // Level-triggered, like readiness of a plain socket: bytes already waiting count.
    void arm() {
        m_armed = true;
        if (m_socket.bytesAvailable() > 0) signalReady();
    }

    // Once per read of the owner's, or a streaming peer would call it at every arrival. Posted,
    // never delivered at once: Qt emits from inside its own calls (a failed write closes the
    // socket inside send()), and the owner may destroy the socket in its handler.
    void signalReady() {
        if (!m_armed || !m_handler) return;
        m_armed = false;
        QTimer::singleShot(0, &m_socket, [this] {
            if (m_handler) m_handler();
        });
    }

    // The connect's end and the stream's end happen once each: they are always told, whether or
    // not the owner has read since the last news.
    void signalOnce() {
        m_armed = true;
        signalReady();
    }

    std::function<void()> m_handler;
    bool m_armed = false;
    bool m_everConnected = false;
    QTcpSocket m_socket;  // last: its signals reach the members above
};

}  // namespace

std::unique_ptr<HostLookup> QtNetwork::lookup(std::string_view hostName) {
    if (auto answered = lookupWithoutResolver(hostName)) return answered;
    return std::make_unique<QtLookup>(hostName);
}

std::unique_ptr<StreamSocket> QtNetwork::connect(Ipv4Address address, std::uint16_t port) {
    auto socket = std::make_unique<QtSocket>();
    if (!socket->start(address, port)) return nullptr;
    return socket;
}

}  // namespace veskator
