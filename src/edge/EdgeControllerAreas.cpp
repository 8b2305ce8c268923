// What the controller derives from its state: the strip's entries, the window's size, the zone under
// a point and where the window takes the pointer.
#include "edge/EdgeController.h"

#include <algorithm>

namespace brenvo {

namespace {

constexpr double hitMargin = 2;
constexpr double edgeClamp = 2;

} // namespace

QList<StripItem> EdgeController::stripItems() const
{
    return StripItem::items(m_context.enabledServices(), m_context.panelLimit(), m_isUnfolded);
}

QList<StripItem> EdgeController::allItems() const
{
    return StripItem::items(m_context.enabledServices(), 0, false);
}

int EdgeController::slotIndex(KitService service) const
{
    const qsizetype i = stripItems().indexOf(StripItem::service(service));
    return i < 0 ? 0 : static_cast<int>(i);
}

QSizeF EdgeController::openPanelSize() const
{
    const auto count = m_holdsUnfolded ? allItems().size() : stripItems().size();
    return QSizeF(EdgeMetrics::openWidth,
        std::max(EdgeMetrics::stripHeight(static_cast<int>(count)), EdgeMetrics::cardHeight));
}

QSizeF EdgeController::panelSize() const
{
    if (m_openService)
        return openPanelSize();
    if (m_holdsStrip) {
        const auto count = m_holdsUnfolded ? allItems().size() : stripItems().size();
        return QSizeF(EdgeMetrics::stripWidth, EdgeMetrics::stripHeight(static_cast<int>(count)));
    }
    return QSizeF(EdgeMetrics::tuckedWidth, EdgeMetrics::tuckedHeight);
}

EdgeLayout::Zone EdgeController::zone(QPointF point, QSizeF viewSize) const
{
    const auto layout = EdgeMetrics::layout(viewSize, static_cast<int>(stripItems().size()), m_geometry.side);
    const std::optional<int> openSlot
        = m_openService ? std::optional<int>(slotIndex(*m_openService)) : std::nullopt;
    return layout.zone(point, EdgeMetrics::cardWidth, openSlot);
}

EdgeLayout::Zone EdgeController::currentZone() const
{
    if (!m_panel)
        return EdgeLayout::Zone::outside();
    QPointF p = m_pointer ? m_pointer() : QPointF(-1e9, -1e9);
    const QRectF f(m_panel->frame());
    // A pointer pressed against the screen edge counts as over the panel.
    if (m_geometry.side == EdgeSide::left) {
        if (p.x() < f.left() && f.left() - p.x() <= edgeClamp)
            p.setX(f.left());
    } else if (p.x() >= f.right() && p.x() - f.right() <= edgeClamp) {
        p.setX(f.right() - 1);
    }
    if (!edgeRectContains(f, p))
        return EdgeLayout::Zone::outside();
    return zone(p - f.topLeft(), f.size());
}

QRegion EdgeController::inputRegion() const
{
    if (!m_panel)
        return {};
    const QRectF frame(m_panel->frame());
    const QRectF bounds(QPointF(0, 0), frame.size());
    const auto layout
        = EdgeMetrics::layout(frame.size(), static_cast<int>(stripItems().size()), m_geometry.side);
    const QRectF strip = layout.stripFrame();
    QRegion region(
        strip.adjusted(-hitMargin, -hitMargin, hitMargin, hitMargin).intersected(bounds).toAlignedRect());
    if (m_openService) {
        const QRectF card = layout.cardFrame(slotIndex(*m_openService), EdgeMetrics::cardWidth);
        const QRectF area = m_geometry.side == EdgeSide::right
            ? QRectF(card.left(), card.top(), strip.left() - card.left(), card.height())
            : QRectF(strip.right(), card.top(), card.right() - strip.right(), card.height());
        region += area.adjusted(-hitMargin, -hitMargin, hitMargin, hitMargin)
                      .intersected(bounds)
                      .toAlignedRect();
    }
    // Sliding in, the strip still passes through its place; besides it only the sliver the tucked
    // window keeps, not the rest of a window that may still have a card's size: a pointer resting
    // there would bring the strip straight back out.
    if (!m_isOut)
        region += tuckedArea();
    return region;
}

QRegion EdgeController::tuckedArea() const
{
    if (!m_panel)
        return {};
    const QRect frame = m_panel->frame();
    const QRect tucked
        = m_geometry.frame(QSizeF(EdgeMetrics::tuckedWidth, EdgeMetrics::tuckedHeight)).toAlignedRect();
    return QRegion(tucked.translated(-frame.topLeft())) & QRect(QPoint(0, 0), frame.size());
}

} // namespace brenvo
