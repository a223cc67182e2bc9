#pragma once
// Shows a comparison as a table, grouped by window, and saves it as CSV beside the file compared;
// it changes no setting and sends nothing.

#include <string>

#include "model/settings_compare.h"
#include "platform/dialog_window.h"
#include "platform/file_system.h"
#include "resources/compare_dialog_template.h"

namespace veskator {

class CompareDlg final : public DialogWindow {
  public:
    // `beforeHeading` and `afterName` head the value columns; the CSV goes to `csvPath`.
    CompareDlg(FileSystem& files, SettingsComparison comparison, std::string beforeHeading,
               std::string afterName, std::string csvPath);
    const DialogTemplate& dialogTemplate() const override { return kCompareDialogTemplate; }
    void onInit(Dialog& dialog) override;
    void onClosed() override { m_dialog = nullptr; }
    void onClicked(ControlId id) override;

  private:
    void saveCsv();

    FileSystem& m_files;
    SettingsComparison m_comparison;
    std::string m_beforeHeading;
    std::string m_afterName;
    std::string m_csvPath;
    Dialog* m_dialog = nullptr;
};

// The CSV's name beside the file compared: "site1.bin-compare.csv".
std::string compareCsvPath(std::string_view comparedFile);

// The rows of the table: a row a window, its settings under it, and last the other bytes, which
// open to show each byte's place and both values.
TableContent comparisonTable(const SettingsComparison& comparison, std::string_view beforeHeading,
                             std::string_view afterName);

}  // namespace veskator
