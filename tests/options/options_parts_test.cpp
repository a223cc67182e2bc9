// The options window checked against a table of its own, typed from the device's documentation
// and not from the window's tables: each box's field and each switch's bit, with the block it
// writes, its waits and its restart, as the device ends up holding them.

#include <array>
#include <chrono>
#include <map>
#include <string>

#include "tests/options/options_fixture.h"

namespace veskator::options_test {
namespace {

using Kind = sim::SimEvent::Kind;
using std::chrono::milliseconds;

struct TextRow {
    ControlId box;
    const char* label;
    int block, offset;
    int width;        // bytes of the field
    bool digitsOnly;  // a Contact ID field: exactly its width, no zero byte
};

// clang-format off
constexpr std::array<TextRow, 29> kTexts{{
    {1042, "TO ADDRESS",                               6, 0x30, 80, false},
    {1043, "FROM ADDRESS",                             2, 0x20, 32, false},
    {1044, "MAIL SERVER",                              2, 0x40, 32, false},
    {1045, "USER",                                     2, 0x60, 32, false},
    {1046, "PASSWORD",                                 3, 0x00, 16, false},
    {1100, "SMTP PORT NUMBER LIKE 25, 80, or 587",     3, 0x10, 16, false},
    {1048, "SUBJECT",                                  3, 0x20, 16, false},
    {1102, "TIME",                                     3, 0x30, 16, false},
    {1103, "TIME+",                                    3, 0x40, 8,  false},
    {1104, "TIME-",                                    3, 0x48, 8,  false},
    {1052, "YOUR DDNS HOST NAME",                      4, 0x00, 32, false},
    {1053, "YOUR DDNS USER NAME",                      4, 0x20, 32, false},
    {1054, "YOUR DDNS PASSWORD",                       4, 0x40, 32, false},
    {1055, "DDNS CHECKIP SERVER",                      4, 0x60, 32, false},
    {1056, "DDNS UPDATE SERVER",                       5, 0x00, 32, false},
    {1099, "back-up tel# or for redial QM30/QL30NET",  5, 0x40, 16, false},
    {1106, "main tel#",                                5, 0x50, 16, false},
    {1003, "LOOP1 4-digit account number",             7, 0x00, 4,  true},
    {1007, "LOOP1 Contact ID field 18",                7, 0x04, 2,  true},
    {1004, "LOOP1 1(new) or 3(restore)",               7, 0x06, 1,  true},
    {1008, "LOOP1 3-digit alarm code",                 7, 0x07, 3,  true},
    {1005, "LOOP1 2-digit partition",                  7, 0x0a, 2,  true},
    {1006, "LOOP1 3-digit zone",                       7, 0x0c, 3,  true},
    {1009, "LOOP2 4-digit account number",             7, 0x10, 4,  true},
    {1010, "LOOP2 Contact ID field 18",                7, 0x14, 2,  true},
    {1011, "LOOP2 1(new) or 3(restore)",               7, 0x16, 1,  true},
    {1012, "LOOP2 3-digit alarm code",                 7, 0x17, 3,  true},
    {1013, "LOOP2 2-digit partition",                  7, 0x1a, 2,  true},
    {1015, "LOOP2 3-digit zone",                       7, 0x1c, 3,  true},
}};
// clang-format on

TEST_F(OptionsWindowTest, EveryBoxWritesItsOwnFieldOnTheDevice) {
    openOptions();
    for (const TextRow& row : kTexts) {
        SCOPED_TRACE(row.label);
        // A port box takes a port; the others any text.
        const std::string text = row.digitsOnly ? std::string("9876543").substr(0, row.width)
                                 : row.box == 1100
                                     ? std::string("2525")
                                     : std::string("v").append(std::to_string(row.box));
        const std::string before = deviceText(row.block, 0, kBlockSize);
        opt->replaceText(row.box, text);
        ASSERT_TRUE(pumpUntilSettled());
        const std::string stored = row.digitsOnly ? text : text + '\0';
        EXPECT_EQ(deviceText(row.block, row.offset, stored.size()), stored);
        // Nothing of the block changed but the field.
        std::string expected = before;
        expected.replace(static_cast<std::size_t>(row.offset), stored.size(), stored);
        const std::string after = deviceText(row.block, 0, kBlockSize);
        for (std::size_t i = 0; i < kBlockSize; ++i) {
            const bool inField = i >= static_cast<std::size_t>(row.offset) &&
                                 i < static_cast<std::size_t>(row.offset + row.width);
            if (!inField) {
                EXPECT_EQ(after[i], expected[i]) << "byte " << i << " of the block";
            }
        }
        EXPECT_EQ(writesOf(row.block), 1);
        sim->clearEvents();
    }
}

enum class Does { Flip, Set, Clear };

struct ExpectedSwitch {
    ControlId id;
    const char* label;
    int block, offset;
    std::uint8_t mask;
    Does does;
    milliseconds before, after;  // the waits of the click
    bool restarts;               // "$remotereset$" follows the write
};

// clang-format off
constexpr std::array<ExpectedSwitch, 20> kSwitches{{
    {1057, "ENABLE DDNS CLIENT UPDATE",                 0, 0x1f, 0x80, Does::Flip,  milliseconds{0},   milliseconds{0},    false},
    {1074, "ENABLE ALARM MONITOR",                      1, 0x3d, 0x80, Does::Flip,  milliseconds{0},   milliseconds{0},    false},
    {1076, "PLACED AT ALARM PANEL",                     1, 0x38, 0x02, Does::Clear, milliseconds{0},   milliseconds{2000}, false},
    {1077, "PLACED AT ALARM RECEIVER",                  1, 0x38, 0x02, Does::Set,   milliseconds{0},   milliseconds{2000}, false},
    {1129, "REDIAL QM30/QL30NET",                       1, 0x38, 0x10, Does::Flip,  milliseconds{0},   milliseconds{500},  false},
    {1087, "MIC INPUT INSTEAD OF LOOP2",                0, 0x6e, 0x40, Does::Flip,  milliseconds{0},   milliseconds{2000}, false},
    {1098, "enabledialer",                              0, 0x6e, 0x01, Does::Flip,  milliseconds{500}, milliseconds{0},    false},
    {1101, "REPEAT EMAIL",                              0, 0x6e, 0x02, Does::Flip,  milliseconds{500}, milliseconds{0},    false},
    {1111, "NORMALLY CLOSED (LOOP1)",                   0, 0x6e, 0x08, Does::Flip,  milliseconds{500}, milliseconds{0},    false},
    {1112, "NORMALLY CLOSED LOOP (LOOP2)",              0, 0x6e, 0x10, Does::Flip,  milliseconds{500}, milliseconds{0},    false},
    {1113, "listen-in",                                 0, 0x6e, 0x20, Does::Flip,  milliseconds{500}, milliseconds{0},    false},
    {1114, "alarm receiver or voice call",              0, 0x6e, 0x80, Does::Flip,  milliseconds{500}, milliseconds{0},    false},
    {1073, "Add IP alarm message for emails",           0, 0x6f, 0x04, Does::Flip,  milliseconds{500}, milliseconds{0},    false},
    {1075, "sending test reports",                      0, 0x6f, 0x10, Does::Flip,  milliseconds{500}, milliseconds{0},    false},
    {1082, "ARM (LOOP1)",                               0, 0x6f, 0x80, Does::Flip,  milliseconds{500}, milliseconds{0},    true},
    {1083, "ARM (LOOP2)",                               0, 0x6f, 0x40, Does::Flip,  milliseconds{500}, milliseconds{0},    true},
    {1120, "TEST EVERY TWO HOURS",                      0, 0x6d, 0x04, Does::Flip,  milliseconds{500}, milliseconds{0},    true},
    {1080, "Contact-ID format",                         0, 0x6c, 0x04, Does::Flip,  milliseconds{500}, milliseconds{0},    false},
    {1084, "ALARM detected-click to clear (LOOP1)",     0, 0x6d, 0x80, Does::Clear, milliseconds{500}, milliseconds{0},    true},
    {1085, "ALARM detected-click to clear (LOOP2)",     0, 0x6d, 0x40, Does::Clear, milliseconds{500}, milliseconds{0},    true},
}};
// clang-format on

TEST_F(OptionsWindowTest, EverySwitchChangesItsOwnBitOnTheDevice) {
    // Both alarms latched and the device at the receiver, so that the clears and sets change.
    setDeviceByte(0, 0x6d, 0xc0);
    setDeviceByte(1, 0x38, 0x02);
    openOptions();
    for (const ExpectedSwitch& row : kSwitches) {
        SCOPED_TRACE(row.label);
        const auto before = static_cast<std::uint8_t>(deviceText(row.block, row.offset, 1)[0]);
        const std::string blockBefore = deviceText(row.block, 0, kBlockSize);
        // The switch's waits keep the window busy for their sum, and never hold the thread.
        opt->click(row.id);
        const auto busy = row.before + row.after;
        if (busy.count() > 0) {
            windows.advance(busy - milliseconds{1});
            EXPECT_TRUE(options->programRunning());
            windows.advance(milliseconds{1});
        }
        EXPECT_FALSE(options->programRunning());
        ASSERT_TRUE(pumpUntilSettled());
        std::uint8_t expected = before;
        switch (row.does) {
            case Does::Flip:
                expected ^= row.mask;
                break;
            case Does::Set:
                expected |= row.mask;
                break;
            case Does::Clear:
                expected &= static_cast<std::uint8_t>(~row.mask);
                break;
        }
        std::string blockAfter = blockBefore;
        blockAfter[static_cast<std::size_t>(row.offset)] = static_cast<char>(expected);
        EXPECT_EQ(deviceText(row.block, 0, kBlockSize), blockAfter);
        ASSERT_EQ(blockWrites().size(), 1u);
        EXPECT_EQ(blockWrites()[0].number, row.block);
        EXPECT_EQ(events(Kind::RemoteReset).size(), row.restarts ? 1u : 0u);
        sim->clearEvents();
    }
}

}  // namespace
}  // namespace veskator::options_test
