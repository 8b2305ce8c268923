#include "edge/EdgeShape.h"

#include <QTransform>

#include <algorithm>

namespace brenvo {

QPainterPath EdgeShape::path(const QRectF& r) const
{
    const double w = r.width();
    const double h = r.height();
    const double f = std::max(std::min({flareRadius, h / 2, w}), 0.0);
    const double c = std::max(std::min({cornerRadius, (h - 2 * f) / 2, w - f}), 0.0);
    const double top = r.top() + f;
    const double bottom = r.bottom() - f;
    const double minX = r.left();
    const double maxX = r.right();

    QPainterPath p;
    p.moveTo(maxX, r.top());
    p.quadTo(maxX, top, maxX - f, top);
    p.lineTo(minX + c, top);
    p.quadTo(minX, top, minX, top + c);
    p.lineTo(minX, bottom - c);
    p.quadTo(minX, bottom, minX + c, bottom);
    p.lineTo(maxX - f, bottom);
    p.quadTo(maxX, bottom, maxX, r.bottom());
    if (closesAlongEdge)
        p.closeSubpath();
    if (side == EdgeSide::left) {
        // x -> (minX + maxX) - x
        const QTransform mirror(-1, 0, 0, 1, minX + maxX, 0);
        p = mirror.map(p);
    }
    return p;
}

} // namespace brenvo
