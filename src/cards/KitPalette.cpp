#include "cards/KitPalette.h"

namespace brenvo {

QColor KitPalette::withOpacity(QColor colour, qreal opacity)
{
    colour.setAlphaF(float(qBound(0.0, opacity, 1.0)));
    return colour;
}

QColor KitPalette::white(qreal opacity)
{
    return withOpacity(QColor(255, 255, 255), opacity);
}
QColor KitPalette::black(qreal opacity)
{
    return withOpacity(QColor(0, 0, 0), opacity);
}

QColor KitPalette::secondary()
{
    return white(0.55);
}
QColor KitPalette::tertiary()
{
    return white(0.35);
}
QColor KitPalette::fill()
{
    return white(0.12);
}
QColor KitPalette::divider()
{
    return white(0.1);
}

QColor KitPalette::green(qreal opacity)
{
    return withOpacity(QColor(48, 209, 88), opacity);
}
QColor KitPalette::orange(qreal opacity)
{
    return withOpacity(QColor(255, 159, 10), opacity);
}
QColor KitPalette::red(qreal opacity)
{
    return withOpacity(QColor(255, 69, 58), opacity);
}
QColor KitPalette::gray(qreal opacity)
{
    return withOpacity(QColor(152, 152, 157), opacity);
}
QColor KitPalette::blue(qreal opacity)
{
    return withOpacity(QColor(10, 132, 255), opacity);
}

} // namespace brenvo
