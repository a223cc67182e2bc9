// The link engine's requests and its tick: the jobs asked for, the queue, which job the next
// exchange serves, and what becomes of the job when the exchange ends. The exchange itself, the
// connection step by step, is in link_connection.cpp; what the engine publishes of itself and
// what it refuses to send, in link_engine_status.cpp.

#include "link/link_engine.h"

#include <algorithm>
#include <utility>

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

template <typename Job>
std::shared_ptr<Job> LinkEngine::described(std::shared_ptr<Job> job) {
    job->setSubject(std::exchange(m_nextSubject, {}));
    return targeted(std::move(job));
}

namespace {

constexpr bool writesDevice(JobKind kind) {
    return kind == JobKind::BlockWrite || kind == JobKind::Chunk || kind == JobKind::WriteAll ||
           kind == JobKind::AlarmCodeDownload || kind == JobKind::DialerUpload;
}

constexpr std::string_view kReplaced = "replaced by a new one before it ended";
constexpr std::string_view kInterrupted = "interrupted";

}  // namespace

WriteNews LinkEngine::newsOf(const LinkJob& job) const {
    return {job.toldAs(), job.kind(), job.target(), job.blocksToWrite(), &job.subject()};
}

// Before the job's first frame: the observer keeps its record first, or the job ends unsent.
bool LinkEngine::announceWrite() {
    if (!m_writeObserver || !writesDevice(m_active->kind()) || m_active->toldAs() != 0) return true;
    WriteNews news = newsOf(*m_active);
    news.write = m_writesTold + 1;
    const std::string problem = m_writeObserver->writeBegins(news);
    if (problem.empty()) {
        m_active->setToldAs(++m_writesTold);
        return true;
    }
    JobContext ctx = context();
    m_active->refused(problem, ctx);
    endExchange();
    return false;
}

void LinkEngine::tellReached() {
    if (!m_writeObserver || !m_active || m_active->toldAs() == 0 || m_frameWrites.empty()) return;
    m_writeObserver->blockReached(newsOf(*m_active), m_frameWrites);
    m_frameWrites.clear();
}

void LinkEngine::tellEnd(LinkJob& job, bool completed, std::string_view reason) {
    if (!m_writeObserver || job.toldAs() == 0 || job.endTold()) return;
    job.setEndTold();
    WriteEnd end{completed, std::nullopt, std::string(reason)};
    if (job.kind() == JobKind::WriteAll) {
        end.load = m_status.lastLoad;
        end.completed = end.load && end.load->complete();
        if (end.load && end.reason.empty()) end.reason = end.load->reason;
    }
    m_writeObserver->writeEnded(newsOf(job), end);
}

void LinkEngine::tellEndIfDone(bool completed, std::string_view reason) {
    if (m_active && m_active->done()) tellEnd(*m_active, completed, reason);
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
    if (m_writeAll) tellEnd(*m_writeAll, false, kReplaced);
    if (blocks.none()) {
        // A write of no block has nothing to send: it ends at once, complete. An earlier one is
        // replaced all the same.
        m_nextSubject = {};
        m_writeAll.reset();
        LoadOutcome outcome;
        outcome.readBack = readBack == ReadBack::On;
        m_status.lastLoad = outcome;
        ++m_status.loadsFinished;
        publish();
        return;
    }
    m_writeAll = described(std::make_shared<WriteAll>(readBack, blocks));
    m_status.lastLoad.reset();
    publish();
    requested();
}

void LinkEngine::startAlarmDownload(std::span<const std::uint8_t> bytes) {
    if (m_alarm) tellEnd(*m_alarm, false, kReplaced);
    m_alarm = described(std::make_shared<AlarmCodeDownload>(bytes));
    publish();
    requested();
}

void LinkEngine::startDialerUpload() {
    if (m_dialer) tellEnd(*m_dialer, false, kReplaced);
    DialerProgress& progress = m_status.dialer;
    const int upload = progress.upload + 1;
    progress = DialerProgress{};
    progress.upload = upload;
    progress.running = true;
    m_dialer = described(std::make_shared<DialerUpload>(
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
        tellEnd(*m_writeAll, false, kInterrupted);
        m_writeAll.reset();
    }
    if (m_alarm) tellEnd(*m_alarm, false, kInterrupted);
    if (m_dialer) tellEnd(*m_dialer, false, kInterrupted);
    for (const auto& single : m_queue) tellEnd(*single, false, kInterrupted);
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
        tellEnd(*m_writeAll, false, "the image is no longer this device's");
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
    if (!announceWrite()) return true;
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
    tellReached();
    m_active->succeeded(ctx);
    tellEndIfDone(true);
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
    tellEndIfDone(false, m_status.lastError.empty() ? reason : m_status.lastError);
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

}  // namespace veskator
