#include "edge/DevKitStripView.h"

#include "edge/EdgeLayout.h"
#include "edge/EdgeShape.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace brenvo {

namespace {

constexpr int tileSide = 26;
constexpr int innerMargin = 12;
constexpr int edgeMargin = 6;

QColor signalColour(KitSignal signal)
{
    switch (signal) {
    case KitSignal::good:
        return QColor(52, 199, 89);
    case KitSignal::attention:
        return QColor(255, 149, 0);
    case KitSignal::bad:
        return QColor(255, 59, 48);
    case KitSignal::disconnected:
        break;
    }
    return QColor(142, 142, 147);
}

QPainterPath gearPath(QPointF centre, double radius)
{
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const double angle = i * std::numbers::pi / teeth;
        const double r = i % 2 == 0 ? radius : radius * 0.72;
        const double a0 = angle - std::numbers::pi / (teeth * 2) * 0.9;
        const double a1 = angle + std::numbers::pi / (teeth * 2) * 0.9;
        const QPointF p0 = centre + QPointF(std::cos(a0) * r, std::sin(a0) * r);
        const QPointF p1 = centre + QPointF(std::cos(a1) * r, std::sin(a1) * r);
        if (i == 0)
            gear.moveTo(p0);
        else
            gear.lineTo(p0);
        gear.lineTo(p1);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(centre, radius * 0.32, radius * 0.32);
    return gear.subtracted(hole);
}

} // namespace

DevKitStripView::DevKitStripView(EdgeContent& content, QWidget* parent)
    : QWidget(parent)
    , m_content(content)
{
    setAttribute(Qt::WA_TranslucentBackground);
    connect(&m_content, &EdgeContent::changed, this, [this]() {
        refreshBadges();
        update();
    });
}

void DevKitStripView::setItems(const QList<StripItem>& items)
{
    if (items == m_items)
        return;
    m_items = items;
    placeTiles();
    update();
}

void DevKitStripView::setOpenService(std::optional<KitService> service)
{
    if (service == m_openService)
        return;
    m_openService = service;
    refreshBadges();
    update();
}

void DevKitStripView::setHoveredItem(std::optional<StripItem> item)
{
    if (item == m_hoveredItem)
        return;
    m_hoveredItem = item;
    refreshBadges();
    update();
}

void DevKitStripView::setSide(EdgeSide side)
{
    if (side == m_side)
        return;
    m_side = side;
    placeTiles();
    update();
}

QRect DevKitStripView::tileRect(int index) const
{
    const int x = m_side == EdgeSide::right ? innerMargin : edgeMargin;
    const int y = static_cast<int>(
        EdgeMetrics::firstSlotInset + (EdgeMetrics::slotLength + EdgeMetrics::slotSpacing) * index);
    return QRect(x, y, tileSide, tileSide);
}

bool DevKitStripView::isLit(const StripItem& item) const
{
    if (const auto tool = item.tool(); tool && m_openService == *tool)
        return true;
    return m_hoveredItem == item;
}

void DevKitStripView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeTiles();
}

void DevKitStripView::placeTiles()
{
    QHash<int, QPointer<QWidget>> kept;
    for (int i = 0; i < m_items.size(); ++i) {
        const auto tool = m_items.at(i).tool();
        if (!tool)
            continue;
        QPointer<QWidget> badge = m_badges.take(tool->index());
        if (!badge)
            badge = m_content.makeBadge(*tool, isLit(m_items.at(i)), this);
        if (!badge)
            continue;
        badge->setGeometry(tileRect(i));
        badge->show();
        kept.insert(tool->index(), badge);
    }
    for (const auto& gone : std::as_const(m_badges)) {
        if (gone)
            gone->deleteLater();
    }
    m_badges = kept;
    refreshBadges();
}

void DevKitStripView::refreshBadges()
{
    for (const StripItem& item : std::as_const(m_items)) {
        const auto tool = item.tool();
        if (!tool)
            continue;
        if (QWidget* badge = m_badges.value(tool->index()))
            m_content.updateBadge(badge, *tool, isLit(item));
    }
}

void DevKitStripView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    p.fillPath(EdgeShape {8, 16, true, m_side}.path(bounds), Qt::black);
    p.setPen(QPen(QColor(255, 255, 255, 26), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(EdgeShape {8, 16, false, m_side}.path(bounds.adjusted(0.5, 0.5, -0.5, -0.5)));

    for (int i = 0; i < m_items.size(); ++i) {
        const StripItem& item = m_items.at(i);
        const QRect r = tileRect(i);
        if (const auto tool = item.tool()) {
            if (!m_badges.value(tool->index()))
                paintPlainBadge(p, r, *tool, isLit(item));
        } else {
            paintSymbolTile(p, r, item, isLit(item));
        }
    }
}

void DevKitStripView::paintSymbolTile(QPainter& p, const QRect& r, const StripItem& item, bool lit) const
{
    const QColor grey = signalColour(KitSignal::disconnected);
    QColor fill = grey;
    fill.setAlphaF(lit ? 0.42f : 0.18f);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawEllipse(QRectF(r));
    p.setPen(QPen(grey, 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(r).adjusted(1, 1, -1, -1));

    const QPointF c = QRectF(r).center();
    if (item.kind() == StripItem::Kind::more) {
        p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c + QPointF(-4.5, 0), c + QPointF(4.5, 0));
        p.drawLine(c + QPointF(0, -4.5), c + QPointF(0, 4.5));
    } else {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawPath(gearPath(c, 6));
    }
}

void DevKitStripView::paintPlainBadge(QPainter& p, const QRect& r, KitService service, bool lit) const
{
    const EdgeContent::Tile tile = m_content.tile(service);
    const QColor colour = signalColour(tile.signal);
    QColor fill = colour;
    fill.setAlphaF(lit ? 0.5f : 0.22f);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawEllipse(QRectF(r));
    p.setPen(QPen(colour, 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(r).adjusted(1, 1, -1, -1));
    if (tile.isFresh) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(r.right() - 6, r.top(), 6, 6));
    }
    QFont font = p.font();
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(r), Qt::AlignCenter, service.displayName().left(1));
}

} // namespace brenvo
