#pragma once
// Shows a comparison report; it changes nothing and sends nothing.

#include <string>

#include "platform/dialog_window.h"
#include "resources/compare_dialog_template.h"

namespace veskator {

class CompareDlg final : public DialogWindow {
  public:
    explicit CompareDlg(std::string report) : m_report(std::move(report)) {}
    const DialogTemplate& dialogTemplate() const override { return kCompareDialogTemplate; }
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
