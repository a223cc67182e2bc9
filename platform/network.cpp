#include "platform/network.h"

#include <arpa/inet.h>

#include <string>

namespace veskator {

namespace {

class AnsweredLookup final : public HostLookup {
  public:
    AnsweredLookup(LookupStatus status, Ipv4Address address)
        : m_status(status), m_address(address) {}
    LookupStatus status() override { return m_status; }
    Ipv4Address address() override { return m_address; }

  private:
    LookupStatus m_status;
    Ipv4Address m_address;
};

}  // namespace

std::optional<Ipv4Address> parseDottedAddress(std::string_view text) {
    const std::string s(text);
    in_addr addr{};
    if (::inet_aton(s.c_str(), &addr) == 0) return std::nullopt;
    return Ipv4Address{ntohl(addr.s_addr)};
}

std::unique_ptr<HostLookup> lookupWithoutResolver(std::string_view hostName) {
    if (hostName.empty())
        return std::make_unique<AnsweredLookup>(LookupStatus::Failed, Ipv4Address{});
    if (auto numeric = parseDottedAddress(hostName))
        return std::make_unique<AnsweredLookup>(LookupStatus::Done, *numeric);
    return nullptr;
}

}  // namespace veskator
