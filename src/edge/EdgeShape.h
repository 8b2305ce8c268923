#pragma once

#include "model/EdgePlacement.h"

#include <QPainterPath>
#include <QRectF>

namespace brenvo {

// The strip's outline: rounded towards the screen's inside, flared where it meets the screen edge.
// Worked out for the right edge and mirrored for the left.
struct EdgeShape {
    double flareRadius = 8;
    double cornerRadius = 16;
    bool closesAlongEdge = true; // false for a border, so no line runs along the screen edge
    EdgeSide side = EdgeSide::right;

    QPainterPath path(const QRectF& rect) const;
};

} // namespace brenvo
