#pragma once
// How a window's fields live in the image, written once for every window: text slots, option
// bits, the working copies of the shared option bytes, and one lookup over constexpr tables. The
// windows hold the tables themselves (their ids mean nothing here).

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "link/parameter_workspace.h"

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

// How a text is stored into its slot. Terminated: at most slotSize-1 characters and a zero byte.
// Exact: a full slot takes slotSize characters without a zero byte. ZeroPadded: the text, and
// zero bytes to the end of the slot; a full slot has none.
enum class SlotRule { Terminated, Exact, ZeroPadded };

struct TextField {
    int id;
    ImagePlace place;
    int showChars;  // shown up to the first zero byte, at most this many characters
    int slotSize;   // 0: shown only, never stored
    SlotRule rule = SlotRule::Terminated;
};

// Stores a field's text into the image; never a byte past the slot, whatever the control holds.
void storeText(std::span<std::uint8_t> image, const TextField& field, std::string_view text);
std::string showText(std::span<const std::uint8_t> image, const TextField& field);

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

constexpr bool optionShownOn(const OptionBit& bit, std::uint8_t byte) {
    const bool set = (byte & bit.mask) != 0;
    return bit.onWhenClear ? !set : set;
}

// The option bytes that every window switches through one process-wide working copy: a click
// flips the copy, then the whole copy goes into the image. The others are flipped in the image.
inline constexpr std::array<ImagePlace, 4> kWorkingCopyPlaces{
    {{0, 0x1f}, {1, 0x3f}, {1, 0x3d}, {1, 0x38}}};

class OptionCopies {
  public:
    // The working copy of the byte at place, nullptr where the byte has none.
    std::uint8_t* find(ImagePlace place);
    std::uint8_t& at(ImagePlace place);  // place must have a copy
    // Loads every copy from the image (after a full read, a load, or a rewrite while sending).
    void reload(std::span<const std::uint8_t> image);
    const std::array<std::uint8_t, kWorkingCopyPlaces.size()>& bytes() const { return m_bytes; }

  private:
    std::array<std::uint8_t, kWorkingCopyPlaces.size()> m_bytes{};
};

constexpr bool hasWorkingCopy(ImagePlace place) {
    return std::any_of(kWorkingCopyPlaces.begin(), kWorkingCopyPlaces.end(), [&](ImagePlace p) {
        return p.block == place.block && p.offset == place.offset;
    });
}

}  // namespace veskator
