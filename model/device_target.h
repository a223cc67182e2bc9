#pragma once
// A device on the network as the technician names it: a host name or dotted address, and a port.

#include <cstdint>
#include <string>
#include <string_view>

namespace veskator {

struct Target {
    std::string host;
    std::uint16_t port = 0;
    // "host:port", as the command line and the status texts name a device.
    std::string text() const { return host + ":" + std::to_string(port); }
};

// Whether two targets name the same device as typed: blanks around the host and the case of its
// letters do not matter, the port does. Two names of one host ("localhost", "127.0.0.1") are two
// targets here; the command line compares looked-up addresses where it must.
bool sameDevice(const Target& a, const Target& b);

// The host without blanks around it.
std::string_view trimmedHost(std::string_view host);

}  // namespace veskator
