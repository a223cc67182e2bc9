#pragma once
// The link engine: the only code that talks to the device. It runs on the main window's timer,
// one exchange at a time, without ever blocking the window thread. Windows hand it requests and
// read its LinkStatus; it knows none of them.

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "link/link_jobs.h"
#include "link/link_logs.h"
#include "link/link_status.h"
#include "model/device_target.h"
#include "model/programmer_state.h"
#include "platform/clock.h"
#include "platform/network.h"

namespace veskator {

// How long each step of an exchange may take, and how often a frame is sent on one connection.
inline constexpr std::chrono::milliseconds kLookupTimeout{5000};
inline constexpr std::chrono::milliseconds kConnectTimeout{5000};  // counted from the connect
inline constexpr std::chrono::milliseconds kGreetingTimeout{5000};
inline constexpr std::chrono::milliseconds kSendTimeout{5000};
inline constexpr std::size_t kGreetingReceiveSize = 100;
inline constexpr std::size_t kReplyReceiveSize = 130;
// The greeting has come when a received chunk holds a carriage return at this position or later.
inline constexpr std::size_t kGreetingCrPosition = 5;
// Bounds against a device that streams: no tick reads more than this from the socket, a greeting
// without its carriage return is given up at kGreetingLimit, and the trace keeps its tail only.
inline constexpr std::size_t kMaxReadPerTick = 4096;
inline constexpr std::size_t kGreetingLimit = 1024;
inline constexpr std::size_t kTraceLimit = 4096;

inline constexpr std::string_view kTraceClosed = "socket closed1";
inline constexpr std::string_view kTextFileEnd = "fileend";
inline constexpr std::string_view kErrorSocket = "socket creation problem";
inline constexpr std::string_view kErrorConnect = "connect failed";
inline constexpr std::string_view kErrorNoGreeting = "no greeting from device";
inline constexpr std::string_view kErrorNoReply = "no reply from device";
inline constexpr std::string_view kErrorClosed = "connection closed by device";
inline constexpr std::string_view kErrorSend = "could not send to device";

class LinkEngine {
  public:
    // The logs are the owner's (and outlive the engine); without them none are kept.
    LinkEngine(ProgrammerState& state, Network& network, const Clock& clock,
               LinkLogs* logs = nullptr);
    ~LinkEngine();
    LinkEngine(const LinkEngine&) = delete;
    LinkEngine& operator=(const LinkEngine&) = delete;

    // The device that requests from now on go to: a host name or dotted address, and a port
    // (0: none). A request keeps the target it was made with.
    void setTarget(Target target) { m_target = std::move(target); }
    const Target& target() const { return m_target; }
    // One tick of its driver's timer.
    void tick();
    // When the engine next has something to do. Nothing when it is settled: a request then tells
    // its driver through the request handler. A deadline when all it waits for is one (the pause
    // after connecting, a paced job, or a bound while a socket that reports its news is quiet).
    // Otherwise now: it polls, at its driver's pace.
    std::optional<Clock::TimePoint> nextTick() const;
    // Called whenever a request gives the engine work, so that a driver at rest starts ticking.
    void setOnRequest(std::function<void()> onRequest) { m_onRequest = std::move(onRequest); }

    // Requests. Jobs start again from their beginning when requested again; an exchange of the
    // earlier start still in flight is dropped, never stored or counted. Writes of image blocks
    // go only to the device the image belongs to: others are refused (LinkStatus::refusal).
    void requestFullRead();
    void stopFullRead();
    // Writes the image blocks (all eight, or those of `blocks`); with read-back they are then read
    // and compared.
    void requestWriteAll(ReadBack readBack = ReadBack::Off,
                         std::bitset<kBlockCount> blocks = std::bitset<kBlockCount>().set());
    // Interrupted: no exchange starts any more; the one under way ends within its bounds, and then
    // every job is given up (settled() holds; a write's lastLoad says what the device holds).
    void halt();
    bool halted() const { return m_halted; }
    void startAlarmDownload(std::span<const std::uint8_t> bytes);
    // Writes image block k (0..7). A write of the same block still waiting coalesces with it: the
    // frame is built from the image when it is sent, so every change made by then goes along.
    void requestBlockWrite(int block);
    // A single exchange by command code: write codes become block writes; one remote reset and
    // one status request wait at a time.
    void requestExchange(CommandCode code);
    void requestRemoteReset() { requestExchange(kCodeRemoteReset); }
    // Queues a write of every block whose earlier write was given up.
    void retryUnwrittenBlocks();
    // The dialer's list and schedule, chunk by chunk at the dialer's pace (DialerUpload); a new
    // start begins again at chunk 0.
    void startDialerUpload();
    // A 146-byte chunk for a device block outside the image (kFirstChunkBlock..kLastChunkBlock);
    // false, and nothing queued, for any other block number.
    bool requestChunk(std::span<const std::uint8_t, kBlockSize> source, int blockNumber);
    // The bridge pairing frame, sent as it is; false, and nothing queued, when it does not fit.
    bool requestPairing(std::span<const std::uint8_t> frame);

    const LinkStatus& status() const { return m_status; }
    const LinkTexts& texts() const { return m_texts; }
    void clearError() { m_status.lastError.clear(); }

    LinkState linkState() const { return m_status.state; }
    bool idle() const { return m_phase == Phase::Idle; }
    // Nothing requested, nothing under way.
    bool settled() const;
    // Requests waiting in the queue (single exchanges only).
    std::size_t queued() const { return m_queue.size(); }
    // Writes still to go to the device: queued and in flight, the rest of a write of all blocks,
    // and a running download counted as one.
    int pendingWrites() const;

    // Told of every write before its first frame (and may refuse it), of each block that reached
    // the device, and of its end. The observer is the owner's and outlives the engine.
    void setWriteObserver(WriteObserver* observer) { m_writeObserver = observer; }
    // What the next write of blocks, download or upload requested carries, for the observer.
    void describeNextWrite(WriteSubject subject) { m_nextSubject = std::move(subject); }

    // Asked for an early tick when the socket has news (connected, or data may have come), so
    // that connects and replies are taken at once.
    void setTickSoon(std::function<void()> tickSoon) { m_tickSoon = std::move(tickSoon); }

  private:
    enum class Phase { Idle, Resolving, Connecting, Pausing, Greeting, Send, AwaitReply, Close };
    enum class Drain { Empty, More, Closed };

    JobContext context();
    template <typename Job>
    std::shared_ptr<Job> targeted(std::shared_ptr<Job> job) const;
    // False, and the refusal told, when the image is not the job's device's to write.
    bool mayWriteImage(const LinkJob& job);
    void appendTrace(std::string_view text);
    void setTrace(std::string_view text);
    void dropStaleJob();
    bool step();
    bool startNextExchange();
    std::shared_ptr<LinkJob> chooseJob();
    bool stepResolving();
    bool stepConnecting();
    bool stepPausing();
    bool stepGreeting();
    bool stepSend();
    bool stepAwaitReply();
    void enterSend();
    bool frameWentOut() const;
    Drain drainInput();
    void prepareFrame();
    void takeReadReply(std::span<const std::uint8_t> bytes);
    void gatherGeneralReply(std::span<const std::uint8_t> bytes);
    void takeGeneralReply(std::span<const std::uint8_t> bytes);
    void finishExchange();
    void failExchange(Failure failure, std::string_view reason);
    void endExchange();
    void closeConnection();
    void abandonJobs();
    bool writesWaiting() const;
    void appendTrace(std::span<const std::uint8_t> bytes);
    void publish();
    void publishTransfers();
    void onReadable();
    void requested();
    // The observer of writes: told before a write's first frame (false: refused, nothing sent),
    // of each block that went out, and of the end.
    template <typename Job>
    std::shared_ptr<Job> described(std::shared_ptr<Job> job);
    bool announceWrite();
    WriteNews newsOf(const LinkJob& job) const;
    void tellReached();
    void tellEnd(LinkJob& job, bool completed, std::string_view reason = {});
    void tellEndIfDone(bool completed, std::string_view reason = {});

    ProgrammerState& m_state;
    Network& m_network;
    const Clock& m_clock;
    LinkLogs m_noLogs;
    LinkLogs& m_logs;
    std::function<void()> m_tickSoon;
    std::function<void()> m_onRequest;
    LinkStatus m_status;
    LinkTexts m_texts;

    std::deque<std::shared_ptr<SingleExchange>> m_queue;
    std::shared_ptr<FullRead> m_read;
    std::shared_ptr<WriteAll> m_writeAll;
    std::shared_ptr<AlarmCodeDownload> m_alarm;
    std::shared_ptr<DialerUpload> m_dialer;
    std::shared_ptr<LinkJob> m_active;  // the job the exchange under way serves

    Phase m_phase = Phase::Idle;
    Target m_target;
    std::unique_ptr<HostLookup> m_lookup;
    std::unique_ptr<StreamSocket> m_socket;
    Clock::TimePoint m_deadline{};

    FrameBuffer m_frame{};
    int m_frameLength = 0;
    int m_sent = 0;
    int m_resends = 0;
    bool m_drained = false;  // the socket was emptied before this frame
    std::size_t m_greetingBytes = 0;
    std::array<std::uint8_t, kReadUnitSize> m_unit{};
    std::array<std::uint8_t, kReplyReceiveSize> m_reply{};
    std::size_t m_gathered = 0;  // of the unit or the reply awaited
    bool m_endedThisTick = false;
    bool m_halted = false;
    WriteObserver* m_writeObserver = nullptr;
    WriteSubject m_nextSubject;
    int m_writesTold = 0;
    std::string m_frameWrites;  // the block the frame in the buffer writes
};

// Why the image may not be written to `target` (zeros must never reach a device, nor one
// device's settings another device), or None when it may.
Refusal imageRefusal(const ProgrammerState& state, const Target& target);

}  // namespace veskator
