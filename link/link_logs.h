#pragma once
// The link's two logs, given to the engine: the exchange log of each connection and the record of
// every read reply. The engine only hands them bytes; what keeps them (the programmer's two files,
// or nothing at all for a command-line run) is the owner's choice. Failures to keep a log never
// stop an exchange.

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "platform/file_system.h"

namespace veskator {

// Keeps nothing: the logs of a run that wants none.
class LinkLogs {
  public:
    virtual ~LinkLogs() = default;
    // A connection's exchange log: begun anew after the pause that follows connecting, ended with
    // the connection.
    virtual void beginExchange() {}
    virtual void logExchange(std::span<const std::uint8_t> /*bytes*/) {}
    virtual void endExchange() {}
    // One record per read reply.
    virtual void logReceived(std::span<const std::uint8_t> /*reply*/) {}

    void logExchange(std::string_view text) {
        logExchange(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
};

inline constexpr std::string_view kExchangeLogPath = "./temp1.txt";
inline constexpr std::string_view kReceiveLogPath = "./tempreceiveddata.txt";

// The programmer's logs: "./temp1.txt", made anew for every connection, and
// "./tempreceiveddata.txt", made empty by start() and kept open for the whole run. Both carry the
// device's settings, passwords included: they are readable by their owner only.
class LinkLogFiles final : public LinkLogs {
  public:
    explicit LinkLogFiles(FileSystem& files) : m_files(files) {}
    void start();
    void beginExchange() override;
    void logExchange(std::span<const std::uint8_t> bytes) override;
    void endExchange() override { m_exchange.reset(); }
    // CR, LF, "/", the count in decimal, "/", the bytes.
    void logReceived(std::span<const std::uint8_t> reply) override;

  private:
    FileSystem& m_files;
    std::unique_ptr<File> m_exchange;
    std::unique_ptr<File> m_received;
};

}  // namespace veskator
