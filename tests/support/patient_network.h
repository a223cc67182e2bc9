#pragma once
// Test support shared by the test programs that talk to the simulator over loopback.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/network.h"

namespace veskator::test_support {

// Real sockets, with one allowance for virtual time. A reply on loopback normally comes within a
// tick or two, and the engine then polls for it across ticks as it would on a real network. But
// if the engine has waited kGrace of virtual time for an answer the peer owes it (the greeting
// after connecting, a reply after a frame) and none is there, the socket gives the peer up to
// `patience` of real time before reporting that nothing came: so a busy machine never turns into
// a virtual reply timeout, while a silent peer still costs the engine its full virtual bound.
// The grace counts from the last piece received, so a reply that comes in pieces is given it
// after each piece.
class PatientNetwork final : public Network {
  public:
    static constexpr std::chrono::milliseconds kGrace{500};

    PatientNetwork(Network& inner, const Clock& clock) : m_inner(inner), m_clock(clock) {}
    void setPatience(std::chrono::milliseconds patience) { m_patience = patience; }
    // Sockets made and not yet closed: while there are none, virtual time needs no real yield.
    int openSockets() const { return *m_open; }

    std::unique_ptr<HostLookup> lookup(std::string_view hostName) override;
    std::unique_ptr<StreamSocket> connect(Ipv4Address address, std::uint16_t port) override;

  private:
    Network& m_inner;
    const Clock& m_clock;
    std::chrono::milliseconds m_patience{250};
    std::shared_ptr<int> m_open = std::make_shared<int>(0);
};

// A fresh temporary directory, named after `prefix`.
std::filesystem::path makeTempDir(std::string_view prefix);
// Bytes as text, for comparisons that print readably.
std::string textOf(std::span<const std::uint8_t> bytes);

}  // namespace veskator::test_support
