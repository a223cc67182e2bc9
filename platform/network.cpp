#include "platform/network.h"

#include <arpa/inet.h>

#include <string>

namespace veskator {

std::optional<Ipv4Address> parseDottedAddress(std::string_view text) {
    const std::string s(text);
    in_addr addr{};
    if (::inet_aton(s.c_str(), &addr) == 0) return std::nullopt;
    return Ipv4Address{ntohl(addr.s_addr)};
}

}  // namespace veskator
