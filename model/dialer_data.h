#pragma once
// The companion dialer's data: its test schedule and telephone list in the workspace's dialer
// area (uploaded in chunks, never read from the device), and the subscriber information kept in
// the workspace's spare area behind it. Every view stays inside its slot.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "model/parameter_workspace.h"

namespace veskator {

// The area goes to the dialer as 33 chunks of 128 bytes; chunk k is device block 32 + k. The last
// chunk is device block 64, the same block the alarm-code download begins with: the dialer and
// the alarm code take turns in it.
inline constexpr int kDialerChunkCount = 33;
inline constexpr int kDialerFirstBlock = 32;
static_assert(kDialerChunkCount * kBlockSize == kDialerDataSize);
// An upload ends after a chunk other than the first that holds this byte ("E", the end of the
// telephone list), or after the last chunk.
inline constexpr std::uint8_t kDialerEndMark = 'E';

// Chunk 0: schedule slots of five bytes ("23:00", or "F" to end the list), no terminator when
// full. Position 25 begins at byte 125: only its first three bytes lie in chunk 0, the other two
// would be telephone line 0, so that slot is three bytes long here.
inline constexpr int kScheduleSlotSize = 5;
inline constexpr int kSchedulePositions = 26;
inline constexpr int kLastSlotSize = static_cast<int>(kBlockSize) - kScheduleSlotSize * 25;
static_assert(kLastSlotSize == 3);

// Chunks 1 to 3: telephone lines of 16 bytes, zero-terminated when shorter ("E" ends the list).
inline constexpr std::size_t kTelephoneListOffset = kBlockSize;
inline constexpr int kTelephoneLineSize = 16;
inline constexpr int kTelephoneLines = 24;
static_assert(kTelephoneListOffset + kTelephoneLines * kTelephoneLineSize == 4 * kBlockSize);

constexpr int scheduleSlotSize(int position) {
    return position == kSchedulePositions - 1 ? kLastSlotSize : kScheduleSlotSize;
}

template <typename Byte>
std::span<Byte> scheduleSlot(std::span<Byte, kDialerDataSize> area, int position) {
    position = std::clamp(position, 0, kSchedulePositions - 1);
    return area.subspan(static_cast<std::size_t>(position * kScheduleSlotSize),
                        static_cast<std::size_t>(scheduleSlotSize(position)));
}

template <typename Byte>
std::span<Byte> telephoneLine(std::span<Byte, kDialerDataSize> area, int line) {
    line = std::clamp(line, 0, kTelephoneLines - 1);
    return area.subspan(kTelephoneListOffset + static_cast<std::size_t>(line * kTelephoneLineSize),
                        kTelephoneLineSize);
}

template <typename Byte>
std::span<Byte, kBlockSize> dialerChunk(std::span<Byte, kDialerDataSize> area, int chunk) {
    chunk = std::clamp(chunk, 0, kDialerChunkCount - 1);
    return std::span<Byte, kBlockSize>(area.data() + static_cast<std::size_t>(chunk) * kBlockSize,
                                       kBlockSize);
}

// Whether the upload stops after this chunk.
inline bool lastDialerChunk(int chunk, std::span<const std::uint8_t, kBlockSize> bytes) {
    if (chunk >= kDialerChunkCount - 1) return true;
    return chunk > 0 && std::find(bytes.begin(), bytes.end(), kDialerEndMark) != bytes.end();
}

// How many chunks an upload of the area as it stands sends, counted from chunk 0, when it is at
// chunk `from` (an end mark before it no longer counts).
inline int dialerChunksToSend(std::span<const std::uint8_t, kDialerDataSize> area, int from = 0) {
    for (int chunk = std::max(from, 0); chunk < kDialerChunkCount; ++chunk) {
        if (lastDialerChunk(chunk, dialerChunk(area, chunk))) return chunk + 1;
    }
    return kDialerChunkCount;
}

// The subscriber information: free text, zero-terminated, in the spare area behind the dialer
// data, so it is saved in parameter files and overlays nothing else.
inline constexpr std::size_t kSubscriberOffset = kDialerDataOffset + kDialerDataSize;
inline constexpr std::size_t kSubscriberSize = 1024;
inline constexpr int kSubscriberMaxChars = static_cast<int>(kSubscriberSize) - 1;
static_assert(kSubscriberOffset + kSubscriberSize <= kWorkspaceSize);

template <typename Byte>
std::span<Byte, kSubscriberSize> subscriberSlot(std::span<Byte, kWorkspaceSize> workspace) {
    return workspace.template subspan<kSubscriberOffset, kSubscriberSize>();
}

}  // namespace veskator
