#include "link/command_frame.h"

#include <algorithm>

namespace veskator {

int BuildCommandFrame(FrameBuffer& buffer, CommandCode code, ParameterWorkspace& workspace) {
    const std::string_view text = frameTextOf(code);
    const int block = blockOfWriteCode(code);
    const std::size_t dataSize = block >= 0 ? kBlockSize : 0;
    // Room for the text once LF, quote, data and CR are placed; the table
    // checks guarantee it is never short, this only keeps the copy bounded.
    const std::size_t textSize = std::min(text.size(), kFrameBufferSize - 3 - dataSize);

    std::size_t pos = 0;
    buffer[pos++] = kFrameStart;
    buffer[pos++] = kFrameQuote;
    for (std::size_t i = 0; i < textSize; ++i) {
        buffer[pos++] = static_cast<std::uint8_t>(text[i]);
    }
    if (block >= 0) {
        for (std::uint8_t& byte : workspace.block(block)) {
            byte = sentAs(byte);
            buffer[pos++] = byte;
        }
    }
    buffer[pos++] = kFrameEnd;
    return static_cast<int>(pos);
}

int BuildChunkFrame(FrameBuffer& buffer, std::span<const std::uint8_t, kBlockSize> source,
                    int blockNumber) {
    std::size_t pos = 0;
    buffer[pos++] = kFrameStart;
    buffer[pos++] = kFrameQuote;
    for (const char c : kWritePrefix) {
        buffer[pos++] = static_cast<std::uint8_t>(c);
    }
    buffer[pos++] = suffixByte(blockNumber);
    std::copy(source.begin(), source.end(), buffer.begin() + static_cast<std::ptrdiff_t>(pos));
    pos += source.size();
    buffer[pos++] = kFrameEnd;
    return static_cast<int>(pos);
}

}  // namespace veskator
