#pragma once

#include <QColor>

namespace brenvo {

// The named colours of the panel: white at the few opacities the cards use, and the system
// colours of a dark appearance for states. Every card, the kit and the panel take them from here.
struct KitPalette {
    static QColor white(qreal opacity = 1.0);
    static QColor black(qreal opacity = 1.0);

    static QColor secondary(); // secondary text, row second lines, notes, text buttons
    static QColor tertiary(); // ages, the card's source label
    static QColor fill(); // meter tracks, the back button's disc, the icon plate
    static QColor divider(); // the hairline under a card's header

    // System colours (dark appearance), optionally at an opacity.
    static QColor green(qreal opacity = 1.0);
    static QColor orange(qreal opacity = 1.0);
    static QColor red(qreal opacity = 1.0);
    static QColor gray(qreal opacity = 1.0);
    static QColor blue(qreal opacity = 1.0);

    static QColor withOpacity(QColor colour, qreal opacity);
};

} // namespace brenvo
