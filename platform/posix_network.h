#pragma once
// The network over POSIX sockets, for programs without an event loop (the headless tests, tools
// run from a shell): look-ups on a worker thread, non-blocking IPv4 connections, and nothing
// but polling. It reports no readiness: there is no loop to report it through, and the seam lets
// owners live by polling alone. The windowed program uses QtNetwork (platform/qt/qt_network.h).

#include "platform/network.h"

namespace veskator {

class PosixNetwork final : public Network {
  public:
    std::unique_ptr<HostLookup> lookup(std::string_view hostName) override;
    std::unique_ptr<StreamSocket> connect(Ipv4Address address, std::uint16_t port) override;
};

}  // namespace veskator
