#pragma once
// The network of the windowed program, over Qt's sockets: host names looked up by QHostInfo on
// Qt's own worker threads, IPv4 connections by QTcpSocket. Connects and look-ups progress only in
// the window thread's event loop, which the program runs between ticks; nothing here ever waits
// for them. Readiness is posted to the event loop, so that no owner's callback runs inside a
// call of its own. The sockets buffer within bounds both ways: they are unbuffered for
// reading (the kernel's buffer is the only one, so a device that streams meets TCP's flow control
// as soon as the owner stops reading), and send() holds back at most one chunk the kernel has not
// yet taken, so a device that stops reading soon meets WouldBlock.

#include <cstddef>

#include "platform/network.h"

namespace veskator {

class QtNetwork final : public Network {
  public:
    // The most one send() accepts. It accepts nothing while bytes of an earlier one still wait
    // for room in the kernel, so a peer that stops reading soon meets WouldBlock.
    static constexpr std::size_t kMaxSendChunk = 16 * 1024;

    std::unique_ptr<HostLookup> lookup(std::string_view hostName) override;
    std::unique_ptr<StreamSocket> connect(Ipv4Address address, std::uint16_t port) override;
};

}  // namespace veskator
