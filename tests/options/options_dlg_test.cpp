// The options window: what it shows when it opens, and what each edit, number box and slider
// leaves in the image and on the device.

#include <array>
#include <string>

#include "model/options_fields.h"
#include "tests/options/options_fixture.h"

namespace veskator::options_test {
namespace {

namespace ids = options_ids;
using Kind = sim::SimEvent::Kind;

TEST_F(OptionsWindowTest, ZeroedImageShowsEmptyTextsOneStarPerPasswordAndDefaultOptions) {
    openOptions(/*readFirst=*/false);

    for (const TextField& f : kOptionsTextFields) {
        const bool masked = f.id == ids::kPassword || f.id == ids::kDdnsPassword;
        EXPECT_EQ(optText(f.id), masked ? "*" : "") << f.id;
    }
    for (const OptionBit& bit : kOptionsOptionBits) {
        const bool on = bit.id == ids::kAtPanel || bit.id == ids::kReceiverOrVoice;
        EXPECT_EQ(opt->isChecked(bit.id), on) << bit.id;
    }
    for (ControlId id : {ids::kLoopStatus1, ids::kLoopStatus2, ids::kReadLoopStatus}) {
        EXPECT_FALSE(opt->isChecked(id)) << id;
    }
    for (const SliderRow& s : kSliders) {
        EXPECT_EQ(opt->sliderRange(s.id), std::make_pair(0, s.high)) << s.id;
        EXPECT_EQ(opt->sliderPosition(s.id), 0);
        EXPECT_EQ(optText(s.box), "0");
    }
    EXPECT_EQ(optText(ids::kTestRate), "0");
    EXPECT_EQ(optText(ids::kModulationBox), "0");

    // No box holds more than its field: a zero byte always fits, Contact ID boxes hold their
    // digits, and LOOP2 takes what LOOP1 takes. A password box takes a first key whatever its
    // stars, which a new password then replaces.
    const std::array<std::pair<ControlId, int>, 8> limits{{{ids::kToAddress, 64},
                                                           {ids::kFromAddress, 31},
                                                           {ids::kPassword, 0},
                                                           {ids::kTimePlus, 7},
                                                           {ids::kDdnsCheckIp, 31},
                                                           {ids::kMainTel, 15},
                                                           {ids::kAccount2, 4},
                                                           {ids::kZone2, 3}}};
    for (const auto& [id, limit] : limits) EXPECT_EQ(opt->charLimit(id), limit) << id;
    EXPECT_TRUE(opt->isPassword(ids::kPassword));
    EXPECT_EQ(*opt->timerPeriod(kOptionsTimer), kOptionsTickPeriod);
}

TEST_F(OptionsWindowTest, OpeningShowsStoredValuesWithoutChangingThem) {
    const std::array<std::uint8_t, 7> numbers{{100, 61, 20, 80, 100, 200, 200}};  // A7 0x30..0x36
    setDeviceBytes(7, 0x30, numbers);
    setDeviceString(3, 0x40, "12345678abcdefg");  // TIME+ fills its 8 bytes, TIME- follows
    setDeviceString(3, 0x00, "abc");
    setDeviceText(7, 0x00, "123456789012345");
    setDeviceByte(0, 0x6e, 0x80 | 0x08);
    setDeviceByte(1, 0x38, 0x02 | 0x10);
    openOptions();

    const std::array<std::pair<ControlId, std::string>, 12> shown{{
        {ids::kRestoreBox, "100"},
        {ids::kPrealarmBox, "61"},
        {ids::kSetupBox, "20"},
        {ids::kSoundBox, "50"},
        {ids::kTestRate, "200"},
        {ids::kSirenBox, "200"},
        {ids::kModulationBox, "200"},
        {ids::kTimePlus, "12345678"},
        {ids::kTimeMinus, "abcdefg"},
        {ids::kPassword, "****"},
        {ids::kAccount1, "1234"},
        {ids::kZone1, "345"},
    }};
    for (const auto& [id, text] : shown) EXPECT_EQ(optText(id), text) << id;
    EXPECT_EQ(opt->sliderPosition(ids::kRestoreSlider), 60);
    EXPECT_EQ(opt->sliderPosition(ids::kPrealarmSlider), 60);
    EXPECT_EQ(opt->sliderPosition(ids::kSoundSlider), 50);
    EXPECT_EQ(opt->sliderPosition(ids::kSirenSlider), 200);
    EXPECT_EQ(imageByte(7, 0x33), 80);
    EXPECT_EQ(imageByte(7, 0x30), 100);

    EXPECT_FALSE(opt->isChecked(ids::kReceiverOrVoice));
    EXPECT_TRUE(opt->isChecked(ids::kNormallyClosed1));
    EXPECT_TRUE(opt->isChecked(ids::kAtReceiver));
    EXPECT_FALSE(opt->isChecked(ids::kAtPanel));
    EXPECT_TRUE(opt->isChecked(ids::kRedial));

    // The copy of A1 0x38 is taken afresh at every opening.
    state.workspace.image()[static_cast<std::size_t>(imageOffset({1, 0x38}))] = 0;
    reopen();
    EXPECT_TRUE(opt->isChecked(ids::kAtPanel));
    EXPECT_EQ(state.optionCopies().at({1, 0x38}), 0);

    // Opening writes nothing.
    pumpFor(3s);
    EXPECT_TRUE(blockWrites().empty());
}

TEST_F(OptionsWindowTest, NumberBoxesAreClampedAndWriteA7AtOnce) {
    openOptions();
    struct Case {
        ControlId box;
        std::string_view typed;
        int offset;
        int stored;
        std::string_view shown;  // the box shows what was stored
    };
    const std::array<Case, 8> cases{{
        {ids::kSoundBox, "300", 0x33, 50, "50"},
        {ids::kSoundBox, "-1", 0x33, 0, "0"},
        {ids::kSoundBox, "256", 0x33, 50, "50"},
        {ids::kSoundBox, " 7x", 0x33, 7, "7"},
        {ids::kModulationBox, "999", 0x36, 255, "255"},
        {ids::kModulationBox, "-5", 0x36, 0, "0"},
        {ids::kModulationBox, "200", 0x36, 200, "200"},
        {ids::kModulationBox, "", 0x36, 0, "0"},
    }};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed));
        const std::uint8_t old = imageByte(7, c.offset);
        opt->replaceText(c.box, c.typed);
        // The sound box stores after its wait, the modulation box before its own.
        if (c.box == ids::kSoundBox) {
            EXPECT_EQ(imageByte(7, c.offset), old);
            windows.advance(kSoundBoxPause);
            EXPECT_EQ(opt->sliderPosition(ids::kSoundSlider), c.stored);
        }
        EXPECT_EQ(imageByte(7, c.offset), c.stored);
        EXPECT_EQ(optText(c.box), c.shown);
        if (c.box == ids::kModulationBox) windows.advance(kModulationPause);
    }
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(deviceText(7, 0x33, 1), std::string(1, '\x07'));

    // Each keystroke writes: 1, 12, 123.
    sim->clearEvents();
    for (const auto& [key, value] : {std::pair{'1', 1}, {'2', 12}, {'3', 123}}) {
        opt->typeText(ids::kModulationBox, std::string(1, key));
        EXPECT_EQ(imageByte(7, 0x36), value);
        ASSERT_TRUE(pumpUntilSettled());
        EXPECT_EQ(static_cast<int>(static_cast<std::uint8_t>(deviceText(7, 0x36, 1)[0])), value);
    }
    EXPECT_EQ(writesOf(7), 3);
}

TEST_F(OptionsWindowTest, SliderRewritesAllFiveBytesAndLeavesTheTestRate) {
    const std::array<std::uint8_t, 6> numbers{{100, 99, 30, 40, 77, 200}};  // A7 0x30..0x35
    setDeviceBytes(7, 0x30, numbers);
    openOptions();

    opt->moveSlider(ids::kRestoreSlider, 45);
    const std::array<std::uint8_t, 6> expected{{45, 60, 30, 40, 77, 200}};
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(deviceText(7, 0x30, 6), textOf(expected));
    EXPECT_EQ(writesOf(7), 1);
    EXPECT_EQ(optText(ids::kRestoreBox), "45");
    EXPECT_EQ(optText(ids::kPrealarmBox), "60");
    EXPECT_FALSE(opt->timerPeriod(kOptionsTimer)) << "nothing is due: the window rests";

    // A byte of 13 would end the frame: the device gets 12, and the window shows it.
    opt->moveSlider(ids::kSirenSlider, 13);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(deviceText(7, 0x35, 1), std::string(1, '\x0c'));
    pumpFor(50ms);
    EXPECT_EQ(optText(ids::kSirenBox), "12");
    EXPECT_EQ(opt->sliderPosition(ids::kSirenSlider), 12);
}

TEST_F(OptionsWindowTest, ShowOnlyControlsIgnoreTypingAndClicks) {
    setDeviceByte(7, 0x30, 20);
    openOptions();
    opt->typeText(ids::kRestoreBox, "9");
    EXPECT_EQ(optText(ids::kRestoreBox), "20");
    opt->typeText(ids::kMessageBox, "x");
    EXPECT_EQ(optText(ids::kMessageBox), "");
    opt->click(ids::kLoopStatus1);
    EXPECT_FALSE(opt->isChecked(ids::kLoopStatus1));
    pumpFor(2s);
    EXPECT_EQ(imageByte(7, 0x30), 20);
    EXPECT_TRUE(blockWrites().empty());
}

}  // namespace
}  // namespace veskator::options_test
