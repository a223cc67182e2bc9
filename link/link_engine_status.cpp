// What the link engine publishes of itself, and what it refuses to send.

#include <algorithm>

#include "link/link_engine.h"
#include "model/dialer_data.h"

namespace veskator {

Refusal imageRefusal(const ProgrammerState& state, const Target& target) {
    if (state.holdsDataOf(target)) return Refusal::None;
    return state.holdsDeviceData() ? Refusal::TargetChanged : Refusal::NoDeviceData;
}

bool LinkEngine::mayWriteImage(const LinkJob& job) {
    const Refusal refusal = imageRefusal(m_state, job.target());
    if (refusal == Refusal::None) return true;
    m_status.refusal = refusal;
    ++m_status.refusals;
    return false;
}

void LinkEngine::publish() {
    switch (m_phase) {
        case Phase::Idle:
            m_status.state = LinkState::Idle;
            break;
        case Phase::Send:
            m_status.state = LinkState::Send;
            break;
        case Phase::AwaitReply:
            m_status.state = LinkState::AwaitReply;
            break;
        case Phase::Close:
            m_status.state = LinkState::Close;
            break;
        default:
            m_status.state = LinkState::Connect;
            break;
    }
    m_status.job = m_active ? m_active->kind() : JobKind::None;
    publishTransfers();
}

void LinkEngine::publishTransfers() {
    std::vector<Transfer>& transfers = m_status.transfers;
    transfers.clear();
    if (m_read) {
        transfers.push_back(
            {TransferKind::FullRead, m_read->unitsRead(), kReadUnitCount, m_read->unitsRead()});
    }
    if (m_alarm) {
        const int chunks = kLastAlarmChunk - kFirstAlarmChunk + 1;
        transfers.push_back({TransferKind::AlarmCode, m_alarm->nextChunk() - kFirstAlarmChunk,
                             chunks, m_alarm->nextChunk()});
    }
    if (m_writeAll) transfers.push_back(m_writeAll->progress());
    m_status.dialer.running = m_dialer != nullptr;
    if (m_dialer) {
        DialerProgress& dialer = m_status.dialer;
        dialer.nextChunk = m_dialer->nextChunk();
        dialer.chunksToSend = m_dialer->chunksToSend();
        const auto list = m_dialer->list();
        const auto area = m_state.workspace.dialerDataArea();
        dialer.listChanged = !std::equal(list.begin(), list.end(), area.begin());
        transfers.push_back({TransferKind::DialerUpload, dialer.nextChunk,
                             std::max(dialer.chunksToSend, dialer.nextChunk + 1),
                             dialer.nextChunk});
    }
}

}  // namespace veskator
