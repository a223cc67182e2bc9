#include "link/programmer_state.h"

#include <algorithm>

namespace veskator {

void LinkRequests::requestBlockWrite(int block) {
    if (block < 0 || block >= kBlockCount) return;
    const bool waiting = std::any_of(m_queue.begin(), m_queue.end(), [&](const QueuedExchange& e) {
        return e.type == ExchangeType::BlockWrite && e.block == block;
    });
    if (waiting) return;
    QueuedExchange e;
    e.type = ExchangeType::BlockWrite;
    e.block = block;
    e.code = writeCodeForBlock(block);
    m_queue.push_back(e);
}

void LinkRequests::requestExchange(CommandCode code) {
    if (const int block = blockOfWriteCode(code); block >= 0) {
        requestBlockWrite(block);
        return;
    }
    QueuedExchange e;
    e.code = code;
    if (code == kCodeRemoteReset) {
        // One pending reset is enough: it restarts the device after everything before it.
        const bool waiting = std::any_of(m_queue.begin(), m_queue.end(), [](const auto& q) {
            return q.type == ExchangeType::RemoteReset;
        });
        if (waiting) return;
        e.type = ExchangeType::RemoteReset;
    } else {
        // Status requests ask for the latest state: one waiting or in flight is enough.
        const bool waiting =
            m_statusInFlight || std::any_of(m_queue.begin(), m_queue.end(), [&](const auto& q) {
                return q.type == ExchangeType::Status && q.code == code;
            });
        if (waiting) return;
        e.type = ExchangeType::Status;
    }
    // Frames without an image block never read the workspace.
    ParameterWorkspace unused;
    e.length = BuildCommandFrame(e.frame, code, unused);
    m_queue.push_back(e);
}

void LinkRequests::requestChunk(std::span<const std::uint8_t, kBlockSize> source, int blockNumber) {
    QueuedExchange e;
    e.type = ExchangeType::Chunk;
    e.block = blockNumber;
    e.length = BuildChunkFrame(e.frame, source, blockNumber);
    m_queue.push_back(e);
}

bool LinkRequests::requestPairing(std::span<const std::uint8_t> frame) {
    QueuedExchange e;
    if (frame.size() > e.frame.size()) return false;
    e.type = ExchangeType::Pairing;
    e.length = static_cast<int>(frame.size());
    std::copy(frame.begin(), frame.end(), e.frame.begin());
    m_queue.push_back(e);
    return true;
}

int ProgrammerState::pendingCommits() const {
    return static_cast<int>(std::count_if(commitDue.begin(), commitDue.end(),
                                          [](const auto& due) { return due.has_value(); }));
}

void ProgrammerState::startFullRead() {
    readAllRequest = 1;
    readIndex = 0;
    imageCursor = 0;
    ++readGeneration;
}

void ProgrammerState::stopFullRead() {
    readAllRequest = 0;
    readIndex = 0;
    ++readGeneration;
}

void ProgrammerState::startWriteAll() {
    writeAllRequest = 1;
    writeAllBlock = 0;
    ++writeAllGeneration;
}

void ProgrammerState::dropDeviceCommits() {
    for (const CommitRow& row : kCommitOrder) {
        if (row.firstBlock >= 0) commitDue[static_cast<std::size_t>(row.commit)].reset();
    }
}

void ProgrammerState::startAlarmCode() {
    ++alarmCodeGeneration;
    alarmCodeSource = 0;
    alarmCodeChunk = kFirstAlarmChunk - 1;
}

void ProgrammerState::reloadOptionCopies() {
    const auto image = workspace.image();
    for (std::size_t i = 0; i < kOptionBytePlaces.size(); ++i) {
        optionCopies[i] = image[imageOffset(kOptionBytePlaces[i])];
    }
}

}  // namespace veskator
