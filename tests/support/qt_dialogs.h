#pragma once
// Reaching real Qt dialogs from a test the way a user meets them: the modal one in front, or one
// built at chosen dialog base units.

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/qt/qt_window_system.h"

namespace veskator::test_support {

// Acts once on the first of our dialogs that becomes the application's active modal widget, from
// inside its modal loop. Start it before the modal run; it stops when it has acted or dies.
class ModalWatcher {
  public:
    explicit ModalWatcher(std::function<void(QtDialog&)> action) : m_action(std::move(action)) {
        m_poll.setInterval(std::chrono::milliseconds{1});
        QObject::connect(&m_poll, &QTimer::timeout, [this] { poll(); });
        m_poll.start();
    }
    bool acted() const { return m_acted; }

  private:
    void poll() {
        auto* dialog = qobject_cast<QtDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || dialog->isClosed()) return;
        m_poll.stop();
        m_acted = true;
        m_action(*dialog);
    }

    QTimer m_poll;
    std::function<void(QtDialog&)> m_action;
    bool m_acted = false;
};

// What QtWindowSystem::open does, but at fixed base units instead of those measured from the
// template's font, so that a test's pixel positions do not depend on the fonts installed.
inline std::unique_ptr<QtDialog> openWithBaseUnits(
    QtWindowSystem& system, DialogWindow& window, DialogBaseUnits units,
    const std::vector<SystemMenuEntry>& entries = {}) {
    const DialogTemplate& layout = window.dialogTemplate();
    auto dialog =
        std::make_unique<QtDialog>(system, window, dialogFont(layout.fontFamily, layout.fontPoints),
                                   DialogMetrics(units), entries, nullptr);
    window.onInit(*dialog);
    if (!dialog->isClosed()) dialog->show();
    return dialog;
}

}  // namespace veskator::test_support
