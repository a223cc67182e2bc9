#include "mainwin/compare_dlg.h"

namespace veskator {

namespace {

TableRow cellsRow(std::vector<std::string> cells) {
    TableRow row;
    row.cells = std::move(cells);
    return row;
}

}  // namespace

std::string compareCsvPath(std::string_view comparedFile) {
    return std::string(comparedFile) + "-compare.csv";
}

TableContent comparisonTable(const SettingsComparison& comparison, std::string_view beforeHeading,
                             std::string_view afterName) {
    TableContent table;
    table.columns = {"setting", std::string(beforeHeading), std::string(afterName)};
    for (SettingsWindow window :
         {SettingsWindow::Main, SettingsWindow::Options, SettingsWindow::Dialer}) {
        TableRow group = cellsRow({std::string(windowName(window))});
        group.open = true;
        for (const SettingDifference& d : comparison.settings) {
            if (d.window == window)
                group.children.push_back(cellsRow({d.label, d.before, d.after}));
        }
        if (!group.children.empty()) table.rows.push_back(std::move(group));
    }
    if (!comparison.others.empty()) {
        TableRow others{
            {std::to_string(comparison.others.size()) + " other bytes differ"}, {}, false, true};
        for (const ByteDifference& b : comparison.others) {
            others.children.push_back(
                cellsRow({bytePlaceText(b.offset), byteText(b.before), byteText(b.after)}));
        }
        table.rows.push_back(std::move(others));
    }
    return table;
}

CompareDlg::CompareDlg(FileSystem& files, SettingsComparison comparison, std::string beforeHeading,
                       std::string afterName, std::string csvPath)
    : m_files(files),
      m_comparison(std::move(comparison)),
      m_beforeHeading(std::move(beforeHeading)),
      m_afterName(std::move(afterName)),
      m_csvPath(std::move(csvPath)) {}

void CompareDlg::onInit(Dialog& dialog) {
    m_dialog = &dialog;
    NotificationBlocker blocker(dialog);
    const std::string names = m_beforeHeading + " -> " + m_afterName;
    std::string summary = m_comparison.same()
                              ? "the same settings (" + names + ")"
                              : settingsDifferText(m_comparison) + " (" + names + ")";
    dialog.setText(compare_ids::kSummary, summary);
    dialog.setTable(compare_ids::kReport,
                    comparisonTable(m_comparison, m_beforeHeading, m_afterName));
}

void CompareDlg::onClicked(ControlId id) {
    if (m_dialog == nullptr) return;
    if (id == compare_ids::kClose) return m_dialog->close(0);
    if (id == compare_ids::kSaveCsv) saveCsv();
}

// Written whole: a CSV half there is never left for a spreadsheet to read.
void CompareDlg::saveCsv() {
    const bool saved = m_files.writeFileAtomically(
        m_csvPath, comparisonCsv(m_comparison, m_beforeHeading, m_afterName));
    const bool relative = !m_csvPath.starts_with('/');
    m_dialog->setText(compare_ids::kCsvNote, (saved ? "saved as " : "not saved: cannot write ") +
                                                 m_csvPath +
                                                 (relative ? " in the working folder" : ""));
}

}  // namespace veskator
