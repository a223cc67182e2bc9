#pragma once
// The process-wide state: the parameter workspace, the working copies of the option bytes, the
// requests that windows leave for the link engine, and what the engine publishes. One object,
// owned by the application and handed to every window and to the engine.

#include <array>
#include <bitset>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>

#include "link/command_frame.h"
#include "link/main_fields.h"
#include "link/parameter_workspace.h"
#include "platform/clock.h"

namespace veskator {

inline constexpr std::size_t kAlarmCodeBufferSize = 10000;
inline constexpr std::size_t kGeneralReplySize = 130;

// How an exchange ends once its frame has been sent.
enum class ExchangeType {
    BlockWrite,   // an image block, built from the image when sent; no reply
    RemoteReset,  // "$remotereset$"; no reply
    Chunk,        // a ready-made chunk frame; no reply
    Status,       // "gpcommandr1" and other general commands: one reply
    Pairing,      // the bridge pairing frame: its answer, if any, is logged
};

struct QueuedExchange {
    ExchangeType type = ExchangeType::BlockWrite;
    int block = 0;  // BlockWrite: image block
    CommandCode code = 0;
    FrameBuffer frame{};  // Chunk, Status, Pairing: the frame as requested
    int length = 0;
    int attempts = 0;
};

// The texts of the main window that the link engine and the file functions write.
struct MainTexts {
    std::string traceBox;       // edit 1073
    std::string messageWindow;  // edit 1061
    std::string downloadLine;   // edit 1108
    std::string linkError;      // the status line's error text
    std::string notice;         // the status line's word on the user's last action
};

class LinkRequests {
  public:
    // Writes image block k (0..7). A write of the same block still waiting coalesces with it: the
    // frame is built from the image when it is sent, so every change made by then goes along.
    void requestBlockWrite(int block);
    // A single exchange by command code: write codes become block writes; "$remotereset$",
    // "gpcommandr1" and the like are queued with their frame.
    void requestExchange(CommandCode code);
    // A 146-byte chunk for device blocks outside the image (dialer upload).
    void requestChunk(std::span<const std::uint8_t, kBlockSize> source, int blockNumber);
    // The bridge pairing frame, sent as it is. False, and nothing queued, when it does not fit
    // the frame buffer: a frame cut short would lose its closing carriage return.
    bool requestPairing(std::span<const std::uint8_t> frame);

    // Whether a status request is in flight: one at a time is enough, since each asks for the
    // latest state.
    void setStatusInFlight(bool inFlight) { m_statusInFlight = inFlight; }

    bool empty() const { return m_queue.empty(); }
    std::size_t size() const { return m_queue.size(); }
    const std::deque<QueuedExchange>& queue() const { return m_queue; }
    std::deque<QueuedExchange>& queue() { return m_queue; }

  private:
    std::deque<QueuedExchange> m_queue;
    bool m_statusInFlight = false;
};

struct ProgrammerState {
    ParameterWorkspace workspace;
    // Working copies of A0 0x1f, A1 0x3f, A1 0x3d, A1 0x38, in OptionByte order.
    std::array<std::uint8_t, 4> optionCopies{};
    // False until a full read has completed or a parameter file has been loaded: until then the
    // image holds no device data and no block of it may be written.
    bool imageHoldsDeviceData = false;

    int disclaimerAccepted = 0;
    int loadConfirmPending = 0;

    // Requests served by the link engine.
    LinkRequests requests;
    int readAllRequest = 0;
    CommandCode readIndex = 0;  // command code of the next read: 0..9, then 40..93
    int imageCursor = 0;        // where the next read reply goes in the receive area
    int writeAllRequest = 0;
    int writeAllBlock = 0;  // the next block of the write of all blocks
    // Bumped by every start of a job: an exchange of an earlier start is dropped, never stored
    // or counted as part of the new one.
    int readGeneration = 0;
    int writeAllGeneration = 0;
    int alarmCodeGeneration = 0;
    int remoteResetRequest = 0;
    // When each deferred commit falls due: one second after the field's last keystroke.
    std::array<std::optional<Clock::TimePoint>, static_cast<std::size_t>(FieldCommit::Count)>
        commitDue{};
    int alarmCodeChunk = 0;  // 0: no download; 63 asks for one starting at chunk 64
    std::array<std::uint8_t, kAlarmCodeBufferSize> alarmCodeBuffer{};
    std::size_t alarmCodeSource = 0;

    // Image blocks whose write was given up; each is written again once the device answers.
    std::bitset<kBlockCount> unwrittenBlocks;

    // Published by the link engine.
    int refreshRequest = 0;
    // Set when sending rewrote an image byte (13 goes out as 12): the working copies and the
    // windows' options must follow the image again.
    int imageRewritten = 0;
    std::array<std::uint8_t, kGeneralReplySize> generalReply{};
    int loopStatus1 = 0;
    int loopStatus2 = 0;
    int loopStatusReady = 0;

    MainTexts texts;

    std::uint8_t& optionCopy(OptionByte b) { return optionCopies[static_cast<int>(b)]; }
    void setFieldCommit(FieldCommit c, Clock::TimePoint due) {
        commitDue[static_cast<std::size_t>(c)] = due;
    }
    bool commitPending(FieldCommit c) const {
        return commitDue[static_cast<std::size_t>(c)].has_value();
    }
    int pendingCommits() const;
    // Edits not yet committed are given up (a loaded file replaces the image they were for).
    void dropDeviceCommits();
    // Loads the working copies of the option bytes from the image.
    void reloadOptionCopies();

    // "Start/Go": a full read from unit 0; a read already running is dropped and begun again.
    void startFullRead();
    void stopFullRead();
    // After a load: all eight blocks from A0, whatever an earlier write of all blocks had done.
    void startWriteAll();
    // A download of the alarm-code buffer from chunk 64.
    void startAlarmCode();
};

}  // namespace veskator
