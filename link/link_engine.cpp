#include "link/link_engine.h"

#include <algorithm>

namespace veskator {

LinkEngine::LinkEngine(ProgrammerState& state, Network& network, const Clock& clock, LinkLogs* logs)
    : m_state(state), m_network(network), m_clock(clock), m_logs(logs ? *logs : m_noLogs) {}

LinkEngine::~LinkEngine() = default;

JobContext LinkEngine::context() {
    return JobContext{m_state, m_status, m_texts, m_logs, m_clock.now()};
}

template <typename Job>
std::shared_ptr<Job> LinkEngine::targeted(std::shared_ptr<Job> job) const {
    job->setTarget(m_target);
    return job;
}

void LinkEngine::requestFullRead() {
    m_read = targeted(std::make_shared<FullRead>());
    m_status.lastLoad.reset();
    m_status.refusal = Refusal::None;
    m_status.rewritten.clear();
    publish();
    requested();
}

void LinkEngine::stopFullRead() {
    m_read.reset();
    publish();
}

void LinkEngine::requestWriteAll(ReadBack readBack, std::bitset<kBlockCount> blocks) {
    if (blocks.none()) {
        // A write of no block has nothing to send: it ends at once, complete. An earlier one is
        // replaced all the same.
        m_writeAll.reset();
        LoadOutcome outcome;
        outcome.readBack = readBack == ReadBack::On;
        m_status.lastLoad = outcome;
        ++m_status.loadsFinished;
        publish();
        return;
    }
    m_writeAll = targeted(std::make_shared<WriteAll>(readBack, blocks));
    m_status.lastLoad.reset();
    publish();
    requested();
}

void LinkEngine::startAlarmDownload(std::span<const std::uint8_t> bytes) {
    m_alarm = targeted(std::make_shared<AlarmCodeDownload>(bytes));
    publish();
    requested();
}

void LinkEngine::startDialerUpload() {
    DialerProgress& progress = m_status.dialer;
    const int upload = progress.upload + 1;
    progress = DialerProgress{};
    progress.upload = upload;
    progress.running = true;
    m_dialer = targeted(std::make_shared<DialerUpload>(
        progress.upload, m_clock.now() + kDialerFirstChunkDelay,
        std::span<const std::uint8_t, kDialerDataSize>(m_state.workspace.dialerDataArea())));
    publish();
    requested();
}

void LinkEngine::requestBlockWrite(int block) {
    if (block < 0 || block >= kBlockCount) return;
    const bool waiting = std::any_of(m_queue.begin(), m_queue.end(), [&](const auto& e) {
        return e->kind() == JobKind::BlockWrite && e->block() == block &&
               sameDevice(e->target(), m_target);
    });
    if (!waiting) {
        m_queue.push_back(
            targeted(std::make_shared<SingleExchange>(SingleExchange::blockWrite(block))));
        requested();
    }
}

void LinkEngine::requestExchange(CommandCode code) {
    const SingleExchange exchange = SingleExchange::command(code);
    if (exchange.kind() == JobKind::BlockWrite) return requestBlockWrite(exchange.block());
    // One reset restarts the device after everything before it; one status request asks for the
    // latest state, so one waiting or in flight is enough.
    const auto same = [&](const LinkJob& job) {
        return job.kind() == exchange.kind() && sameDevice(job.target(), m_target);
    };
    const bool inFlight = m_active && same(*m_active) && exchange.kind() == JobKind::Status;
    const bool waiting =
        inFlight || std::any_of(m_queue.begin(), m_queue.end(),
                                [&](const auto& e) { return same(*e) && e->code() == code; });
    if (!waiting) {
        m_queue.push_back(targeted(std::make_shared<SingleExchange>(exchange)));
        requested();
    }
}

void LinkEngine::retryUnwrittenBlocks() {
    for (int b = 0; b < kBlockCount; ++b) {
        if (m_status.unwrittenBlocks.test(static_cast<std::size_t>(b))) requestBlockWrite(b);
    }
}

bool LinkEngine::requestChunk(std::span<const std::uint8_t, kBlockSize> source, int blockNumber) {
    // Image blocks go only as block writes, with their checks.
    if (!isChunkBlock(blockNumber)) return false;
    m_queue.push_back(
        targeted(std::make_shared<SingleExchange>(SingleExchange::chunk(source, blockNumber))));
    requested();
    return true;
}

bool LinkEngine::requestPairing(std::span<const std::uint8_t> frame) {
    SingleExchange exchange = SingleExchange::blockWrite(0);
    if (!SingleExchange::pairing(frame, exchange)) return false;
    m_queue.push_back(targeted(std::make_shared<SingleExchange>(exchange)));
    requested();
    return true;
}

bool LinkEngine::settled() const {
    return idle() && m_queue.empty() && !m_read && !m_writeAll && !m_alarm && !m_dialer;
}

int LinkEngine::pendingWrites() const {
    const auto isWrite = [](const LinkJob& job) {
        return job.kind() != JobKind::Status && job.kind() != JobKind::FullRead;
    };
    int n = static_cast<int>(
        std::count_if(m_queue.begin(), m_queue.end(), [&](const auto& e) { return isWrite(*e); }));
    if (m_active && m_active->kind() != JobKind::WriteAll &&
        m_active->kind() != JobKind::AlarmCodeDownload &&
        m_active->kind() != JobKind::DialerUpload && isWrite(*m_active)) {
        ++n;
    }
    if (m_writeAll) n += m_writeAll->blocksLeft();
    if (m_alarm) ++n;
    if (m_dialer) ++n;
    return n;
}

// One tick:
//   1. an exchange of a job that was stopped or started again since is dropped unseen;
//   2. the exchange, stepped as far as it can go without waiting:
//
//   Idle --request or job--> Resolving --address--> Connecting --connected--> Pausing (1000 ms)
//     --> Greeting --CR at position 5 or later--> Send
//   Send: the socket is emptied first (the rest of the greeting, late bytes of a reply), then
//   Send --write, chunk, reset--> Close --> Idle
//   Send --read, status, pairing--> AwaitReply --reply--> Send (next unit of a full read or a
//     read-back) | Close
//   AwaitReply --no reply within its bound--> Send (same frame, at most kMaxResends times; a
//     pairing frame never again)
//   Resolving, Connecting, Greeting, Send, AwaitReply --failure or bound--> Idle; the job decides
//     whether it is tried again (kMaxAttempts connections, one while the device does not answer;
//     a write of all blocks stops at a block that never reached the device).
//
// Jobs are chosen when Idle: queued writes first (block writes coalesced), then a dialer chunk
// whose time has come, the alarm-code download, the write of all blocks, the full read, a remote
// reset, and last a status request. Writes queued during a full read go first: the read closes at
// its next unit and resumes there.
void LinkEngine::tick() {
    dropStaleJob();
    m_endedThisTick = false;
    while (step()) {
    }
    if (m_halted && m_phase == Phase::Idle) abandonJobs();
    publish();
}

void LinkEngine::halt() {
    m_halted = true;
    requested();
}

std::optional<Clock::TimePoint> LinkEngine::nextTick() const {
    const Clock::TimePoint now = m_clock.now();
    const bool socketTells = m_socket && m_socket->callsReadyHandler();
    switch (m_phase) {
        case Phase::Idle: {
            if (settled()) return std::nullopt;
            // Only a paced job waiting for its time: that time.
            const bool onlyPaced = !m_halted && m_queue.empty() && !m_read && !m_writeAll &&
                                   !m_alarm && m_dialer && !m_dialer->ready(now);
            return onlyPaced ? m_dialer->readyAt() : now;
        }
        case Phase::Pausing:
            return m_deadline;
        case Phase::Connecting:
        case Phase::Greeting:
        case Phase::AwaitReply:
            return socketTells ? m_deadline : now;
        case Phase::Resolving:
        case Phase::Send:
        case Phase::Close:
            return now;
    }
    return now;
}

void LinkEngine::requested() {
    if (m_onRequest) m_onRequest();
}

// Halted and idle: nothing more goes. A write of blocks says which ones the device holds.
void LinkEngine::abandonJobs() {
    if (m_writeAll) {
        JobContext ctx = context();
        m_writeAll->interrupt(ctx);
        m_writeAll.reset();
    }
    m_read.reset();
    m_alarm.reset();
    m_dialer.reset();
    m_queue.clear();
}

// A full read stopped or started again, a write of all blocks replaced by a new load, a download
// begun again: the exchange in flight is theirs no more. Its reply would land in the wrong place,
// its block would count for the wrong load. An exchange already done (Close) is left to finish.
void LinkEngine::dropStaleJob() {
    if (!m_active || m_phase == Phase::Close) return;
    const LinkJob* current = nullptr;
    switch (m_active->kind()) {
        case JobKind::FullRead:
            current = m_read.get();
            break;
        case JobKind::WriteAll:
            current = m_writeAll.get();
            break;
        case JobKind::AlarmCodeDownload:
            current = m_alarm.get();
            break;
        case JobKind::DialerUpload:
            current = m_dialer.get();
            break;
        default:
            return;
    }
    if (current == m_active.get()) return;
    closeConnection();
    m_active.reset();
    m_phase = Phase::Idle;
    m_resends = 0;
}

bool LinkEngine::step() {
    switch (m_phase) {
        case Phase::Idle:
            return startNextExchange();
        case Phase::Resolving:
            return stepResolving();
        case Phase::Connecting:
            return stepConnecting();
        case Phase::Pausing:
            return stepPausing();
        case Phase::Greeting:
            return stepGreeting();
        case Phase::Send:
            return stepSend();
        case Phase::AwaitReply:
            return stepAwaitReply();
        case Phase::Close:
            finishExchange();
            return true;
    }
    return false;
}

bool LinkEngine::writesWaiting() const {
    return std::any_of(m_queue.begin(), m_queue.end(), [](const auto& e) {
        return e->kind() == JobKind::BlockWrite || e->kind() == JobKind::Chunk;
    });
}

std::shared_ptr<LinkJob> LinkEngine::chooseJob() {
    const auto take = [this](auto it) {
        std::shared_ptr<LinkJob> job = *it;
        m_queue.erase(it);
        return job;
    };
    // Writes in the order requested.
    auto write = std::find_if(m_queue.begin(), m_queue.end(), [](const auto& e) {
        return e->kind() != JobKind::RemoteReset && e->kind() != JobKind::Status;
    });
    if (write != m_queue.end()) {
        if ((*write)->kind() == JobKind::BlockWrite && !mayWriteImage(**write)) {
            m_queue.erase(write);
            return chooseJob();
        }
        return take(write);
    }
    if (m_dialer && m_dialer->ready(m_clock.now())) return m_dialer;
    if (m_alarm) return m_alarm;
    if (m_writeAll) {
        if (mayWriteImage(*m_writeAll)) return m_writeAll;
        m_writeAll.reset();
    }
    if (m_read) return m_read;
    // A reset once nothing else waits; a status request last, so that polling holds nothing up.
    for (JobKind kind : {JobKind::RemoteReset, JobKind::Status}) {
        auto it = std::find_if(m_queue.begin(), m_queue.end(),
                               [&](const auto& e) { return e->kind() == kind; });
        if (it != m_queue.end()) return take(it);
    }
    return nullptr;
}

bool LinkEngine::startNextExchange() {
    // The next exchange starts at the next tick, not at once: a failed attempt is not retried in
    // a burst, and what an exchange left in the texts is shown at least once.
    if (m_endedThisTick || m_halted) return false;
    m_active = chooseJob();
    if (!m_active) return false;
    if (m_active->kind() == JobKind::AlarmCodeDownload) {
        // Progress while the chunk's connection is made; the chunk's bytes replace it once sent.
        context().setDownloadText("sending alarm code chunk " +
                                  std::to_string(m_alarm->nextChunk()));
    }
    appendTrace("1");
    m_lookup = m_network.lookup(m_active->target().host);
    m_deadline = m_clock.now() + kLookupTimeout;
    m_phase = Phase::Resolving;
    return true;
}
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
    const bool more = m_active->takeUnit(m_unit, ctx);
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

void LinkEngine::appendTrace(std::span<const std::uint8_t> bytes) {
    appendTrace(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void LinkEngine::appendTrace(std::string_view text) {
    std::string& trace = m_texts.trace;
    trace += text;
    if (trace.size() > kTraceLimit) trace.erase(0, trace.size() - kTraceLimit);
    ++m_texts.traceChanges;
}

void LinkEngine::setTrace(std::string_view text) {
    m_texts.trace = text;
    ++m_texts.traceChanges;
}

// The exchange went through: the job moves on.
void LinkEngine::finishExchange() {
    closeConnection();
    setTrace(kTraceClosed);
    m_status.lastError.clear();
    m_status.deviceAnswering = true;
    JobContext ctx = context();
    m_active->succeeded(ctx);
    // The device answers again: what it missed meanwhile goes now.
    retryUnwrittenBlocks();
    endExchange();
}

// The attempt failed: the job says whether it is tried again.
void LinkEngine::failExchange(Failure failure, std::string_view reason) {
    closeConnection();
    m_status.lastError = reason;
    JobContext ctx = context();
    const bool again = m_active->failed(failure, reason, ctx);
    // A single exchange tried again goes back to the head of the queue; a job keeps its place.
    if (auto single = std::dynamic_pointer_cast<SingleExchange>(m_active); single && again) {
        m_queue.push_front(single);
    }
    endExchange();
}

void LinkEngine::endExchange() {
    m_endedThisTick = true;
    // A finished job is let go, unless a new one of its kind has taken its place meanwhile.
    if (m_active && m_active->done()) {
        if (m_read == m_active) m_read.reset();
        if (m_writeAll == m_active) m_writeAll.reset();
        if (m_alarm == m_active) m_alarm.reset();
        if (m_dialer == m_active) m_dialer.reset();
    }
    m_active.reset();
    m_phase = Phase::Idle;
}

void LinkEngine::onReadable() {
    // A connect seen at once starts the pause after connecting at once: a late start would
    // stretch every exchange by up to a tick.
    const bool waiting =
        m_phase == Phase::Connecting || m_phase == Phase::Greeting || m_phase == Phase::AwaitReply;
    if (waiting && m_tickSoon) m_tickSoon();
}

}  // namespace veskator
