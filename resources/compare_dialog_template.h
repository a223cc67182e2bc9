#pragma once
// The comparison window (dialog resource 104): what loading a parameter file would change, before
// anything is written, or what differs between two files. A line that sums it up, a table of the
// settings that differ grouped by window, and buttons to save the table as CSV and to close.

#include <array>

#include "resources/dialog_template.h"
#include "resources/main_dialog_template.h"  // the application icon

namespace veskator {

namespace compare_ids {
inline constexpr ControlId kReport = 1001;
inline constexpr ControlId kClose = 1002;
inline constexpr ControlId kSummary = 1003;
inline constexpr ControlId kSaveCsv = 1004;
// Where the CSV file went, or why it did not.
inline constexpr ControlId kCsvNote = 1005;
}  // namespace compare_ids

inline constexpr int kCompareDialogResource = 104;
inline constexpr std::string_view kCompareCaption = "compare with file";
// The main window's system menu entry that compares the files named for saving and for loading.
inline constexpr std::string_view kCompareFilesEntryText = "Compare two files...";
inline constexpr int kCompareFilesCommand = 48;

namespace compare_ids::detail {
inline constexpr std::array<ControlTemplate, 5> kCompareControls{{
    label(kSummary, "", 5, 5, 470, 10),
    table(kReport, 5, 18, 470, 200, "differences"),
    button(kSaveCsv, "save as CSV", 5, 224, 60, 14),
    label(kCsvNote, "", 70, 227, 340, 10),
    button(kClose, "Close", 420, 224, 55, 14),
}};
}  // namespace compare_ids::detail

inline constexpr int kCompareWidth = 480;
inline constexpr int kCompareHeight = 243;
static_assert(idsAreUnique(compare_ids::detail::kCompareControls));
static_assert(controlsInside(compare_ids::detail::kCompareControls, kCompareWidth, kCompareHeight));
static_assert(controlsAreNamed(compare_ids::detail::kCompareControls));

inline constexpr DialogTemplate kCompareDialogTemplate{
    kCompareDialogResource, kCompareCaption,
    kCompareWidth,          kCompareHeight,
    "MS Sans Serif",        8,
    kAppIconResource,       compare_ids::detail::kCompareControls};

}  // namespace veskator
