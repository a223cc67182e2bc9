#pragma once
// The main window's option handlers differ only in the order of a few steps and in their waits;
// each one's step list is written here once, in the order the handler runs it.

#include <array>
#include <chrono>

#include "resources/main_dialog_template.h"
#include "ui/bit_steps.h"

namespace veskator {

namespace option_lists {
using enum BitOp;
using std::chrono::milliseconds;
inline constexpr std::array<BitStep, 5> kShowThenWrite{
    {{Change}, {ShowBit}, {Show}, {Copy}, {Write}}};
inline constexpr std::array<BitStep, 5> kShowWaitThenWrite{
    {{Change}, {ShowBit}, {Show, milliseconds{200}}, {Copy}, {Write}}};
inline constexpr std::array<BitStep, 6> kWriteThenShow{
    {{Change}, {ShowBit}, {Copy}, {Write}, {Show}, {Take}}};
inline constexpr std::array<BitStep, 6> kShowWriteTake{
    {{Change}, {ShowBit}, {Show}, {Copy}, {Write}, {Take}}};
inline constexpr std::array<BitStep, 6> kShowPauseWriteTake{
    {{Change}, {ShowBit}, {Show, milliseconds{100}}, {Copy}, {Write}, {Take}}};
inline constexpr std::array<BitStep, 6> kTakeShowLongWaitWrite{
    {{Take}, {Change}, {ShowBit}, {Show, milliseconds{2000}}, {Copy}, {Write}}};
inline constexpr std::array<BitStep, 5> kWaitImageByte{
    {{Pause, milliseconds{500}}, {Change}, {ShowBit}, {Show}, {Write}}};
inline constexpr std::array<BitStep, 5> kTakeImageByteWait{
    {{Take}, {Change}, {ShowBit}, {Show}, {Write, milliseconds{200}}}};
}  // namespace option_lists

struct OptionSteps {
    int id;
    BitSteps steps;
};

// clang-format off
inline constexpr std::array<OptionSteps, 16> kOptionSteps{{
    {main_ids::kTimeStamp,       option_lists::kShowThenWrite},
    {main_ids::kIncludeMac,      option_lists::kShowThenWrite},
    {main_ids::kNoCrc,           option_lists::kShowWaitThenWrite},
    {main_ids::kAutoKissoff,     option_lists::kShowWaitThenWrite},
    {main_ids::kByeCommand,      option_lists::kWriteThenShow},
    {main_ids::kCommentFields,   option_lists::kWriteThenShow},
    {main_ids::kEmail,           option_lists::kShowWriteTake},
    {main_ids::kAttachDecoded,   option_lists::kShowWriteTake},
    {main_ids::kIncludeProgData, option_lists::kShowPauseWriteTake},
    {main_ids::kSearchOpenPort,  option_lists::kTakeShowLongWaitWrite},
    {main_ids::kTcpOrUdp,        option_lists::kTakeShowLongWaitWrite},
    {main_ids::kNoServerAck,     option_lists::kTakeShowLongWaitWrite},
    {main_ids::kDc09,            option_lists::kTakeShowLongWaitWrite},
    // These bytes have no working copy: the flip is made in the image byte itself.
    {main_ids::kProprietary,     option_lists::kWaitImageByte},
    {main_ids::kIpThenContactId, option_lists::kWaitImageByte},
    {main_ids::kUdpAck,          option_lists::kTakeImageByteWait},
}};
// clang-format on

}  // namespace veskator
