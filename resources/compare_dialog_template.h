#pragma once
// The comparison window (dialog resource 104): what loading a parameter file would change, before
// anything is written. One report and a button to close it.

#include <array>

#include "resources/dialog_template.h"
#include "resources/main_dialog_template.h"  // the application icon

namespace veskator {

namespace compare_ids {
inline constexpr ControlId kReport = 1001;
inline constexpr ControlId kClose = 1002;
}  // namespace compare_ids

inline constexpr int kCompareDialogResource = 104;
inline constexpr std::string_view kCompareCaption = "compare with file";

namespace compare_ids::detail {
inline constexpr std::array<ControlTemplate, 2> kCompareControls{{
    multiLineEdit(kReport, 5, 5, 390, 226, "differences"),
    button(kClose, "Close", 340, 236, 55, 14),
}};
}  // namespace compare_ids::detail

inline constexpr int kCompareWidth = 400;
inline constexpr int kCompareHeight = 255;
static_assert(idsAreUnique(compare_ids::detail::kCompareControls));
static_assert(controlsInside(compare_ids::detail::kCompareControls, kCompareWidth, kCompareHeight));
static_assert(controlsAreNamed(compare_ids::detail::kCompareControls));

inline constexpr DialogTemplate kCompareDialogTemplate{
    kCompareDialogResource, kCompareCaption,
    kCompareWidth,          kCompareHeight,
    "MS Sans Serif",        8,
    kAppIconResource,       compare_ids::detail::kCompareControls};

}  // namespace veskator
