#pragma once
// Where the main window's fields and options live in the image, written once and used by the
// window's handlers, the link engine's commit step and the refresh after a full read.

#include <array>
#include <cstdint>

#include "link/parameter_workspace.h"
#include "resources/main_dialog_template.h"

namespace veskator {

// Text fields: shown from the image up to the first zero byte, at most showChars characters;
// stored as the text and a zero byte within slotSize bytes (exact: the 15-byte programming data
// slot takes 15 characters without a zero byte).
struct TextPlacement {
    ControlId id;
    ImagePlace place;
    int showChars;
    int slotSize;  // 0: never stored
    bool exact = false;
};

// clang-format off
inline constexpr std::array<TextPlacement, 10> kMainTextPlacements{{
    {main_ids::kServerIp1,        {0, 0x00}, 31, 31},
    {main_ids::kAlarmSequence,    {0, 0x20}, 16, 16},
    {main_ids::kReceiver1,        {0, 0x30}, 16, 16},
    {main_ids::kAccountPrefix,    {0, 0x40}, 16, 16},
    {main_ids::kServerPort2,      {0, 0x50}, 16, 16},
    // A0 0x6c-0x6f are option bytes, so port 1 keeps 11 characters and its zero byte.
    {main_ids::kServerPort1,      {0, 0x60}, 16, 12},
    // Runs from A0 0x70 into A1: a change is written with both blocks.
    {main_ids::kServerIp2,        {0, 0x70}, 32, 32},
    {main_ids::kReceiver2,        {1, 0x10}, 16, 16},
    {main_ids::kProgrammingData,  {1, 0x20}, 15, 15, true},
    {main_ids::kDeviceServerPort, {1, 0x30}, 16, 0},
}};
// clang-format on

inline constexpr ImagePlace kMacPlace{1, 0x7a};
inline constexpr int kMacBytes = 6;

// Bool forms for static_asserts: pointer comparisons are not constant expressions once the
// sanitizers instrument them.
constexpr bool hasTextPlacement(ControlId id) {
    for (const TextPlacement& p : kMainTextPlacements) {
        if (p.id == id) return true;
    }
    return false;
}

constexpr const TextPlacement* findTextPlacement(ControlId id) {
    for (const TextPlacement& p : kMainTextPlacements) {
        if (p.id == id) return &p;
    }
    return nullptr;
}

constexpr bool placementsInsideImage() {
    for (const TextPlacement& p : kMainTextPlacements) {
        const int end = imageOffset(p.place) + (p.slotSize > 0 ? p.slotSize : p.showChars);
        if (end > static_cast<int>(kImageSize)) return false;
        // Every stored slot keeps to its block, but for the one that runs into the next.
        if (p.slotSize > 0 && p.id != main_ids::kServerIp2 && p.place.offset + p.slotSize > 128)
            return false;
    }
    return true;
}
static_assert(placementsInsideImage());
static_assert(imageOffset(kMacPlace) + kMacBytes == imageOffset({1, 0x80}));

// The option bytes that have a process-wide working copy shared by all windows.
enum class OptionByte { A0x1f, A1x3f, A1x3d, A1x38, None };

inline constexpr std::array<ImagePlace, 4> kOptionBytePlaces{
    {{0, 0x1f}, {1, 0x3f}, {1, 0x3d}, {1, 0x38}}};

struct OptionBit {
    ControlId id;
    ImagePlace place;
    std::uint8_t mask;
    bool onWhenClear;
    OptionByte copy;  // None: the window flips the image byte itself
};

// clang-format off
inline constexpr std::array<OptionBit, 18> kMainOptionBits{{
    {main_ids::kByeCommand,      {0, 0x1f}, 0x01, false, OptionByte::A0x1f},
    {main_ids::kCommentFields,   {0, 0x1f}, 0x02, false, OptionByte::A0x1f},
    {main_ids::kEmail,           {0, 0x1f}, 0x04, false, OptionByte::A0x1f},
    {main_ids::kSecondServer,    {0, 0x1f}, 0x08, false, OptionByte::A0x1f},
    {main_ids::kAttachDecoded,   {0, 0x1f}, 0x10, false, OptionByte::A0x1f},
    {main_ids::kIncludeProgData, {0, 0x1f}, 0x20, false, OptionByte::A0x1f},
    {main_ids::kNoCrc,           {1, 0x3f}, 0x01, false, OptionByte::A1x3f},
    {main_ids::kTimeStamp,       {1, 0x3f}, 0x02, false, OptionByte::A1x3f},
    {main_ids::kIncludeMac,      {1, 0x3f}, 0x04, false, OptionByte::A1x3f},
    {main_ids::kListenIn,        {1, 0x3f}, 0x08, false, OptionByte::A1x3f},
    {main_ids::kAutoKissoff,     {1, 0x3f}, 0x20, false, OptionByte::A1x3f},
    {main_ids::kSearchOpenPort,  {1, 0x3d}, 0x01, false, OptionByte::A1x3d},
    {main_ids::kTcpOrUdp,        {1, 0x3d}, 0x02, true,  OptionByte::A1x3d},
    {main_ids::kNoServerAck,     {1, 0x3d}, 0x10, false, OptionByte::A1x3d},
    {main_ids::kDc09,            {1, 0x38}, 0x80, false, OptionByte::A1x38},
    {main_ids::kUdpAck,          {0, 0x6c}, 0x02, false, OptionByte::None},
    {main_ids::kProprietary,     {0, 0x6e}, 0x04, false, OptionByte::None},
    {main_ids::kIpThenContactId, {0, 0x6f}, 0x08, true,  OptionByte::None},
}};
// clang-format on

constexpr bool hasOptionBit(ControlId id) {
    for (const OptionBit& b : kMainOptionBits) {
        if (b.id == id) return true;
    }
    return false;
}

constexpr const OptionBit* findOptionBit(ControlId id) {
    for (const OptionBit& b : kMainOptionBits) {
        if (b.id == id) return &b;
    }
    return nullptr;
}

constexpr bool optionCopiesMatchPlaces() {
    for (const OptionBit& b : kMainOptionBits) {
        if (b.copy == OptionByte::None) continue;
        const ImagePlace p = kOptionBytePlaces[static_cast<int>(b.copy)];
        if (p.block != b.place.block || p.offset != b.place.offset) return false;
    }
    return true;
}
static_assert(optionCopiesMatchPlaces());

// The deferred commits of the main window, in the order the link engine takes them in a tick.
enum class FieldCommit {
    ServerPort2,
    ServerPort1,
    AlarmSequence,
    Receiver1,
    Receiver2,
    ProgrammingData,
    AccountPrefix,
    ServerIp1,
    ServerIp2,
    EitherOr,       // options 1038/1041: blocks A0 and A1, no text
    TargetPort,     // "./program/clientport.txt", no device exchange
    TargetAddress,  // "./program/serverIPm.txt", no device exchange
    Count,
};

struct CommitRow {
    FieldCommit commit;
    ControlId id;               // kStaticId: no text of its own
    int firstBlock, lastBlock;  // -1: no device write
};

// clang-format off
inline constexpr std::array<CommitRow, static_cast<int>(FieldCommit::Count)> kCommitOrder{{
    {FieldCommit::ServerPort2,     main_ids::kServerPort2,     0, 0},
    {FieldCommit::ServerPort1,     main_ids::kServerPort1,     0, 0},
    {FieldCommit::AlarmSequence,   main_ids::kAlarmSequence,   0, 0},
    {FieldCommit::Receiver1,       main_ids::kReceiver1,       0, 0},
    {FieldCommit::Receiver2,       main_ids::kReceiver2,       1, 1},
    {FieldCommit::ProgrammingData, main_ids::kProgrammingData, 1, 1},
    {FieldCommit::AccountPrefix,   main_ids::kAccountPrefix,   0, 0},
    {FieldCommit::ServerIp1,       main_ids::kServerIp1,       0, 0},
    {FieldCommit::ServerIp2,       main_ids::kServerIp2,       0, 1},
    {FieldCommit::EitherOr,        kStaticId,                  0, 1},
    {FieldCommit::TargetPort,      main_ids::kTargetPort,      -1, -1},
    {FieldCommit::TargetAddress,   main_ids::kTargetAddress,   -1, -1},
}};
// clang-format on

constexpr bool commitOrderIsComplete() {
    for (std::size_t i = 0; i < kCommitOrder.size(); ++i) {
        if (static_cast<std::size_t>(kCommitOrder[i].commit) != i) return false;
        const ControlId id = kCommitOrder[i].id;
        if (kCommitOrder[i].firstBlock >= 0 && id != kStaticId && !hasTextPlacement(id))
            return false;
    }
    return true;
}
static_assert(commitOrderIsComplete());

inline constexpr std::string_view kClientPortFile = "./program/clientport.txt";
inline constexpr std::string_view kServerAddressFile = "./program/serverIPm.txt";

}  // namespace veskator
