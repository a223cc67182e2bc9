#pragma once
// The main window's option handlers differ only in the order of a few steps and in their waits;
// each one's step list is written here once, in the order the handler runs it.

#include <array>
#include <chrono>

#include "resources/main_dialog_template.h"

namespace veskator {

enum class OptionStep {
    End,
    Take,      // take all values
    Flip,      // flip the bit in its working copy (or in the image byte where it has none)
    SetValue,  // the option's value from the new bit
    Show,      // show all values
    Copy,      // the working copy into the image byte
    Request,   // write the byte's block
    Wait100,
    Wait200,
    Wait500,
    Wait2000,
};

struct OptionSteps {
    ControlId id;
    std::array<OptionStep, 8> steps;
};

namespace detail {
using S = OptionStep;
using namespace main_ids;
}  // namespace detail

// clang-format off
inline constexpr std::array<OptionSteps, 16> kOptionSteps{{
    {main_ids::kTimeStamp,       {detail::S::Flip, detail::S::SetValue, detail::S::Show, detail::S::Copy, detail::S::Request}},
    {main_ids::kIncludeMac,      {detail::S::Flip, detail::S::SetValue, detail::S::Show, detail::S::Copy, detail::S::Request}},
    {main_ids::kNoCrc,           {detail::S::Flip, detail::S::SetValue, detail::S::Show, detail::S::Wait200, detail::S::Copy, detail::S::Request}},
    {main_ids::kAutoKissoff,     {detail::S::Flip, detail::S::SetValue, detail::S::Show, detail::S::Wait200, detail::S::Copy, detail::S::Request}},
    {main_ids::kByeCommand,      {detail::S::Flip, detail::S::SetValue, detail::S::Copy, detail::S::Request, detail::S::Show, detail::S::Take}},
    {main_ids::kCommentFields,   {detail::S::Flip, detail::S::SetValue, detail::S::Copy, detail::S::Request, detail::S::Show, detail::S::Take}},
    {main_ids::kEmail,           {detail::S::Flip, detail::S::SetValue, detail::S::Show, detail::S::Copy, detail::S::Request, detail::S::Take}},
    {main_ids::kAttachDecoded,   {detail::S::Flip, detail::S::SetValue, detail::S::Show, detail::S::Copy, detail::S::Request, detail::S::Take}},
    {main_ids::kIncludeProgData, {detail::S::Flip, detail::S::SetValue, detail::S::Show, detail::S::Wait100, detail::S::Copy, detail::S::Request, detail::S::Take}},
    {main_ids::kSearchOpenPort,  {detail::S::Take, detail::S::Flip, detail::S::SetValue, detail::S::Show, detail::S::Wait2000, detail::S::Copy, detail::S::Request}},
    {main_ids::kTcpOrUdp,        {detail::S::Take, detail::S::Flip, detail::S::SetValue, detail::S::Show, detail::S::Wait2000, detail::S::Copy, detail::S::Request}},
    {main_ids::kNoServerAck,     {detail::S::Take, detail::S::Flip, detail::S::SetValue, detail::S::Show, detail::S::Wait2000, detail::S::Copy, detail::S::Request}},
    {main_ids::kDc09,            {detail::S::Take, detail::S::Flip, detail::S::SetValue, detail::S::Show, detail::S::Wait2000, detail::S::Copy, detail::S::Request}},
    {main_ids::kProprietary,     {detail::S::Wait500, detail::S::Flip, detail::S::SetValue, detail::S::Show, detail::S::Request}},
    {main_ids::kIpThenContactId, {detail::S::Wait500, detail::S::Flip, detail::S::SetValue, detail::S::Show, detail::S::Request}},
    {main_ids::kUdpAck,          {detail::S::Take, detail::S::Flip, detail::S::SetValue, detail::S::Show, detail::S::Request, detail::S::Wait200}},
}};
// clang-format on

constexpr std::chrono::milliseconds waitOf(OptionStep step) {
    switch (step) {
        case OptionStep::Wait100:
            return std::chrono::milliseconds{100};
        case OptionStep::Wait200:
            return std::chrono::milliseconds{200};
        case OptionStep::Wait500:
            return std::chrono::milliseconds{500};
        case OptionStep::Wait2000:
            return std::chrono::milliseconds{2000};
        default:
            return std::chrono::milliseconds{0};
    }
}

}  // namespace veskator
