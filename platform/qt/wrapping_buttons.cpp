#include "platform/qt/wrapping_buttons.h"

#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace veskator {

WrappingPushButton::WrappingPushButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent) {}

void WrappingPushButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString label = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    painter.drawItemText(area, Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic,
                         option.palette, isEnabled(), label, QPalette::ButtonText);
}

WrappingOptionButton::WrappingOptionButton(const QString& text, QWidget* parent)
    : QRadioButton(text, parent) {
    // Each option is a group of its own: options never switch each other.
    setAutoExclusive(false);
}

void WrappingOptionButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString label = option.text;
    option.text.clear();

    QStyleOptionButton indicator = option;
    indicator.rect = style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, this);
    indicator.rect.moveTop((height() - indicator.rect.height()) / 2);
    painter.drawPrimitive(QStyle::PE_IndicatorRadioButton, indicator);

    QRect area = rect();
    area.setLeft(indicator.rect.right() + 1 +
                 style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, &option, this));
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
    painter.drawItemText(area, flags, option.palette, isEnabled(), label, QPalette::WindowText);

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = painter.fontMetrics().boundingRect(area, flags, label).intersected(area);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

bool WrappingOptionButton::hitButton(const QPoint& pos) const { return rect().contains(pos); }

void WrappingOptionButton::nextCheckState() { setChecked(true); }

}  // namespace veskator
