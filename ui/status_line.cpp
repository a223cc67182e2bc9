#include "ui/status_line.h"

#include "model/dialer_data.h"

namespace veskator {

std::string statusLineText(const LinkStatus& status) {
    std::string line;
    if (status.fullReadPending) {
        line = "link: reading device, " + std::to_string(status.unitsRead) + " of 64 units";
    } else if (status.alarmDownloadPending) {
        line = "link: alarm code download, chunk " + std::to_string(status.alarmChunk);
    } else if (status.writeAllPending) {
        // Appended: GCC 12 at -O2 takes a one-character prefix insert for an overlapping copy.
        std::string block(1, 'A');
        block += std::to_string(status.writeAllBlock);
        if (status.writeAllReadingBack) {
            line = "link: reading back the written blocks, " + block;
        } else if (status.writeAllRewriting) {
            line = "link: writing " + block + " again, it differed on the device";
        } else {
            line = "link: writing all blocks, " + block;
        }
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
    if (!status.lastLoad.empty()) line += "    " + status.lastLoad;
    if (!status.notice.empty()) line += "    " + status.notice;
    if (status.unwrittenBlocks.any()) {
        line += "    not written yet: " + blockList(status.unwrittenBlocks);
    }
    if (!status.lastError.empty()) line += "    last error: " + status.lastError;
    return line;
}

}  // namespace veskator
