#pragma once
// Dialog units: template positions are in units of the dialog font, a quarter of its average
// character width horizontally and an eighth of its height vertically, converted to pixels the
// way the Windows dialog manager does (MulDiv rounding, each value on its own).

#include <QFont>
#include <QRect>
#include <QSize>
#include <string_view>

#include "resources/dialog_template.h"

namespace veskator {

// number * numerator / denominator, rounded half away from zero; -1 for a zero denominator.
constexpr int mulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) return -1;
    const long long product = static_cast<long long>(number) * numerator;
    const bool negative = (product < 0) != (denominator < 0);
    const long long magnitude = product < 0 ? -product : product;
    const long long divisor = denominator < 0 ? -static_cast<long long>(denominator) : denominator;
    const long long quotient = (magnitude + divisor / 2) / divisor;
    return static_cast<int>(negative ? -quotient : quotient);
}
static_assert(mulDiv(25, 6, 4) == 38);   // 37.5 rounds up
static_assert(mulDiv(47, 13, 8) == 76);  // 76.375 rounds down
static_assert(mulDiv(-5, 6, 4) == -8);   // -7.5 rounds away from zero
static_assert(mulDiv(3, 4, 0) == -1);

struct DialogBaseUnits {
    int x = 0;  // average character width in pixels
    int y = 0;  // character height in pixels
    friend bool operator==(DialogBaseUnits, DialogBaseUnits) = default;
};

class DialogMetrics {
  public:
    constexpr explicit DialogMetrics(DialogBaseUnits base) : m_base(base) {}
    // Base units of a font: the width of "A".."Z""a".."z" over 52 and the font's line spacing,
    // each rounded up, so that a line of text fits in 8 vertical units.
    static DialogMetrics fromFont(const QFont& font);

    constexpr DialogBaseUnits baseUnits() const { return m_base; }
    constexpr int toPixelsX(int units) const { return mulDiv(units, m_base.x, 4); }
    constexpr int toPixelsY(int units) const { return mulDiv(units, m_base.y, 8); }
    QRect toPixels(const ControlTemplate& control) const;
    QSize toPixels(const DialogTemplate& layout) const;

  private:
    DialogBaseUnits m_base;
};

// The font a template names. The 8-point "MS Sans Serif" of the templates does not exist on
// Linux; Liberation Sans, then DejaVu Sans Condensed, stand in for it.
QFont dialogFont(std::string_view family, int points);

// A dialog that would not fit the room the screen has for it is drawn in a smaller font (its
// dialog units shrink with the font, so no text is cut), down to three quarters of the
// template's; a dialog that still does not fit scrolls.
inline constexpr double kSmallestFontShare = 0.75;
inline constexpr double kFontStepPoints = 0.25;

struct FittedDialog {
    QFont font;
    DialogMetrics metrics;
    bool fits;  // false: the dialog scrolls inside the room
};

FittedDialog fitDialog(const DialogTemplate& layout, const QFont& font, QSize room);

}  // namespace veskator
