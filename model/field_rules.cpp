#include "model/field_rules.h"

#include <cctype>

namespace veskator {

std::uint16_t parsePort(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    unsigned value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        // Kept modulo 65536 as it grows: the same result as the whole number's, without overflow.
        value = (value * 10 + static_cast<unsigned>(text[i] - '0')) % 65536u;
    }
    return static_cast<std::uint16_t>(negative ? (65536u - value) % 65536u : value);
}

void storeText(std::span<std::uint8_t> image, const TextField& field, std::string_view text) {
    if (field.slotSize <= 0) return;
    const int offset = imageOffset(field.place);
    switch (field.rule) {
        case SlotRule::Terminated:
            writeText(image, offset, field.slotSize, text);
            break;
        case SlotRule::Exact:
            writeTextExact(image, offset, field.slotSize, text);
            break;
        case SlotRule::ZeroPadded: {
            const auto start = static_cast<std::size_t>(std::max(offset, 0));
            if (start >= image.size()) return;
            auto slot = image.subspan(
                start, std::min(static_cast<std::size_t>(field.slotSize), image.size() - start));
            std::fill(slot.begin(), slot.end(), std::uint8_t{0});
            writeTextExact(image, offset, field.slotSize, text);
            break;
        }
    }
}

std::string showText(std::span<const std::uint8_t> image, const TextField& field) {
    return readText(image, imageOffset(field.place), field.showChars);
}

std::uint8_t* OptionCopies::find(ImagePlace place) {
    for (std::size_t i = 0; i < kWorkingCopyPlaces.size(); ++i) {
        const ImagePlace p = kWorkingCopyPlaces[i];
        if (p.block == place.block && p.offset == place.offset) return &m_bytes[i];
    }
    return nullptr;
}

std::uint8_t& OptionCopies::at(ImagePlace place) { return *find(place); }

void OptionCopies::reload(std::span<const std::uint8_t> image) {
    for (std::size_t i = 0; i < kWorkingCopyPlaces.size(); ++i) {
        m_bytes[i] = image[static_cast<std::size_t>(imageOffset(kWorkingCopyPlaces[i]))];
    }
}

void HexByte(int value, std::span<char, 2> out) {
    const int v = (value < 0 || value > 255) ? 0 : value;
    const auto digit = [](int d) { return static_cast<char>(d <= 9 ? 48 + d : 55 + d); };
    out[0] = digit(v / 16);
    out[1] = digit(v % 16);
}

std::string hexByte(int value) {
    std::array<char, 2> digits{};
    HexByte(value, digits);
    return std::string(digits.begin(), digits.end());
}

}  // namespace veskator
