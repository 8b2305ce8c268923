#include "edge/EdgeLayout.h"

#include <algorithm>

namespace brenvo {

namespace {
constexpr double hitMargin = 2;
}

bool edgeRectContains(const QRectF& r, QPointF p)
{
    return p.x() >= r.left() && p.x() < r.right() && p.y() >= r.top() && p.y() < r.bottom();
}

QRectF EdgeLayout::stripFrame() const
{
    const double x = side == EdgeSide::right ? viewSize.width() - stripSize.width() : 0;
    const double y = (viewSize.height() - stripSize.height()) / 2;
    return QRectF(x, y, stripSize.width(), stripSize.height());
}

double EdgeLayout::slotCenterY(int i) const
{
    return stripFrame().top() + firstSlotInset + slotLength / 2 + (slotLength + slotSpacing) * i;
}

std::optional<int> EdgeLayout::slot(double y) const
{
    const double pitch = slotLength + slotSpacing;
    if (pitch <= 0)
        return std::nullopt;
    const double d = y - (stripFrame().top() + firstSlotInset - slotSpacing / 2);
    if (d < 0)
        return std::nullopt;
    const double i = d / pitch;
    if (i >= slotCount)
        return std::nullopt;
    return static_cast<int>(i);
}

QRectF EdgeLayout::cardFrame(int slot, double cardWidth) const
{
    const double h = std::min(cardHeight, viewSize.height());
    const QRectF inner = stripFrame().adjusted(0, stripFlare, 0, -stripFlare);
    double y = 0;
    if (inner.height() > h) {
        const double c = slotCenterY(slot);
        y = std::min(std::max(c - h / 2, inner.top()), std::max(inner.bottom() - h, inner.top()));
    } else {
        y = std::min(std::max(inner.center().y() - h / 2, 0.0), std::max(viewSize.height() - h, 0.0));
    }
    const QRectF strip = stripFrame();
    const double x = side == EdgeSide::right ? strip.left() - cardGap - cardWidth : strip.right() + cardGap;
    return QRectF(x, y, cardWidth, h);
}

EdgeLayout::Zone EdgeLayout::zone(QPointF p, double cardWidth, std::optional<int> openSlot) const
{
    const QRectF strip = stripFrame();
    if (edgeRectContains(strip.adjusted(-hitMargin, -hitMargin, hitMargin, hitMargin), p)) {
        if (const auto i = slot(p.y()))
            return Zone::slot(*i);
        return Zone::strip();
    }
    if (openSlot) {
        const QRectF c = cardFrame(*openSlot, cardWidth);
        // The gap between card and strip counts as the card, so a move from a tile to its card never
        // passes through the outside.
        const QRectF area = side == EdgeSide::right
            ? QRectF(c.left(), c.top(), strip.left() - c.left(), c.height())
            : QRectF(strip.right(), c.top(), c.right() - strip.right(), c.height());
        if (edgeRectContains(area.adjusted(-hitMargin, -hitMargin, hitMargin, hitMargin), p))
            return Zone::card();
    }
    return Zone::outside();
}

namespace EdgeMetrics {

double stripHeight(int count)
{
    const int n = std::max(count, 1);
    return slotLength * n + slotSpacing * (n - 1) + 28 + 16;
}

EdgeLayout layout(QSizeF viewSize, int slotCount, EdgeSide side)
{
    EdgeLayout l;
    l.viewSize = viewSize;
    l.stripSize = QSizeF(stripWidth, stripHeight(slotCount));
    l.stripFlare = stripFlare;
    l.slotCount = slotCount;
    l.slotLength = slotLength;
    l.slotSpacing = slotSpacing;
    l.firstSlotInset = firstSlotInset;
    l.cardGap = cardGap;
    l.cardHeight = cardHeight;
    l.side = side;
    return l;
}

} // namespace EdgeMetrics

} // namespace brenvo
