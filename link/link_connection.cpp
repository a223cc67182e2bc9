// The link engine's connection to the device, one exchange's worth: the look-up, the connect,
// the pause, the greeting, sending the frame (the socket emptied first), awaiting and gathering
// the reply, and closing. The steps follow the state graph above LinkEngine::tick; which job an
// exchange serves, and what becomes of it when the exchange ends, are link_engine.cpp's.

#include <algorithm>

#include "link/link_engine.h"

namespace veskator {

bool LinkEngine::stepResolving() {
    std::optional<Ipv4Address> address;
    switch (m_lookup ? m_lookup->status() : LookupStatus::Failed) {
        case LookupStatus::Pending:
            if (m_clock.now() < m_deadline) return false;
            address = parseDottedAddress(m_active->target().host);
            break;
        case LookupStatus::Done:
            address = m_lookup->address();
            break;
        case LookupStatus::Failed:
            address = parseDottedAddress(m_active->target().host);
            break;
    }
    m_lookup.reset();
    const std::uint16_t port = m_active->target().port;
    if (!address || port == 0) {
        appendTrace("2");
        failExchange(Failure::Connect, kErrorConnect);
        return true;
    }
    m_socket = m_network.connect(*address, port);
    if (!m_socket) {
        failExchange(Failure::Socket, kErrorSocket);
        return true;
    }
    m_socket->setReadyHandler([this] { onReadable(); });
    // The connect has its own bound, whatever the look-up took.
    m_deadline = m_clock.now() + kConnectTimeout;
    m_phase = Phase::Connecting;
    return true;
}

bool LinkEngine::stepConnecting() {
    const ConnectStatus status = m_socket->connectStatus();
    if (status == ConnectStatus::Pending && m_clock.now() < m_deadline) return false;
    appendTrace("2");
    if (status != ConnectStatus::Connected) {
        failExchange(Failure::Connect, kErrorConnect);
        return true;
    }
    m_deadline = m_clock.now() + kPauseAfterConnect;
    m_phase = Phase::Pausing;
    return true;
}

bool LinkEngine::stepPausing() {
    if (m_clock.now() < m_deadline) return false;
    m_logs.beginExchange();
    m_deadline = m_clock.now() + kGreetingTimeout;
    m_greetingBytes = 0;
    m_phase = Phase::Greeting;
    return true;
}

bool LinkEngine::stepGreeting() {
    std::array<std::uint8_t, kGreetingReceiveSize> chunk{};
    for (std::size_t readNow = 0; readNow < kMaxReadPerTick;) {
        const IoResult r = m_socket->receive(chunk);
        if (r.status == IoStatus::WouldBlock) {
            if (m_clock.now() < m_deadline) return false;
            failExchange(Failure::NoGreeting, kErrorNoGreeting);
            return true;
        }
        if (r.status != IoStatus::Ok || r.count == 0) {
            // Dropped before its greeting: the device refused the connection (busy, or another
            // programmer is on it).
            failExchange(Failure::ClosedBeforeSend, kErrorConnect);
            return true;
        }
        readNow += r.count;
        m_greetingBytes += r.count;
        const std::span<const std::uint8_t> got(chunk.data(), r.count);
        appendTrace("3");
        appendTrace(got);
        const auto cr = std::find(got.begin() + std::min(kGreetingCrPosition, got.size()),
                                  got.end(), std::uint8_t{13});
        if (cr != got.end()) {
            m_resends = 0;
            prepareFrame();
            enterSend();
            return true;
        }
        if (m_greetingBytes >= kGreetingLimit) {
            // A device that talks without ever ending its line is not greeting.
            failExchange(Failure::NoGreeting, kErrorNoGreeting);
            return true;
        }
    }
    if (m_tickSoon) m_tickSoon();
    return false;
}

// The frame being sent went out whole before, on this connection: this is a resend. A frame cut
// short on its first sending never reached the device as a frame.
bool LinkEngine::frameWentOut() const { return m_resends > 0; }

void LinkEngine::enterSend() {
    m_sent = 0;
    m_drained = false;
    m_deadline = m_clock.now() + kSendTimeout;
    m_phase = Phase::Send;
}

// Everything waiting on the socket before a frame goes out belongs to no reply of that frame:
// the rest of the greeting line, late or surplus bytes of an earlier reply.
LinkEngine::Drain LinkEngine::drainInput() {
    std::array<std::uint8_t, kReplyReceiveSize> scrap{};
    for (std::size_t readNow = 0; readNow < kMaxReadPerTick;) {
        const IoResult r = m_socket->receive(scrap);
        if (r.status == IoStatus::WouldBlock) return Drain::Empty;
        if (r.status != IoStatus::Ok || r.count == 0) return Drain::Closed;
        readNow += r.count;
    }
    return Drain::More;
}

void LinkEngine::prepareFrame() {
    m_frameWrites = m_active->frameWrites();
    JobContext ctx = context();
    m_frameLength = m_active->buildFrame(m_frame, ctx);
}

bool LinkEngine::stepSend() {
    if (!m_drained) {
        switch (drainInput()) {
            case Drain::Empty:
                m_drained = true;
                break;
            case Drain::Closed:
                failExchange(
                    frameWentOut() ? Failure::ClosedMidExchange : Failure::ClosedBeforeSend,
                    kErrorClosed);
                return true;
            case Drain::More:
                if (m_clock.now() >= m_deadline) {
                    failExchange(Failure::SendStalled, kErrorSend);
                    return true;
                }
                if (m_tickSoon) m_tickSoon();
                return false;
        }
    }
    if (m_sent == 0 && m_resends == 0 && m_active->kind() == JobKind::Status) {
        m_logs.logExchange("4");
    }
    const std::span<const std::uint8_t> frame(m_frame.data() + m_sent,
                                              static_cast<std::size_t>(m_frameLength - m_sent));
    const IoResult r = m_socket->send(frame);
    if (r.status == IoStatus::WouldBlock) {
        if (m_clock.now() < m_deadline) return false;
        failExchange(Failure::SendStalled, kErrorSend);
        return true;
    }
    if (r.status != IoStatus::Ok) {
        failExchange(frameWentOut() ? Failure::ClosedMidExchange : Failure::ClosedBeforeSend,
                     kErrorClosed);
        return true;
    }
    m_logs.logExchange(frame.first(r.count));
    m_sent += static_cast<int>(r.count);
    if (m_sent < m_frameLength) return false;

    if (!m_active->awaitsReply()) {
        JobContext ctx = context();
        if (m_active->continuesAfterSend(ctx)) {
            // The block went out on the connection that now reads it back.
            tellReached();
            m_resends = 0;
            prepareFrame();
            enterSend();
            return true;
        }
        m_phase = Phase::Close;
        return true;
    }
    m_gathered = 0;
    m_deadline = m_clock.now() + m_active->replyTimeout();
    m_phase = Phase::AwaitReply;
    return true;
}

bool LinkEngine::stepAwaitReply() {
    m_logs.logExchange("7");
    std::array<std::uint8_t, kReplyReceiveSize> buffer{};
    const IoResult r = m_socket->receive(buffer);
    if (r.status == IoStatus::Ok && r.count > 0) {
        const std::span<const std::uint8_t> got(buffer.data(), r.count);
        // A reply still coming has its bound again from each piece.
        m_deadline = m_clock.now() + m_active->replyTimeout();
        if (m_active->readsUnits()) {
            takeReadReply(got);
        } else {
            gatherGeneralReply(got);
        }
        return true;
    }
    const std::span<const std::uint8_t> gathered(m_reply.data(), m_gathered);
    if (r.status == IoStatus::WouldBlock) {
        if (m_clock.now() < m_deadline) return false;
        if (m_gathered > 0) {
            // A reply that stopped halfway cannot be told apart from the answer to a resend: a
            // read gives the connection up and resumes at this unit on a new one; a general
            // command's answer is what came.
            if (m_active->readsUnits()) {
                failExchange(Failure::NoReply, kErrorNoReply);
            } else {
                takeGeneralReply(gathered);
            }
            return true;
        }
        if (m_resends < m_active->resends()) {
            // The frame in the buffer goes again; a part of a reply is dropped with it.
            ++m_resends;
            m_gathered = 0;
            enterSend();
            return true;
        }
        failExchange(Failure::NoReply, kErrorNoReply);
        return true;
    }
    // Closed by the device. Mid-read that is a failure; for a status or pairing frame it is an
    // empty answer.
    if (m_active->readsUnits()) {
        failExchange(Failure::ClosedMidExchange, kErrorClosed);
    } else {
        takeGeneralReply(gathered);
    }
    return true;
}

// A general command's reply is gathered until the bytes the job looks at have come (the loop
// states are bytes 6 and 7 of a status reply), however the device splits it.
void LinkEngine::gatherGeneralReply(std::span<const std::uint8_t> bytes) {
    const std::size_t take = std::min(bytes.size(), m_reply.size() - m_gathered);
    std::copy_n(bytes.begin(), take, m_reply.begin() + static_cast<std::ptrdiff_t>(m_gathered));
    m_gathered += take;
    if (m_gathered >= m_active->replyBytes() || m_gathered == m_reply.size()) {
        takeGeneralReply(std::span(m_reply.data(), m_gathered));
    }
}

void LinkEngine::takeReadReply(std::span<const std::uint8_t> bytes) {
    // A reply is gathered until its 64 bytes have come; bytes past them are dropped.
    const std::size_t take = std::min(bytes.size(), m_unit.size() - m_gathered);
    std::copy_n(bytes.begin(), take, m_unit.begin() + static_cast<std::ptrdiff_t>(m_gathered));
    m_gathered += take;
    if (m_gathered < m_unit.size()) return;

    JobContext ctx = context();
    appendTrace("5");
    const int reads = m_status.readsCompleted;
    const bool more = m_active->takeUnit(m_unit, ctx);
    if (m_status.readsCompleted != reads && m_writeObserver) {
        m_writeObserver->readCompleted(m_active->target());
    }
    // Writes go first: this connection closes, and the read resumes here afterwards. A frame
    // that had to be sent again may still be answered twice; a fresh connection keeps that late
    // copy out of the next unit.
    if (!more || writesWaiting() || m_resends > 0) {
        m_phase = Phase::Close;
        return;
    }
    m_resends = 0;
    prepareFrame();
    enterSend();
}

void LinkEngine::takeGeneralReply(std::span<const std::uint8_t> bytes) {
    appendTrace("5");
    JobContext ctx = context();
    m_active->takeReply(bytes, ctx);
    m_phase = Phase::Close;
}

void LinkEngine::closeConnection() {
    m_socket.reset();
    m_lookup.reset();
    m_logs.endExchange();
}

void LinkEngine::onReadable() {
    // A connect seen at once starts the pause after connecting at once: a late start would
    // stretch every exchange by up to a tick.
    const bool waiting =
        m_phase == Phase::Connecting || m_phase == Phase::Greeting || m_phase == Phase::AwaitReply;
    if (waiting && m_tickSoon) m_tickSoon();
}

}  // namespace veskator
