#include "cards/KitFont.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>

namespace brenvo {

namespace {

qreal logicalDpi()
{
    if (auto* screen = QGuiApplication::primaryScreen()) {
        const qreal dpi = screen->logicalDotsPerInchY();
        if (dpi > 0)
            return dpi;
    }
    return 96.0;
}

} // namespace

QFont kitFont(qreal size, QFont::Weight weight, KitFontDesign design)
{
    QFont font = design == KitFontDesign::monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont)
                                                     : QGuiApplication::font();
    // Point sizes follow the screen's logical DPI; the design's points are pixels.
    font.setPointSizeF(size * 72.0 / logicalDpi());
    font.setWeight(weight);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

qreal kitFontPixelSize(const QFont& font)
{
    if (font.pixelSize() > 0)
        return font.pixelSize();
    return font.pointSizeF() * logicalDpi() / 72.0;
}

} // namespace brenvo
