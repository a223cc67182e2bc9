#pragma once
// Shows the journal of writes: time, user, device, what, outcome. Read only; it sends nothing.

#include <string>

#include "platform/dialog_window.h"
#include "resources/history_dialog_template.h"

namespace veskator {

class HistoryDlg final : public DialogWindow {
  public:
    explicit HistoryDlg(std::string report) : m_report(std::move(report)) {}
    const DialogTemplate& dialogTemplate() const override { return kHistoryDialogTemplate; }
    void onInit(Dialog& dialog) override;
    void onClosed() override { m_dialog = nullptr; }
    void onClicked(ControlId id) override;
    // The report is read, not edited: what is typed goes back to it.
    void onTextChanged(ControlId id) override;

  private:
    std::string m_report;
    Dialog* m_dialog = nullptr;
};

}  // namespace veskator
