#pragma once
// What the link engine tells every window: where the exchange stands, the transfers under way and
// how far each has come, how the last load ended, what was refused or failed, the device's live
// loop states, and the two texts the engine writes (the trace, the download line). All of it is
// values; the windows put it into words. Windows read it; they never steer the engine through it.

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/field_rules.h"
#include "model/parameter_workspace.h"

namespace veskator {

// The values are the device programmer's classic state numbers; 4 was never one of them.
enum class LinkState { Idle = 0, Connect = 1, Send = 2, AwaitReply = 3, Close = 5 };

enum class JobKind {
    None,
    BlockWrite,
    RemoteReset,
    Status,
    Chunk,
    Pairing,
    AlarmCodeDownload,
    DialerUpload,
    WriteAll,
    FullRead,
};

inline constexpr std::size_t kGeneralReplySize = 130;

struct LoopStatus {
    int loop1 = 0;       // byte 6 of the status reply, sign-extended
    int loop2 = 0;       // byte 7
    bool ready = false;  // set by the first status reply, never cleared
};

// The long jobs, in the order a window names them when several are under way.
enum class TransferKind { FullRead, AlarmCode, WriteAll, DialerUpload };

// A write of all blocks writes, then reads back, then writes again what differed.
enum class WriteStage { Writing, ReadingBack, Rewriting };

struct Transfer {
    TransferKind kind = TransferKind::FullRead;
    int done = 0;   // units read, blocks written (or read back), chunks sent
    int total = 0;  // of them in all (a dialer upload: as the list stands)
    int at = 0;     // the unit, block or chunk under way
    WriteStage stage = WriteStage::Writing;
    bool readsBack = false;  // a write of all blocks that reads them back
};

// The dialer upload as every window sees it. Each upload has a number of its own, so a window
// tells a new upload from the one it has been following.
struct DialerProgress {
    enum class End { None, Completed, Stopped };
    int upload = 0;  // the number of the current or last upload; 0: none yet
    bool running = false;
    int nextChunk = 0;     // the chunk that goes next (0..32)
    int chunksToSend = 0;  // the whole upload, of the list as it stood when it started
    int chunksSent = 0;    // chunks that reached the device
    // The list and schedule in the workspace are no longer the ones the upload sends.
    bool listChanged = false;
    End end = End::None;  // how the last upload ended, until the next one starts
    int stoppedAt = -1;   // Stopped: the chunk that never reached the device
    std::string failure;  // why
};

// The bridge pairing frame of the last press.
struct PairingOutcome {
    enum class Result {
        Answered,  // the frame went out and the bridge answered
        NoAnswer,  // the frame went out once; no answer came within its bound
        NotSent,   // the frame never went out
    };
    Result result = Result::NotSent;
    std::string answer;  // what the bridge answered (bounded)
    std::string reason;  // NotSent: why, in the link's words
};

// How a write of all blocks (a load), or of the blocks a change touched, ended.
struct LoadOutcome {
    enum class Stop {
        None,
        Writing,      // a block never reached the device: it and the blocks after it were not
                      // written
        ReadBack,     // the read-back broke off
        Rewriting,    // writing again what differed broke off
        Interrupted,  // the run was interrupted: no block was begun after that
    };
    bool readBack = false;
    std::bitset<kBlockCount> blocks;     // the blocks to write
    std::bitset<kBlockCount> written;    // those whose frame reached the device
    std::bitset<kBlockCount> verified;   // read back as written
    std::bitset<kBlockCount> differing;  // read back different (after the second write too)
    std::bitset<kBlockCount> broken;  // without read-back: the frame went out, the exchange broke
    Stop stop = Stop::None;
    int stoppedAt = 0;   // Stop::Writing: the first block not written
    std::string reason;  // why it stopped, in the link's words

    // The device holds every block as the image had it, as far as the load could tell.
    bool complete() const {
        return stop == Stop::None && broken.none() && (!readBack || verified == blocks);
    }
};

// Why the engine would not send something asked of it.
enum class Refusal {
    None,
    NoDeviceData,   // the image holds zeros: nothing read or loaded yet
    TargetChanged,  // the image is another device's
};

// Written by the engine alone.
struct LinkTexts {
    std::string trace;     // the connection trace: "1", "2", "3", the greeting, "socket closed1"
    std::string download;  // the alarm-code download's progress
    // Counters that move with every change, so that a window knows when the link has spoken.
    int traceChanges = 0;
    int downloadChanges = 0;
};

// "A0 A3" for the blocks set.
std::string blockList(const std::bitset<kBlockCount>& blocks);

struct LinkStatus {
    LinkState state = LinkState::Idle;
    JobKind job = JobKind::None;  // what the exchange under way serves
    // The transfers under way, in TransferKind order: the first is the one a window shows.
    std::vector<Transfer> transfers;
    DialerProgress dialer;
    // False after every attempt of an exchange failed before anything reached the device; true
    // again with the next exchange that goes through.
    bool deviceAnswering = true;
    std::string lastError;
    // How the last write of all blocks ended; none again with the next load or full read.
    std::optional<LoadOutcome> lastLoad;
    // The last request refused, until the next full read.
    Refusal refusal = Refusal::None;
    // Image bytes of 13 that went out as 12 (block and offset), since the last full read.
    std::vector<ImagePlace> rewritten;
    std::optional<PairingOutcome> pairing;
    // Image blocks whose write was given up; each is written again once the device answers.
    std::bitset<kBlockCount> unwrittenBlocks;
    LoopStatus loops;
    std::array<std::uint8_t, kGeneralReplySize> generalReply{};
    // Counters that move once per event, so any number of windows can each notice it once.
    int readsCompleted = 0;  // a full read filled the receive area
    int loadsFinished = 0;   // a write of all blocks ended (lastLoad says how)
    int imageRewrites = 0;   // sending turned an image byte of 13 into 12
    int refusals = 0;        // a request was refused (refusal says why)
    int pairingsEnded = 0;   // a pairing frame's exchange ended (pairing says how)

    const Transfer* transfer(TransferKind kind) const;
    bool busyWith(TransferKind kind) const { return transfer(kind) != nullptr; }
};

}  // namespace veskator
