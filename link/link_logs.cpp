#include "link/link_logs.h"

#include <string>

namespace veskator {

void LinkLogFiles::start() {
    m_received = m_files.open(kReceiveLogPath, FileOpen::CreateEmpty, FileAccess::OwnerOnly);
}

void LinkLogFiles::beginExchange() {
    m_exchange = m_files.open(kExchangeLogPath, FileOpen::CreateEmpty, FileAccess::OwnerOnly);
}

void LinkLogFiles::logExchange(std::span<const std::uint8_t> bytes) {
    if (m_exchange) m_exchange->write(bytes);
}

void LinkLogFiles::logReceived(std::span<const std::uint8_t> reply) {
    if (!m_received) return;
    const std::string head = "\r\n/" + std::to_string(reply.size()) + "/";
    m_received->write(std::span(reinterpret_cast<const std::uint8_t*>(head.data()), head.size()));
    m_received->write(reply);
}

}  // namespace veskator
