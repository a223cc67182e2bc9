#include "platform/qt/qt_window_system.h"

namespace veskator {

std::unique_ptr<QtDialog> QtWindowSystem::build(DialogWindow& window, QWidget* parent) {
    const DialogTemplate& layout = window.dialogTemplate();
    const QFont font = dialogFont(layout.fontFamily, layout.fontPoints);
    const DialogMetrics metrics = DialogMetrics::fromFont(font);
    static const std::vector<SystemMenuEntry> kNoEntries;
    auto it = m_menuEntries.find(layout.resourceId);
    const std::vector<SystemMenuEntry>& entries =
        it != m_menuEntries.end() ? it->second : kNoEntries;
    return std::make_unique<QtDialog>(*this, window, font, metrics, entries, parent);
}

int QtWindowSystem::runModal(DialogWindow& window) { return runModal(window, nullptr); }

int QtWindowSystem::runModal(DialogWindow& window, QWidget* parent) {
    std::unique_ptr<QtDialog> dialog = build(window, parent);
    window.onInit(*dialog);
    int result = dialog->result();
    if (!dialog->isClosed()) {
        TickGate::ModalScope modal(m_gate);
        result = dialog->exec();
    }
    window.onClosed();
    return result;
}

std::unique_ptr<QtDialog> QtWindowSystem::open(DialogWindow& window, QWidget* parent) {
    std::unique_ptr<QtDialog> dialog = build(window, parent);
    window.onInit(*dialog);
    if (!dialog->isClosed()) dialog->show();
    return dialog;
}

void QtWindowSystem::addSystemMenuEntry(int resourceId, int command, std::string_view text) {
    if (text.empty()) return;
    m_menuEntries[resourceId].push_back(SystemMenuEntry{command, std::string(text)});
}

}  // namespace veskator
