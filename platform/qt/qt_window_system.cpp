#include "platform/qt/qt_window_system.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <algorithm>

#include "platform/qt/user_input.h"

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

class QtAlarm final : public Alarm {
  public:
    explicit QtAlarm(std::function<void()> action) {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [action = std::move(action)] { action(); });
    }
    void start(std::chrono::milliseconds after) override {
        m_timer.start(std::max(after, std::chrono::milliseconds{0}));
    }
    void stop() override { m_timer.stop(); }

  private:
    QTimer m_timer;
};

}  // namespace

std::unique_ptr<Alarm> QtWindowSystem::makeAlarm(std::function<void()> action) {
    return std::make_unique<QtAlarm>(std::move(action));
}

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

// The application's own event loop, which every window opened from this one shares.
int QtWindowSystem::run(DialogWindow& window) {
    std::unique_ptr<QtDialog> dialog = prepare(window, nullptr);
    if (!dialog->isClosed()) {
        QObject::connect(dialog.get(), &QDialog::finished, qApp, &QCoreApplication::quit);
        dialog->show();
        QApplication::exec();
    }
    const int result = dialog->result();
    window.onClosed();
    return result;
}

void QtWindowSystem::holdOpeners(bool held) {
    if (held && m_openChildren++ == 0) qApp->installEventFilter(&m_blocker);
    if (!held && --m_openChildren == 0) qApp->removeEventFilter(&m_blocker);
}

bool QtWindowSystem::InputBlocker::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (!isUserAction(type) && type != QEvent::ShortcutOverride && type != QEvent::ContextMenu)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    auto* dialog = widget != nullptr ? qobject_cast<QtDialog*>(widget->window()) : nullptr;
    if (dialog == nullptr || dialog->openChild() == nullptr) return false;
    if (event->type() == QEvent::MouseButtonPress) {
        // A click on a window below brings the one in front forward, as a modal window would.
        QtDialog* front = dialog->openChild();
        while (front->openChild() != nullptr) front = front->openChild();
        front->raise();
        front->activateWindow();
    }
    return true;
}

std::unique_ptr<QtDialog> QtWindowSystem::prepare(DialogWindow& window, QWidget* parent) {
    std::unique_ptr<QtDialog> dialog = build(window, parent);
    window.onInit(*dialog);
    return dialog;
}

std::unique_ptr<QtDialog> QtWindowSystem::open(DialogWindow& window, QWidget* parent) {
    std::unique_ptr<QtDialog> dialog = prepare(window, parent);
    if (!dialog->isClosed()) dialog->show();
    return dialog;
}

void QtWindowSystem::addSystemMenuEntry(int resourceId, int command, std::string_view text) {
    if (text.empty()) return;
    m_menuEntries[resourceId].push_back(SystemMenuEntry{command, std::string(text)});
}

}  // namespace veskator
