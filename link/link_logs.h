#pragma once
// The two link logs: the exchange log "./temp1.txt", made anew for every connection, and the
// received-data log "./tempreceiveddata.txt", kept open for the whole run. Failures to write
// either are ignored: a log never stops an exchange.

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "platform/file_system.h"

namespace veskator {

inline constexpr std::string_view kExchangeLogPath = "./temp1.txt";
inline constexpr std::string_view kReceiveLogPath = "./tempreceiveddata.txt";

class ExchangeLog {
  public:
    void open(FileSystem& files);
    void close() { m_file.reset(); }
    void append(std::span<const std::uint8_t> bytes);
    void append(std::string_view text);

  private:
    std::unique_ptr<File> m_file;
};

class ReceiveLog {
  public:
    void setFile(std::unique_ptr<File> file) { m_file = std::move(file); }
    // One record per read reply: CR, LF, "/", the count in decimal, "/", the bytes.
    void record(std::span<const std::uint8_t> reply);

  private:
    std::unique_ptr<File> m_file;
};

}  // namespace veskator
