#pragma once
// Where the dialer, receiver and bridge window keeps its settings: option bits, the receiver's
// output format and baud rate, its numbers and texts in the image, its deferred edits, and the
// bridge's two MAC files.

#include <array>
#include <cstdint>
#include <string_view>

#include "model/dialer_data.h"
#include "model/field_rules.h"
#include "resources/dialer_dialog_template.h"

namespace veskator {

// Toggles flipped in the image byte; only A1 0x3d goes through its working copy (heartbeat and
// Sur-Gard). A0 0x6c bit 1 is also the main window's 1070: both windows switch the same bit.
inline constexpr std::array<OptionBit, 5> kDialerOptionBits{{
    {dialer_ids::kScheduleOrAutomatic, {0, 0x6c}, 0x01},
    {dialer_ids::kTransmitIpServer, {0, 0x6c}, 0x02},
    {dialer_ids::kEmailGoodResult, {0, 0x6c}, 0x08},
    {dialer_ids::kTestEnabled, {0, 0x6d}, 0x02},
    {dialer_ids::kReceiverEnable, {0, 0x6f}, 0x01},
}};
// The dialer's toggles restart the device after their write; the receiver's enable does not.
constexpr bool toggleResetsDevice(ControlId id) { return id != dialer_ids::kReceiverEnable; }

// The RS232 output format lives in two bits of two blocks.
inline constexpr OptionBit kDecodedBit{0, {0, 0x6c}, 0x10};
inline constexpr OptionBit kSurGardBit{0, {1, 0x3d}, 0x08};
inline constexpr OptionBit kHeartbeatBit{dialer_ids::kHeartbeat, {1, 0x3d}, 0x20};
static_assert(hasWorkingCopy(kSurGardBit.place) && hasWorkingCopy(kHeartbeatBit.place));
static_assert(!hasWorkingCopy(kDecodedBit.place));

struct FormatRow {
    int id;
    bool decoded;  // A0 0x6c bit 4
    bool surGard;  // A1 0x3d bit 3
};
inline constexpr std::array<FormatRow, 3> kFormats{{
    {dialer_ids::kRawFormat, false, false},
    {dialer_ids::kDecodedFormat, true, false},
    {dialer_ids::kSurGardFormat, false, true},
}};

// A format chosen: both its bits, in their two blocks.
inline void storeFormat(std::span<std::uint8_t> image, const FormatRow& format) {
    storeOption(image, kDecodedBit, format.decoded);
    storeOption(image, kSurGardBit, format.surGard);
}

// Read back, Sur-Gard wins whatever the decoded bit holds.
constexpr ControlId shownFormat(std::uint8_t a0Byte, std::uint8_t a1Byte) {
    if ((a1Byte & kSurGardBit.mask) != 0) return dialer_ids::kSurGardFormat;
    if ((a0Byte & kDecodedBit.mask) != 0) return dialer_ids::kDecodedFormat;
    return dialer_ids::kRawFormat;
}
static_assert(shownFormat(0x10, 0x08) == dialer_ids::kSurGardFormat);
static_assert(shownFormat(0x10, 0x00) == dialer_ids::kDecodedFormat);

struct BaudRow {
    int id;
    std::uint8_t code;
};
inline constexpr ImagePlace kBaudPlace{7, 0x3b};
inline constexpr std::array<BaudRow, 6> kBaudRates{{
    {dialer_ids::kBaud1200, 1},
    {dialer_ids::kBaud2400, 2},
    {dialer_ids::kBaud9600, 3},
    {dialer_ids::kBaud19200, 4},
    {dialer_ids::kBaud57600, 5},
    {dialer_ids::kBaud115200, 6},
}};

// Any code but 1 to 5 shows as the fastest rate, and stays as stored until one is chosen.
constexpr ControlId shownBaud(std::uint8_t code) {
    for (const BaudRow& row : kBaudRates) {
        if (row.code == code) return row.id;
    }
    return dialer_ids::kBaud115200;
}
static_assert(shownBaud(0) == dialer_ids::kBaud115200 && shownBaud(1) == dialer_ids::kBaud1200);

// One-byte numbers, shown unsigned and stored clamped to 0..255.
struct NumberRow {
    int id;
    ImagePlace place;
};
inline constexpr std::array<NumberRow, 3> kDialerNumbers{{
    {dialer_ids::kLineDelay, {3, 0x50}},
    {dialer_ids::kTcpSocketSize, {7, 0x39}},
    {dialer_ids::kUdpSocketSize, {7, 0x3a}},
}};

// The start-up delay: the six characters the window shows, and its zero byte.
inline constexpr TextField kStartupDelayField{dialer_ids::kStartupDelay, {3, 0x51},
                                              kStartupDelayChars,        kStartupDelayChars + 1,
                                              SlotRule::Terminated,      TextKind::Digits};
static_assert(lastBlockOf(kStartupDelayField) == 3, "the store stays inside block A3");
// The options window's main telephone number, sent with the pairing frame.
inline constexpr TextField kDialingNumberField{0, {5, 0x50}, 16, 0};

// Edits written one second after their last keystroke, in this order.
enum class DeferredDialerKind { LineDelay, StartupDelay, Subscriber };
struct DeferredDialerRow {
    int id;
    DeferredDialerKind kind;
    int block;  // the image block it writes
    bool remoteReset;
};
inline constexpr std::array<DeferredDialerRow, 3> kDialerDeferredRows{{
    {dialer_ids::kLineDelay, DeferredDialerKind::LineDelay, 3, false},
    {dialer_ids::kStartupDelay, DeferredDialerKind::StartupDelay, 3, false},
    {dialer_ids::kSubscriber, DeferredDialerKind::Subscriber, 7, true},
}};

// The subscriber box takes no more than its slot holds.
constexpr int dialerCharLimit(ControlId id) {
    for (const ControlTemplate& c : kDialerDialogTemplate.controls) {
        if (c.id == id) return c.charLimit;
    }
    return 0;
}
static_assert(dialerCharLimit(dialer_ids::kSubscriber) == kSubscriberMaxChars);

// The bridge's MAC addresses, each the bare text of its edit.
struct MacFileRow {
    int id;
    std::string_view path;
};
inline constexpr std::array<MacFileRow, 2> kMacFiles{{
    {dialer_ids::kSlaveMac, "./program/BTSLAVEMAC.txt"},
    {dialer_ids::kServerMac, "./program/BTSERVERMAC.txt"},
}};
inline constexpr std::string_view kPairingKeyword = "/DOWNLOADBT/";

}  // namespace veskator
