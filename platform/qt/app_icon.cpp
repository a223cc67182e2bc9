#include "platform/qt/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <array>

namespace veskator {

namespace {

QPixmap drawIcon(int size, QColor face) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // A communicator box with a signal arc: dark casing, light front, one status light.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x20, 0x30, 0x48));
    painter.drawRoundedRect(QRectF(s * 0.06, s * 0.30, s * 0.88, s * 0.62), s * 0.1, s * 0.1);
    painter.setBrush(face);
    painter.drawRect(QRectF(s * 0.16, s * 0.42, s * 0.50, s * 0.38));
    painter.setBrush(QColor(0x30, 0xd0, 0x50));
    painter.drawEllipse(QRectF(s * 0.72, s * 0.50, s * 0.14, s * 0.14));
    QPen arc(QColor(0xe0, 0x40, 0x30), qMax(1.0, s * 0.07));
    arc.setCapStyle(Qt::RoundCap);
    painter.setPen(arc);
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(s * 0.30, s * 0.04, s * 0.40, s * 0.40), 30 * 16, 120 * 16);
    return pixmap;
}

}  // namespace

QIcon iconForResource(int iconResource) {
    // Every window of the program carries the application icon; other resources share it with a
    // different face colour so that they stay distinguishable.
    const QColor face = iconResource == 128 ? QColor(0xc8, 0xd8, 0xf0) : QColor(0xf0, 0xe0, 0xa0);
    QIcon icon;
    for (int size : std::array{16, 32}) icon.addPixmap(drawIcon(size, face));
    return icon;
}

}  // namespace veskator
