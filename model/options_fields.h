#pragma once
// Where the options window's fields live in the image, the order in which its deferred edits are
// written, and its sliders: written once, used by the opening, the handlers and the timer.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <string_view>

#include "model/field_rules.h"
#include "resources/options_dialog_template.h"

namespace veskator {

// clang-format off
inline constexpr std::array<TextField, 29> kOptionsTextFields{{
    {options_ids::kToAddress,        {6, 0x30}, 80, 80},
    {options_ids::kFromAddress,      {2, 0x20}, 32, 32},
    {options_ids::kMailServer,       {2, 0x40}, 32, 32},
    {options_ids::kUser,             {2, 0x60}, 32, 32},
    {options_ids::kPassword,         {3, 0x00}, 16, 16},
    {options_ids::kSmtpPort,         {3, 0x10}, 16, 16, SlotRule::Terminated, TextKind::Port},
    {options_ids::kSubject,          {3, 0x20}, 16, 16},
    {options_ids::kTime,             {3, 0x30}, 16, 16},
    // Eight bytes each: a TIME+ without its zero byte must not show TIME- behind it.
    {options_ids::kTimePlus,         {3, 0x40}, 8, 8},
    {options_ids::kTimeMinus,        {3, 0x48}, 8, 8},
    {options_ids::kDdnsHost,         {4, 0x00}, 32, 32},
    {options_ids::kDdnsUser,         {4, 0x20}, 32, 32},
    {options_ids::kDdnsPassword,     {4, 0x40}, 32, 32},
    {options_ids::kDdnsCheckIp,      {4, 0x60}, 32, 32},
    {options_ids::kDdnsUpdateServer, {5, 0x00}, 32, 32},
    {options_ids::kBackupTel,        {5, 0x40}, 16, 16},
    {options_ids::kMainTel,          {5, 0x50}, 16, 16},
    // Contact ID digits have no terminator; a short entry leaves zero bytes behind it.
    {options_ids::kAccount1,         {7, 0x00}, 4, 4, SlotRule::ZeroPadded},
    {options_ids::kField18_1,        {7, 0x04}, 2, 2, SlotRule::ZeroPadded},
    {options_ids::kQualifier1,       {7, 0x06}, 1, 1, SlotRule::ZeroPadded},
    {options_ids::kAlarmCode1,       {7, 0x07}, 3, 3, SlotRule::ZeroPadded},
    {options_ids::kPartition1,       {7, 0x0a}, 2, 2, SlotRule::ZeroPadded},
    {options_ids::kZone1,            {7, 0x0c}, 3, 3, SlotRule::ZeroPadded},
    {options_ids::kAccount2,         {7, 0x10}, 4, 4, SlotRule::ZeroPadded},
    {options_ids::kField18_2,        {7, 0x14}, 2, 2, SlotRule::ZeroPadded},
    {options_ids::kQualifier2,       {7, 0x16}, 1, 1, SlotRule::ZeroPadded},
    {options_ids::kAlarmCode2,       {7, 0x17}, 3, 3, SlotRule::ZeroPadded},
    {options_ids::kPartition2,       {7, 0x1a}, 2, 2, SlotRule::ZeroPadded},
    {options_ids::kZone2,            {7, 0x1c}, 3, 3, SlotRule::ZeroPadded},
}};
// clang-format on
static_assert(slotsInsideImage(kOptionsTextFields));

constexpr bool slotsStayInTheirBlock() {
    for (const TextField& f : kOptionsTextFields) {
        if (lastBlockOf(f) != f.place.block) return false;
    }
    return true;
}
static_assert(slotsStayInTheirBlock());

// What a box can hold never runs past its field: a text keeps room for its zero byte, Contact ID
// digits fill their field at most.
// (Loops, not findControl: pointer comparisons are not constant under the sanitizers.)
constexpr int charLimitOf(ControlId id) {
    for (const ControlTemplate& c : kOptionsDialogTemplate.controls) {
        if (c.id == id) return c.charLimit;
    }
    return 0;
}

constexpr bool limitsFitTheirFields() {
    for (const TextField& f : kOptionsTextFields) {
        const int limit = charLimitOf(f.id);
        const int room = f.rule == SlotRule::ZeroPadded ? f.slotSize : f.slotSize - 1;
        if (limit <= 0 || limit > room) return false;
    }
    return true;
}
static_assert(limitsFitTheirFields());

// clang-format off
inline constexpr std::array<OptionBit, 20> kOptionsOptionBits{{
    {options_ids::kDdnsEnable,        {0, 0x1f}, 0x80},
    {options_ids::kContactIdFormat,   {0, 0x6c}, 0x04},
    {options_ids::kAlarmLatched1,     {0, 0x6d}, 0x80},
    {options_ids::kAlarmLatched2,     {0, 0x6d}, 0x40},
    {options_ids::kTestEveryTwoHours, {0, 0x6d}, 0x04},
    {options_ids::kEnableDialer,      {0, 0x6e}, 0x01},
    {options_ids::kRepeatEmail,       {0, 0x6e}, 0x02},
    {options_ids::kNormallyClosed1,   {0, 0x6e}, 0x08},
    {options_ids::kNormallyClosed2,   {0, 0x6e}, 0x10},
    {options_ids::kListenIn,          {0, 0x6e}, 0x20},
    {options_ids::kMicInput,          {0, 0x6e}, 0x40},
    {options_ids::kReceiverOrVoice,   {0, 0x6e}, 0x80, true},
    {options_ids::kAddIpMessage,      {0, 0x6f}, 0x04},
    {options_ids::kTestReports,       {0, 0x6f}, 0x10},
    {options_ids::kArm2,              {0, 0x6f}, 0x40},
    {options_ids::kArm1,              {0, 0x6f}, 0x80},
    {options_ids::kAtPanel,           {1, 0x38}, 0x02, true},
    {options_ids::kAtReceiver,        {1, 0x38}, 0x02},
    {options_ids::kRedial,            {1, 0x38}, 0x10},
    {options_ids::kAlarmMonitor,      {1, 0x3d}, 0x80},
}};
// clang-format on

// The deferred edits, in the order a tick writes them (and so the order of the block writes).
enum class DeferredKind {
    Text,         // the box's text into its field
    TestRate,     // the box as seconds, stored halved
    ForceUpdate,  // four zero bytes that make the device update its DDNS entry
};

struct DeferredRow {
    int id;
    DeferredKind kind;
};

inline constexpr ImagePlace kTestRatePlace{7, 0x34};
inline constexpr ImagePlace kModulationPlace{7, 0x36};
inline constexpr ImagePlace kForceUpdatePlace{5, 0x20};
inline constexpr int kForceUpdateBytes = 4;

// clang-format off
inline constexpr std::array<DeferredRow, 31> kDeferredRows{{
    {options_ids::kDdnsHost,         DeferredKind::Text},
    {options_ids::kAccount1,         DeferredKind::Text},
    {options_ids::kZone1,            DeferredKind::Text},
    {options_ids::kField18_1,        DeferredKind::Text},
    {options_ids::kPartition1,       DeferredKind::Text},
    {options_ids::kQualifier1,       DeferredKind::Text},
    {options_ids::kAlarmCode1,       DeferredKind::Text},
    {options_ids::kAccount2,         DeferredKind::Text},
    {options_ids::kZone2,            DeferredKind::Text},
    {options_ids::kField18_2,        DeferredKind::Text},
    {options_ids::kPartition2,       DeferredKind::Text},
    {options_ids::kQualifier2,       DeferredKind::Text},
    {options_ids::kAlarmCode2,       DeferredKind::Text},
    {options_ids::kDdnsUser,         DeferredKind::Text},
    {options_ids::kDdnsPassword,     DeferredKind::Text},
    {options_ids::kDdnsCheckIp,      DeferredKind::Text},
    {options_ids::kDdnsUpdateServer, DeferredKind::Text},
    {options_ids::kBackupTel,        DeferredKind::Text},
    {options_ids::kMainTel,          DeferredKind::Text},
    {options_ids::kForceDdns,        DeferredKind::ForceUpdate},
    {options_ids::kToAddress,        DeferredKind::Text},
    {options_ids::kFromAddress,      DeferredKind::Text},
    {options_ids::kMailServer,       DeferredKind::Text},
    {options_ids::kUser,             DeferredKind::Text},
    {options_ids::kPassword,         DeferredKind::Text},
    {options_ids::kSmtpPort,         DeferredKind::Text},
    {options_ids::kTestRate,         DeferredKind::TestRate},
    {options_ids::kTime,             DeferredKind::Text},
    {options_ids::kTimePlus,         DeferredKind::Text},
    {options_ids::kTimeMinus,        DeferredKind::Text},
    {options_ids::kSubject,          DeferredKind::Text},
}};
// clang-format on

constexpr int deferredRowOf(ControlId id) { return rowIndex(kDeferredRows, id); }

constexpr int blockOfRow(const DeferredRow& row) {
    switch (row.kind) {
        case DeferredKind::Text:
            for (const TextField& f : kOptionsTextFields) {
                if (f.id == row.id) return f.place.block;
            }
            return -1;
        case DeferredKind::TestRate:
            return kTestRatePlace.block;
        case DeferredKind::ForceUpdate:
            return kForceUpdatePlace.block;
    }
    return -1;
}

// Every row names a block, and every text field has its row.
constexpr bool deferredRowsAreSound() {
    for (const DeferredRow& row : kDeferredRows) {
        if (blockOfRow(row) < 0) return false;
    }
    for (const TextField& f : kOptionsTextFields) {
        if (!hasRow(kDeferredRows, f.id)) return false;
    }
    return true;
}
static_assert(deferredRowsAreSound());

// The two password boxes, in the order of the window's placeholder list.
inline constexpr std::array<ControlId, 2> kMaskedBoxes{
    {options_ids::kPassword, options_ids::kDdnsPassword}};

constexpr int maskIndex(ControlId id) {
    for (std::size_t i = 0; i < kMaskedBoxes.size(); ++i) {
        if (kMaskedBoxes[i] == id) return static_cast<int>(i);
    }
    return -1;
}

// The five sliders in the order their handler stores them.
struct SliderRow {
    int id;
    ControlId box;  // shows the value, takes no input
    ImagePlace place;
    int high;  // the range is 0..high
    // A stored value above the range leaves the slider at its end; the box shows the stored
    // value, or the slider's where it is capped.
    bool boxCapped = false;
};

// What the box of the row shows for a stored byte.
constexpr int sliderBoxValue(const SliderRow& row, std::uint8_t stored) {
    return row.boxCapped ? std::min<int>(stored, row.high) : stored;
}

// clang-format off
inline constexpr std::array<SliderRow, 5> kSliders{{
    {options_ids::kSoundSlider,    options_ids::kSoundBox,    {7, 0x33}, 50, true},
    {options_ids::kSetupSlider,    options_ids::kSetupBox,    {7, 0x32}, 60},
    {options_ids::kPrealarmSlider, options_ids::kPrealarmBox, {7, 0x31}, 60},
    {options_ids::kSirenSlider,    options_ids::kSirenBox,    {7, 0x35}, 255},
    {options_ids::kRestoreSlider,  options_ids::kRestoreBox,  {7, 0x30}, 60},
}};
// clang-format on
static_assert(std::all_of(kSliders.begin(), kSliders.end(),
                          [](const SliderRow& s) { return s.place.block == kTestRatePlace.block; }),
              "the slider handler writes block A7 only");

// Boxes that only show a value: typing into them changes nothing.
inline constexpr std::array<ControlId, 5> kShowOnlyBoxes{
    {options_ids::kRestoreBox, options_ids::kPrealarmBox, options_ids::kSetupBox,
     options_ids::kSirenBox, options_ids::kMessageBox}};

inline constexpr int kSoundLevelMax = 50;
// The test rate box holds seconds; the device counts in steps of two.
inline constexpr int kTestRateStep = 2;
constexpr std::uint8_t testRateByte(std::string_view text) {
    return clampedByte(parseDecimal(text) / kTestRateStep);
}
constexpr int testRateSeconds(std::uint8_t byte) { return kTestRateStep * byte; }
static_assert(testRateByte("511") == 255 && testRateByte("7") == 3 && testRateByte("-9") == 0 &&
              testRateByte("100000") == 255);

}  // namespace veskator
