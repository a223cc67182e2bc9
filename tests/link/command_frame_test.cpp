#include "link/command_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

namespace veskator {
namespace {

std::vector<std::uint8_t> frameOf(CommandCode code, ParameterWorkspace& workspace) {
    FrameBuffer buffer{};
    const int length = BuildCommandFrame(buffer, code, workspace);
    EXPECT_GE(length, 3);
    EXPECT_LE(length, static_cast<int>(kFrameBufferSize));
    return {buffer.begin(), buffer.begin() + length};
}

std::vector<std::uint8_t> textFrame(std::string_view text) {
    // Sized once: GCC 12 at -O2 flags the grow-and-insert on a two-byte vector (-Warray-bounds).
    std::vector<std::uint8_t> bytes(text.size() + 3);
    bytes[0] = 10;
    bytes[1] = 34;
    std::copy(text.begin(), text.end(), bytes.begin() + 2);
    bytes.back() = 13;
    return bytes;
}

TEST(CommandFrame, ReadFramesAreByteExact) {
    ParameterWorkspace workspace;
    EXPECT_EQ(frameOf(0, workspace), textFrame("read program0"));
    EXPECT_EQ(frameOf(0, workspace).size(), 16u);
    EXPECT_EQ(frameOf(1, workspace), textFrame("read program1"));
    EXPECT_EQ(frameOf(2, workspace), textFrame("read programA2"));
    EXPECT_EQ(frameOf(9, workspace).size(), 17u);
    EXPECT_EQ(frameOf(45, workspace), textFrame("read programA?"));
    EXPECT_EQ(frameOf(62, workspace), textFrame("read programAP"));
    EXPECT_EQ(frameOf(93, workspace), textFrame("read programAo"));
}

TEST(CommandFrame, UnitReadsFollowTheSuffixRuleInOrder) {
    std::string suffixes = "0123456789:;<=>?@";
    for (char c = 'A'; c <= 'Z'; ++c) suffixes += c;
    suffixes += "[\\]^_`";
    for (char c = 'a'; c <= 'o'; ++c) suffixes += c;
    ASSERT_EQ(suffixes.size(), static_cast<std::size_t>(kReadUnitCount));

    ParameterWorkspace workspace;
    for (int unit = 0; unit < kReadUnitCount; ++unit) {
        const CommandCode code = readCodeForUnit(unit);
        const std::string text =
            std::string(unit < 2 ? "read program" : "read programA") + suffixes[unit];
        EXPECT_EQ(frameTextOf(code), text) << "unit " << unit;
        EXPECT_EQ(frameOf(code, workspace), textFrame(text)) << "unit " << unit;
        EXPECT_EQ(unitOfReadCode(code), unit);
        // Reads from unit 10 on carry general codes; the engine tells them by the code.
        EXPECT_EQ(exchangeKindOf(code), unit < 10 ? ExchangeKind::Read : ExchangeKind::General);
    }
    EXPECT_EQ(readCodeForUnit(9), 9);
    EXPECT_EQ(readCodeForUnit(10), 40);
    EXPECT_EQ(readCodeForUnit(63), 93);
    EXPECT_EQ(unitOfReadCode(10), -1);
    EXPECT_EQ(unitOfReadCode(39), -1);
    EXPECT_EQ(unitOfReadCode(94), -1);
    EXPECT_EQ(unitOfReadCode(-1), -1);
}

TEST(CommandFrame, HighCodesWrapTheSuffixAndStayInTheBuffer) {
    ParameterWorkspace workspace;
    // Code 237 is the last one below the wrap; 238 gives suffix byte 0.
    std::vector<std::uint8_t> expected = textFrame("read programA?");
    expected[15] = 255;
    EXPECT_EQ(frameOf(237, workspace), expected);
    expected[15] = 0;
    EXPECT_EQ(frameOf(238, workspace), expected);
    expected[15] = 'P';
    EXPECT_EQ(frameOf(62 + 256, workspace), expected);
    expected[15] = static_cast<std::uint8_t>((INT_MAX % 256 + 18) % 256);
    EXPECT_EQ(frameOf(INT_MAX, workspace), expected);
}

TEST(CommandFrame, CodesWithoutTextGiveTheEmptyFrame) {
    ParameterWorkspace workspace;
    for (CommandCode code : {-1, 16, 17, 18, 22, 29, 31, 32, 34, 39, INT_MIN}) {
        EXPECT_EQ(frameOf(code, workspace), (std::vector<std::uint8_t>{10, 34, 13}))
            << "code " << code;
        EXPECT_TRUE(frameTextOf(code).empty());
    }
}

TEST(CommandFrame, GeneralAndResetFrames) {
    ParameterWorkspace workspace;
    EXPECT_EQ(frameOf(kCodeRemoteReset, workspace), textFrame("$remotereset$"));
    EXPECT_EQ(frameOf(kCodeRemoteReset, workspace).size(), 16u);
    EXPECT_EQ(frameOf(kCodeStatus, workspace), textFrame("gpcommandr1"));
    EXPECT_EQ(frameOf(kCodeStatus, workspace).size(), 14u);
    EXPECT_EQ(frameOf(kCodeStatus2, workspace), textFrame("gpcommandr2"));
    EXPECT_EQ(exchangeKindOf(kCodeRemoteReset), ExchangeKind::Write);
    EXPECT_EQ(exchangeKindOf(29), ExchangeKind::Write);
    EXPECT_EQ(exchangeKindOf(kCodeStatus), ExchangeKind::General);
    EXPECT_EQ(exchangeKindOf(kCodeStatusDone), ExchangeKind::General);
}

TEST(CommandFrame, BlockWriteReplacesCarriageReturnsInTheImage) {
    ParameterWorkspace workspace;
    auto a0 = workspace.block(0);
    for (std::size_t i = 0; i < kBlockSize; ++i) a0[i] = static_cast<std::uint8_t>(i + 14);
    a0[5] = 13;
    a0[6] = 10;                  // line feeds pass unchanged
    a0[127] = 13;                // the last data byte, just before the frame's own CR
    workspace.block(1)[0] = 13;  // the next block is not touched

    FrameBuffer buffer{};
    ASSERT_EQ(BuildCommandFrame(buffer, 10, workspace), 146);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 17), "\n\"write programA0");
    EXPECT_EQ(buffer[22], 12);
    EXPECT_EQ(a0[5], 12);
    EXPECT_EQ(buffer[23], 10);
    EXPECT_EQ(a0[6], 10);
    EXPECT_EQ(buffer[144], 12);
    EXPECT_EQ(a0[127], 12);
    EXPECT_EQ(buffer[145], 13);
    for (std::size_t i = 0; i < kBlockSize; ++i) {
        EXPECT_EQ(buffer[17 + i], a0[i]) << "byte " << i;
        if (i != 5 && i != 6 && i != 127) {
            EXPECT_EQ(a0[i], i + 14);
        }
    }
    EXPECT_EQ(workspace.block(1)[0], 13);
}

TEST(CommandFrame, EveryWriteCodeCarriesItsOwnBlock) {
    ParameterWorkspace workspace;
    for (int k = 0; k < kBlockCount; ++k) {
        std::fill(workspace.block(k).begin(), workspace.block(k).end(),
                  static_cast<std::uint8_t>(0xA0 + k));
    }
    const std::array<CommandCode, kBlockCount> codes{10, 11, 12, 13, 14, 15, 20, 21};
    for (int k = 0; k < kBlockCount; ++k) {
        const CommandCode code = codes[static_cast<std::size_t>(k)];
        EXPECT_EQ(writeCodeForBlock(k), code);
        EXPECT_EQ(blockOfWriteCode(code), k);
        EXPECT_EQ(exchangeKindOf(code), ExchangeKind::Write);
        FrameBuffer buffer{};
        ASSERT_EQ(BuildCommandFrame(buffer, code, workspace), 146);
        EXPECT_EQ(std::string(buffer.begin() + 2, buffer.begin() + 17),
                  "write programA" + std::string(1, static_cast<char>('0' + k)));
        EXPECT_EQ(buffer[17], 0xA0 + k);
        EXPECT_EQ(buffer[144], 0xA0 + k);
        EXPECT_EQ(buffer[145], 13);
    }
    EXPECT_EQ(writeCodeForBlock(-1), -1);
    EXPECT_EQ(writeCodeForBlock(8), -1);
    EXPECT_EQ(blockOfWriteCode(16), -1);
    EXPECT_EQ(blockOfWriteCode(19), -1);
    EXPECT_EQ(blockOfWriteCode(0), -1);
}

TEST(CommandFrame, ChunkFramesCopyDataUnchanged) {
    std::array<std::uint8_t, kBlockSize> source{};
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<std::uint8_t>(200 - i);
    source[0] = 13;
    source[127] = 13;

    FrameBuffer buffer{};
    ASSERT_EQ(BuildChunkFrame(buffer, source, kFirstAlarmChunk), 146);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 17), "\n\"write programAp");
    EXPECT_TRUE(std::equal(source.begin(), source.end(), buffer.begin() + 17));
    EXPECT_EQ(buffer[17], 13);
    EXPECT_EQ(buffer[144], 13);
    EXPECT_EQ(buffer[145], 13);

    ASSERT_EQ(BuildChunkFrame(buffer, source, kLastAlarmChunk), 146);
    EXPECT_EQ(buffer[16], 188);
    ASSERT_EQ(BuildChunkFrame(buffer, source, 32), 146);  // first dialer block
    EXPECT_EQ(buffer[16], 'P');
    ASSERT_EQ(BuildChunkFrame(buffer, source, 208), 146);  // 48 + 208 wraps to 0
    EXPECT_EQ(buffer[16], 0);
    EXPECT_EQ(source[0], 13);
}

TEST(CommandFrame, HexByteRendersTwoUpperCaseDigits) {
    EXPECT_EQ(hexByte(0x0A), "0A");
    EXPECT_EQ(hexByte(255), "FF");
    EXPECT_EQ(hexByte(0), "00");
    EXPECT_EQ(hexByte(0x9F), "9F");
    EXPECT_EQ(hexByte(0xB4), "B4");
    EXPECT_EQ(hexByte(256), "00");
    EXPECT_EQ(hexByte(-1), "00");
    std::array<char, 3> out{'x', 'x', 'x'};
    HexByte(0xC7, std::span<char, 2>(out.data(), 2));
    EXPECT_EQ(out, (std::array<char, 3>{'C', '7', 'x'}));
}

}  // namespace
}  // namespace veskator
