#include "model/parameter_workspace.h"

#include <algorithm>
#include <cassert>

namespace veskator {

namespace {

std::size_t clampedBlockOffset(int k) {
    assert(k >= 0 && k < kBlockCount);
    return static_cast<std::size_t>(std::clamp(k, 0, kBlockCount - 1)) * kBlockSize;
}

// Bytes of image usable from offset for a slot of slotSize, 0 if none.
std::size_t slotRoom(std::size_t imageSize, int offset, int slotSize) {
    if (offset < 0 || slotSize <= 0 || static_cast<std::size_t>(offset) >= imageSize) {
        return 0;
    }
    return std::min(static_cast<std::size_t>(slotSize),
                    imageSize - static_cast<std::size_t>(offset));
}

}  // namespace

// Appended rather than "A" + ...: GCC 12 at -O2 takes a one-character prefix insert for an
// overlapping copy (-Wrestrict).
std::string blockName(int block) {
    std::string name(1, 'A');
    name += std::to_string(block);
    return name;
}

std::span<std::uint8_t, kReceiveAreaSize> ParameterWorkspace::receiveArea() noexcept {
    return bytes().first<kReceiveAreaSize>();
}

std::span<const std::uint8_t, kReceiveAreaSize> ParameterWorkspace::receiveArea() const noexcept {
    return bytes().first<kReceiveAreaSize>();
}

ParameterImage ParameterWorkspace::image() noexcept { return bytes().first<kImageSize>(); }

ConstParameterImage ParameterWorkspace::image() const noexcept {
    return bytes().first<kImageSize>();
}

ImageBlock ParameterWorkspace::block(int k) noexcept {
    return ImageBlock{image().subspan(clampedBlockOffset(k), kBlockSize)};
}

ConstImageBlock ParameterWorkspace::block(int k) const noexcept {
    return ConstImageBlock{image().subspan(clampedBlockOffset(k), kBlockSize)};
}

std::span<std::uint8_t, kHistorySize> ParameterWorkspace::historyArea() noexcept {
    return bytes().subspan<kHistoryOffset, kHistorySize>();
}

std::span<const std::uint8_t, kHistorySize> ParameterWorkspace::historyArea() const noexcept {
    return bytes().subspan<kHistoryOffset, kHistorySize>();
}

std::span<std::uint8_t, kDialerDataSize> ParameterWorkspace::dialerDataArea() noexcept {
    return bytes().subspan<kDialerDataOffset, kDialerDataSize>();
}

std::span<const std::uint8_t, kDialerDataSize> ParameterWorkspace::dialerDataArea() const noexcept {
    return bytes().subspan<kDialerDataOffset, kDialerDataSize>();
}

std::string readText(std::span<const std::uint8_t> image, int offset, int maxChars) {
    const std::size_t room = slotRoom(image.size(), offset, maxChars);
    const auto slot = image.subspan(room == 0 ? 0 : static_cast<std::size_t>(offset), room);
    const auto end = std::find(slot.begin(), slot.end(), std::uint8_t{0});
    return std::string(slot.begin(), end);
}

void writeText(std::span<std::uint8_t> image, int offset, int slotSize, std::string_view text) {
    const std::size_t room = slotRoom(image.size(), offset, slotSize);
    if (room == 0) {
        return;
    }
    const auto slot = image.subspan(static_cast<std::size_t>(offset), room);
    // One byte of the slot is always kept for the terminator.
    const std::size_t count = std::min(text.size(), room - 1);
    std::copy_n(text.begin(), count, slot.begin());
    slot[count] = 0;
}

void writeTextExact(std::span<std::uint8_t> image, int offset, int slotSize,
                    std::string_view text) {
    const std::size_t room = slotRoom(image.size(), offset, slotSize);
    if (room == 0) {
        return;
    }
    const auto slot = image.subspan(static_cast<std::size_t>(offset), room);
    const std::size_t count = std::min(text.size(), room);
    std::copy_n(text.begin(), count, slot.begin());
    if (count < room) {
        slot[count] = 0;
    }
}

}  // namespace veskator
