#pragma once
// The options window's switches and action buttons as data: what each switch does to its bit, with
// which waits, which block it writes and whether the device is restarted afterwards; and the
// image ranges the two clear buttons zero. The handlers run these rows; the tests walk them.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <string_view>

#include "model/options_fields.h"
#include "ui/bit_steps.h"

namespace veskator {

// Bytes shared with the other windows are switched in their working copy, then stored whole; a
// click writes the block of its bit.
struct SwitchRow {
    int id;
    bool take;
    std::chrono::milliseconds waitBefore;
    Change change;
    std::chrono::milliseconds waitAfter;
    bool reset;
};

namespace switch_waits {
using std::chrono::milliseconds;
inline constexpr milliseconds kNone{0};
inline constexpr milliseconds kShort{500};
inline constexpr milliseconds kLong{2000};
}  // namespace switch_waits

// clang-format off
inline constexpr std::array<SwitchRow, 20> kSwitchRows{{
    //  control                       take   before                change         after                reset
    {options_ids::kDdnsEnable,        false, switch_waits::kNone,  Change::Flip,  switch_waits::kNone,  false},
    {options_ids::kAlarmMonitor,      true,  switch_waits::kNone,  Change::Flip,  switch_waits::kNone,  false},
    {options_ids::kAtPanel,           true,  switch_waits::kNone,  Change::Clear, switch_waits::kLong,  false},
    {options_ids::kAtReceiver,        true,  switch_waits::kNone,  Change::Set,   switch_waits::kLong,  false},
    {options_ids::kRedial,            false, switch_waits::kNone,  Change::Flip,  switch_waits::kShort, false},
    {options_ids::kMicInput,          true,  switch_waits::kNone,  Change::Flip,  switch_waits::kLong,  false},
    {options_ids::kEnableDialer,      true,  switch_waits::kShort, Change::Flip,  switch_waits::kNone,  false},
    {options_ids::kRepeatEmail,       false, switch_waits::kShort, Change::Flip,  switch_waits::kNone,  false},
    {options_ids::kNormallyClosed1,   true,  switch_waits::kShort, Change::Flip,  switch_waits::kNone,  false},
    {options_ids::kNormallyClosed2,   true,  switch_waits::kShort, Change::Flip,  switch_waits::kNone,  false},
    {options_ids::kListenIn,          false, switch_waits::kShort, Change::Flip,  switch_waits::kNone,  false},
    {options_ids::kReceiverOrVoice,   false, switch_waits::kShort, Change::Flip,  switch_waits::kNone,  false},
    {options_ids::kAddIpMessage,      false, switch_waits::kShort, Change::Flip,  switch_waits::kNone,  false},
    {options_ids::kTestReports,       false, switch_waits::kShort, Change::Flip,  switch_waits::kNone,  false},
    {options_ids::kArm1,              false, switch_waits::kShort, Change::Flip,  switch_waits::kNone,  true},
    {options_ids::kArm2,              false, switch_waits::kShort, Change::Flip,  switch_waits::kNone,  true},
    {options_ids::kTestEveryTwoHours, false, switch_waits::kShort, Change::Flip,  switch_waits::kNone,  true},
    {options_ids::kContactIdFormat,   false, switch_waits::kShort, Change::Flip,  switch_waits::kNone,  false},
    // A latched alarm is only ever cleared from here; the device latches it again.
    {options_ids::kAlarmLatched1,     false, switch_waits::kShort, Change::Clear, switch_waits::kNone,  true},
    {options_ids::kAlarmLatched2,     false, switch_waits::kShort, Change::Clear, switch_waits::kNone,  true},
}};
// clang-format on

// Every option button has its switch and every switch its bit. (Loops only: no pointer
// comparisons.)
constexpr bool switchRowsAreSound() {
    for (const SwitchRow& row : kSwitchRows) {
        if (!hasRow(kOptionsOptionBits, row.id)) return false;
    }
    for (const OptionBit& bit : kOptionsOptionBits) {
        if (!hasRow(kSwitchRows, bit.id)) return false;
    }
    return true;
}
static_assert(switchRowsAreSound());

// One switch click as a step list for the shared runner: take (or nothing) and the wait before,
// the change, the buttons of the bit, show and the wait after, the copy into the image, the write,
// the restart.
constexpr std::array<BitStep, 7> switchSteps(const SwitchRow& row) {
    using enum BitOp;
    return {{{row.take ? Take : Pause, row.waitBefore},
             {BitOp::Change},
             {ShowBit},
             {Show, row.waitAfter},
             {Copy},
             {Write},
             {row.reset ? Reset : Pause}}};
}

// "SEND TEST MESSAGES ...": a request bit the device clears itself; nothing here clears it.
inline constexpr ImagePlace kSendTestsPlace{0, 0x6d};
inline constexpr std::uint8_t kSendTestsMask = 0x20;
inline constexpr std::chrono::milliseconds kSendTestsPause{500};
static_assert(std::none_of(kOptionsOptionBits.begin(), kOptionsOptionBits.end(),
                           [](const OptionBit& b) {
                               return imageOffset(b.place) == imageOffset(kSendTestsPlace) &&
                                      b.mask == kSendTestsMask;
                           }),
              "no option button shows the send-tests bit");

// The two clear buttons: a range of two blocks is zeroed, the second block is written at once and
// the first some seconds later (the device takes the two writes apart).
struct ClearRow {
    int id;
    ImagePlace first;
    int bytes;
};

inline constexpr std::chrono::milliseconds kClearFollowUpDelay{5000};

// clang-format off
inline constexpr std::array<ClearRow, 2> kClearRows{{
    // In the order a tick sends their follow-ups.
    {options_ids::kClearDdns,  {4, 0x00}, 160},  // host, user, password, check-IP; update server
    {options_ids::kClearEmail, {2, 0x00}, 160},  // FROM, MAIL SERVER, USER; PASSWORD, SMTP port
}};
// clang-format on

constexpr int clearRowOf(ControlId id) {
    for (std::size_t i = 0; i < kClearRows.size(); ++i) {
        if (kClearRows[i].id == id) return static_cast<int>(i);
    }
    return -1;
}

constexpr int laterBlockOf(const ClearRow& row) { return row.first.block; }
constexpr int nowBlockOf(const ClearRow& row) {
    return (imageOffset(row.first) + row.bytes - 1) / static_cast<int>(kBlockSize);
}

// A text field lies wholly inside the range a clear zeroes.
constexpr bool clearedBy(const ClearRow& row, const TextField& field) {
    const int start = imageOffset(field.place);
    return start >= imageOffset(row.first) &&
           start + field.slotSize <= imageOffset(row.first) + row.bytes;
}

constexpr int fieldsClearedBy(const ClearRow& row) {
    int n = 0;
    for (const TextField& f : kOptionsTextFields) n += clearedBy(row, f) ? 1 : 0;
    return n;
}

// Each clear starts at a block and ends inside the next one; no field straddles its end; and the
// force-update bytes behind the DDNS range are not part of it.
constexpr bool clearRowsAreSound() {
    for (const ClearRow& row : kClearRows) {
        if (row.first.offset != 0 || nowBlockOf(row) != laterBlockOf(row) + 1) return false;
        const int end = imageOffset(row.first) + row.bytes;
        for (const TextField& f : kOptionsTextFields) {
            const int start = imageOffset(f.place);
            if (start < end && start + f.slotSize > end) return false;
        }
        if (imageOffset(kForceUpdatePlace) < end &&
            imageOffset(kForceUpdatePlace) >= imageOffset(row.first))
            return false;
    }
    return fieldsClearedBy(kClearRows[0]) == 5 && fieldsClearedBy(kClearRows[1]) == 5;
}
static_assert(clearRowsAreSound());

inline constexpr std::chrono::milliseconds kHistoryPause{500};
inline constexpr std::string_view kHistoryFile = "./historyfile.txt";

}  // namespace veskator
