#include "link/link_status.h"

namespace veskator {

std::string blockList(const std::bitset<kBlockCount>& blocks) {
    std::string list;
    for (int b = 0; b < kBlockCount; ++b) {
        if (!blocks.test(static_cast<std::size_t>(b))) continue;
        if (!list.empty()) list += ' ';
        list += 'A';
        list += std::to_string(b);
    }
    return list;
}

}  // namespace veskator
