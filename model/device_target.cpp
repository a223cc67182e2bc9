#include "model/device_target.h"

#include <algorithm>
#include <cctype>

namespace veskator {

std::string_view trimmedHost(std::string_view host) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!host.empty() && blank(host.front())) host.remove_prefix(1);
    while (!host.empty() && blank(host.back())) host.remove_suffix(1);
    return host;
}

bool sameDevice(const Target& a, const Target& b) {
    const std::string_view x = trimmedHost(a.host);
    const std::string_view y = trimmedHost(b.host);
    return a.port == b.port &&
           std::equal(x.begin(), x.end(), y.begin(), y.end(), [](char p, char q) {
               return std::tolower(static_cast<unsigned char>(p)) ==
                      std::tolower(static_cast<unsigned char>(q));
           });
}

}  // namespace veskator
