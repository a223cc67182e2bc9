// The comparison as the device will hold what a load writes: image bytes of 13 go out as 12, and
// every byte of A0..A7 that a load changes shows as a setting or is counted.

#include "model/settings_compare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

#include "tools/communicator_sim/sim_memory.h"

namespace veskator {
namespace {

using Workspace = std::array<std::uint8_t, kWorkspaceSize>;

// A configured device as a read brings it.
Workspace realistic() {
    const sim::SimMemory memory = sim::defaultMemory();
    Workspace w{};
    std::copy_n(memory.begin(), kReceiveAreaSize, w.begin());
    return w;
}

constexpr std::size_t at(int block, int offset) {
    return static_cast<std::size_t>(imageOffset({block, offset}));
}

TEST(SettingsCompare, ASettingShowsAsTheDeviceWillHoldIt) {
    Workspace device = realistic();
    device[at(7, 0x33)] = 12;  // SOUND DETECTING LEVEL as a load of 13 left it
    Workspace file = device;
    file[at(7, 0x33)] = 13;
    EXPECT_TRUE(compareSettings(device, file).same());
    file[at(7, 0x33)] = 14;
    const SettingsComparison c = compareSettings(device, file);
    ASSERT_EQ(c.settings.size(), 1u);
    EXPECT_EQ(c.settings[0].label, "SOUND DETECTING LEVEL");
    EXPECT_EQ(c.settings[0].before, "12");
    EXPECT_EQ(c.settings[0].after, "14");
    EXPECT_EQ(c.otherBytes, 0);
}

// Changes a load makes that no setting shows differently: each is counted as another byte.
TEST(SettingsCompare, ChangesNoSettingShowsAreCounted) {
    struct Case {
        const char* what;
        std::size_t offset;
        std::uint8_t bits;  // that differ between the device and the file
    };
    const Case cases[] = {
        {"behind the zero byte of Alarm Sequence Number", at(0, 0x2c), 0x5a},
        {"behind the zero byte of PASSWORD", at(3, 0x08), 0x78},
        {"a bit of A1 0x3d no option names, under the server-port text", at(1, 0x3d), 0x40},
        {"the decoded bit while Sur-Gard is set", at(0, 0x6c), 0x10},
        {"two baud codes both shown as 115.2K", at(7, 0x3b), 0x07},
        {"the start-up delay's last slot byte", at(3, 0x57), 0x39},
    };
    Workspace device = realistic();
    // The texts end early and Sur-Gard is on, as the cases need.
    std::copy_n("0001", 5, device.begin() + at(0, 0x20));
    std::copy_n("pw", 3, device.begin() + at(3, 0x00));
    std::copy_n("12", 3, device.begin() + at(1, 0x30));
    std::copy_n("123456", 6, device.begin() + at(3, 0x51));
    device[at(1, 0x3d)] |= 0x08;
    device[at(7, 0x3b)] = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Workspace before = device;
        before[c.offset] &= static_cast<std::uint8_t>(~c.bits);
        Workspace file = before;
        file[c.offset] |= c.bits;
        const SettingsComparison result = compareSettings(before, file);
        EXPECT_TRUE(result.settings.empty()) << result.settings.front().label;
        EXPECT_EQ(result.otherBytes, 1);
    }
}

// Whatever single byte of the image a file changes, the comparison never calls the two the same,
// and a changed setting accounts for the bytes it shows.
TEST(SettingsCompare, NoByteOfTheImageChangesUnseen) {
    const Workspace device = realistic();
    for (std::size_t offset = 0; offset < kImageSize; ++offset) {
        for (const std::uint8_t flip :
             {std::uint8_t{0x01}, std::uint8_t{0x40}, std::uint8_t{0xff}}) {
            Workspace file = device;
            file[offset] ^= flip;
            if (sentAs(file[offset]) == sentAs(device[offset])) continue;
            const SettingsComparison c = compareSettings(device, file);
            ASSERT_FALSE(c.same()) << "offset " << offset << ", bits " << int(flip);
            ASSERT_LE(c.otherBytes, 1);
        }
    }
}

}  // namespace
}  // namespace veskator
