#include "link/link_engine.h"

#include <algorithm>
#include <cctype>

namespace veskator {
namespace {

std::string blockName(int block) {
    // Appended rather than "A" + ...: GCC 12 at -O2 misreads the one-character prefix insert as
    // an overlapping copy (-Wrestrict).
    std::string name(1, 'A');
    name += std::to_string(block);
    return name;
}

std::string hexOffset(int offset) {
    constexpr std::string_view kDigits = "0123456789abcdef";
    return std::string("0x") + kDigits[(offset >> 4) & 0xf] + kDigits[offset & 0xf];
}

// Alarm-code chunk n (64..140) is the 128 bytes at 128 * (n - 64) of the buffer.
constexpr std::size_t alarmChunkSource(int chunk) {
    return static_cast<std::size_t>(chunk - kFirstAlarmChunk) * kBlockSize;
}
static_assert(alarmChunkSource(kLastAlarmChunk) + kWriteFrameSize <= kAlarmCodeBufferSize);

}  // namespace

std::uint16_t parsePort(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    unsigned value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        // Kept modulo 65536 as it grows: the same result as the whole number's, without overflow.
        value = (value * 10 + static_cast<unsigned>(text[i] - '0')) % 65536u;
    }
    return static_cast<std::uint16_t>(negative ? (65536u - value) % 65536u : value);
}

LinkEngine::LinkEngine(ProgrammerState& state, Network& network, FileSystem& files,
                       const Clock& clock)
    : m_state(state), m_network(network), m_files(files), m_clock(clock) {}

LinkEngine::~LinkEngine() = default;

LinkState LinkEngine::linkState() const {
    switch (m_phase) {
        case Phase::Idle:
            return LinkState::Idle;
        case Phase::Send:
            return LinkState::Send;
        case Phase::AwaitReply:
            return LinkState::AwaitReply;
        case Phase::Close:
            return LinkState::Close;
        default:
            return LinkState::Connect;
    }
}

int LinkEngine::unitsRead() const {
    const int unit = unitOfReadCode(m_state.readIndex);
    return m_state.readAllRequest != 0 && unit >= 0 ? unit : 0;
}

int LinkEngine::pendingWrites() const {
    const auto& queue = m_state.requests.queue();
    int n = static_cast<int>(std::count_if(
        queue.begin(), queue.end(), [](const auto& e) { return e.type != ExchangeType::Status; }));
    if (m_job == Job::Queued && m_current.type != ExchangeType::Status) ++n;
    if (m_state.writeAllRequest != 0) n += kBlockCount - m_state.writeAllBlock;
    if (m_state.alarmCodeChunk != 0) ++n;
    if (m_state.remoteResetRequest != 0) ++n;
    return n;
}

// One tick:
//   1. the field commits that fell due (each copies its text into the image and queues its block
//      writes), the remote reset request, the target-file saves;
//   2. an exchange of a job that was stopped or started again since is dropped unseen;
//   3. the exchange, stepped as far as it can go without waiting:
//
//   Idle --request or job--> Resolving --address--> Connecting --connected--> Pausing (1000 ms)
//     --> Greeting --CR at position 5 or later--> Send
//   Send: the socket is emptied first (the rest of the greeting, late bytes of a reply), then
//   Send --write, chunk, reset--> Close --> Idle
//   Send --read, status, pairing--> AwaitReply --reply--> Send (next unit of a full read) | Close
//   AwaitReply --no reply within kReplyTimeout--> Send (same frame, at most kMaxResends times)
//   Resolving, Connecting, Greeting, Send, AwaitReply --failure or bound--> Idle; the job keeps
//     its place and is tried again, kMaxAttempts connections in all (one while the device does
//     not answer). A write of all blocks stops at a block that never reached the device.
//
// Jobs are chosen when Idle: queued writes first (block writes coalesced), then the alarm-code
// download, the write of all blocks, the full read, a remote reset, and last a status request.
// Writes queued during a full read go first: the read closes at its next unit and resumes there.
void LinkEngine::tick(const ControlValues& fields) {
    takeFieldCommits(fields, Commits::Due);
    if (m_state.remoteResetRequest != 0) {
        m_state.remoteResetRequest = 0;
        m_state.requests.requestExchange(kCodeRemoteReset);
    }
    saveTargetFiles(fields);
    dropStaleJob();
    m_endedThisTick = false;
    while (step(fields)) {
    }
}

void LinkEngine::takeFieldCommits(const ControlValues& fields, Commits which) {
    auto image = m_state.workspace.image();
    const Clock::TimePoint now = m_clock.now();
    for (const CommitRow& row : kCommitOrder) {
        auto& due = m_state.commitDue[static_cast<std::size_t>(row.commit)];
        if (!due || row.firstBlock < 0) continue;
        if (which == Commits::Due && *due > now) continue;
        due.reset();
        if (row.id != kStaticId) {
            const TextPlacement& p = *findTextPlacement(row.id);
            const std::string& text = fields.text(row.id);
            // Bounded by the slot: a longer text never reaches the bytes after it.
            if (p.exact) {
                writeTextExact(image, imageOffset(p.place), p.slotSize, text);
            } else {
                writeText(image, imageOffset(p.place), p.slotSize, text);
            }
        }
        for (int b = row.firstBlock; b <= row.lastBlock; ++b) m_state.requests.requestBlockWrite(b);
    }
    if (which == Commits::All) {
        // The target files too, at once: nothing is left waiting for a later tick.
        for (FieldCommit c : {FieldCommit::TargetPort, FieldCommit::TargetAddress}) {
            auto& due = m_state.commitDue[static_cast<std::size_t>(c)];
            if (due) due = now;
        }
        saveTargetFiles(fields);
        if (m_addressSaveAt) {
            m_addressSaveAt.reset();
            writeWholeFile(m_files, kServerAddressFile, fields.text(main_ids::kTargetAddress));
        }
    }
}

void LinkEngine::saveTargetFiles(const ControlValues& fields) {
    const Clock::TimePoint now = m_clock.now();
    auto& port = m_state.commitDue[static_cast<std::size_t>(FieldCommit::TargetPort)];
    if (port && *port <= now) {
        port.reset();
        writeWholeFile(m_files, kClientPortFile, fields.text(main_ids::kTargetPort));
    }
    auto& address = m_state.commitDue[static_cast<std::size_t>(FieldCommit::TargetAddress)];
    if (address && *address <= now) {
        address.reset();
        // The address file follows a short pause, kept without holding the window.
        if (!m_addressSaveAt) m_addressSaveAt = now + kAddressSavePause;
    }
    if (m_addressSaveAt && now >= *m_addressSaveAt) {
        m_addressSaveAt.reset();
        writeWholeFile(m_files, kServerAddressFile, fields.text(main_ids::kTargetAddress));
    }
}

// A full read that was stopped or started again, and a write of all blocks replaced by a new
// load, lose the exchange in flight: its reply would land in the wrong place, its block would
// count for the wrong load. An exchange already done (Close) is left to finish.
void LinkEngine::dropStaleJob() {
    bool stale = false;
    if (m_job == Job::FullRead && m_phase != Phase::Close) {
        stale = m_state.readAllRequest == 0 || m_state.readGeneration != m_jobGeneration;
    } else if (m_job == Job::WriteAll && m_phase != Phase::Close) {
        stale = m_state.writeAllRequest == 0 || m_state.writeAllGeneration != m_jobGeneration;
    } else if (m_job == Job::AlarmChunk && m_phase != Phase::Close) {
        stale = m_state.alarmCodeChunk == 0 || m_state.alarmCodeGeneration != m_jobGeneration;
    }
    if (!stale) return;
    closeConnection();
    m_job = Job::None;
    m_phase = Phase::Idle;
    m_resends = 0;
    m_readAttempts = 0;
}

bool LinkEngine::step(const ControlValues& fields) {
    switch (m_phase) {
        case Phase::Idle:
            return startNextExchange(fields);
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
    const auto& queue = m_state.requests.queue();
    return std::any_of(queue.begin(), queue.end(), [](const QueuedExchange& e) {
        return e.type == ExchangeType::BlockWrite || e.type == ExchangeType::Chunk;
    });
}

bool LinkEngine::chooseJob() {
    auto& queue = m_state.requests.queue();
    const bool jobsPending =
        m_state.alarmCodeChunk != 0 || m_state.writeAllRequest != 0 || m_state.readAllRequest != 0;
    const auto isWrite = [](const QueuedExchange& e) {
        return e.type != ExchangeType::RemoteReset && e.type != ExchangeType::Status;
    };
    // Writes in the order requested; a reset once nothing else waits; a status request last,
    // so that polling never holds anything up.
    auto next = std::find_if(queue.begin(), queue.end(), isWrite);
    if (next == queue.end() && !jobsPending) {
        next = std::find_if(queue.begin(), queue.end(), [](const QueuedExchange& e) {
            return e.type == ExchangeType::RemoteReset;
        });
        if (next == queue.end()) next = queue.begin();
    }
    if (next != queue.end()) {
        m_current = *next;
        queue.erase(next);
        if (m_current.type == ExchangeType::BlockWrite && !m_state.imageHoldsDeviceData) {
            // The image holds no device data yet: its zeros must never reach a device.
            m_state.texts.notice = kTextReadFirst;
            return chooseJob();
        }
        if (m_current.type == ExchangeType::Status) m_state.requests.setStatusInFlight(true);
        m_job = Job::Queued;
        return true;
    }
    if (m_state.alarmCodeChunk != 0) {
        m_job = Job::AlarmChunk;
        m_jobGeneration = m_state.alarmCodeGeneration;
        if (m_alarmSeen != m_jobGeneration) {
            m_alarmSeen = m_jobGeneration;
            m_chunkAttempts = 0;
        }
    } else if (m_state.writeAllRequest != 0) {
        if (!m_state.imageHoldsDeviceData) {
            m_state.writeAllRequest = 0;
            m_state.texts.notice = kTextReadFirst;
            return chooseJob();
        }
        if (m_writeAllSeen != m_state.writeAllGeneration) {
            // A new load: what an earlier one failed to write is not this one's to report.
            m_writeAllSeen = m_state.writeAllGeneration;
            m_writeAllFailed.clear();
            m_writeAllAttempts = 0;
        }
        m_job = Job::WriteAll;
        m_jobGeneration = m_state.writeAllGeneration;
    } else if (m_state.readAllRequest != 0) {
        m_job = Job::FullRead;
        m_jobGeneration = m_state.readGeneration;
    } else {
        m_job = Job::None;
        return false;
    }
    return true;
}

bool LinkEngine::startNextExchange(const ControlValues& fields) {
    // The next exchange starts at the next tick, not at once: a failed attempt is not retried in
    // a burst, and what an exchange left in the window's texts is shown at least once.
    if (m_endedThisTick || !chooseJob()) return false;
    if (m_job == Job::AlarmChunk) {
        // Progress while the chunk's connection is made; the chunk's bytes replace it once sent.
        m_state.texts.downloadLine =
            "sending alarm code chunk " + std::to_string(m_state.alarmCodeChunk + 1);
    }
    m_state.texts.traceBox += '1';
    m_targetAddress = fields.text(main_ids::kTargetAddress);
    m_port = parsePort(fields.text(main_ids::kTargetPort));
    m_lookup = m_network.lookup(m_targetAddress);
    m_deadline = m_clock.now() + kLookupTimeout;
    m_phase = Phase::Resolving;
    return true;
}

bool LinkEngine::stepResolving() {
    std::optional<Ipv4Address> address;
    switch (m_lookup ? m_lookup->status() : LookupStatus::Failed) {
        case LookupStatus::Pending:
            if (m_clock.now() < m_deadline) return false;
            address = parseDottedAddress(m_targetAddress);
            break;
        case LookupStatus::Done:
            address = m_lookup->address();
            break;
        case LookupStatus::Failed:
            address = parseDottedAddress(m_targetAddress);
            break;
    }
    m_lookup.reset();
    if (!address || m_port == 0) {
        m_state.texts.traceBox += '2';
        failExchange(Failure::Connect, kErrorConnect);
        return true;
    }
    m_socket = m_network.connect(*address, m_port);
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
    m_state.texts.traceBox += '2';
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
    m_exchangeLog.open(m_files);
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
        m_state.texts.traceBox += '3';
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

void LinkEngine::buildBlockFrame(int block) {
    auto image = m_state.workspace.image();
    const std::size_t start = static_cast<std::size_t>(block) * kBlockSize;
    std::array<std::uint8_t, kBlockSize> before{};
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(start), kBlockSize, before.begin());
    m_frameLength = BuildCommandFrame(m_frame, writeCodeForBlock(block), m_state.workspace);
    const auto after = image.subspan(start, kBlockSize);
    const auto changed = std::mismatch(before.begin(), before.end(), after.begin());
    if (changed.first == before.end()) return;
    // A byte of 13 would end the frame on the device, so it went out as 12, and the image holds
    // 12 now: what the windows show must follow.
    m_state.imageRewritten = 1;
    m_state.texts.notice = blockName(block) + " " +
                           hexOffset(static_cast<int>(changed.first - before.begin())) +
                           " held 13 and was written as 12; the options show what was written";
}

void LinkEngine::prepareFrame() {
    switch (m_job) {
        case Job::Queued:
            if (m_current.type == ExchangeType::BlockWrite) {
                buildBlockFrame(m_current.block);
            } else {
                m_frame = m_current.frame;
                m_frameLength = m_current.length;
            }
            break;
        case Job::WriteAll:
            buildBlockFrame(m_state.writeAllBlock);
            break;
        case Job::FullRead:
            m_frameUnit = unitOfReadCode(m_state.readIndex);
            m_frameLength = BuildCommandFrame(m_frame, m_state.readIndex, m_state.workspace);
            break;
        case Job::AlarmChunk: {
            const int chunk = m_state.alarmCodeChunk + 1;
            // Chunk n is the 128 bytes at 128 * (n - 64): the source follows the chunk number,
            // so a chunk sent again carries the same bytes.
            const std::size_t source = alarmChunkSource(chunk);
            std::span<const std::uint8_t, kBlockSize> bytes(m_state.alarmCodeBuffer.data() + source,
                                                            kBlockSize);
            m_frameLength = BuildChunkFrame(m_frame, bytes, chunk);
            const std::span<const std::uint8_t> frame(m_frame.data(), m_frameLength);
            const std::array<std::uint8_t, 2> endMark{'?', '?'};
            m_endMark = std::search(frame.begin(), frame.end(), endMark.begin(), endMark.end()) !=
                        frame.end();
            break;
        }
        case Job::None:
            m_frameLength = 0;
            break;
    }
}

bool LinkEngine::stepSend() {
    if (!m_drained) {
        switch (drainInput()) {
            case Drain::Empty:
                m_drained = true;
                break;
            case Drain::Closed:
                failExchange(m_sent == 0 && m_resends == 0 ? Failure::ClosedBeforeSend
                                                           : Failure::ClosedMidExchange,
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
    const bool general = m_job == Job::Queued && m_current.type == ExchangeType::Status;
    if (m_sent == 0 && m_resends == 0 && general) m_exchangeLog.append("4");
    const std::span<const std::uint8_t> frame(m_frame.data() + m_sent,
                                              static_cast<std::size_t>(m_frameLength - m_sent));
    const IoResult r = m_socket->send(frame);
    if (r.status == IoStatus::WouldBlock) {
        if (m_clock.now() < m_deadline) return false;
        failExchange(Failure::SendStalled, kErrorSend);
        return true;
    }
    if (r.status != IoStatus::Ok) {
        failExchange(
            m_sent == 0 && m_resends == 0 ? Failure::ClosedBeforeSend : Failure::ClosedMidExchange,
            kErrorClosed);
        return true;
    }
    m_exchangeLog.append(frame.first(r.count));
    m_sent += static_cast<int>(r.count);
    if (m_sent < m_frameLength) return false;

    const bool awaitsReply = m_job == Job::FullRead ||
                             (m_job == Job::Queued && (m_current.type == ExchangeType::Status ||
                                                       m_current.type == ExchangeType::Pairing));
    if (!awaitsReply) {
        m_phase = Phase::Close;
        return true;
    }
    m_gathered = 0;
    m_deadline = m_clock.now() + kReplyTimeout;
    m_phase = Phase::AwaitReply;
    return true;
}

bool LinkEngine::stepAwaitReply() {
    m_exchangeLog.append("7");
    std::array<std::uint8_t, kReplyReceiveSize> buffer{};
    const IoResult r = m_socket->receive(buffer);
    if (r.status == IoStatus::Ok && r.count > 0) {
        const std::span<const std::uint8_t> got(buffer.data(), r.count);
        if (m_job == Job::FullRead) {
            takeReadReply(got);
        } else {
            takeGeneralReply(got);
        }
        return true;
    }
    if (r.status == IoStatus::WouldBlock) {
        if (m_clock.now() < m_deadline) return false;
        // A reply that stopped halfway cannot be told apart from the answer to a resend: the
        // connection is given up and the read resumes at this unit on a new one.
        if (m_gathered > 0) {
            failExchange(Failure::NoReply, kErrorNoReply);
            return true;
        }
        if (m_resends < kMaxResends) {
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
    if (m_job == Job::FullRead) {
        failExchange(Failure::ClosedMidExchange, kErrorClosed);
    } else {
        takeGeneralReply({});
    }
    return true;
}

void LinkEngine::takeReadReply(std::span<const std::uint8_t> bytes) {
    // A reply is gathered until its 64 bytes have come; bytes past them are dropped.
    const std::size_t take = std::min(bytes.size(), m_unit.size() - m_gathered);
    std::copy_n(bytes.begin(), take, m_unit.begin() + static_cast<std::ptrdiff_t>(m_gathered));
    m_gathered += take;
    if (m_gathered < m_unit.size()) return;

    // Stored where the frame that asked for it said, whatever has happened to the read since.
    const int unit = m_frameUnit;
    auto area = m_state.workspace.receiveArea();
    if (unit >= 0 && unit < kReadUnitCount) {
        std::copy(m_unit.begin(), m_unit.end(),
                  area.begin() + static_cast<std::ptrdiff_t>(unit) * kReadUnitSize);
    }
    m_receiveLog.record(m_unit);
    m_state.imageCursor = (unit + 1) * static_cast<int>(kReadUnitSize);
    m_readAttempts = 0;
    m_deviceAnswering = true;
    m_state.texts.traceBox += '5';
    m_state.texts.linkError.clear();
    if (unit + 1 >= kReadUnitCount) {
        m_state.readIndex = 0;
        m_state.readAllRequest = 0;
        m_state.refreshRequest = 1;
        m_state.imageHoldsDeviceData = true;
        m_phase = Phase::Close;
        return;
    }
    m_state.readIndex = readCodeForUnit(unit + 1);
    // Writes go first: this connection closes, and the read resumes here afterwards. A frame
    // that had to be sent again may still be answered twice; a fresh connection keeps that late
    // copy out of the next unit.
    if (writesWaiting() || m_resends > 0) {
        m_phase = Phase::Close;
        return;
    }
    m_resends = 0;
    prepareFrame();
    enterSend();
}

void LinkEngine::takeGeneralReply(std::span<const std::uint8_t> bytes) {
    m_state.texts.traceBox += '5';
    m_exchangeLog.append(bytes);
    if (m_current.type == ExchangeType::Status && m_current.code == kCodeStatus) {
        // A short reply leaves the later bytes of the buffer as an earlier reply left them.
        std::copy_n(bytes.begin(), std::min(bytes.size(), m_state.generalReply.size()),
                    m_state.generalReply.begin());
        m_exchangeLog.append("8");
        m_state.loopStatus1 = static_cast<std::int8_t>(m_state.generalReply[6]);
        m_state.loopStatus2 = static_cast<std::int8_t>(m_state.generalReply[7]);
        m_state.loopStatusReady = 1;
    }
    m_phase = Phase::Close;
}

void LinkEngine::closeConnection() {
    m_socket.reset();
    m_lookup.reset();
    m_exchangeLog.close();
    if (m_job == Job::Queued && m_current.type == ExchangeType::Status) {
        m_state.requests.setStatusInFlight(false);
    }
}

void LinkEngine::appendTrace(std::span<const std::uint8_t> bytes) {
    std::string& trace = m_state.texts.traceBox;
    trace.append(bytes.begin(), bytes.end());
    if (trace.size() > kTraceLimit) trace.erase(0, trace.size() - kTraceLimit);
}

// The exchange went through: the job moves on.
void LinkEngine::finishExchange() {
    closeConnection();
    m_endedThisTick = true;
    m_state.texts.traceBox = kTraceClosed;
    m_state.texts.linkError.clear();
    m_deviceAnswering = true;
    switch (m_job) {
        case Job::Queued:
            if (m_current.type == ExchangeType::BlockWrite) {
                m_state.unwrittenBlocks.reset(static_cast<std::size_t>(m_current.block));
            }
            break;
        case Job::AlarmChunk: {
            // A chunk of a download begun again meanwhile is not this download's progress.
            if (m_jobGeneration != m_state.alarmCodeGeneration || m_state.alarmCodeChunk == 0) {
                break;
            }
            const int chunk = m_state.alarmCodeChunk + 1;
            const std::size_t source = alarmChunkSource(chunk);
            // The line shows the chunk's bytes up to the first zero byte.
            const std::size_t end =
                std::min(source + kWriteFrameSize, m_state.alarmCodeBuffer.size());
            std::string shown(m_state.alarmCodeBuffer.begin() + static_cast<std::ptrdiff_t>(source),
                              m_state.alarmCodeBuffer.begin() + static_cast<std::ptrdiff_t>(end));
            shown = shown.substr(0, shown.find('\0'));
            const bool last = m_endMark || chunk >= kLastAlarmChunk;
            if (m_endMark) {
                m_state.texts.downloadLine = std::string(kTextFileEnd) + shown;
            } else if (last) {
                m_state.texts.downloadLine = "download stopped at chunk " + std::to_string(chunk) +
                                             ", the last one, without an end mark (\"??\")";
            } else {
                m_state.texts.downloadLine = shown;
            }
            m_state.alarmCodeSource = source + kBlockSize;
            m_state.alarmCodeChunk = last ? 0 : chunk;
            m_chunkAttempts = 0;
            break;
        }
        case Job::WriteAll:
            // A block of an earlier load that was already on its way counts for nothing now.
            if (m_jobGeneration == m_state.writeAllGeneration && m_state.writeAllRequest != 0) {
                m_state.unwrittenBlocks.reset(static_cast<std::size_t>(m_state.writeAllBlock));
                advanceWriteAll();
            }
            break;
        default:
            break;
    }
    // The device answers again: what it missed meanwhile goes now.
    for (int b = 0; b < kBlockCount; ++b) {
        if (m_state.unwrittenBlocks.test(static_cast<std::size_t>(b))) {
            m_state.requests.requestBlockWrite(b);
        }
    }
    m_job = Job::None;
    m_phase = Phase::Idle;
}

// The attempt failed: the job keeps its place and is tried again, up to kMaxAttempts times.
void LinkEngine::failExchange(Failure failure, std::string_view reason) {
    closeConnection();
    m_state.texts.linkError = reason;
    m_endedThisTick = true;
    switch (m_job) {
        case Job::Queued:
            failQueued(failure, reason);
            break;
        case Job::AlarmChunk:
            if (m_jobGeneration != m_state.alarmCodeGeneration) break;
            if (++m_chunkAttempts >= kMaxAttempts) {
                m_chunkAttempts = 0;
                if (nothingReachedDevice(failure)) m_deviceAnswering = false;
                m_state.texts.downloadLine = "download stopped at chunk " +
                                             std::to_string(m_state.alarmCodeChunk + 1) + ": " +
                                             std::string(reason) + "; no later chunk was sent";
                m_state.texts.linkError = m_state.texts.downloadLine;
                m_state.alarmCodeChunk = 0;
            }
            break;
        case Job::WriteAll:
            failWriteAll(failure, reason);
            break;
        case Job::FullRead:
            if (++m_readAttempts >= kMaxAttempts) {
                m_readAttempts = 0;
                if (nothingReachedDevice(failure)) m_deviceAnswering = false;
                m_state.texts.linkError = "full read stopped at unit " +
                                          std::to_string(unitOfReadCode(m_state.readIndex)) + ": " +
                                          std::string(reason);
                m_state.readAllRequest = 0;
                m_state.readIndex = 0;
            }
            break;
        case Job::None:
            break;
    }
    m_job = Job::None;
    m_phase = Phase::Idle;
}

void LinkEngine::failQueued(Failure failure, std::string_view reason) {
    // While the device does not answer, each waiting request gets one attempt, not three: the
    // queue drains in seconds and every request says what became of it.
    const int attempts = m_deviceAnswering ? kMaxAttempts : 1;
    if (++m_current.attempts < attempts) {
        m_state.requests.queue().push_front(m_current);
        return;
    }
    if (nothingReachedDevice(failure)) m_deviceAnswering = false;
    std::string what;
    switch (m_current.type) {
        case ExchangeType::BlockWrite:
            // Written again as soon as the device answers; listed until then.
            m_state.unwrittenBlocks.set(static_cast<std::size_t>(m_current.block));
            what = blockName(m_current.block) + " not written";
            break;
        case ExchangeType::RemoteReset:
            what = "remote reset not sent";
            break;
        case ExchangeType::Status:
            what = "status request not sent";
            break;
        case ExchangeType::Chunk:
            what = "block " + std::to_string(m_current.block) + " not written";
            break;
        case ExchangeType::Pairing:
            what = "pairing frame not sent";
            break;
    }
    m_state.texts.linkError = what + ": " + std::string(reason);
}

void LinkEngine::failWriteAll(Failure failure, std::string_view reason) {
    if (m_jobGeneration != m_state.writeAllGeneration || m_state.writeAllRequest == 0) return;
    if (++m_writeAllAttempts < kMaxAttempts) return;
    const int block = m_state.writeAllBlock;
    if (!nothingReachedDevice(failure)) {
        // The frame went out and the exchange broke after it: the block is named at the end and
        // the others still go, as each of them stands on its own on the device.
        if (!m_writeAllFailed.empty()) m_writeAllFailed += ' ';
        m_writeAllFailed += blockName(block);
        advanceWriteAll();
        return;
    }
    // The device did not take the block: nothing after it is written, so the device never holds
    // later blocks of the file over an earlier block of its old settings.
    m_deviceAnswering = false;
    m_state.writeAllRequest = 0;
    m_writeAllAttempts = 0;
    const std::string notWritten = block == kBlockCount - 1
                                       ? blockName(block)
                                       : blockName(block) + " to " + blockName(kBlockCount - 1);
    const std::string kept = block == 0 ? "the device keeps its old settings"
                                        : "the device holds A0" +
                                              (block > 1 ? " to " + blockName(block - 1) : "") +
                                              " of the file";
    m_state.texts.messageWindow = "loading stopped: " + std::string(reason) + "; " + notWritten +
                                  " not written (" + kept + ")";
    m_state.texts.linkError = m_state.texts.messageWindow;
}

void LinkEngine::advanceWriteAll() {
    m_writeAllAttempts = 0;
    if (++m_state.writeAllBlock < kBlockCount) return;
    m_state.writeAllRequest = 0;
    m_state.texts.messageWindow = m_writeAllFailed.empty()
                                      ? std::string(kTextLoadingCompleted)
                                      : "loading failed: " + m_writeAllFailed + " not written";
    m_state.writeAllBlock = 0;
    m_writeAllFailed.clear();
}

void LinkEngine::onReadable() {
    if ((m_phase == Phase::Greeting || m_phase == Phase::AwaitReply) && m_tickSoon) m_tickSoon();
}

}  // namespace veskator
