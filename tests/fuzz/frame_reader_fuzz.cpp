// The simulator's frame reader: the frames it cuts from a byte stream do not depend on how the
// stream came in pieces, and they are the stream's own bytes in order, line feeds between frames
// the only bytes left out.

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "tools/communicator_sim/frame_reader.h"

namespace veskator::sim {
namespace {

using fuzz::printable;

struct Parsed {
    std::vector<Frame> frames;
    std::size_t buffered = 0;
};

bool sameFrame(const Frame& a, const Frame& b) {
    return a.kind == b.kind && a.text == b.text && a.raw == b.raw && a.terminated == b.terminated &&
           a.overlong == b.overlong;
}

// Feeds the stream in pieces ending at the ascending cuts, taking every frame after each piece.
Parsed parseInPieces(std::span<const std::uint8_t> stream, const std::set<std::size_t>& cuts) {
    FrameReader reader;
    Parsed parsed;
    std::size_t start = 0;
    std::vector<std::size_t> ends(cuts.begin(), cuts.end());
    ends.push_back(stream.size());
    for (const std::size_t end : ends) {
        reader.feed(stream.subspan(start, end - start));
        start = end;
        while (auto frame = reader.next()) parsed.frames.push_back(std::move(*frame));
    }
    parsed.buffered = reader.buffered();
    return parsed;
}

void checkFrame(const Frame& f) {
    const std::string shown = printable(f.raw);
    FUZZ_CHECK(!f.raw.empty() && f.raw.size() <= kMaxLineSize, shown);
    const bool framed = f.raw.size() >= 2 && f.raw[0] == kLineFeed && f.raw[1] == kQuote;
    switch (f.kind) {
        case Frame::Kind::Write:
            FUZZ_CHECK(framed && f.raw.size() == kWriteFrameSize, shown);
            FUZZ_CHECK(f.text.size() == kWriteTextSize && f.text.starts_with(kWritePrefix), shown);
            FUZZ_CHECK(f.terminated == (f.raw.back() == kCarriageReturn), shown);
            FUZZ_CHECK(f.data().size() == kBlockSize && f.block() == suffixNumber(f.raw[16]),
                       shown);
            return;
        case Frame::Kind::Command:
            FUZZ_CHECK(framed, shown);
            FUZZ_CHECK(f.block() == -1 && f.data().empty(), shown);
            break;
        case Frame::Kind::Line:
            FUZZ_CHECK(f.raw[0] != kLineFeed, shown);
            break;
    }
    const std::size_t skip = f.kind == Frame::Kind::Command ? 2 : 0;
    // Cut at its first carriage return, or at the limit without one.
    const auto cr =
        std::find(f.raw.begin() + static_cast<std::ptrdiff_t>(skip), f.raw.end(), kCarriageReturn);
    if (f.overlong) {
        FUZZ_CHECK(f.raw.size() == kMaxLineSize && cr == f.raw.end(), shown);
        FUZZ_CHECK(
            f.text == std::string(f.raw.begin() + static_cast<std::ptrdiff_t>(skip), f.raw.end()),
            shown);
    } else {
        FUZZ_CHECK(cr == f.raw.end() - 1, shown);
        FUZZ_CHECK(f.text == std::string(f.raw.begin() + static_cast<std::ptrdiff_t>(skip), cr),
                   shown);
        // A command that starts like a write is no command: it is cut by length.
        FUZZ_CHECK(f.kind != Frame::Kind::Command || !f.text.starts_with(kWritePrefix), shown);
    }
}

}  // namespace
}  // namespace veskator::sim

// The first byte says how many cut points follow (two bytes each); the rest is the stream.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veskator::sim;
    veskator::fuzz::FuzzInput input(data, size);
    const int cutCount = input.front() % 32;
    std::vector<int> cutValues;
    for (int i = 0; i < cutCount; ++i) cutValues.push_back(input.front16());
    const std::span<const std::uint8_t> stream = input.frontBytes(size);
    std::set<std::size_t> cuts;
    for (const int value : cutValues) {
        cuts.insert(static_cast<std::size_t>(value) % (stream.size() + 1));
    }

    const Parsed whole = parseInPieces(stream, {});
    const Parsed pieces = parseInPieces(stream, cuts);
    FUZZ_CHECK(pieces.frames.size() == whole.frames.size() && pieces.buffered == whole.buffered,
               std::to_string(pieces.frames.size()) + " frames and " +
                   std::to_string(pieces.buffered) + " bytes left in pieces, " +
                   std::to_string(whole.frames.size()) + " and " + std::to_string(whole.buffered) +
                   " whole");
    for (std::size_t i = 0; i < whole.frames.size(); ++i) {
        FUZZ_CHECK(sameFrame(pieces.frames[i], whole.frames[i]),
                   "frame " + std::to_string(i) + ": " + printable(pieces.frames[i].raw) +
                       " in pieces, " + printable(whole.frames[i].raw) + " whole");
    }
    // Byte by byte too, while that stays quick.
    if (stream.size() <= 2048) {
        std::set<std::size_t> everyByte;
        for (std::size_t i = 1; i < stream.size(); ++i) everyByte.insert(i);
        const Parsed bytes = parseInPieces(stream, everyByte);
        FUZZ_CHECK(bytes.frames.size() == whole.frames.size() && bytes.buffered == whole.buffered,
                   "fed byte by byte: " + std::to_string(bytes.frames.size()) + " frames");
        for (std::size_t i = 0; i < whole.frames.size(); ++i) {
            FUZZ_CHECK(sameFrame(bytes.frames[i], whole.frames[i]),
                       "fed byte by byte, frame " + std::to_string(i));
        }
    }

    // The frames are the stream's bytes in order; only line feeds are left out between them, and
    // what stays buffered is the stream's end.
    std::size_t at = 0;
    for (const Frame& frame : whole.frames) {
        checkFrame(frame);
        while (at < stream.size() && stream[at] == kLineFeed &&
               !std::equal(frame.raw.begin(), frame.raw.end(), stream.begin() + at,
                           stream.begin() + std::min(stream.size(), at + frame.raw.size()))) {
            ++at;
        }
        FUZZ_CHECK(at + frame.raw.size() <= stream.size() &&
                       std::equal(frame.raw.begin(), frame.raw.end(), stream.begin() + at),
                   "frame " + printable(frame.raw) + " is not the stream's next bytes at " +
                       std::to_string(at));
        at += frame.raw.size();
    }
    FUZZ_CHECK(whole.buffered <= stream.size() - at,
               std::to_string(whole.buffered) + " bytes buffered after " + std::to_string(at));
    for (std::size_t i = at; i < stream.size() - whole.buffered; ++i) {
        FUZZ_CHECK(stream[i] == kLineFeed,
                   "a byte other than a line feed was dropped at " + std::to_string(i));
    }
    return 0;
}
