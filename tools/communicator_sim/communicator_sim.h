// A simulated network alarm communicator that speaks the device's TCP text protocol on
// loopback: a greeting line per connection, 64-byte answers to "read program" frames, 128-byte
// block writes, "$remotereset$", the "gpcommandr1" live status and the bridge pairing line.
// Faults of real devices and networks can be switched on to exercise the programmer's link.
//
// One background thread serves the listening socket and the open connections with poll();
// every public member may be called from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "tools/communicator_sim/frame_reader.h"
#include "tools/communicator_sim/sim_memory.h"

namespace veskator::sim {

enum class FaultMode {
    None,
    Refuse,            // accept, then close at once without a greeting
    NoGreeting,        // accept and keep the connection, never greet, ignore what comes
    GreetingDelay,     // greet only after SimConfig::greetingDelay
    SplitReplies,      // send the greeting and every reply in three pieces, splitPause apart
    ShortReplies,      // answer reads with only the first shortReplyBytes bytes
    Silence,           // greet, then never answer anything
    DropAfterReplies,  // close a connection after dropAfterReplies read replies
    ExtraBytes,        // append extraBytes bytes of kExtraByteValue after every read reply
    // Hold the answer to the first read of SimConfig::lateUnit until that frame comes a second
    // time, then answer both, latePause apart, as a device working through its input would.
    // Once per simulator.
    AnswerLateOnce,
    EndlessGreeting,  // never greet: stream kEndlessGreetingBytes of printable text without a
                      // carriage return as fast as the socket takes them, then stay open and
                      // silent; ignore what comes
    GreetingCrLf,     // send the greeting up to and with its first CR, the rest splitPause
                      // later as a segment of its own, then serve normally; a greeting of
                      // 99 characters + "\r\n" thus sends its CR and LF apart
    StallSends,       // greet, then never read, so the peer's frames pile up in the socket
                      // buffers (the receive buffer is shrunk to fill sooner); loopback
                      // buffers take whole frames, so a sender stalls only once they are full
    // Store every write of block SimConfig::corruptBlock with byte kCorruptedByte of it flipped,
    // as a device with a failing memory cell would; the write is recorded as it came. With
    // SimConfig::corruptFirstWriteOnly only the first such write, once per simulator.
    CorruptOnWrite,
};

inline constexpr std::uint8_t kExtraByteValue = 0xEE;
// The byte of a block that CorruptOnWrite flips (all eight bits): in its second read unit.
inline constexpr std::size_t kCorruptedByte = 0x45;
// Per connection, so an EndlessGreeting peer that keeps reading cannot run away.
inline constexpr std::size_t kEndlessGreetingBytes = std::size_t{1} << 20;

struct SimEvent {
    enum class Kind {
        Accepted,
        Read,
        BlockWrite,  // parameter blocks A0..A7
        ChunkWrite,  // blocks from 8 on: dialer data and alarm-code chunks
        RemoteReset,
        Status,  // "gpcommandr1" (number 1) or "gpcommandr2" (number 2)
        Pairing,
        Unknown,
        Closed,
    };
    Kind kind = Kind::Unknown;
    int connection = 0;
    int number = -1;                 // unit of a read, block of a write, 1 or 2 for a status
    std::string text;                // command text, or the pairing line without its CR
    std::vector<std::uint8_t> data;  // written block bytes, or the raw frame otherwise
};

struct SimConfig {
    std::uint16_t port = 0;  // 0: any free port, see CommunicatorSim::port()
    FaultMode fault = FaultMode::None;
    std::chrono::milliseconds greetingDelay{1500};
    std::chrono::milliseconds splitPause{2};
    int dropAfterReplies = 3;
    int shortReplyBytes = 40;
    int extraBytes = 16;
    int lateUnit = 5;
    std::chrono::milliseconds latePause{20};
    int corruptBlock = 3;
    bool corruptFirstWriteOnly = false;
    std::uint8_t loop1 = 0x10;
    std::uint8_t loop2 = 0x00;
    std::string greeting = "NORVANE COMMUNICATOR READY\r\n";
    std::string pairingReply = "BT PAIRED\r";
    SimMemory memory = defaultMemory();
    bool verbose = false;  // print every event to stderr
    // Called on the simulator's thread after each event is recorded (not under any lock, so it
    // may call back into the simulator).
    std::function<void(const SimEvent&)> onEvent;
};

const char* eventKindName(SimEvent::Kind kind);
// One log line for an event: connection, kind, command text (unprintable bytes as \xNN), number.
std::string describeEvent(const SimEvent& event);

class CommunicatorSim {
  public:
    explicit CommunicatorSim(SimConfig config = {});
    ~CommunicatorSim();
    CommunicatorSim(const CommunicatorSim&) = delete;
    CommunicatorSim& operator=(const CommunicatorSim&) = delete;

    // Binds 127.0.0.1 at the configured port, listens and starts the thread.
    bool start();
    // Stops the thread and closes the listening socket and all connections.
    void stop();
    std::uint16_t port() const;

    std::vector<SimEvent> events() const;
    void clearEvents();
    // Waits until pred(events) holds or the timeout has passed; returns whether it held.
    bool waitFor(const std::function<bool(const std::vector<SimEvent>&)>& pred,
                 std::chrono::milliseconds timeout) const;

    SimMemory memory() const;
    void setMemory(const SimMemory& memory);
    // Copies `bytes` to `offset`; whatever would run past the end of memory is dropped.
    void setBytes(std::size_t offset, std::span<const std::uint8_t> bytes);

    void setFault(FaultMode mode);
    FaultMode fault() const;
    // Switches CorruptOnWrite on for `block`; a first-write-only corruption may happen again.
    void setCorruptOnWrite(int block, bool firstWriteOnly);
    void setLoopStatus(std::uint8_t loop1, std::uint8_t loop2);

    int connectionCount() const;
    // Connections accepted and not yet seen to end.
    int openConnections() const;
    int remoteResetCount() const;

  private:
    struct Connection;

    void run();
    void acceptConnection();
    bool serviceConnection(Connection& connection, short revents);
    void processFrames(Connection& connection);
    void handleFrame(Connection& connection, const Frame& frame);
    void queueReply(Connection& connection, std::vector<std::uint8_t> bytes);
    bool flush(Connection& connection);
    void closeConnection(Connection& connection);
    void record(SimEvent event);

    SimConfig m_config;  // fault settings and loops are guarded by m_mutex
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    SimMemory m_memory{};
    std::vector<SimEvent> m_events;
    int m_connectionCount = 0;
    int m_closedCount = 0;
    int m_remoteResetCount = 0;
    bool m_lateHeld = false;   // AnswerLateOnce has held its one answer back
    bool m_corrupted = false;  // CorruptOnWrite has corrupted a write

    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::atomic<std::uint16_t> m_port{0};
    int m_listenFd = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    std::vector<Connection> m_connections;  // touched by the thread only
};

}  // namespace veskator::sim
