#include "mainwin/compare_dlg.h"

namespace veskator {

void CompareDlg::onInit(Dialog& dialog) {
    m_dialog = &dialog;
    NotificationBlocker blocker(dialog);
    dialog.setText(compare_ids::kReport, m_report);
}

void CompareDlg::onClicked(ControlId id) {
    if (id == compare_ids::kClose && m_dialog != nullptr) m_dialog->close(0);
}

void CompareDlg::onTextChanged(ControlId id) {
    if (id != compare_ids::kReport || m_dialog == nullptr) return;
    NotificationBlocker blocker(*m_dialog);
    m_dialog->setText(compare_ids::kReport, m_report);
}

}  // namespace veskator
