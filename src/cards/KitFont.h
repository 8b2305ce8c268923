#pragma once

#include <QFont>

namespace brenvo {

// The one road to a font of the panel. Sizes are in points of the card design, where one point is
// one logical pixel; fractional sizes (12.5, 11.5, 10.5) are kept.
enum class KitFontDesign { standard, monospaced };

QFont kitFont(
    qreal size, QFont::Weight weight = QFont::Normal, KitFontDesign design = KitFontDesign::standard);

// The pixel size a font made by kitFont() renders at (for tests and layout checks).
qreal kitFontPixelSize(const QFont& font);

} // namespace brenvo
