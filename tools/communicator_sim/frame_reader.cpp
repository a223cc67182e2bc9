#include "tools/communicator_sim/frame_reader.h"

#include <algorithm>
#include <iterator>

namespace veskator::sim {

int Frame::block() const {
    if (kind != Kind::Write || raw.size() != kWriteFrameSize) {
        return -1;
    }
    return suffixNumber(raw[kWriteDataOffset - 1]);
}

std::span<const std::uint8_t> Frame::data() const {
    if (kind != Kind::Write || raw.size() != kWriteFrameSize) {
        return {};
    }
    return std::span<const std::uint8_t>(raw).subspan(kWriteDataOffset, kBlockSize);
}

void FrameReader::feed(std::span<const std::uint8_t> bytes) {
    m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
}

std::optional<Frame> FrameReader::next() {
    // A line feed that does not open a command frame is left over from a terminal's line end.
    while (m_buffer.size() >= 2 && m_buffer[0] == kLineFeed && m_buffer[1] != kQuote) {
        m_buffer.erase(m_buffer.begin());
    }
    if (m_buffer.empty()) {
        return std::nullopt;
    }
    if (m_buffer[0] != kLineFeed) {
        return takeLine(0, Frame::Kind::Line);
    }
    if (m_buffer.size() < 2) {
        return std::nullopt;
    }
    // Decide between a write frame and any other command as soon as the text differs from the
    // write prefix; a write frame must never be cut at a carriage return inside its data.
    const std::size_t seen = std::min(m_buffer.size() - 2, kWritePrefix.size());
    const bool prefixSoFar =
        std::equal(m_buffer.begin() + 2, m_buffer.begin() + 2 + static_cast<std::ptrdiff_t>(seen),
                   kWritePrefix.begin());
    if (!prefixSoFar) {
        return takeLine(2, Frame::Kind::Command);
    }
    if (seen < kWritePrefix.size()) {
        return std::nullopt;
    }
    return takeWrite();
}

std::optional<Frame> FrameReader::takeLine(std::size_t skip, Frame::Kind kind) {
    const auto searchFrom = m_buffer.begin() + static_cast<std::ptrdiff_t>(skip);
    // Only a carriage return within the limit ends the line, so where the line is cut does not
    // depend on how many bytes had arrived when it was looked at.
    const auto searchTo =
        m_buffer.begin() + static_cast<std::ptrdiff_t>(std::min(m_buffer.size(), kMaxLineSize));
    const auto cr = std::find(searchFrom, searchTo, kCarriageReturn);
    Frame frame;
    frame.kind = kind;
    std::vector<std::uint8_t>::iterator end;
    if (cr != searchTo) {
        frame.text.assign(searchFrom, cr);
        end = std::next(cr);
    } else if (m_buffer.size() >= kMaxLineSize) {
        end = m_buffer.begin() + static_cast<std::ptrdiff_t>(kMaxLineSize);
        frame.text.assign(searchFrom, end);
        frame.overlong = true;
    } else {
        return std::nullopt;
    }
    frame.raw.assign(m_buffer.begin(), end);
    m_buffer.erase(m_buffer.begin(), end);
    return frame;
}

std::optional<Frame> FrameReader::takeWrite() {
    if (m_buffer.size() < kWriteFrameSize) {
        return std::nullopt;
    }
    const auto end = m_buffer.begin() + static_cast<std::ptrdiff_t>(kWriteFrameSize);
    Frame frame;
    frame.kind = Frame::Kind::Write;
    frame.text.assign(m_buffer.begin() + 2,
                      m_buffer.begin() + static_cast<std::ptrdiff_t>(kWriteDataOffset));
    frame.raw.assign(m_buffer.begin(), end);
    frame.terminated = frame.raw.back() == kCarriageReturn;
    m_buffer.erase(m_buffer.begin(), end);
    return frame;
}

}  // namespace veskator::sim
