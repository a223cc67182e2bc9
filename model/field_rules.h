#pragma once
// How a window's fields live in the image, written once for every window: text slots, option
// bits, the working copies of the shared option bytes, and one lookup over constexpr tables. The
// windows hold the tables themselves (their ids mean nothing here).

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "model/parameter_workspace.h"

namespace veskator {

// Rows of every field table carry their window's control id as `id`.
template <typename Table>
constexpr auto findRow(const Table& table, int id) -> decltype(&*std::begin(table)) {
    for (const auto& row : table) {
        if (row.id == id) return &row;
    }
    return nullptr;
}

// The position of id's row in the table, -1 when it has none.
template <typename Table>
constexpr int rowIndex(const Table& table, int id) {
    int i = 0;
    for (const auto& row : table) {
        if (row.id == id) return i;
        ++i;
    }
    return -1;
}

// Bool form for static_asserts: pointer comparisons are not constant expressions once the
// sanitizers instrument them.
template <typename Table>
constexpr bool hasRow(const Table& table, int id) {
    for (const auto& row : table) {
        if (row.id == id) return true;
    }
    return false;
}

inline constexpr int kByteMax = 255;

// Two upper-case hex digits, high nibble first; values outside 0..255 give "00".
void HexByte(int value, std::span<char, 2> out);
std::string hexByte(int value);

// A number box read the way the device's firmware tools read it: leading blanks and a sign, then
// digits up to the first other character; none give 0. Saturates rather than overflows.
constexpr long long parseDecimal(std::string_view text) {
    constexpr long long kCeiling = 1'000'000'000;
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min(value * 10 + (text[i] - '0'), kCeiling);
    }
    return negative ? -value : value;
}
static_assert(parseDecimal("  -12x4") == -12 && parseDecimal("+7") == 7 &&
              parseDecimal("abc") == 0 && parseDecimal("99999999999999999999") == 1'000'000'000);

// A number clamped into a byte's range, never wrapped.
constexpr std::uint8_t clampedByte(long long value, int high = kByteMax) {
    return static_cast<std::uint8_t>(std::clamp<long long>(value, 0, high));
}

// The port as the device's socket library reads it: leading decimal digits after optional blanks
// and a sign, modulo 65536; 0 when there are none.
std::uint16_t parsePort(std::string_view text);

// How a text is stored into its slot. Terminated: at most slotSize-1 characters and a zero byte.
// Exact: a full slot takes slotSize characters without a zero byte. ZeroPadded: the text, and
// zero bytes to the end of the slot; a full slot has none.
enum class SlotRule { Terminated, Exact, ZeroPadded };

// What a text field may hold beyond what fits its slot: the device reads some of them as a number
// or an address, and a text it cannot read is refused before it is stored.
enum class TextKind {
    Text,    // any characters, one byte each, but no zero byte
    Digits,  // decimal digits
    Port,    // a TCP port in decimal digits, 1 to 65535
    Host,    // a host name, or a dotted IPv4 address of four numbers 0 to 255
};

struct TextField {
    int id;
    ImagePlace place;
    int showChars;  // shown up to the first zero byte, at most this many characters
    int slotSize;   // 0: shown only, never stored
    SlotRule rule = SlotRule::Terminated;
    TextKind kind = TextKind::Text;
};

// The characters a box of the kind lets the user type; empty for any.
constexpr std::string_view typedCharacters(TextKind kind) {
    switch (kind) {
        case TextKind::Text:
            return {};
        case TextKind::Digits:
        case TextKind::Port:
            return "0123456789";
        case TextKind::Host:
            return "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ.-";
    }
    return {};
}

// What a field of the kind takes, as a refusal says it: "takes <this>".
std::string_view kindDescription(TextKind kind);
// Why the text cannot be held by a field of the kind, or nullopt. An empty text is always taken:
// it clears the field.
std::optional<std::string> kindRefusal(TextKind kind, std::string_view text);

// Stores a field's text into the image; never a byte past the slot, whatever the control holds.
void storeText(std::span<std::uint8_t> image, const TextField& field, std::string_view text);
std::string showText(std::span<const std::uint8_t> image, const TextField& field);
// The same rules for a slot outside the image (the dialer's lists, the spare area).
inline void storeInSlot(std::span<std::uint8_t> slot, SlotRule rule, std::string_view text) {
    storeText(slot, TextField{0, {0, 0}, 0, static_cast<int>(slot.size()), rule}, text);
}

// A slot may run into the next block only where a table says so; every slot stays in the image.
template <typename Table>
constexpr bool slotsInsideImage(const Table& table) {
    for (const TextField& f : table) {
        const int size = f.slotSize > 0 ? f.slotSize : f.showChars;
        if (f.place.offset < 0 || imageOffset(f.place) + size > static_cast<int>(kImageSize))
            return false;
    }
    return true;
}

// The image blocks a stored field touches: one, or two for a slot that runs on.
constexpr int lastBlockOf(const TextField& f) {
    return (imageOffset(f.place) + std::max(f.slotSize, 1) - 1) / static_cast<int>(kBlockSize);
}

struct OptionBit {
    int id;
    ImagePlace place;
    std::uint8_t mask;
    bool onWhenClear = false;
};

// The byte with the bit's mask set or cleared.
constexpr std::uint8_t withMask(std::uint8_t byte, std::uint8_t mask, bool set) {
    return static_cast<std::uint8_t>(set ? byte | mask : byte & ~mask);
}

// Stores an option as shown on or off (an option shown on when clear clears its bit).
inline void storeOption(std::span<std::uint8_t> image, const OptionBit& bit, bool on) {
    std::uint8_t& byte = image[static_cast<std::size_t>(imageOffset(bit.place))];
    byte = withMask(byte, bit.mask, on != bit.onWhenClear);
}

constexpr bool optionShownOn(const OptionBit& bit, std::uint8_t byte) {
    const bool set = (byte & bit.mask) != 0;
    return bit.onWhenClear ? !set : set;
}

// The option bytes that every window switches through one process-wide working copy: a click
// flips the copy, then the whole copy goes into the image. The others are flipped in the image.
inline constexpr std::array<ImagePlace, 4> kWorkingCopyPlaces{
    {{0, 0x1f}, {1, 0x3f}, {1, 0x3d}, {1, 0x38}}};

// The working copies are the image bytes themselves: they follow every change of the image (a
// read, a load, a click, an edit, a byte the link rewrote as it sent it) with nothing to reload,
// and never hold what the image does not.
class OptionCopies {
  public:
    explicit OptionCopies(std::span<std::uint8_t> image) : m_image(image) {}
    // The working copy of the byte at place, nullptr where the byte has none.
    std::uint8_t* find(ImagePlace place);
    std::uint8_t& at(ImagePlace place);  // place must have a copy
    std::array<std::uint8_t, kWorkingCopyPlaces.size()> bytes() const;

  private:
    std::span<std::uint8_t> m_image;
};

constexpr bool hasWorkingCopy(ImagePlace place) {
    return std::any_of(kWorkingCopyPlaces.begin(), kWorkingCopyPlaces.end(), [&](ImagePlace p) {
        return p.block == place.block && p.offset == place.offset;
    });
}

}  // namespace veskator
