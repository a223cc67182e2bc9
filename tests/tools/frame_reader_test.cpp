#include "tools/communicator_sim/frame_reader.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <numeric>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace veskator::sim {
namespace {

std::vector<std::uint8_t> asBytes(std::string_view text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::vector<std::uint8_t> frameOf(std::string_view text) {
    std::string frame = "\n\"";
    frame.append(text);
    frame.push_back('\r');
    return std::vector<std::uint8_t>(frame.begin(), frame.end());
}

// A write frame whose data is full of the bytes that would end or open a line-framed command.
std::vector<std::uint8_t> writeFrame(std::uint8_t suffix, std::uint8_t end = kCarriageReturn) {
    std::string text = "\n\"";
    text.append(kWritePrefix);
    std::vector<std::uint8_t> frame(text.begin(), text.end());
    frame.push_back(suffix);
    for (std::size_t i = 0; i < kBlockSize; ++i) {
        static constexpr std::uint8_t kAwkward[] = {kCarriageReturn, kLineFeed, kQuote, 0, 'x'};
        frame.push_back(kAwkward[i % 5]);
    }
    frame.push_back(end);
    return frame;
}

std::vector<std::uint8_t> repeated(char c, std::size_t count) {
    return std::vector<std::uint8_t>(count, static_cast<std::uint8_t>(c));
}

std::vector<std::uint8_t> joined(std::initializer_list<std::vector<std::uint8_t>> pieces) {
    std::vector<std::uint8_t> all;
    for (const auto& piece : pieces) {
        all.insert(all.end(), piece.begin(), piece.end());
    }
    return all;
}

using FrameSummary = std::tuple<Frame::Kind, std::string, std::vector<std::uint8_t>,
                                bool /*terminated*/, bool /*overlong*/>;

// Feeds `stream` in pieces ending at each of the ascending `cuts`, taking every frame after each
// piece; returns the frames and how many bytes stay buffered.
std::pair<std::vector<FrameSummary>, std::size_t> parseInPieces(
    const std::vector<std::uint8_t>& stream, const std::vector<std::size_t>& cuts) {
    FrameReader reader;
    std::vector<FrameSummary> frames;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= cuts.size(); ++i) {
        const std::size_t end = i < cuts.size() ? cuts[i] : stream.size();
        reader.feed(std::span(stream).subspan(start, end - start));
        start = end;
        while (auto frame = reader.next()) {
            frames.emplace_back(frame->kind, frame->text, frame->raw, frame->terminated,
                                frame->overlong);
        }
    }
    return {frames, reader.buffered()};
}

TEST(FrameReader, CommandFramesEndAtTheirCarriageReturnWhateverTheSegments) {
    FrameReader reader;
    const auto frame = frameOf("read programAo");
    for (std::size_t i = 0; i + 1 < frame.size(); ++i) {
        reader.feed(std::span(frame).subspan(i, 1));
        EXPECT_FALSE(reader.next()) << "complete after " << i + 1 << " bytes";
    }
    reader.feed(std::span(frame).last(1));
    auto parsed = reader.next();
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->kind, Frame::Kind::Command);
    EXPECT_EQ(parsed->text, "read programAo");
    EXPECT_EQ(parsed->raw, frame);
    EXPECT_FALSE(reader.next());
    EXPECT_EQ(reader.buffered(), 0u);

    // A text that starts like a write but ends early is an ordinary command.
    reader.feed(frameOf("write"));
    parsed = reader.next();
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->kind, Frame::Kind::Command);
    EXPECT_EQ(parsed->text, "write");

    // The empty frame of a code without a text.
    reader.feed(std::vector<std::uint8_t>{kLineFeed, kQuote, kCarriageReturn});
    parsed = reader.next();
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->kind, Frame::Kind::Command);
    EXPECT_EQ(parsed->text, "");
}

TEST(FrameReader, WriteFramesAreCutByLengthAtEverySplitPoint) {
    const auto write = writeFrame(188);
    const auto read = frameOf("read program1");
    std::vector<std::uint8_t> stream = write;
    stream.insert(stream.end(), read.begin(), read.end());

    for (std::size_t split = 1; split < stream.size(); ++split) {
        FrameReader reader;
        reader.feed(std::span(stream).first(split));
        std::vector<Frame> frames;
        while (auto frame = reader.next()) {
            frames.push_back(*frame);
        }
        reader.feed(std::span(stream).subspan(split));
        while (auto frame = reader.next()) {
            frames.push_back(*frame);
        }
        ASSERT_EQ(frames.size(), 2u) << "split at " << split;
        EXPECT_EQ(frames[0].kind, Frame::Kind::Write);
        EXPECT_TRUE(frames[0].terminated);
        EXPECT_EQ(frames[0].raw, write);
        EXPECT_EQ(frames[0].block(), 140);
        ASSERT_EQ(frames[0].data().size(), kBlockSize);
        EXPECT_TRUE(std::equal(frames[0].data().begin(), frames[0].data().end(),
                               write.begin() + kWriteDataOffset));
        EXPECT_EQ(frames[0].text, std::string("write programA") + static_cast<char>(188));
        EXPECT_EQ(frames[1].text, "read program1");
    }
}

TEST(FrameReader, WriteFrameDetailsAndBlockNumbers) {
    FrameReader reader;
    reader.feed(writeFrame('5'));
    reader.feed(writeFrame('p', 'Z'));
    auto first = reader.next();
    auto second = reader.next();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->block(), 5);
    EXPECT_EQ(second->block(), 64);
    EXPECT_FALSE(second->terminated);
    // Suffixes below "0" wrap round, as block numbers are sent modulo 256.
    EXPECT_EQ(suffixNumber(0), 208);
    // Only write frames carry a block.
    reader.feed(frameOf("gpcommandr1"));
    auto command = reader.next();
    ASSERT_TRUE(command);
    EXPECT_EQ(command->block(), -1);
    EXPECT_TRUE(command->data().empty());
}

TEST(FrameReader, LinesWithoutCommandFramingAndStrayLineFeeds) {
    FrameReader reader;
    const std::string pairing = "00:11:22:33:44:55/DOWNLOADBT/66:77:88:99:AA:BB5550199\r";
    reader.feed(asBytes(pairing));
    // A terminal's line feed between frames does not disturb the next frame.
    reader.feed(asBytes("\n"));
    reader.feed(frameOf("$remotereset$"));
    auto line = reader.next();
    ASSERT_TRUE(line);
    EXPECT_EQ(line->kind, Frame::Kind::Line);
    EXPECT_EQ(line->text, pairing.substr(0, pairing.size() - 1));
    EXPECT_EQ(line->raw, asBytes(pairing));
    auto reset = reader.next();
    ASSERT_TRUE(reset);
    EXPECT_EQ(reset->kind, Frame::Kind::Command);
    EXPECT_EQ(reset->text, "$remotereset$");

    // A line that never ends is given up at the limit instead of growing without bound.
    reader.feed(std::vector<std::uint8_t>(kMaxLineSize + 10, 'a'));
    auto overlong = reader.next();
    ASSERT_TRUE(overlong);
    EXPECT_TRUE(overlong->overlong);
    EXPECT_EQ(overlong->raw.size(), kMaxLineSize);
    EXPECT_FALSE(reader.next());
    EXPECT_EQ(reader.buffered(), 10u);
}

TEST(FrameReader, LineLimitCutsAlikeWhateverTheSplit) {
    const std::vector<std::uint8_t> cr{kCarriageReturn};
    const std::vector<std::uint8_t> status = frameOf("gpcommandr1");
    struct Case {
        const char* name;
        std::vector<std::uint8_t> stream;
        std::vector<std::size_t> rawSizes;  // of the frames, fed whole
        std::size_t buffered;               // left over, fed whole
    };
    const Case cases[] = {
        {"line with its CR at 550",
         joined({repeated('a', 550), cr, repeated('b', 49)}),
         {kMaxLineSize, 39},
         49},
        {"command with its CR at 550",
         joined({asBytes("\n\""), repeated('c', 548), cr, status}),
         {kMaxLineSize, 39, status.size()},
         0},
        {"CR at the last place within the limit",
         joined({repeated('a', 511), cr, status}),
         {kMaxLineSize, status.size()},
         0},
        {"CR at the first place past the limit",
         joined({repeated('a', 512), cr, asBytes("z")}),
         {kMaxLineSize, 1},
         1},
        {"write frame, then a command like it that runs long",
         joined({writeFrame('7'), asBytes("\n\""), repeated('w', 600), cr}),
         {kWriteFrameSize, kMaxLineSize, 91},
         0},
        {"line over twice the limit",
         joined({repeated('x', 1100), cr}),
         {kMaxLineSize, kMaxLineSize, 77},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto whole = parseInPieces(c.stream, {});
        std::vector<std::size_t> rawSizes;
        for (const FrameSummary& frame : whole.first) {
            rawSizes.push_back(std::get<2>(frame).size());
        }
        EXPECT_EQ(rawSizes, c.rawSizes);
        EXPECT_EQ(whole.second, c.buffered);
        for (std::size_t split = 1; split < c.stream.size(); ++split) {
            ASSERT_EQ(parseInPieces(c.stream, {split}), whole) << "split at " << split;
        }
        std::vector<std::size_t> everyByte(c.stream.size() - 1);
        std::iota(everyByte.begin(), everyByte.end(), std::size_t{1});
        EXPECT_EQ(parseInPieces(c.stream, everyByte), whole) << "fed byte by byte";
    }
}

}  // namespace
}  // namespace veskator::sim
