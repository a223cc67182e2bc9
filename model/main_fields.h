#pragma once
// Where the main window's fields and options live in the image, and the order in which its
// deferred edits are committed: written once, used by the handlers, the commits and the refresh.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "model/field_rules.h"
#include "resources/main_dialog_template.h"

namespace veskator {

// clang-format off
inline constexpr std::array<TextField, 10> kMainTextFields{{
    {main_ids::kServerIp1,        {0, 0x00}, 31, 31, SlotRule::Terminated, TextKind::Host},
    {main_ids::kAlarmSequence,    {0, 0x20}, 16, 16},
    {main_ids::kReceiver1,        {0, 0x30}, 16, 16},
    {main_ids::kAccountPrefix,    {0, 0x40}, 16, 16},
    {main_ids::kServerPort2,      {0, 0x50}, 16, 16, SlotRule::Terminated, TextKind::Port},
    // A0 0x6c-0x6f are option bytes, so port 1 keeps 11 characters and its zero byte.
    {main_ids::kServerPort1,      {0, 0x60}, 16, 12, SlotRule::Terminated, TextKind::Port},
    // Runs from A0 0x70 into A1: a change is written with both blocks.
    {main_ids::kServerIp2,        {0, 0x70}, 32, 32, SlotRule::Terminated, TextKind::Host},
    {main_ids::kReceiver2,        {1, 0x10}, 16, 16},
    // Exactly 15 bytes: a full slot has no zero byte.
    {main_ids::kProgrammingData,  {1, 0x20}, 15, 15, SlotRule::Exact},
    {main_ids::kDeviceServerPort, {1, 0x30}, 16, 0},
}};
// clang-format on
static_assert(slotsInsideImage(kMainTextFields));

constexpr bool onlyServerIp2RunsOn() {
    for (const TextField& f : kMainTextFields) {
        if (f.slotSize > 0 && lastBlockOf(f) != f.place.block && f.id != main_ids::kServerIp2)
            return false;
    }
    return true;
}
static_assert(onlyServerIp2RunsOn());

inline constexpr ImagePlace kMacPlace{1, 0x7a};
inline constexpr int kMacBytes = 6;
static_assert(imageOffset(kMacPlace) + kMacBytes == imageOffset({1, 0x80}));

// The device's MAC address as shown: twelve upper-case hex digits, two per byte in byte order.
inline std::string macAddressText(std::span<const std::uint8_t> image) {
    std::string mac;
    for (int i = 0; i < kMacBytes; ++i)
        mac += hexByte(image[static_cast<std::size_t>(imageOffset(kMacPlace) + i)]);
    return mac;
}

// clang-format off
inline constexpr std::array<OptionBit, 18> kMainOptionBits{{
    {main_ids::kByeCommand,      {0, 0x1f}, 0x01},
    {main_ids::kCommentFields,   {0, 0x1f}, 0x02},
    {main_ids::kEmail,           {0, 0x1f}, 0x04},
    {main_ids::kSecondServer,    {0, 0x1f}, 0x08},
    {main_ids::kAttachDecoded,   {0, 0x1f}, 0x10},
    {main_ids::kIncludeProgData, {0, 0x1f}, 0x20},
    {main_ids::kNoCrc,           {1, 0x3f}, 0x01},
    {main_ids::kTimeStamp,       {1, 0x3f}, 0x02},
    {main_ids::kIncludeMac,      {1, 0x3f}, 0x04},
    {main_ids::kListenIn,        {1, 0x3f}, 0x08},
    {main_ids::kAutoKissoff,     {1, 0x3f}, 0x20},
    {main_ids::kSearchOpenPort,  {1, 0x3d}, 0x01},
    {main_ids::kTcpOrUdp,        {1, 0x3d}, 0x02, true},
    {main_ids::kNoServerAck,     {1, 0x3d}, 0x10},
    {main_ids::kDc09,            {1, 0x38}, 0x80},
    {main_ids::kUdpAck,          {0, 0x6c}, 0x02},
    {main_ids::kProprietary,     {0, 0x6e}, 0x04},
    {main_ids::kIpThenContactId, {0, 0x6f}, 0x08, true},
}};
// clang-format on

// "sending to 2nd server" and "Listen-in via IP" exclude each other: the other one of id's pair,
// or 0 for an option outside it.
constexpr int eitherOrPartner(int id) {
    if (id == main_ids::kSecondServer) return main_ids::kListenIn;
    if (id == main_ids::kListenIn) return main_ids::kSecondServer;
    return 0;
}

// One option of the pair switched on or off: on clears its partner.
inline void storeEitherOr(std::span<std::uint8_t> image, int id, bool on) {
    storeOption(image, *findRow(kMainOptionBits, id), on);
    if (on) storeOption(image, *findRow(kMainOptionBits, eitherOrPartner(id)), false);
}

// The deferred commits of the main window, in the order a tick takes them.
enum class CommitKind {
    Text,           // the field's text into its slot, then its block (or blocks)
    EitherOr,       // options 1038/1041: blocks A0 and A1, no text
    TargetPort,     // "./program/clientport.txt", no device exchange
    TargetAddress,  // "./program/serverIPm.txt", no device exchange
};

struct CommitRow {
    int id;  // the edit (the option 1038 for the pair)
    CommitKind kind;
};

// clang-format off
inline constexpr std::array<CommitRow, 12> kMainCommits{{
    {main_ids::kServerPort2,     CommitKind::Text},
    {main_ids::kServerPort1,     CommitKind::Text},
    {main_ids::kAlarmSequence,   CommitKind::Text},
    {main_ids::kReceiver1,       CommitKind::Text},
    {main_ids::kReceiver2,       CommitKind::Text},
    {main_ids::kProgrammingData, CommitKind::Text},
    {main_ids::kAccountPrefix,   CommitKind::Text},
    {main_ids::kServerIp1,       CommitKind::Text},
    {main_ids::kServerIp2,       CommitKind::Text},
    {main_ids::kSecondServer,    CommitKind::EitherOr},
    {main_ids::kTargetPort,      CommitKind::TargetPort},
    {main_ids::kTargetAddress,   CommitKind::TargetAddress},
}};
// clang-format on

// No pointer comparisons: they are not constant expressions once the sanitizers instrument them.
constexpr bool commitsAreStoredFields() {
    for (const CommitRow& row : kMainCommits) {
        if (row.kind != CommitKind::Text) continue;
        bool stored = false;
        for (const TextField& f : kMainTextFields)
            stored = stored || (f.id == row.id && f.slotSize > 0);
        if (!stored) return false;
    }
    return true;
}
static_assert(commitsAreStoredFields());

inline constexpr std::string_view kClientPortFile = "./program/clientport.txt";
inline constexpr std::string_view kServerAddressFile = "./program/serverIPm.txt";

}  // namespace veskator
