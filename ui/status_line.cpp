#include "ui/status_line.h"

#include "link/dialer_data.h"

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

std::string statusLineText(const LinkStatus& status) {
    std::string line;
    if (status.fullReadPending) {
        line = "link: reading device, " + std::to_string(status.unitsRead) + " of 64 units";
    } else if (status.alarmDownloadPending) {
        line = "link: alarm code download, chunk " + std::to_string(status.alarmChunk);
    } else if (status.writeAllPending) {
        line = "link: writing all blocks, A" + std::to_string(status.writeAllBlock);
    } else if (status.dialer.running) {
        line = "link: dialer upload, chunk " + std::to_string(status.dialer.nextChunk + 1) +
               " of at most " + std::to_string(kDialerChunkCount);
    } else {
        switch (status.state) {
            case LinkState::Idle:
                line = "link: idle";
                break;
            case LinkState::Connect:
                line = "link: connecting";
                break;
            default:
                line = "link: exchanging";
                break;
        }
    }
    if (!status.notice.empty()) line += "    " + status.notice;
    if (status.unwrittenBlocks.any()) {
        line += "    not written yet: " + blockList(status.unwrittenBlocks);
    }
    if (!status.lastError.empty()) line += "    last error: " + status.lastError;
    return line;
}

}  // namespace veskator
