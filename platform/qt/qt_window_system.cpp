#include "platform/qt/qt_window_system.h"

#include <QTimer>
#include <algorithm>

namespace veskator {

std::unique_ptr<QtDialog> QtWindowSystem::build(DialogWindow& window, QWidget* parent) {
    const DialogTemplate& layout = window.dialogTemplate();
    const QFont font = dialogFont(layout.fontFamily, layout.fontPoints);
    const DialogMetrics metrics =
        m_forcedUnits ? DialogMetrics(*m_forcedUnits) : DialogMetrics::fromFont(font);
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
        if (m_openedHook) {
            QtDialog* opened = dialog.get();
            QTimer::singleShot(0, opened, [this, opened] {
                OpenedHook hook = m_openedHook;  // a copy: the hook may replace itself
                if (hook) hook(*opened);
            });
        }
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

void QtWindowSystem::unregisterDialog(QtDialog* dialog) {
    m_dialogs.erase(std::remove(m_dialogs.begin(), m_dialogs.end(), dialog), m_dialogs.end());
}

}  // namespace veskator
