#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "model/field_rules.h"
#include "model/parameter_workspace.h"

namespace veskator {

using CommandCode = int;

// The longest frame is a block write: LF, quote, 15 characters, 128 data bytes, CR.
inline constexpr std::size_t kFrameBufferSize = 146;
using FrameBuffer = std::array<std::uint8_t, kFrameBufferSize>;

inline constexpr std::uint8_t kFrameStart = 10;  // line feed
inline constexpr std::uint8_t kFrameQuote = 34;  // double quote
inline constexpr std::uint8_t kFrameEnd = 13;    // carriage return
// A CR inside block data would end the frame early on the device (see sentAs).
static_assert(kFrameEnd == kImageCarriageReturn);

inline constexpr std::size_t kWriteFrameSize = kFrameBufferSize;
inline constexpr std::size_t kWriteTextLength = 15;  // "write programA" + block suffix
inline constexpr std::size_t kWriteDataOffset = 2 + kWriteTextLength;
static_assert(kWriteDataOffset + kBlockSize + 1 == kWriteFrameSize);

inline constexpr CommandCode kCodeRemoteReset = 19;
inline constexpr CommandCode kCodeStatus = 30;      // "gpcommandr1": live loop states
inline constexpr CommandCode kCodeStatusDone = 31;  // status reply taken
inline constexpr CommandCode kCodeStatus2 = 33;
inline constexpr int kFirstAlarmChunk = 64;
inline constexpr int kLastAlarmChunk = 140;

enum class ExchangeKind { Read, Write, General };

constexpr ExchangeKind exchangeKindOf(CommandCode code) {
    if (code < 10) {
        return ExchangeKind::Read;
    }
    return code < 30 ? ExchangeKind::Write : ExchangeKind::General;
}

// Frames named one by one. Codes 2..9 and 40 and above are read frames made
// by rule (see frameTextOf); every other code sends an empty frame.
struct CommandFrameText {
    CommandCode code;
    std::string_view text;
    int block;  // image block carried by a write frame, -1 for none
};

inline constexpr std::array kCommandFrameTexts{
    CommandFrameText{0, "read program0", -1},   CommandFrameText{1, "read program1", -1},
    CommandFrameText{10, "write programA0", 0}, CommandFrameText{11, "write programA1", 1},
    CommandFrameText{12, "write programA2", 2}, CommandFrameText{13, "write programA3", 3},
    CommandFrameText{14, "write programA4", 4}, CommandFrameText{15, "write programA5", 5},
    CommandFrameText{19, "$remotereset$", -1},  CommandFrameText{20, "write programA6", 6},
    CommandFrameText{21, "write programA7", 7}, CommandFrameText{30, "gpcommandr1", -1},
    CommandFrameText{33, "gpcommandr2", -1},
};

// Device blocks and read units are named by one character of code
// 48 + number, taken modulo 256.
constexpr std::uint8_t suffixByte(int number) {
    return static_cast<std::uint8_t>((number % 256 + 48 + 256) % 256);
}

inline constexpr std::string_view kReadPrefix = "read programA";
inline constexpr std::string_view kWritePrefix = "write programA";
static_assert(2 + kWritePrefix.size() + 1 + kBlockSize + 1 == kWriteFrameSize);

namespace detail {

inline constexpr std::size_t kReadRuleTextLength = 14;

// "read programA" followed by every possible suffix byte, so that rule-made
// texts can be handed out as string_views.
constexpr auto makeReadRuleTexts() {
    std::array<std::array<char, kReadRuleTextLength>, 256> texts{};
    for (std::size_t c = 0; c < texts.size(); ++c) {
        for (std::size_t i = 0; i < kReadPrefix.size(); ++i) {
            texts[c][i] = kReadPrefix[i];
        }
        texts[c][kReadPrefix.size()] = static_cast<char>(c);
    }
    return texts;
}

inline constexpr auto kReadRuleTexts = makeReadRuleTexts();
static_assert(kReadPrefix.size() + 1 == kReadRuleTextLength);

// Index of code's row in kCommandFrameTexts, -1 if it has none.
constexpr int findFrameRow(CommandCode code) {
    for (std::size_t i = 0; i < kCommandFrameTexts.size(); ++i) {
        if (kCommandFrameTexts[i].code == code) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace detail

// Command text sent for code (no LF, quote or CR); empty for a code without a frame.
constexpr std::string_view frameTextOf(CommandCode code) {
    if (const int row = detail::findFrameRow(code); row >= 0) {
        return kCommandFrameTexts[static_cast<std::size_t>(row)].text;
    }
    int suffix = -1;
    if (code >= 2 && code <= 9) {
        suffix = suffixByte(code);
    } else if (code >= 40) {
        // Unit code-30 for 40..93; the same character rule carries on above.
        suffix = suffixByte(code % 256 - 30);
    }
    if (suffix < 0) {
        return {};
    }
    const auto& text = detail::kReadRuleTexts[static_cast<std::size_t>(suffix)];
    return std::string_view(text.data(), text.size());
}

// Read codes of the 64 units of the receive area: 0..9, then 40..93.
constexpr CommandCode readCodeForUnit(int unit) { return unit < 10 ? unit : unit + 30; }

constexpr int unitOfReadCode(CommandCode code) {
    if (code >= 0 && code <= 9) {
        return code;
    }
    if (code >= 40 && code < 30 + kReadUnitCount) {
        return code - 30;
    }
    return -1;
}

// Image block written by code, -1 if code is no block write.
constexpr int blockOfWriteCode(CommandCode code) {
    const int row = detail::findFrameRow(code);
    return row >= 0 ? kCommandFrameTexts[static_cast<std::size_t>(row)].block : -1;
}

// Write code of block Ak (10..15, 20, 21), -1 if k is no image block.
constexpr CommandCode writeCodeForBlock(int block) {
    for (const auto& row : kCommandFrameTexts) {
        if (row.block >= 0 && row.block == block) {
            return row.code;
        }
    }
    return -1;
}

namespace detail {

constexpr bool frameTableIsSound() {
    for (std::size_t i = 0; i < kCommandFrameTexts.size(); ++i) {
        const auto& row = kCommandFrameTexts[i];
        for (std::size_t j = i + 1; j < kCommandFrameTexts.size(); ++j) {
            if (kCommandFrameTexts[j].code == row.code) {
                return false;
            }
        }
        if (row.text.empty() || 3 + row.text.size() > kFrameBufferSize) {
            return false;
        }
        if (row.block >= 0) {
            const bool named = row.text.size() == kWriteTextLength &&
                               row.text.substr(0, kWritePrefix.size()) == kWritePrefix &&
                               static_cast<std::uint8_t>(row.text.back()) == suffixByte(row.block);
            if (!named || exchangeKindOf(row.code) != ExchangeKind::Write ||
                2 + row.text.size() + kBlockSize + 1 != kWriteFrameSize) {
                return false;
            }
        }
    }
    for (int k = 0; k < kBlockCount; ++k) {
        if (blockOfWriteCode(writeCodeForBlock(k)) != k) {
            return false;
        }
    }
    return true;
}

static_assert(frameTableIsSound());
static_assert(exchangeKindOf(kCodeRemoteReset) == ExchangeKind::Write);
static_assert(exchangeKindOf(kCodeStatus) == ExchangeKind::General);
static_assert(unitOfReadCode(readCodeForUnit(kReadUnitCount - 1)) == kReadUnitCount - 1);
static_assert(frameTextOf(readCodeForUnit(kReadUnitCount - 1)) == "read programAo");

}  // namespace detail

// Builds the frame for code into buffer and returns its length. A block write
// first turns every byte 13 of that image block into 12, in the workspace.
int BuildCommandFrame(FrameBuffer& buffer, CommandCode code, ParameterWorkspace& workspace);

// Device blocks written as ready-made chunks: the dialer's from 32 on, the alarm code's up to 140.
// No number of this range has an image block's suffix character; from 208 on the character wraps
// past 255, and 256 to 263 would write A0 to A7.
inline constexpr int kFirstChunkBlock = 32;
inline constexpr int kLastChunkBlock = kLastAlarmChunk;
constexpr bool isChunkBlock(int number) {
    return number >= kFirstChunkBlock && number <= kLastChunkBlock;
}
static_assert([] {
    for (int n = kFirstChunkBlock; n <= kLastChunkBlock; ++n) {
        for (int b = 0; b < kBlockCount; ++b) {
            if (suffixByte(n) == suffixByte(b)) return false;
        }
    }
    return true;
}());
static_assert(!isChunkBlock(208) && suffixByte(256) == suffixByte(0));

// Builds "write programA" + suffix of blockNumber with 128 bytes copied as
// they are (no CR rule); returns 146.
int BuildChunkFrame(FrameBuffer& buffer, std::span<const std::uint8_t, kBlockSize> source,
                    int blockNumber);

}  // namespace veskator
