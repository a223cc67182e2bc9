#include "link/link_jobs.h"

#include <algorithm>

#include "model/dialer_data.h"

namespace veskator {
namespace {

std::string chunkName(int block) { return "chunk " + std::to_string(block); }

// The first block of the set.
int firstBlockOf(const std::bitset<kBlockCount>& blocks) {
    for (int b = 0; b < kBlockCount; ++b) {
        if (blocks.test(static_cast<std::size_t>(b))) return b;
    }
    return 0;
}

// Alarm-code chunk n (64..140) is the 128 bytes at 128 * (n - 64) of the buffer.
constexpr std::size_t alarmChunkSource(int chunk) {
    return static_cast<std::size_t>(chunk - kFirstAlarmChunk) * kBlockSize;
}
static_assert(alarmChunkSource(kLastAlarmChunk) + kWriteFrameSize <= kAlarmCodeBufferSize);

// A block write frame from the image as it is now. A byte of 13 would end the frame on the device,
// so it goes out as 12 and the image holds 12 afterwards: the windows must follow.
int buildBlockFrame(FrameBuffer& frame, int block, JobContext& ctx) {
    const auto image = ctx.state.workspace.image();
    const std::size_t start = static_cast<std::size_t>(block) * kBlockSize;
    std::array<std::uint8_t, kBlockSize> before{};
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(start), kBlockSize, before.begin());
    const int length = BuildCommandFrame(frame, writeCodeForBlock(block), ctx.state.workspace);
    const auto after = image.subspan(start, kBlockSize);
    bool rewritten = false;
    for (std::size_t i = 0; i < kBlockSize; ++i) {
        if (before[i] == after[i]) continue;
        rewritten = true;
        std::vector<ImagePlace>& places = ctx.status.rewritten;
        if (places.size() == kRewritesKept) places.erase(places.begin());
        places.push_back({block, static_cast<int>(i)});
    }
    if (rewritten) ++ctx.status.imageRewrites;
    return length;
}

}  // namespace

SingleExchange SingleExchange::blockWrite(int block) {
    SingleExchange e;
    e.m_kind = JobKind::BlockWrite;
    e.m_block = block;
    e.m_code = writeCodeForBlock(block);
    return e;
}

SingleExchange SingleExchange::command(CommandCode code) {
    if (const int block = blockOfWriteCode(code); block >= 0) return blockWrite(block);
    SingleExchange e;
    e.m_kind = code == kCodeRemoteReset ? JobKind::RemoteReset : JobKind::Status;
    e.m_code = code;
    // Frames without an image block never read the workspace.
    ParameterWorkspace unused;
    e.m_length = BuildCommandFrame(e.m_frame, code, unused);
    return e;
}

SingleExchange SingleExchange::chunk(std::span<const std::uint8_t, kBlockSize> source,
                                     int blockNumber) {
    SingleExchange e;
    e.m_kind = JobKind::Chunk;
    e.m_block = blockNumber;
    e.m_length = BuildChunkFrame(e.m_frame, source, blockNumber);
    return e;
}

bool SingleExchange::pairing(std::span<const std::uint8_t> frame, SingleExchange& out) {
    SingleExchange e;
    if (frame.size() > e.m_frame.size()) return false;
    e.m_kind = JobKind::Pairing;
    e.m_length = static_cast<int>(frame.size());
    std::copy(frame.begin(), frame.end(), e.m_frame.begin());
    out = e;
    return true;
}

int SingleExchange::buildFrame(FrameBuffer& frame, JobContext& ctx) {
    if (m_kind == JobKind::BlockWrite) return buildBlockFrame(frame, m_block, ctx);
    frame = m_frame;
    return m_length;
}

void SingleExchange::takeReply(std::span<const std::uint8_t> reply, JobContext& ctx) {
    ctx.logs.logExchange(reply);
    if (m_kind == JobKind::Pairing) {
        PairingOutcome outcome;
        outcome.result =
            reply.empty() ? PairingOutcome::Result::NoAnswer : PairingOutcome::Result::Answered;
        outcome.answer.assign(reply.begin(), reply.end());
        ctx.status.pairing = std::move(outcome);
        ++ctx.status.pairingsEnded;
        return;
    }
    if (m_kind != JobKind::Status || m_code != kCodeStatus) return;
    // A short reply leaves the later bytes of the buffer as an earlier reply left them.
    auto& buffer = ctx.status.generalReply;
    std::copy_n(reply.begin(), std::min(reply.size(), buffer.size()), buffer.begin());
    ctx.logs.logExchange("8");
    ctx.status.loops.loop1 = static_cast<std::int8_t>(buffer[6]);
    ctx.status.loops.loop2 = static_cast<std::int8_t>(buffer[7]);
    ctx.status.loops.ready = true;
}

void SingleExchange::succeeded(JobContext& ctx) {
    if (m_kind == JobKind::BlockWrite) {
        ctx.status.unwrittenBlocks.reset(static_cast<std::size_t>(m_block));
    }
    m_done = true;
}

bool SingleExchange::failed(Failure failure, std::string_view reason, JobContext& ctx) {
    if (m_kind == JobKind::Pairing && !nothingReachedDevice(failure)) {
        // The frame went out: it never goes again; the bridge simply did not answer.
        m_done = true;
        ctx.status.pairing = PairingOutcome{PairingOutcome::Result::NoAnswer, {}, {}};
        ++ctx.status.pairingsEnded;
        return false;
    }
    // While the device does not answer, each waiting request gets one attempt, not three: the
    // queue drains in seconds and every request says what became of it.
    const int attempts = ctx.status.deviceAnswering ? kMaxAttempts : 1;
    if (++m_attempts < attempts) return true;
    m_done = true;
    if (nothingReachedDevice(failure)) ctx.status.deviceAnswering = false;
    std::string what;
    switch (m_kind) {
        case JobKind::BlockWrite:
            // Written again as soon as the device answers; listed until then.
            ctx.status.unwrittenBlocks.set(static_cast<std::size_t>(m_block));
            what = blockName(m_block) + " not written";
            break;
        case JobKind::RemoteReset:
            what = "remote reset not sent";
            break;
        case JobKind::Status:
            what = "status request not sent";
            break;
        case JobKind::Chunk:
            what = "block " + std::to_string(m_block) + " not written";
            break;
        default:
            what = "pairing frame not sent";
            ctx.status.pairing =
                PairingOutcome{PairingOutcome::Result::NotSent, {}, std::string(reason)};
            ++ctx.status.pairingsEnded;
            break;
    }
    ctx.status.lastError = what + ": " + std::string(reason);
    return false;
}

std::string SingleExchange::frameWrites() const {
    switch (m_kind) {
        case JobKind::BlockWrite:
            return blockName(m_block);
        case JobKind::Chunk:
            return chunkName(m_block);
        default:
            return {};
    }
}

std::bitset<kBlockCount> SingleExchange::blocksToWrite() const {
    std::bitset<kBlockCount> blocks;
    if (m_kind == JobKind::BlockWrite) blocks.set(static_cast<std::size_t>(m_block));
    return blocks;
}

void SingleExchange::refused(std::string_view reason, JobContext& ctx) {
    m_done = true;
    // Like a write the device did not take: written again with the next one that goes through.
    if (m_kind == JobKind::BlockWrite) {
        ctx.status.unwrittenBlocks.set(static_cast<std::size_t>(m_block));
    }
    const std::string what = m_kind == JobKind::Chunk ? chunkName(m_block) : frameWrites();
    ctx.status.lastError = what + " not written: " + std::string(reason);
}

int FullRead::buildFrame(FrameBuffer& frame, JobContext& ctx) {
    m_frameUnit = m_nextUnit;
    return BuildCommandFrame(frame, readCodeForUnit(m_frameUnit), ctx.state.workspace);
}

bool FullRead::takeUnit(std::span<const std::uint8_t, kReadUnitSize> unit, JobContext& ctx) {
    // Stored where the frame that asked for it said.
    auto area = ctx.state.workspace.receiveArea();
    std::copy(unit.begin(), unit.end(),
              area.begin() + static_cast<std::ptrdiff_t>(m_frameUnit) * kReadUnitSize);
    ctx.logs.logReceived(unit);
    m_attempts = 0;
    ctx.status.deviceAnswering = true;
    ctx.status.lastError.clear();
    m_nextUnit = m_frameUnit + 1;
    if (m_nextUnit < kReadUnitCount) return true;
    m_done = true;
    ctx.state.setReadFrom(target());
    ++ctx.status.readsCompleted;
    return false;
}

void FullRead::succeeded(JobContext& /*ctx*/) {}

bool FullRead::failed(Failure failure, std::string_view reason, JobContext& ctx) {
    if (++m_attempts < kMaxAttempts) return true;
    if (nothingReachedDevice(failure)) ctx.status.deviceAnswering = false;
    ctx.status.lastError =
        "full read stopped at unit " + std::to_string(m_nextUnit) + ": " + std::string(reason);
    m_done = true;
    return false;
}

WriteAll::WriteAll(ReadBack readBack, std::bitset<kBlockCount> blocks) : m_readBack(readBack) {
    m_toWrite = blocks;
    if (m_readBack == ReadBack::On) m_toCheck = blocks;
    m_outcome.readBack = m_readBack == ReadBack::On;
    m_outcome.blocks = blocks;
    m_block = blocks.none() ? 0 : firstBlockOf(blocks);
}

Transfer WriteAll::progress() const {
    Transfer t;
    t.kind = TransferKind::WriteAll;
    t.readsBack = readsBack();
    t.stage = readingBack() ? WriteStage::ReadingBack
              : rewriting() ? WriteStage::Rewriting
                            : WriteStage::Writing;
    t.at = nextBlock();
    // Each block write is about one connection, and so is the whole read-back.
    const int blocks = static_cast<int>(m_outcome.blocks.count());
    t.total = blocks + (t.readsBack ? 1 : 0);
    t.done = t.stage == WriteStage::Writing ? blocks - static_cast<int>(m_toWrite.count()) : blocks;
    return t;
}

int WriteAll::nextBlock() const {
    switch (m_stage) {
        case Stage::Write:
            return m_block;
        case Stage::ReadBack:
            return (m_unit >= 0 ? m_unit : m_frameUnit) / 2;
        case Stage::Done:
            break;
    }
    return kBlockCount;
}

int WriteAll::blocksLeft() const {
    return m_stage == Stage::Write ? static_cast<int>(m_toWrite.count()) : 0;
}

int WriteAll::buildFrame(FrameBuffer& frame, JobContext& ctx) {
    if (m_stage == Stage::Write) return buildBlockFrame(frame, m_block, ctx);
    m_frameUnit = m_unit;
    return BuildCommandFrame(frame, readCodeForUnit(m_frameUnit), ctx.state.workspace);
}

bool WriteAll::takeUnit(std::span<const std::uint8_t, kReadUnitSize> unit, JobContext& ctx) {
    static_assert(2 * kBlockCount * kReadUnitSize == kImageSize);
    m_attempts = 0;
    ctx.status.deviceAnswering = true;
    ctx.status.lastError.clear();
    // The image as the device must hold it: its bytes of 13 went out as 12.
    const auto expected =
        std::span<const std::uint8_t>(ctx.state.workspace.image())
            .subspan(static_cast<std::size_t>(m_frameUnit) * kReadUnitSize, kReadUnitSize);
    const bool same =
        std::equal(unit.begin(), unit.end(), expected.begin(),
                   [](std::uint8_t got, std::uint8_t image) { return got == sentAs(image); });
    if (!same) m_mismatch.set(static_cast<std::size_t>(m_frameUnit / 2));
    m_unit = nextUnitToCheck(m_frameUnit + 1);
    // The round is judged once its connection has closed (succeeded).
    return m_unit >= 0;
}

void WriteAll::succeeded(JobContext& ctx) {
    if (m_stage == Stage::ReadBack) {
        // Closed with units still to read (writes went first): the read-back resumes there.
        if (m_unit < 0) endReadBack(ctx);
        return;
    }
    blockWritten(ctx);
}

// The last block of a round is read back on the connection that wrote it: a connection, and the
// device's pause after it, fewer.
bool WriteAll::continuesAfterSend(JobContext& ctx) {
    if (m_stage != Stage::Write || m_readBack == ReadBack::Off || m_toWrite.count() != 1) {
        return false;
    }
    blockWritten(ctx);
    return m_stage == Stage::ReadBack;
}

void WriteAll::blockWritten(JobContext& ctx) {
    ctx.status.unwrittenBlocks.reset(static_cast<std::size_t>(m_block));
    ctx.status.deviceAnswering = true;
    m_outcome.written.set(static_cast<std::size_t>(m_block));
    advance(ctx);
}

bool WriteAll::failed(Failure failure, std::string_view reason, JobContext& ctx) {
    if (++m_attempts < kMaxAttempts) return true;
    if (m_stage == Stage::ReadBack) {
        if (nothingReachedDevice(failure)) ctx.status.deviceAnswering = false;
        // Units before m_unit came; the blocks read back whole count.
        judgeBlocks(m_unit);
        finish(ctx, LoadOutcome::Stop::ReadBack, reason);
        return false;
    }
    if (!nothingReachedDevice(failure)) {
        // The frame went out and the exchange broke after it: the others still go, as each of
        // them stands on its own on the device. Read back, the block shows whether it arrived;
        // otherwise it is named at the end.
        if (m_readBack == ReadBack::Off) m_outcome.broken.set(static_cast<std::size_t>(m_block));
        advance(ctx);
        return !done();
    }
    ctx.status.deviceAnswering = false;
    if (m_round > 0) {
        finish(ctx, LoadOutcome::Stop::Rewriting, reason);
        return false;
    }
    // The device did not take the block: nothing after it is written, so the device never holds
    // later blocks of the file over an earlier block of its old settings.
    m_outcome.stoppedAt = m_block;
    finish(ctx, LoadOutcome::Stop::Writing, reason);
    ctx.status.lastError = blockName(m_block) + " not written: " + std::string(reason);
    return false;
}

std::string WriteAll::frameWrites() const {
    return m_stage == Stage::Write ? blockName(m_block) : std::string();
}

void WriteAll::refused(std::string_view reason, JobContext& ctx) {
    m_outcome.stoppedAt = m_block;
    finish(ctx, LoadOutcome::Stop::Writing, reason);
    ctx.status.lastError = std::string(reason);
}

void WriteAll::advance(JobContext& ctx) {
    m_attempts = 0;
    m_toWrite.reset(static_cast<std::size_t>(m_block));
    for (int b = 0; b < kBlockCount; ++b) {
        if (m_toWrite.test(static_cast<std::size_t>(b))) {
            m_block = b;
            return;
        }
    }
    if (m_readBack == ReadBack::On) {
        m_stage = Stage::ReadBack;
        m_unit = nextUnitToCheck(0);
        return;
    }
    finish(ctx);
}

int WriteAll::nextUnitToCheck(int from) const {
    for (int u = std::max(from, 0); u < 2 * kBlockCount; ++u) {
        if (m_toCheck.test(static_cast<std::size_t>(u / 2))) return u;
    }
    return -1;
}

void WriteAll::judgeBlocks(int unitsRead) {
    for (int b = 0; b < kBlockCount; ++b) {
        const auto bit = static_cast<std::size_t>(b);
        if (!m_toCheck.test(bit) || 2 * b + 1 >= unitsRead) continue;
        m_verified.set(bit, !m_mismatch.test(bit));
        m_differs.set(bit, m_mismatch.test(bit));
    }
    m_mismatch.reset();
}

void WriteAll::endReadBack(JobContext& ctx) {
    judgeBlocks(2 * kBlockCount);
    if (m_round == 0 && m_differs.any()) {
        // Once more, for the blocks that differ: a write the device took wrongly is often taken
        // right the second time.
        m_round = 1;
        m_toWrite = m_differs;
        m_toCheck = m_differs;
        m_stage = Stage::Write;
        m_block = nextUnitToCheck(0) / 2;
        m_attempts = 0;
        return;
    }
    finish(ctx);
}

void WriteAll::finish(JobContext& ctx, LoadOutcome::Stop stop, std::string_view reason) {
    m_stage = Stage::Done;
    m_outcome.verified = m_verified;
    m_outcome.differing = m_differs;
    m_outcome.stop = stop;
    m_outcome.reason = reason;
    ctx.status.lastLoad = m_outcome;
    ++ctx.status.loadsFinished;
}

AlarmCodeDownload::AlarmCodeDownload(std::span<const std::uint8_t> bytes) {
    std::copy_n(bytes.begin(), std::min(bytes.size(), m_bytes.size()), m_bytes.begin());
}

int AlarmCodeDownload::buildFrame(FrameBuffer& frame, JobContext& /*ctx*/) {
    // Chunk n is the 128 bytes at 128 * (n - 64): the source follows the chunk number, so a chunk
    // sent again carries the same bytes.
    const std::span<const std::uint8_t, kBlockSize> source(
        m_bytes.data() + alarmChunkSource(m_chunk), kBlockSize);
    const int length = BuildChunkFrame(frame, source, m_chunk);
    const std::span<const std::uint8_t> sent(frame.data(), static_cast<std::size_t>(length));
    const std::array<std::uint8_t, 2> endMark{'?', '?'};
    m_endMark = std::search(sent.begin(), sent.end(), endMark.begin(), endMark.end()) != sent.end();
    return length;
}

void AlarmCodeDownload::succeeded(JobContext& ctx) {
    const std::size_t source = alarmChunkSource(m_chunk);
    // The line shows the 146 bytes from the chunk's start, up to the first zero byte.
    const std::size_t end = std::min(source + kWriteFrameSize, m_bytes.size());
    std::string shown(m_bytes.begin() + static_cast<std::ptrdiff_t>(source),
                      m_bytes.begin() + static_cast<std::ptrdiff_t>(end));
    shown = shown.substr(0, shown.find('\0'));
    m_attempts = 0;
    ctx.status.deviceAnswering = true;
    if (m_endMark) {
        ctx.setDownloadText("fileend" + shown);
        m_done = true;
    } else if (m_chunk >= kLastAlarmChunk) {
        ctx.setDownloadText("download stopped at chunk " + std::to_string(m_chunk) +
                            ", the last one, without an end mark (\"??\")");
        m_done = true;
    } else {
        ctx.setDownloadText(shown);
        ++m_chunk;
    }
}

std::string AlarmCodeDownload::frameWrites() const { return chunkName(m_chunk); }

void AlarmCodeDownload::refused(std::string_view reason, JobContext& ctx) {
    m_done = true;
    ctx.setDownloadText("download not started: " + std::string(reason));
    ctx.status.lastError = ctx.texts.download;
}

bool AlarmCodeDownload::failed(Failure failure, std::string_view reason, JobContext& ctx) {
    if (++m_attempts < kMaxAttempts) return true;
    if (nothingReachedDevice(failure)) ctx.status.deviceAnswering = false;
    ctx.setDownloadText("download stopped at chunk " + std::to_string(m_chunk) + ": " +
                        std::string(reason) + "; no later chunk was sent");
    ctx.status.lastError = ctx.texts.download;
    m_done = true;
    return false;
}

DialerUpload::DialerUpload(int upload, TimePoint firstDue,
                           std::span<const std::uint8_t, kDialerDataSize> list)
    : m_upload(upload), m_due(firstDue) {
    std::copy(list.begin(), list.end(), m_list.begin());
}

int DialerUpload::chunksToSend() const { return dialerChunksToSend(m_list); }

DialerProgress* DialerUpload::progress(JobContext& ctx) const {
    return ctx.status.dialer.upload == m_upload ? &ctx.status.dialer : nullptr;
}

int DialerUpload::buildFrame(FrameBuffer& frame, JobContext& /*ctx*/) {
    return BuildChunkFrame(
        frame, dialerChunk(std::span<const std::uint8_t, kDialerDataSize>(m_list), m_chunk),
        kDialerFirstBlock + m_chunk);
}

// The chunk reached the device: the next one goes no sooner than the pace allows from now, whatever
// a slow attempt cost, so chunks never reach the dialer back to back.
void DialerUpload::succeeded(JobContext& ctx) {
    ctx.status.deviceAnswering = true;
    m_attempts = 0;
    DialerProgress* p = progress(ctx);
    if (p != nullptr) p->chunksSent = m_chunk + 1;
    if (lastDialerChunk(m_chunk, dialerChunk(std::span<const std::uint8_t, kDialerDataSize>(m_list),
                                             m_chunk))) {
        m_done = true;
        if (p != nullptr) p->end = DialerProgress::End::Completed;
        return;
    }
    ++m_chunk;
    // The next chunk's connection starts early by the pause it takes before it can send.
    m_due = ctx.now + kDialerChunkInterval - kPauseAfterConnect;
}

std::string DialerUpload::frameWrites() const { return chunkName(m_chunk); }

void DialerUpload::refused(std::string_view reason, JobContext& ctx) {
    m_done = true;
    if (DialerProgress* p = progress(ctx)) {
        p->end = DialerProgress::End::Stopped;
        p->stoppedAt = m_chunk;
        p->failure = reason;
    }
    ctx.status.lastError = "dialer upload not started: " + std::string(reason);
}

bool DialerUpload::failed(Failure failure, std::string_view reason, JobContext& ctx) {
    if (++m_attempts < kMaxAttempts) return true;
    if (nothingReachedDevice(failure)) ctx.status.deviceAnswering = false;
    m_done = true;
    if (DialerProgress* p = progress(ctx)) {
        p->end = DialerProgress::End::Stopped;
        p->stoppedAt = m_chunk;
        p->failure = reason;
    }
    ctx.status.lastError =
        "dialer chunk " + std::to_string(m_chunk) + " not sent: " + std::string(reason);
    return false;
}

}  // namespace veskator
