#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace veskator {

// Layout of the program's parameter workspace. A parameter file is this
// workspace byte for byte, so these numbers are also the file format.
inline constexpr std::size_t kWorkspaceSize = 16384;
inline constexpr std::size_t kReceiveAreaSize =
    4096;                                         // device bytes 0..4095, filled by a full read
inline constexpr std::size_t kImageSize = 1024;   // device blocks 0..7, the editable part
inline constexpr std::size_t kBlockSize = 128;    // the device writes in blocks of 128 bytes
inline constexpr int kBlockCount = 8;             // image blocks A0..A7
inline constexpr std::size_t kReadUnitSize = 64;  // the device answers each read with 64 bytes
inline constexpr int kReadUnitCount = 64;         // reads that fill the receive area
inline constexpr std::size_t kHistoryOffset = 1794;
inline constexpr std::size_t kHistorySize = 2310;
inline constexpr std::size_t kDialerDataOffset = 4096;
inline constexpr std::size_t kDialerDataSize = 4224;

static_assert(kImageSize == kBlockSize * kBlockCount);
static_assert(kReceiveAreaSize == kReadUnitSize * kReadUnitCount);
static_assert(kBlockSize == 2 * kReadUnitSize, "each image block is two read units");
static_assert(kImageSize <= kReceiveAreaSize, "the image is the head of the receive area");
static_assert(kReceiveAreaSize <= kWorkspaceSize);
static_assert(kHistoryOffset + kHistorySize <= kWorkspaceSize);
static_assert(kDialerDataOffset + kDialerDataSize <= kWorkspaceSize);
static_assert(kDialerDataOffset == kReceiveAreaSize, "dialer data follows the receive area");
// The history area was laid out to end 8 bytes into the dialer data; both
// views must keep sharing exactly those bytes.
static_assert(kHistoryOffset + kHistorySize == kDialerDataOffset + 8);
static_assert(kHistoryOffset >= kImageSize, "the history area lies behind the image");

// A carriage return in a written block would end the device's frame early: a block write carries
// a byte of 13 as 12, and the image holds 12 afterwards. What the device holds for an image byte.
inline constexpr std::uint8_t kImageCarriageReturn = 13;
inline constexpr std::uint8_t kBlockCrReplacement = 12;
constexpr std::uint8_t sentAs(std::uint8_t imageByte) {
    return imageByte == kImageCarriageReturn ? kBlockCrReplacement : imageByte;
}

using ParameterImage = std::span<std::uint8_t, kImageSize>;
using ConstParameterImage = std::span<const std::uint8_t, kImageSize>;
using ImageBlock = std::span<std::uint8_t, kBlockSize>;
using ConstImageBlock = std::span<const std::uint8_t, kBlockSize>;

class ParameterWorkspace {
  public:
    std::span<std::uint8_t, kWorkspaceSize> bytes() noexcept { return m_bytes; }
    std::span<const std::uint8_t, kWorkspaceSize> bytes() const noexcept { return m_bytes; }

    std::span<std::uint8_t, kReceiveAreaSize> receiveArea() noexcept;
    std::span<const std::uint8_t, kReceiveAreaSize> receiveArea() const noexcept;

    ParameterImage image() noexcept;
    ConstParameterImage image() const noexcept;

    // Block Ak, k in 0..kBlockCount-1. An index out of range is a caller bug;
    // it is clamped so that the view never leaves the image.
    ImageBlock block(int k) noexcept;
    ConstImageBlock block(int k) const noexcept;

    std::span<std::uint8_t, kHistorySize> historyArea() noexcept;
    std::span<const std::uint8_t, kHistorySize> historyArea() const noexcept;

    std::span<std::uint8_t, kDialerDataSize> dialerDataArea() noexcept;
    std::span<const std::uint8_t, kDialerDataSize> dialerDataArea() const noexcept;

  private:
    std::array<std::uint8_t, kWorkspaceSize> m_bytes{};
};

// A field's place in the image: block Ak and the offset inside it. An offset
// of kBlockSize or more is legal: some slots run on into the next block.
struct ImagePlace {
    int block;
    int offset;
};

constexpr int imageOffset(ImagePlace place) {
    return static_cast<int>(kBlockSize) * place.block + place.offset;
}

// A block as the device names it: "A0" to "A7".
std::string blockName(int block);

// Text slots hold 8-bit characters ended by a zero byte. All three helpers
// stay inside the given span whatever offset and sizes they are handed.

// The bytes from offset up to the first zero byte, at most maxChars of them
// and never past the end of image. An offset outside image reads as empty.
std::string readText(std::span<const std::uint8_t> image, int offset, int maxChars);

// Stores text into the slot of slotSize bytes at offset: at most slotSize-1
// characters, then one zero byte. Bytes of the slot after that zero keep their
// values. If image ends inside the slot, the slot is taken as ending there.
void writeText(std::span<std::uint8_t> image, int offset, int slotSize, std::string_view text);

// Fills a slot that needs no terminator when full: the first slotSize
// characters of text, then a zero byte only if text is shorter than the slot.
// Bytes after that zero keep their values. Bounded by the end of image too.
void writeTextExact(std::span<std::uint8_t> image, int offset, int slotSize, std::string_view text);

}  // namespace veskator
