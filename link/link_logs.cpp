#include "link/link_logs.h"

#include <string>

namespace veskator {

void ExchangeLog::open(FileSystem& files) {
    m_file = files.open(kExchangeLogPath, FileOpen::CreateEmpty);
}

void ExchangeLog::append(std::span<const std::uint8_t> bytes) {
    if (m_file) m_file->write(bytes);
}

void ExchangeLog::append(std::string_view text) {
    append(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void ReceiveLog::record(std::span<const std::uint8_t> reply) {
    if (!m_file) return;
    const std::string head = "\r\n/" + std::to_string(reply.size()) + "/";
    m_file->write(std::span(reinterpret_cast<const std::uint8_t*>(head.data()), head.size()));
    m_file->write(reply);
}

}  // namespace veskator
