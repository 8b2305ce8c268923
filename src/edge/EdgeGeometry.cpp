#include "edge/EdgeGeometry.h"

#include <QScreen>

#include <cmath>

namespace brenvo {

namespace {
constexpr double dockThreshold = 16;
}

EdgeGeometry EdgeGeometry::forPlacement(EdgeSide side, const std::optional<EdgeDisplay>& display)
{
    return forScreen(EdgeDisplay::screen(display ? std::optional<QString>(display->id) : std::nullopt), side);
}

EdgeGeometry EdgeGeometry::forScreen(const QScreen* screen, EdgeSide side)
{
    EdgeGeometry geometry;
    geometry.side = side;
    if (screen) {
        geometry.screenFrame = QRectF(screen->geometry());
        geometry.visibleFrame = QRectF(screen->availableGeometry());
    }
    return geometry;
}

QRectF EdgeGeometry::frame(QSizeF size) const
{
    const double w = size.width();
    double x = 0;
    if (side == EdgeSide::right) {
        const double reference = screenFrame.right() - visibleFrame.right() < dockThreshold
            ? screenFrame.right()
            : visibleFrame.right();
        x = reference - w;
    } else {
        x = visibleFrame.left() - screenFrame.left() < dockThreshold ? screenFrame.left()
                                                                     : visibleFrame.left();
    }
    const double h = std::ceil(size.height() / 2) * 2;
    const double y = std::round(visibleFrame.center().y()) - h / 2;
    return QRectF(x, y, w, h);
}

} // namespace brenvo
