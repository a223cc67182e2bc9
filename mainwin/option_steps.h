#pragma once
// The main window's option handlers differ only in the order of a few steps and in their waits;
// each one's step list is written here once, in the order the handler runs it.

#include <array>
#include <chrono>
#include <span>

#include "resources/main_dialog_template.h"
#include "ui/steps.h"

namespace veskator {

enum class OptionOp {
    Pause,     // nothing but the step's wait
    Take,      // take all values
    Flip,      // flip the bit in its working copy (or in the image byte where it has none)
    SetValue,  // the option's value from the new bit
    Show,      // show all values
    Copy,      // the working copy into the image byte
    Request,   // write the byte's block
};
using OptionStep = Step<OptionOp>;

namespace option_lists {
using enum OptionOp;
using std::chrono::milliseconds;
inline constexpr std::array<OptionStep, 5> kShowThenWrite{
    {{Flip}, {SetValue}, {Show}, {Copy}, {Request}}};
inline constexpr std::array<OptionStep, 5> kShowWaitThenWrite{
    {{Flip}, {SetValue}, {Show, milliseconds{200}}, {Copy}, {Request}}};
inline constexpr std::array<OptionStep, 6> kWriteThenShow{
    {{Flip}, {SetValue}, {Copy}, {Request}, {Show}, {Take}}};
inline constexpr std::array<OptionStep, 6> kShowWriteTake{
    {{Flip}, {SetValue}, {Show}, {Copy}, {Request}, {Take}}};
inline constexpr std::array<OptionStep, 6> kShowPauseWriteTake{
    {{Flip}, {SetValue}, {Show, milliseconds{100}}, {Copy}, {Request}, {Take}}};
inline constexpr std::array<OptionStep, 6> kTakeShowLongWaitWrite{
    {{Take}, {Flip}, {SetValue}, {Show, milliseconds{2000}}, {Copy}, {Request}}};
inline constexpr std::array<OptionStep, 5> kWaitImageByte{
    {{Pause, milliseconds{500}}, {Flip}, {SetValue}, {Show}, {Request}}};
inline constexpr std::array<OptionStep, 5> kTakeImageByteWait{
    {{Take}, {Flip}, {SetValue}, {Show}, {Request, milliseconds{200}}}};
}  // namespace option_lists

struct OptionSteps {
    int id;
    std::span<const OptionStep> steps;
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
