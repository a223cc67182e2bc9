#include "platform/qt/dialog_units.h"

#include <QFontMetrics>
#include <QString>
#include <QStringList>

namespace veskator {

DialogMetrics DialogMetrics::fromFont(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // The dialog manager's own rounding of width / 52.
    return DialogMetrics(DialogBaseUnits{(width / 26 + 1) / 2, metrics.height()});
}

QRect DialogMetrics::toPixels(const ControlTemplate& control) const {
    return QRect(toPixelsX(control.x), toPixelsY(control.y), toPixelsX(control.width),
                 toPixelsY(control.height));
}

QSize DialogMetrics::toPixels(const DialogTemplate& layout) const {
    return QSize(toPixelsX(layout.width), toPixelsY(layout.height));
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
