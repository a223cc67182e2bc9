#pragma once
// The link engine: the only code that talks to the device. It runs on the main window's timer,
// one exchange at a time, without ever blocking the window thread.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "link/link_logs.h"
#include "link/programmer_state.h"
#include "platform/clock.h"
#include "platform/control_values.h"
#include "platform/file_system.h"
#include "platform/network.h"

namespace veskator {

// How long each step of an exchange may take, and how often it is tried.
inline constexpr std::chrono::milliseconds kPauseAfterConnect{1000};  // the device needs it
inline constexpr std::chrono::milliseconds kLookupTimeout{5000};
inline constexpr std::chrono::milliseconds kConnectTimeout{5000};  // counted from the connect
inline constexpr std::chrono::milliseconds kGreetingTimeout{5000};
inline constexpr std::chrono::milliseconds kSendTimeout{5000};
inline constexpr std::chrono::milliseconds kReplyTimeout{1000};
inline constexpr std::chrono::milliseconds kAddressSavePause{200};
inline constexpr int kMaxResends = 2;   // a frame is sent at most three times on one connection
inline constexpr int kMaxAttempts = 3;  // connections tried for one block, chunk, unit or request
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
inline constexpr std::string_view kTextReadFirst = "read the device first (Start/Go)";
inline constexpr std::string_view kTextLoadingCompleted = "loading completed";
inline constexpr std::string_view kTextFileEnd = "fileend";
inline constexpr std::string_view kErrorSocket = "socket creation problem";
inline constexpr std::string_view kErrorConnect = "connect failed";
inline constexpr std::string_view kErrorNoGreeting = "no greeting from device";
inline constexpr std::string_view kErrorNoReply = "no reply from device";
inline constexpr std::string_view kErrorClosed = "connection closed by device";
inline constexpr std::string_view kErrorSend = "could not send to device";

// Why an attempt failed. The first five mean nothing reached the device: a job that writes stops
// there rather than write what follows over a device that is not listening.
enum class Failure {
    Socket,
    Connect,            // refused, unreachable, look-up or connect bound
    NoGreeting,         // connected, but no greeting line within its bound
    ClosedBeforeSend,   // dropped before the frame went out
    SendStalled,        // the frame could not be sent within its bound
    NoReply,            // the frame went out, the answer did not come
    ClosedMidExchange,  // the frame went out, then the connection dropped
};

constexpr bool nothingReachedDevice(Failure f) {
    return f != Failure::NoReply && f != Failure::ClosedMidExchange;
}

// The link state as the rest of the program sees it.
enum class LinkState { Idle = 0, Connect = 1, Send = 2, AwaitReply = 3, Close = 5 };

class LinkEngine {
  public:
    LinkEngine(ProgrammerState& state, Network& network, FileSystem& files, const Clock& clock);
    ~LinkEngine();
    LinkEngine(const LinkEngine&) = delete;
    LinkEngine& operator=(const LinkEngine&) = delete;

    // One tick of the main window's timer. `fields` are the main window's values: the target
    // address (1020) and port (1058), and the texts of the fields to commit.
    void tick(const ControlValues& fields);

    // Copies the texts of the deferred commits into the image and queues their writes: those due
    // by now, or every pending one (before a save, or when the window closes).
    enum class Commits { Due, All };
    void takeFieldCommits(const ControlValues& fields, Commits which);

    // Asked for an early tick when the socket may have data, so replies are taken at once.
    void setTickSoon(std::function<void()> tickSoon) { m_tickSoon = std::move(tickSoon); }
    // The received-data log, created at start-up and kept open for the whole run.
    void setReceiveLog(std::unique_ptr<File> log) { m_receiveLog.setFile(std::move(log)); }

    LinkState linkState() const;
    bool idle() const { return m_phase == Phase::Idle; }
    // Units of the running full read stored so far (0..64).
    int unitsRead() const;
    // Writes still to go to the device: queued and in flight, the rest of a write of all blocks,
    // and a running download counted as one.
    int pendingWrites() const;
    // False after every attempt of an exchange failed before anything reached the device; true
    // again with the next exchange that goes through.
    bool deviceAnswering() const { return m_deviceAnswering; }

  private:
    enum class Phase { Idle, Resolving, Connecting, Pausing, Greeting, Send, AwaitReply, Close };
    enum class Job { None, Queued, AlarmChunk, WriteAll, FullRead };
    enum class Drain { Empty, More, Closed };

    void saveTargetFiles(const ControlValues& fields);
    void dropStaleJob();
    bool step(const ControlValues& fields);
    bool startNextExchange(const ControlValues& fields);
    bool chooseJob();
    bool stepResolving();
    bool stepConnecting();
    bool stepPausing();
    bool stepGreeting();
    bool stepSend();
    bool stepAwaitReply();
    void enterSend();
    Drain drainInput();
    void prepareFrame();
    void buildBlockFrame(int block);
    void takeReadReply(std::span<const std::uint8_t> bytes);
    void takeGeneralReply(std::span<const std::uint8_t> bytes);
    void finishExchange();
    void failExchange(Failure failure, std::string_view reason);
    void failQueued(Failure failure, std::string_view reason);
    void failWriteAll(Failure failure, std::string_view reason);
    void closeConnection();
    bool writesWaiting() const;
    void advanceWriteAll();
    void appendTrace(std::span<const std::uint8_t> bytes);
    void onReadable();

    ProgrammerState& m_state;
    Network& m_network;
    FileSystem& m_files;
    const Clock& m_clock;
    std::function<void()> m_tickSoon;

    Phase m_phase = Phase::Idle;
    Job m_job = Job::None;
    int m_jobGeneration = 0;   // the read's or write-all's generation this exchange belongs to
    QueuedExchange m_current;  // the exchange in flight when m_job is Queued
    std::string m_targetAddress;
    std::uint16_t m_port = 0;
    std::unique_ptr<HostLookup> m_lookup;
    std::unique_ptr<StreamSocket> m_socket;
    Clock::TimePoint m_deadline{};
    ExchangeLog m_exchangeLog;
    ReceiveLog m_receiveLog;

    FrameBuffer m_frame{};
    int m_frameLength = 0;
    int m_frameUnit = 0;  // the unit whose read frame is in the buffer
    int m_sent = 0;
    int m_resends = 0;
    bool m_drained = false;  // the socket was emptied before this frame
    std::size_t m_greetingBytes = 0;
    std::array<std::uint8_t, kReadUnitSize> m_unit{};
    std::size_t m_gathered = 0;

    int m_chunkAttempts = 0;
    int m_alarmSeen = -1;  // generation of the download m_chunkAttempts counts for
    int m_writeAllAttempts = 0;
    int m_writeAllSeen = -1;       // generation of the write of all blocks m_writeAllFailed is for
    std::string m_writeAllFailed;  // blocks that could not be written, e.g. "A3 A5"
    int m_readAttempts = 0;
    bool m_endMark = false;  // the chunk in the buffer holds "??"
    bool m_endedThisTick = false;
    bool m_deviceAnswering = true;

    std::optional<Clock::TimePoint> m_addressSaveAt;
};

// The port as the device's socket library reads it: leading decimal digits after optional blanks
// and a sign, modulo 65536; 0 when there are none.
std::uint16_t parsePort(std::string_view text);

}  // namespace veskator
