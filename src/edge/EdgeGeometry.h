#pragma once

#include "model/EdgePlacement.h"

#include <QRectF>

#include <optional>

class QScreen;

namespace brenvo {

// The chosen screen and side, and the window frame for a wanted size. Screen coordinates with
// y downward, as the platform gives them.
struct EdgeGeometry {
    QRectF screenFrame;
    QRectF visibleFrame; // without panels and docks
    EdgeSide side = EdgeSide::right;

    // The screen of the stored display (the first screen when it is not attached); all zero when
    // no screen is attached.
    static EdgeGeometry forPlacement(EdgeSide side, const std::optional<EdgeDisplay>& display);
    static EdgeGeometry forScreen(const QScreen* screen, EdgeSide side);

    // Flush with the screen edge (or with a dock of 16 points or more on that side), centred
    // vertically on the visible frame, the height rounded up to an even number.
    QRectF frame(QSizeF size) const;

    friend bool operator==(const EdgeGeometry&, const EdgeGeometry&) = default;
};

} // namespace brenvo
