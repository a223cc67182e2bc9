#pragma once
// What the link engine tells every window: where the exchange stands, which job it serves and how
// far that job has come, what failed, the device's live loop states, and the three texts the
// engine writes (the trace, the message, the download line). Windows read it; they never steer
// the engine through it.

#include <array>
#include <bitset>
#include <cstdint>
#include <string>

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

// The dialer upload as every window sees it. Each upload has a number of its own, so a window
// tells a new upload from the one it has been following.
struct DialerProgress {
    int upload = 0;  // the number of the current or last upload; 0: none yet
    bool running = false;
    int nextChunk = 0;     // the chunk that goes next (0..32)
    int chunksToSend = 0;  // the whole upload as the list stands now (it may still be edited)
    int chunksSent = 0;    // chunks whose frame has gone out for the first time
    int firstFailed = -1;  // the first chunk given up, -1 when none
    std::string failure;   // why it was given up
};

// Written by the engine; a window may write them too (its prompts, the disclaimer), and the
// engine's next words replace or extend what stands there.
struct LinkTexts {
    std::string trace;     // the connection trace: "1", "2", "3", the greeting, "socket closed1"
    std::string message;   // results of a write of all blocks
    std::string download;  // the alarm-code download's progress
};

// "A0 A3" for the blocks set.
std::string blockList(const std::bitset<kBlockCount>& blocks);

struct LinkStatus {
    LinkState state = LinkState::Idle;
    JobKind job = JobKind::None;  // what the exchange under way serves
    bool fullReadPending = false;
    bool writeAllPending = false;
    bool alarmDownloadPending = false;
    int unitsRead = 0;               // of the full read under way
    int writeAllBlock = 0;           // the block the write of all blocks writes or reads back next
    bool writeAllReadsBack = false;  // the blocks are read back once written
    bool writeAllReadingBack = false;  // it reads the written blocks back
    bool writeAllRewriting = false;    // it writes blocks again that differed on the device
    int alarmChunk = 0;                // the next alarm-code chunk (64..140)
    DialerProgress dialer;
    // False after every attempt of an exchange failed before anything reached the device; true
    // again with the next exchange that goes through.
    bool deviceAnswering = true;
    std::string lastError;
    std::string notice;  // the engine's word on something the user should know (a rewritten byte)
    // How the last write of all blocks ended ("loading completed, 8 of 8 blocks verified"); empty
    // again with the next load or full read.
    std::string lastLoad;
    // Image blocks whose write was given up; each is written again once the device answers.
    std::bitset<kBlockCount> unwrittenBlocks;
    LoopStatus loops;
    std::array<std::uint8_t, kGeneralReplySize> generalReply{};
    // Counters that move once per event, so any number of windows can each notice it once.
    int readsCompleted = 0;  // a full read filled the receive area
    int imageRewrites = 0;   // sending turned an image byte of 13 into 12
};

}  // namespace veskator
