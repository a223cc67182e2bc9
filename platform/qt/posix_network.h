#pragma once
// The network over POSIX sockets: look-ups on a worker thread, non-blocking IPv4 connections
// polled from the window thread, and readiness reported through the window's event loop.

#include "platform/network.h"

namespace veskator {

class TickGate;

class PosixNetwork final : public Network {
  public:
    // With a gate, socket-ready callbacks never run inside a handler or a fixed wait: they come
    // once the window thread is free.
    explicit PosixNetwork(TickGate* gate = nullptr) : m_gate(gate) {}

    std::unique_ptr<HostLookup> lookup(std::string_view hostName) override;
    std::unique_ptr<StreamSocket> connect(Ipv4Address address, std::uint16_t port) override;

  private:
    TickGate* m_gate;
};

}  // namespace veskator
