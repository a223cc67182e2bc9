#include "platform/qt/wrapping_buttons.h"

#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace veskator {

WrappingPushButton::WrappingPushButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent) {}

QRect WrappingPushButton::labelArea() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
}

void WrappingPushButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString label = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    painter.drawItemText(labelArea(), kLabelFlags, option.palette, isEnabled(), label,
                         QPalette::ButtonText);
}

WrappingOptionButton::WrappingOptionButton(const QString& text, QWidget* parent)
    : QRadioButton(text, parent) {
    // Each option is a group of its own: options never switch each other.
    setAutoExclusive(false);
}

QRect WrappingOptionButton::indicatorRect() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    QRect indicator = style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, this);
    indicator.moveTop((height() - indicator.height()) / 2);
    return indicator;
}

QRect WrappingOptionButton::labelArea() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    QRect area = rect();
    area.setLeft(indicatorRect().right() + 1 +
                 style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, &option, this));
    return area;
}

void WrappingOptionButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString label = option.text;
    option.text.clear();

    QStyleOptionButton indicator = option;
    indicator.rect = indicatorRect();
    painter.drawPrimitive(QStyle::PE_IndicatorRadioButton, indicator);

    const QRect area = labelArea();
    painter.drawItemText(area, kLabelFlags, option.palette, isEnabled(), label,
                         QPalette::WindowText);

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = painter.fontMetrics().boundingRect(area, kLabelFlags, label).intersected(area);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

bool WrappingOptionButton::hitButton(const QPoint& pos) const { return rect().contains(pos); }

void WrappingOptionButton::nextCheckState() { setChecked(true); }

}  // namespace veskator
