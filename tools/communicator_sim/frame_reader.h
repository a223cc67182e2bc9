// Incremental parser for the bytes a programmer sends to the communicator.
//
// Command frames start with a line feed and a double quote. A write frame ("write programA" and
// one suffix character) always has exactly 146 bytes and carries 128 raw data bytes that may hold
// carriage returns, line feeds and quotes, so it is cut by length; every other command ends at
// its first carriage return. A line that does not start with line feed + quote (the bridge
// pairing line) also ends at its first carriage return.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veskator::sim {

inline constexpr std::uint8_t kLineFeed = 10;
inline constexpr std::uint8_t kQuote = 34;
inline constexpr std::uint8_t kCarriageReturn = 13;

inline constexpr std::string_view kWritePrefix = "write programA";
inline constexpr std::size_t kBlockSize = 128;
inline constexpr std::size_t kWriteTextSize = kWritePrefix.size() + 1;  // prefix + suffix
inline constexpr std::size_t kWriteDataOffset = 2 + kWriteTextSize;
inline constexpr std::size_t kWriteFrameSize = kWriteDataOffset + kBlockSize + 1;
// A line without a carriage return among its first kMaxLineSize bytes (framing included) is cut
// there as overlong, so a confused peer cannot make the buffer grow without bound.
inline constexpr std::size_t kMaxLineSize = 512;

static_assert(kWriteTextSize == 15);
static_assert(kWriteDataOffset == 17);
static_assert(kWriteFrameSize == 146);

// Block and unit numbers travel as one character of code 48 + number, modulo 256.
constexpr int suffixNumber(std::uint8_t suffix) { return (suffix + 256 - 48) % 256; }

static_assert(suffixNumber('0') == 0 && suffixNumber('o') == 63 && suffixNumber('p') == 64);
static_assert(suffixNumber(188) == 140);

struct Frame {
    enum class Kind {
        Command,  // line feed, quote, text, carriage return
        Write,    // line feed, quote, "write programA" + suffix, 128 data bytes, end byte
        Line,     // bytes up to a carriage return, without the leading line feed and quote
    };
    Kind kind = Kind::Command;
    std::string text;               // the command text or the line, without framing bytes
    std::vector<std::uint8_t> raw;  // every byte of the frame as received
    // Write frames only: whether byte 145 was the carriage return it must be.
    bool terminated = true;
    // For a line cut at kMaxLineSize without a carriage return.
    bool overlong = false;

    // Write frames only: the block named by the suffix and the 128 data bytes.
    int block() const;
    std::span<const std::uint8_t> data() const;
};

class FrameReader {
  public:
    void feed(std::span<const std::uint8_t> bytes);
    // The next complete frame, or nothing while the buffered bytes do not yet make one.
    std::optional<Frame> next();
    std::size_t buffered() const { return m_buffer.size(); }
    void clear() { m_buffer.clear(); }

  private:
    std::optional<Frame> takeLine(std::size_t skip, Frame::Kind kind);
    std::optional<Frame> takeWrite();

    std::vector<std::uint8_t> m_buffer;
};

}  // namespace veskator::sim
