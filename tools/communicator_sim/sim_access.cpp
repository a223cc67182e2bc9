// What tests and the program ask of a running simulator, and what they change in it: every
// member here may be called from any thread, so each takes the lock.

#include <algorithm>
#include <array>
#include <cstdio>

#include "tools/communicator_sim/communicator_sim.h"

namespace veskator::sim {

const char* eventKindName(SimEvent::Kind kind) {
    switch (kind) {
        case SimEvent::Kind::Accepted:
            return "Accepted";
        case SimEvent::Kind::Read:
            return "Read";
        case SimEvent::Kind::BlockWrite:
            return "BlockWrite";
        case SimEvent::Kind::ChunkWrite:
            return "ChunkWrite";
        case SimEvent::Kind::RemoteReset:
            return "RemoteReset";
        case SimEvent::Kind::Status:
            return "Status";
        case SimEvent::Kind::Pairing:
            return "Pairing";
        case SimEvent::Kind::Unknown:
            return "Unknown";
        case SimEvent::Kind::Closed:
            return "Closed";
    }
    return "?";
}

std::string describeEvent(const SimEvent& event) {
    std::string line = "#";
    line.append(std::to_string(event.connection)).append(" ").append(eventKindName(event.kind));
    if (!event.text.empty() || event.kind == SimEvent::Kind::Unknown) {
        line += " \"";
        for (const char c : event.text) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte >= 0x20 && byte < 0x7f) {
                line += c;
            } else {
                std::array<char, 8> hex{};
                std::snprintf(hex.data(), hex.size(), "\\x%02X", byte);
                line += hex.data();
            }
        }
        line += "\"";
    }
    switch (event.kind) {
        case SimEvent::Kind::Read:
            line.append(" unit ").append(std::to_string(event.number));
            break;
        case SimEvent::Kind::BlockWrite:
        case SimEvent::Kind::ChunkWrite:
            line.append(" block ").append(std::to_string(event.number));
            break;
        default:
            break;
    }
    return line;
}

std::vector<SimEvent> CommunicatorSim::events() const {
    std::lock_guard lock(m_mutex);
    return m_events;
}

void CommunicatorSim::clearEvents() {
    std::lock_guard lock(m_mutex);
    m_events.clear();
}

bool CommunicatorSim::waitFor(const std::function<bool(const std::vector<SimEvent>&)>& pred,
                              std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return pred(m_events); });
}

SimMemory CommunicatorSim::memory() const {
    std::lock_guard lock(m_mutex);
    return m_memory;
}

void CommunicatorSim::setMemory(const SimMemory& memory) {
    std::lock_guard lock(m_mutex);
    m_memory = memory;
}

void CommunicatorSim::setBytes(std::size_t offset, std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(m_mutex);
    if (offset >= m_memory.size()) {
        return;
    }
    const std::size_t count = std::min(bytes.size(), m_memory.size() - offset);
    std::copy_n(bytes.begin(), count, m_memory.begin() + static_cast<std::ptrdiff_t>(offset));
}

void CommunicatorSim::setFault(FaultMode mode) {
    std::lock_guard lock(m_mutex);
    m_config.fault = mode;
}

void CommunicatorSim::setCorruptOnWrite(int block, bool firstWriteOnly) {
    std::lock_guard lock(m_mutex);
    m_config.fault = FaultMode::CorruptOnWrite;
    m_config.corruptBlock = block;
    m_config.corruptFirstWriteOnly = firstWriteOnly;
    m_corrupted = false;
}

FaultMode CommunicatorSim::fault() const {
    std::lock_guard lock(m_mutex);
    return m_config.fault;
}

void CommunicatorSim::setLoopStatus(std::uint8_t loop1, std::uint8_t loop2) {
    std::lock_guard lock(m_mutex);
    m_config.loop1 = loop1;
    m_config.loop2 = loop2;
}

int CommunicatorSim::connectionCount() const {
    std::lock_guard lock(m_mutex);
    return m_connectionCount;
}

int CommunicatorSim::openConnections() const {
    std::lock_guard lock(m_mutex);
    return m_connectionCount - m_closedCount;
}

int CommunicatorSim::remoteResetCount() const {
    std::lock_guard lock(m_mutex);
    return m_remoteResetCount;
}

}  // namespace veskator::sim
