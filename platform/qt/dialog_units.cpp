#include "platform/qt/dialog_units.h"

#include <QFontMetricsF>
#include <QString>
#include <QStringList>
#include <cmath>

namespace veskator {

DialogMetrics DialogMetrics::fromFont(const QFont& font) {
    const QFontMetricsF metrics(font);
    const qreal width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // Rounded up, not to the nearest as the dialog manager does: the templates were laid out for
    // a narrower font and flatter controls, and rounding down cuts their texts off.
    return DialogMetrics(DialogBaseUnits{static_cast<int>(std::ceil(width / 52)),
                                         static_cast<int>(std::ceil(metrics.lineSpacing()))});
}

QRect DialogMetrics::toPixels(const ControlTemplate& control) const {
    return QRect(toPixelsX(control.x), toPixelsY(control.y), toPixelsX(control.width),
                 toPixelsY(control.height));
}

QSize DialogMetrics::toPixels(const DialogTemplate& layout) const {
    return QSize(toPixelsX(layout.width), toPixelsY(layout.height));
}

FittedDialog fitDialog(const DialogTemplate& layout, const QFont& font, QSize room) {
    const auto fits = [&](const DialogMetrics& metrics) {
        const QSize size = metrics.toPixels(layout);
        return size.width() <= room.width() && size.height() <= room.height();
    };
    const qreal points = font.pointSizeF();
    QFont smaller = font;
    for (qreal p = points; p >= points * kSmallestFontShare; p -= kFontStepPoints) {
        smaller.setPointSizeF(p);
        const DialogMetrics metrics = DialogMetrics::fromFont(smaller);
        if (fits(metrics)) return {smaller, metrics, true};
    }
    smaller.setPointSizeF(points * kSmallestFontShare);
    return {smaller, DialogMetrics::fromFont(smaller), false};
}

QFont dialogFont(std::string_view family, int points) {
    const QString name = QString::fromLatin1(family.data(), static_cast<qsizetype>(family.size()));
    QStringList families;
    if (name.compare(QLatin1String("MS Sans Serif"), Qt::CaseInsensitive) != 0 && !name.isEmpty()) {
        families << name;
    }
    families << QStringLiteral("Liberation Sans") << QStringLiteral("DejaVu Sans Condensed");
    QFont font;
    font.setFamilies(families);
    font.setPointSize(points > 0 ? points : 8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

}  // namespace veskator
