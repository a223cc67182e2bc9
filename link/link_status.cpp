#include "link/link_status.h"

#include <algorithm>

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

const Transfer* LinkStatus::transfer(TransferKind kind) const {
    const auto it = std::find_if(transfers.begin(), transfers.end(),
                                 [kind](const Transfer& t) { return t.kind == kind; });
    return it == transfers.end() ? nullptr : &*it;
}

}  // namespace veskator
