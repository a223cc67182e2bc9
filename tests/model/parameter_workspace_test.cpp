#include "model/parameter_workspace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace veskator {
namespace {

template <typename Span>
std::ptrdiff_t offsetIn(const ParameterWorkspace& workspace, Span area) {
    return reinterpret_cast<const std::uint8_t*>(area.data()) - workspace.bytes().data();
}

TEST(ParameterWorkspace, AreasLieAtTheirOffsets) {
    ParameterWorkspace workspace;
    const ParameterWorkspace& constView = workspace;
    EXPECT_TRUE(std::all_of(constView.bytes().begin(), constView.bytes().end(),
                            [](std::uint8_t b) { return b == 0; }));

    EXPECT_EQ(offsetIn(workspace, workspace.receiveArea()), 0);
    EXPECT_EQ(offsetIn(workspace, workspace.image()), 0);
    EXPECT_EQ(offsetIn(workspace, workspace.historyArea()), 1794);
    EXPECT_EQ(offsetIn(workspace, workspace.dialerDataArea()), 4096);
    EXPECT_EQ(offsetIn(workspace, constView.historyArea()), 1794);
    EXPECT_EQ(offsetIn(workspace, constView.dialerDataArea()), 4096);
    for (int k = 0; k < kBlockCount; ++k) {
        EXPECT_EQ(offsetIn(workspace, workspace.block(k)), 128 * k);
        EXPECT_EQ(offsetIn(workspace, constView.block(k)), 128 * k);
    }
    EXPECT_EQ(workspace.bytes().size(), 16384u);
    EXPECT_EQ(workspace.receiveArea().size(), 4096u);
    EXPECT_EQ(workspace.historyArea().size(), 2310u);
    EXPECT_EQ(workspace.dialerDataArea().size(), 4224u);

    // The history area's last 8 bytes are the dialer data's first 8.
    workspace.dialerDataArea()[7] = 0x5A;
    EXPECT_EQ(workspace.historyArea()[kHistorySize - 1], 0x5A);
    workspace.historyArea()[kHistorySize - 8] = 0xA5;
    EXPECT_EQ(workspace.dialerDataArea()[0], 0xA5);

    // A write through a block shows in the image and the receive area.
    workspace.block(7)[127] = 0x77;
    EXPECT_EQ(workspace.image()[1023], 0x77);
    EXPECT_EQ(constView.receiveArea()[1023], 0x77);
}

TEST(ParameterWorkspace, ImagePlaceCountsBlocksOf128) {
    EXPECT_EQ(imageOffset({0, 0x1f}), 0x1f);
    EXPECT_EQ(imageOffset({1, 0x3f}), 128 + 0x3f);
    EXPECT_EQ(imageOffset({7, 0x7f}), 1023);
    // A slot running on from A0 0x70 reaches A1 0x0F.
    EXPECT_EQ(imageOffset({0, 0x70 + 31}), imageOffset({1, 0x0F}));
}

TEST(ParameterWorkspace, WriteTextStaysInsideItsSlot) {
    ParameterWorkspace workspace;
    auto image = workspace.image();
    std::fill(image.begin(), image.end(), std::uint8_t{0xEE});
    const std::string forty(40, 'x');

    writeText(image, 0x70, 31, forty);
    EXPECT_EQ(std::string(image.begin() + 0x70, image.begin() + 0x70 + 30), std::string(30, 'x'));
    EXPECT_EQ(image[0x70 + 30], 0);
    EXPECT_EQ(image[0x70 + 31], 0xEE);
    EXPECT_EQ(image[0x6F], 0xEE);
    EXPECT_EQ(readText(image, 0x70, 31), std::string(30, 'x'));

    // A shorter text ends with its zero; the old bytes after it stay.
    writeText(image, 0x70, 31, "10.0.0.7");
    EXPECT_EQ(readText(image, 0x70, 31), "10.0.0.7");
    EXPECT_EQ(image[0x70 + 8], 0);
    EXPECT_EQ(image[0x70 + 9], 'x');

    // At the end of the image the slot is cut short, never overrun.
    writeText(image, 1020, 16, "abcdefgh");
    EXPECT_EQ(readText(image, 1020, 16), "abc");
    EXPECT_EQ(workspace.bytes()[1024], 0);
    writeText(image, 1024, 16, "abc");
    writeText(image, -1, 16, "abc");
    writeText(image, 0, 0, "abc");
    EXPECT_EQ(image[0], 0xEE);
    EXPECT_EQ(workspace.bytes()[1024], 0);
}

TEST(ParameterWorkspace, WriteTextExactFillsFullSlotsWithoutTerminator) {
    ParameterWorkspace workspace;
    auto image = workspace.image();
    const int slot = imageOffset({1, 0x20});
    std::fill(image.begin(), image.end(), std::uint8_t{0xEE});

    writeTextExact(image, slot, 15, "ABCDEFGHIJKLMNOPQ");
    EXPECT_EQ(std::string(image.begin() + slot, image.begin() + slot + 15), "ABCDEFGHIJKLMNO");
    EXPECT_EQ(image[static_cast<std::size_t>(slot) + 15], 0xEE);

    writeTextExact(image, slot, 15, "ABC");
    EXPECT_EQ(readText(image, slot, 15), "ABC");
    EXPECT_EQ(image[static_cast<std::size_t>(slot) + 4], 'E');

    writeTextExact(image, slot, 15, "123456789012345");
    EXPECT_EQ(readText(image, slot, 15), "123456789012345");
    EXPECT_EQ(image[static_cast<std::size_t>(slot) + 15], 0xEE);

    writeTextExact(image, 1020, 15, "abcdefgh");
    EXPECT_EQ(readText(image, 1020, 15), "abcd");
    EXPECT_EQ(workspace.bytes()[1024], 0);
}

TEST(ParameterWorkspace, ReadTextIsBoundedBySlotAndSpan) {
    ParameterWorkspace workspace;
    auto image = workspace.image();
    std::fill(image.begin(), image.end(), std::uint8_t{'q'});
    image[0x10] = 0xE9;  // 8-bit characters are kept as they are

    const std::string full = readText(image, 0x10, 31);
    EXPECT_EQ(full.size(), 31u);
    EXPECT_EQ(static_cast<std::uint8_t>(full[0]), 0xE9);
    EXPECT_EQ(readText(image, 1000, 31), std::string(24, 'q'));
    EXPECT_EQ(readText(image, 1024, 31), "");
    EXPECT_EQ(readText(image, -5, 31), "");
    EXPECT_EQ(readText(image, 0, 0), "");
    image[3] = 0;
    EXPECT_EQ(readText(image, 0, 31), "qqq");
}

}  // namespace
}  // namespace veskator
