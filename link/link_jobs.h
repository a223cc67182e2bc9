#pragma once
// The link engine's jobs: what each exchange carries and what becomes of its outcome. The engine
// owns the connection and its phases; a job is asked for its next frame, told of each read unit
// or reply, and told whether its exchange went through or failed. Each keeps its own progress and
// attempts, so a new kind of job (the dialer upload) is one more class, not one more case in
// every step of the engine.

#include <array>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "link/command_frame.h"
#include "link/link_logs.h"
#include "link/link_status.h"
#include "link/write_observer.h"
#include "model/device_target.h"
#include "model/parameter_files.h"
#include "model/programmer_state.h"

namespace veskator {

// A status reply carries the loop states in its bytes 6 and 7.
inline constexpr std::size_t kStatusReplyBytes = 8;
// The device needs this pause after a connection is made, before its greeting.
inline constexpr std::chrono::milliseconds kPauseAfterConnect{1000};
// How long a reply is awaited before the frame goes again (at most kMaxResends times); the bridge
// answers a pairing frame only once it has reached the slave unit, and the frame goes once.
inline constexpr std::chrono::milliseconds kReplyTimeout{1000};
inline constexpr std::chrono::milliseconds kPairingReplyTimeout{10000};
inline constexpr int kMaxResends = 2;   // a frame is sent at most three times on one connection
inline constexpr int kMaxAttempts = 3;  // connections tried for one block, chunk, unit or request
// Image bytes of 13 rewritten as 12 that the status keeps, the latest last.
inline constexpr std::size_t kRewritesKept = 16;

// Whether a write of all blocks reads the blocks back and compares them with the image.
enum class ReadBack { Off, On };

// Why an attempt failed. The first five mean nothing reached the device: a job that writes stops
// there rather than write what follows over a device that is not listening.
enum class Failure {
    Socket,
    Connect,            // refused, unreachable, look-up or connect bound
    NoGreeting,         // connected, but no greeting line within its bound
    ClosedBeforeSend,   // dropped before the frame went out whole
    SendStalled,        // the frame could not be sent within its bound
    NoReply,            // the frame went out, the answer did not come
    ClosedMidExchange,  // the frame went out, then the connection dropped
};

constexpr bool nothingReachedDevice(Failure f) {
    return f != Failure::NoReply && f != Failure::ClosedMidExchange;
}

// What a job may touch while it runs.
struct JobContext {
    ProgrammerState& state;
    LinkStatus& status;
    LinkTexts& texts;
    LinkLogs& logs;
    std::chrono::steady_clock::time_point now;

    void setDownloadText(std::string text) {
        texts.download = std::move(text);
        ++texts.downloadChanges;
    }
};

class LinkJob {
  public:
    virtual ~LinkJob() = default;
    virtual JobKind kind() const = 0;
    // The device the job was asked for: every connection of it goes there, whatever the target
    // is meanwhile.
    const Target& target() const { return m_target; }
    void setTarget(Target target) { m_target = std::move(target); }
    // A paced job waits for its time; the engine serves others meanwhile.
    virtual std::chrono::steady_clock::time_point readyAt() const {
        return std::chrono::steady_clock::time_point::min();
    }
    bool ready(std::chrono::steady_clock::time_point now) const { return now >= readyAt(); }
    // A reply is awaited after the frame (reads, status, pairing); otherwise the frame is all.
    virtual bool awaitsReply() const { return false; }
    // The replies are read units of 64 bytes, gathered whole and handed to takeUnit.
    virtual bool readsUnits() const { return false; }
    // A general reply is gathered up to this many bytes (or until it stops) before takeReply.
    virtual std::size_t replyBytes() const { return 1; }
    // How long a reply is awaited, and how often the frame may go again on one connection.
    virtual std::chrono::milliseconds replyTimeout() const { return kReplyTimeout; }
    virtual int resends() const { return kMaxResends; }
    // Builds the frame of the coming exchange into `frame`; returns its length.
    virtual int buildFrame(FrameBuffer& frame, JobContext& ctx) = 0;
    // A frame that awaits no reply went out whole: true when the job takes it as done and has a
    // next frame for the same connection (a write read back on the connection that wrote it).
    virtual bool continuesAfterSend(JobContext& /*ctx*/) { return false; }
    // A whole read unit came: true when another frame follows on this connection.
    virtual bool takeUnit(std::span<const std::uint8_t, kReadUnitSize> /*unit*/,
                          JobContext& /*ctx*/) {
        return false;
    }
    // The reply to a general command (status, pairing), whole as received.
    virtual void takeReply(std::span<const std::uint8_t> /*reply*/, JobContext& /*ctx*/) {}
    // The exchange went through.
    virtual void succeeded(JobContext& ctx) = 0;
    // The attempt failed. True when the job wants another attempt.
    virtual bool failed(Failure failure, std::string_view reason, JobContext& ctx) = 0;
    virtual bool done() const = 0;

    // Writes are told to the engine's observer of writes. The block the frame being built writes
    // ("A3", "chunk 64"); empty for a frame that writes nothing.
    virtual std::string frameWrites() const { return {}; }
    // The image blocks the job writes.
    virtual std::bitset<kBlockCount> blocksToWrite() const { return {}; }
    // The observer refused the write before its first frame: the job ends, nothing sent.
    virtual void refused(std::string_view reason, JobContext& ctx) {
        ctx.status.lastError = reason;
    }
    const WriteSubject& subject() const { return m_subject; }
    void setSubject(WriteSubject subject) { m_subject = std::move(subject); }
    // The engine's number of the write once told (0: not yet), and whether its end was told.
    int toldAs() const { return m_toldAs; }
    void setToldAs(int write) { m_toldAs = write; }
    bool endTold() const { return m_endTold; }
    void setEndTold() { m_endTold = true; }

  private:
    Target m_target;
    WriteSubject m_subject;
    int m_toldAs = 0;
    bool m_endTold = false;
};

// One exchange asked for by a click or an edit: a block write (built from the image when sent, so
// every change made until then goes along), a remote reset, a status request, a ready-made chunk
// or the bridge pairing frame.
class SingleExchange final : public LinkJob {
  public:
    static SingleExchange blockWrite(int block);
    static SingleExchange command(CommandCode code);
    static SingleExchange chunk(std::span<const std::uint8_t, kBlockSize> source, int blockNumber);
    // Nothing, and false, when the frame does not fit the frame buffer: a frame cut short would
    // lose its closing carriage return.
    static bool pairing(std::span<const std::uint8_t> frame, SingleExchange& out);

    JobKind kind() const override { return m_kind; }
    bool awaitsReply() const override {
        return m_kind == JobKind::Status || m_kind == JobKind::Pairing;
    }
    std::size_t replyBytes() const override {
        return m_kind == JobKind::Status ? kStatusReplyBytes : 1;
    }
    std::chrono::milliseconds replyTimeout() const override {
        return m_kind == JobKind::Pairing ? kPairingReplyTimeout : kReplyTimeout;
    }
    int resends() const override { return m_kind == JobKind::Pairing ? 0 : kMaxResends; }
    int buildFrame(FrameBuffer& frame, JobContext& ctx) override;
    void takeReply(std::span<const std::uint8_t> reply, JobContext& ctx) override;
    void succeeded(JobContext& ctx) override;
    bool failed(Failure failure, std::string_view reason, JobContext& ctx) override;
    bool done() const override { return m_done; }
    std::string frameWrites() const override;
    std::bitset<kBlockCount> blocksToWrite() const override;
    void refused(std::string_view reason, JobContext& ctx) override;

    int block() const { return m_block; }
    CommandCode code() const { return m_code; }

  private:
    JobKind m_kind = JobKind::BlockWrite;
    int m_block = 0;  // image block of a block write, device block of a chunk
    CommandCode m_code = 0;
    FrameBuffer m_frame{};
    int m_length = 0;
    int m_attempts = 0;
    bool m_done = false;
};

// A full read: the 64 units of the receive area, over one connection where it can be.
class FullRead final : public LinkJob {
  public:
    JobKind kind() const override { return JobKind::FullRead; }
    bool awaitsReply() const override { return true; }
    bool readsUnits() const override { return true; }
    int buildFrame(FrameBuffer& frame, JobContext& ctx) override;
    bool takeUnit(std::span<const std::uint8_t, kReadUnitSize> unit, JobContext& ctx) override;
    void succeeded(JobContext& ctx) override;
    bool failed(Failure failure, std::string_view reason, JobContext& ctx) override;
    bool done() const override { return m_done; }
    int unitsRead() const { return m_nextUnit; }

  private:
    int m_nextUnit = 0;
    int m_frameUnit = 0;  // the unit whose frame went out: its reply is stored there
    int m_attempts = 0;
    bool m_done = false;
};

// After a load: the eight image blocks, A0 first, one connection each. With read-back the units
// that hold them (0 to 15) are then read on one connection and compared with the image as it was
// sent; a block that differs is written once more and read back once more. What is read back is
// compared only, never stored. How it ended is the status's lastLoad.
class WriteAll final : public LinkJob {
  public:
    explicit WriteAll(ReadBack readBack = ReadBack::Off,
                      std::bitset<kBlockCount> blocks = std::bitset<kBlockCount>().set());
    JobKind kind() const override { return JobKind::WriteAll; }
    bool awaitsReply() const override { return m_stage == Stage::ReadBack; }
    bool readsUnits() const override { return m_stage == Stage::ReadBack; }
    int buildFrame(FrameBuffer& frame, JobContext& ctx) override;
    bool continuesAfterSend(JobContext& ctx) override;
    bool takeUnit(std::span<const std::uint8_t, kReadUnitSize> unit, JobContext& ctx) override;
    void succeeded(JobContext& ctx) override;
    bool failed(Failure failure, std::string_view reason, JobContext& ctx) override;
    bool done() const override { return m_stage == Stage::Done; }
    // The run stops: the outcome says which blocks the device holds.
    void interrupt(JobContext& ctx) { finish(ctx, LoadOutcome::Stop::Interrupted); }
    std::string frameWrites() const override;
    std::bitset<kBlockCount> blocksToWrite() const override { return m_outcome.blocks; }
    void refused(std::string_view reason, JobContext& ctx) override;
    Transfer progress() const;
    // The block written or read back next.
    int nextBlock() const;
    // Block writes still to go.
    int blocksLeft() const;
    bool readsBack() const { return m_readBack == ReadBack::On; }
    bool readingBack() const { return m_stage == Stage::ReadBack; }
    bool rewriting() const { return m_stage == Stage::Write && m_round > 0; }

  private:
    enum class Stage { Write, ReadBack, Done };
    void advance(JobContext& ctx);
    void blockWritten(JobContext& ctx);
    int nextUnitToCheck(int from) const;
    // Judges the blocks of this round read back whole.
    void judgeBlocks(int unitsRead);
    void endReadBack(JobContext& ctx);
    void finish(JobContext& ctx, LoadOutcome::Stop stop = LoadOutcome::Stop::None,
                std::string_view reason = {});

    ReadBack m_readBack;
    Stage m_stage = Stage::Write;
    int m_round = 0;                      // 1: writing and reading back again what differed
    std::bitset<kBlockCount> m_toWrite;   // blocks of this round still to write
    std::bitset<kBlockCount> m_toCheck;   // blocks this round reads back
    std::bitset<kBlockCount> m_mismatch;  // read back different in this round
    std::bitset<kBlockCount> m_verified;
    std::bitset<kBlockCount> m_differs;  // last read back different from the image
    int m_block = 0;
    int m_unit = 0;       // the next unit to read back; -1 when the round has none left
    int m_frameUnit = 0;  // the unit whose frame went out
    int m_attempts = 0;
    LoadOutcome m_outcome;
};

// The external alarm code: chunks of 128 bytes to device blocks 64 on, until the chunk that holds
// the end mark "??" or chunk 140.
class AlarmCodeDownload final : public LinkJob {
  public:
    explicit AlarmCodeDownload(std::span<const std::uint8_t> bytes);
    JobKind kind() const override { return JobKind::AlarmCodeDownload; }
    int buildFrame(FrameBuffer& frame, JobContext& ctx) override;
    void succeeded(JobContext& ctx) override;
    bool failed(Failure failure, std::string_view reason, JobContext& ctx) override;
    bool done() const override { return m_done; }
    std::string frameWrites() const override;
    void refused(std::string_view reason, JobContext& ctx) override;
    int nextChunk() const { return m_chunk; }

  private:
    std::array<std::uint8_t, kAlarmCodeBufferSize> m_bytes{};
    int m_chunk = kFirstAlarmChunk;
    int m_attempts = 0;
    bool m_endMark = false;
    bool m_done = false;
};

// The dialer's telephone list and test schedule, as they stood when the upload started: chunk k to
// device block 32 + k, the first a moment after the start and each next one at least
// kDialerChunkInterval after the one before reached the device, until the chunk that ends the
// list. A chunk that never reaches the device after its attempts stops the upload there, as a
// load stops: the chunks after it would end a list the dialer does not hold. It runs whether a
// window is open or not; a load, a read or an edit meanwhile changes nothing of it.
inline constexpr std::chrono::milliseconds kDialerFirstChunkDelay{1000};
inline constexpr std::chrono::milliseconds kDialerChunkInterval{5000};

class DialerUpload final : public LinkJob {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;
    DialerUpload(int upload, TimePoint firstDue,
                 std::span<const std::uint8_t, kDialerDataSize> list);
    JobKind kind() const override { return JobKind::DialerUpload; }
    TimePoint readyAt() const override { return m_due; }
    int buildFrame(FrameBuffer& frame, JobContext& ctx) override;
    void succeeded(JobContext& ctx) override;
    bool failed(Failure failure, std::string_view reason, JobContext& ctx) override;
    bool done() const override { return m_done; }
    std::string frameWrites() const override;
    void refused(std::string_view reason, JobContext& ctx) override;
    int nextChunk() const { return m_chunk; }
    int chunksToSend() const;
    std::span<const std::uint8_t, kDialerDataSize> list() const { return m_list; }

  private:
    // Progress is told only while this is the upload the windows follow.
    DialerProgress* progress(JobContext& ctx) const;

    int m_upload;
    TimePoint m_due;
    std::array<std::uint8_t, kDialerDataSize> m_list{};
    int m_chunk = 0;
    int m_attempts = 0;
    bool m_done = false;
};

}  // namespace veskator
