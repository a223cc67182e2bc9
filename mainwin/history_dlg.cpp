#include "mainwin/history_dlg.h"

namespace veskator {

void HistoryDlg::onInit(Dialog& dialog) {
    m_dialog = &dialog;
    NotificationBlocker blocker(dialog);
    dialog.setText(history_ids::kReport, m_report.empty() ? "no writes yet" : m_report);
}

void HistoryDlg::onClicked(ControlId id) {
    if (id == history_ids::kClose && m_dialog != nullptr) m_dialog->close(0);
}

void HistoryDlg::onTextChanged(ControlId id) {
    if (id != history_ids::kReport || m_dialog == nullptr) return;
    NotificationBlocker blocker(*m_dialog);
    m_dialog->setText(history_ids::kReport, m_report.empty() ? "no writes yet" : m_report);
}

}  // namespace veskator
