#pragma once
// IPv4 stream sockets without blocking: name look-up, connect, send and receive all return at once
// and report progress, so the window thread never stalls on the network.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace veskator {

struct Ipv4Address {
    std::uint32_t value = 0;  // host byte order
    friend bool operator==(Ipv4Address, Ipv4Address) = default;
};

// Reads a dotted IPv4 text the way the socket library's classic parser does.
std::optional<Ipv4Address> parseDottedAddress(std::string_view text);

enum class LookupStatus { Pending, Done, Failed };

class HostLookup {
  public:
    virtual ~HostLookup() = default;
    virtual LookupStatus status() = 0;
    // The first address found; only meaningful once status() is Done.
    virtual Ipv4Address address() = 0;
};

// The look-up of a text no resolver needs to answer: failed for an empty text, done at once for a
// dotted address. nullptr for a host name.
std::unique_ptr<HostLookup> lookupWithoutResolver(std::string_view hostName);

enum class ConnectStatus { Pending, Connected, Failed };
enum class IoStatus { Ok, WouldBlock, Closed, Error };

struct IoResult {
    IoStatus status = IoStatus::Error;
    std::size_t count = 0;
};

class StreamSocket {
  public:
    virtual ~StreamSocket() = default;  // closes
    virtual ConnectStatus connectStatus() = 0;
    virtual IoResult send(std::span<const std::uint8_t> bytes) = 0;
    virtual IoResult receive(std::span<std::uint8_t> buffer) = 0;
    // Called from the window's event loop when the socket has news: it has connected, or may
    // have become readable. Lets the owner act before its next timer tick. Optional: a network
    // may never call it, so polling alone must also work.
    virtual void setReadyHandler(std::function<void()> handler) = 0;
    // True when the handler is called for every piece of news, so that its owner may sleep until
    // it comes; false when the owner must poll.
    virtual bool callsReadyHandler() const { return false; }
};

class Network {
  public:
    virtual ~Network() = default;
    // Starts a look-up of a host name; numeric addresses resolve without asking anyone.
    virtual std::unique_ptr<HostLookup> lookup(std::string_view hostName) = 0;
    // Creates a socket and starts connecting; nullptr when no socket could be created.
    virtual std::unique_ptr<StreamSocket> connect(Ipv4Address address, std::uint16_t port) = 0;
};

}  // namespace veskator
