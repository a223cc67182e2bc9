#pragma once
// Reaching real Qt dialogs from a test the way a user meets them: the modal one in front, or one
// built at chosen dialog base units.

#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/qt/qt_window_system.h"
#include "platform/qt/wrapping_buttons.h"

namespace veskator::test_support {

// Acts once on the program's window (a visible dialog that no other opened) once it shows, from
// inside the application's loop. Start it before the run; it stops when it has acted or dies.
class RunWatcher {
  public:
    explicit RunWatcher(std::function<void(QtDialog&)> action) : m_action(std::move(action)) {
        m_poll.setInterval(std::chrono::milliseconds{1});
        QObject::connect(&m_poll, &QTimer::timeout, [this] { poll(); });
        m_poll.start();
    }
    bool acted() const { return m_acted; }

  private:
    static QtDialog* front() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* shown = qobject_cast<QtDialog*>(w);
            if (shown != nullptr && shown->isVisible() && shown->parentWidget() == nullptr)
                return shown;
        }
        return nullptr;
    }

    void poll() {
        QtDialog* dialog = front();
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

// Where a control draws its text and the bounds of that text, wrapped as the control wraps it;
// std::nullopt for a control without text. Each control clips its text to that area.
struct TextPlace {
    QRect area;
    QRect bounds;
};

inline std::optional<TextPlace> textPlace(QWidget* widget) {
    const QFontMetrics metrics(widget->font());
    const auto place = [&](const QRect& area, int flags, const QString& text) {
        return TextPlace{area, metrics.boundingRect(area, flags, text)};
    };
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        const int flags =
            static_cast<int>(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        return place(label->contentsRect(), flags, label->text());
    }
    if (auto* button = qobject_cast<WrappingPushButton*>(widget)) {
        return place(button->labelArea(), WrappingPushButton::kLabelFlags, button->text());
    }
    if (auto* option = qobject_cast<WrappingOptionButton*>(widget)) {
        return place(option->labelArea(), WrappingOptionButton::kLabelFlags, option->text());
    }
    if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
        QStyleOptionGroupBox option;
        option.initFrom(frame);
        option.text = frame->title();
        option.lineWidth = 1;
        option.textAlignment = frame->alignment();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect title = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                           QStyle::SC_GroupBoxLabel, frame);
        // The title is one line wherever the style puts it; it must stay inside the frame.
        return TextPlace{
            frame->rect(),
            metrics.boundingRect(title, Qt::AlignLeft | Qt::AlignVCenter, frame->title())};
    }
    return std::nullopt;
}

}  // namespace veskator::test_support
