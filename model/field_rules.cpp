#include "model/field_rules.h"

#include <algorithm>
#include <cctype>
#include <string>

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

std::string_view kindDescription(TextKind kind) {
    switch (kind) {
        case TextKind::Text:
            return "any text";
        case TextKind::Digits:
            return "decimal digits only";
        case TextKind::Port:
            return "a port: decimal digits, 1 to 65535";
        case TextKind::Host:
            return "a host name with its domain or a dotted IPv4 address";
    }
    return {};
}

namespace {

bool allDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// Letters, digits and hyphens in two labels or more of 1 to 63 characters, none starting or ending
// with a hyphen; at most 253 characters. All digits and dots is an address, so it must be one.
bool isHost(std::string_view text) {
    if (text.size() > 253) return false;
    const bool numeric = std::all_of(text.begin(), text.end(), [](char c) {
        return c == '.' || std::isdigit(static_cast<unsigned char>(c));
    });
    std::size_t labels = 0;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('.', start), text.size());
        const std::string_view label = text.substr(start, end - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
            return false;
        const bool word = std::all_of(label.begin(), label.end(), [](char c) {
            return c == '-' || std::isalnum(static_cast<unsigned char>(c));
        });
        if (!word) return false;
        if (numeric && (label.size() > 3 || std::stoi(std::string(label)) > 255)) return false;
        ++labels;
        start = end + 1;
    }
    // A name has its domain: a single word is no address a device could reach.
    return numeric ? labels == 4 : labels >= 2;
}

}  // namespace

std::optional<std::string> kindRefusal(TextKind kind, std::string_view text) {
    if (text.empty()) return std::nullopt;
    bool taken = true;
    switch (kind) {
        case TextKind::Text:
            taken = text.find('\0') == std::string_view::npos;
            break;
        case TextKind::Digits:
            taken = allDigits(text);
            break;
        case TextKind::Port:
            taken = allDigits(text) && text.size() <= 5 && std::stoi(std::string(text)) >= 1 &&
                    std::stoi(std::string(text)) <= 65535;
            break;
        case TextKind::Host:
            taken = isHost(text);
            break;
    }
    if (taken) return std::nullopt;
    return "takes " + std::string(kindDescription(kind));
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
    for (const ImagePlace p : kWorkingCopyPlaces) {
        if (p.block == place.block && p.offset == place.offset) {
            return &m_image[static_cast<std::size_t>(imageOffset(p))];
        }
    }
    return nullptr;
}

std::uint8_t& OptionCopies::at(ImagePlace place) { return *find(place); }

std::array<std::uint8_t, kWorkingCopyPlaces.size()> OptionCopies::bytes() const {
    std::array<std::uint8_t, kWorkingCopyPlaces.size()> out{};
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = m_image[static_cast<std::size_t>(imageOffset(kWorkingCopyPlaces[i]))];
    }
    return out;
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
