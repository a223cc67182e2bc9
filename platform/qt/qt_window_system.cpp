#include "platform/qt/qt_window_system.h"

#include <QGuiApplication>
#include <QScreen>

namespace veskator {

namespace {

// Room for a window's frame and title bar, which the window manager adds around the dialog.
constexpr QSize kFrameAllowance{16, 48};

// The room a dialog has on the screen it opens on (its opener's, or the primary one).
QSize roomOnScreen(QWidget* parent) {
    QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    return (screen->availableGeometry().size() - kFrameAllowance).expandedTo(QSize(1, 1));
}

}  // namespace

std::unique_ptr<QtDialog> QtWindowSystem::build(DialogWindow& window, QWidget* parent) {
    const DialogTemplate& layout = window.dialogTemplate();
    const QSize room = roomOnScreen(parent);
    const FittedDialog fitted =
        fitDialog(layout, dialogFont(layout.fontFamily, layout.fontPoints), room);
    static const std::vector<SystemMenuEntry> kNoEntries;
    auto it = m_menuEntries.find(layout.resourceId);
    const std::vector<SystemMenuEntry>& entries =
        it != m_menuEntries.end() ? it->second : kNoEntries;
    return std::make_unique<QtDialog>(*this, window, fitted.font, fitted.metrics, entries, parent,
                                      fitted.fits ? QSize() : room);
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
