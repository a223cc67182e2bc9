#pragma once
// The history of writes (dialog resource 105), opened from the main window's system menu: the
// journal of writes, newest first. One report and a button to close it.

#include <array>

#include "resources/dialog_template.h"
#include "resources/main_dialog_template.h"  // the application icon

namespace veskator {

namespace history_ids {
inline constexpr ControlId kReport = 1001;
inline constexpr ControlId kClose = 1002;
}  // namespace history_ids

inline constexpr int kHistoryDialogResource = 105;
inline constexpr std::string_view kHistoryCaption = "history of writes";
// The main window's system menu entry that opens it.
inline constexpr std::string_view kHistoryEntryText = "History of writes...";
inline constexpr int kHistoryCommand = 32;

namespace history_ids::detail {
inline constexpr std::array<ControlTemplate, 2> kHistoryControls{{
    multiLineEdit(kReport, 5, 5, 490, 226, "writes"),
    button(kClose, "Close", 440, 236, 55, 14),
}};
}  // namespace history_ids::detail

inline constexpr int kHistoryWidth = 500;
inline constexpr int kHistoryHeight = 255;
static_assert(idsAreUnique(history_ids::detail::kHistoryControls));
static_assert(controlsInside(history_ids::detail::kHistoryControls, kHistoryWidth, kHistoryHeight));
static_assert(controlsAreNamed(history_ids::detail::kHistoryControls));

inline constexpr DialogTemplate kHistoryDialogTemplate{
    kHistoryDialogResource, kHistoryCaption,
    kHistoryWidth,          kHistoryHeight,
    "MS Sans Serif",        8,
    kAppIconResource,       history_ids::detail::kHistoryControls};

}  // namespace veskator
