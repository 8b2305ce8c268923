#include "edge/DevKitStripView.h"

#include "edge/EdgeLayout.h"
#include "edge/EdgeShape.h"
#include "model/Scheduler.h"

#include <QAccessibleWidget>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace brenvo {

namespace {

constexpr int tileSide = 26;
constexpr int innerMargin = 12;
constexpr int edgeMargin = 6;
constexpr double enteringScale = 0.4;

// Tiles slide, come and go on one spring; the lit state eases out.
EdgeCurve tileSpring()
{
    return EdgeCurve::spring(0.35, 0.8);
}

EdgeCurve litEase()
{
    return EdgeCurve::easeOut(0.15);
}

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

// One tile of the strip for a screen reader. It holds no widget: the strip draws it.
class StripTileAccessible : public QAccessibleInterface {
public:
    StripTileAccessible(DevKitStripView* strip, StripItem item)
        : m_strip(strip)
        , m_item(item)
    {
    }

    bool isValid() const override { return m_strip && m_strip->items().contains(m_item); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_strip ? m_strip->window()->windowHandle() : nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override
    {
        return m_strip ? QAccessible::queryAccessibleInterface(m_strip.data()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? DevKitStripView::accessibleName(m_item) : QString();
    }
    void setText(QAccessible::Text, const QString&) override { }
    QRect rect() const override
    {
        const qsizetype index = m_strip ? m_strip->items().indexOf(m_item) : -1;
        if (index < 0)
            return {};
        const QRect r = m_strip->tileRect(static_cast<int>(index));
        return QRect(m_strip->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.invisible = !m_strip || !m_strip->isVisible();
        return state;
    }

private:
    QPointer<DevKitStripView> m_strip;
    StripItem m_item;
};

// The strip's children for a screen reader are its tiles in strip order, not its badge widgets.
class StripAccessible : public QAccessibleWidget {
public:
    explicit StripAccessible(DevKitStripView* strip)
        : QAccessibleWidget(strip, QAccessible::ToolBar)
    {
    }

    int childCount() const override { return static_cast<int>(strip()->accessibleItems().size()); }
    QAccessibleInterface* child(int index) const override
    {
        const QAccessible::Id id = strip()->accessibleTile(index);
        return id ? QAccessible::accessibleInterface(id) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* tile) const override
    {
        for (int i = 0; i < childCount(); ++i) {
            if (child(i) == tile)
                return i;
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        for (int i = 0; i < childCount(); ++i) {
            QAccessibleInterface* tile = child(i);
            if (tile && tile->rect().contains(x, y))
                return tile;
        }
        return nullptr;
    }

private:
    DevKitStripView* strip() const { return static_cast<DevKitStripView*>(widget()); }
};

QAccessibleInterface* stripAccessibleFactory(const QString&, QObject* object)
{
    if (auto* strip = qobject_cast<DevKitStripView*>(object))
        return new StripAccessible(strip);
    return nullptr;
}

} // namespace

DevKitStripView::DevKitStripView(EdgeContent& content, Scheduler& clock, QWidget* parent)
    : QWidget(parent)
    , m_content(content)
    , m_frames(clock, this, [this]() { return frame(); })
{
    static const bool accessible = (QAccessible::installFactory(stripAccessibleFactory), true);
    Q_UNUSED(accessible);
    setAttribute(Qt::WA_TranslucentBackground);
    connect(&m_content, &EdgeContent::changed, this, [this]() {
        refreshBadges();
        update();
    });
}

DevKitStripView::~DevKitStripView()
{
    m_frames.stop();
    forgetAccessibleTiles(true);
}

QString DevKitStripView::accessibleName(const StripItem& item)
{
    switch (item.kind()) {
    case StripItem::Kind::service:
        return item.tool()->displayName();
    case StripItem::Kind::more:
        return QStringLiteral("More tools");
    case StripItem::Kind::settings:
        break;
    }
    return {};
}

// The settings tile stays out of a screen reader's view: the tray menu names the same command.
QList<StripItem> DevKitStripView::accessibleItems() const
{
    QList<StripItem> items;
    for (const StripItem& item : m_items) {
        if (item.kind() != StripItem::Kind::settings)
            items.append(item);
    }
    return items;
}

Duration DevKitStripView::now() const
{
    return m_frames.clock().now();
}

DevKitStripView::Tile* DevKitStripView::find(const StripItem& item)
{
    const auto it
        = std::find_if(m_tiles.begin(), m_tiles.end(), [&](const Tile& t) { return t.item == item; });
    return it == m_tiles.end() ? nullptr : &*it;
}

void DevKitStripView::setItems(const QList<StripItem>& items)
{
    if (items == m_items)
        return;
    const Duration t = now();
    m_items = items;
    const bool animated = m_placed;
    m_placed = true;
    // What is no longer listed fades out where it is.
    for (Tile& tile : m_tiles) {
        if (!tile.leaving && !items.contains(tile.item)) {
            tile.leaving = true;
            tile.presence.animate(0, tileSpring(), t);
        }
    }
    for (int i = 0; i < items.size(); ++i) {
        const StripItem& item = items.at(i);
        const double top = tileRect(i).top();
        const double lit = isLit(item) ? 1 : 0;
        if (Tile* tile = find(item)) {
            tile->leaving = false;
            tile->presence.animate(1, tileSpring(), t);
            tile->y.animate(top, tileSpring(), t);
            tile->lit.animate(lit, litEase(), t);
            continue;
        }
        // A new tile comes in on its own place.
        Tile tile {item, EdgeMotion(top), EdgeMotion(animated ? 0 : 1), EdgeMotion(lit), false, nullptr};
        if (animated)
            tile.presence.animate(1, tileSpring(), t);
        if (const auto tool = item.tool()) {
            tile.badge = m_content.makeBadge(*tool, isLit(item), this);
            if (tile.badge) {
                tile.badge->setAccessibleName(accessibleName(item));
                tile.badge->setVisible(!animated);
            }
        }
        m_tiles.push_back(std::move(tile));
    }
    forgetAccessibleTiles(false);
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&event);
    }
    if (frame())
        m_frames.wake();
}

void DevKitStripView::setOpenService(std::optional<KitService> service)
{
    if (service == m_openService)
        return;
    m_openService = service;
    litChanged();
}

void DevKitStripView::setHoveredItem(std::optional<StripItem> item)
{
    if (item == m_hoveredItem)
        return;
    m_hoveredItem = item;
    litChanged();
}

void DevKitStripView::litChanged()
{
    const Duration t = now();
    for (Tile& tile : m_tiles) {
        if (!tile.leaving)
            tile.lit.animate(isLit(tile.item) ? 1 : 0, litEase(), t);
    }
    refreshBadges();
    if (frame())
        m_frames.wake();
}

void DevKitStripView::setSide(EdgeSide side)
{
    if (side == m_side)
        return;
    m_side = side;
    frame();
}

double DevKitStripView::tileX() const
{
    return m_side == EdgeSide::right ? innerMargin : edgeMargin;
}

QRect DevKitStripView::tileRect(int index) const
{
    const int y = static_cast<int>(
        EdgeMetrics::firstSlotInset + (EdgeMetrics::slotLength + EdgeMetrics::slotSpacing) * index);
    return QRect(static_cast<int>(tileX()), y, tileSide, tileSide);
}

bool DevKitStripView::isLit(const StripItem& item) const
{
    if (const auto tool = item.tool(); tool && m_openService == *tool)
        return true;
    return m_hoveredItem == item;
}

DevKitStripView::TileLook DevKitStripView::look(const Tile& tile, Duration t) const
{
    const double presence = tile.presence.value(t);
    TileLook look {tile.item, QRectF(tileX(), tile.y.value(t), tileSide, tileSide)};
    look.opacity = std::clamp(presence, 0.0, 1.0);
    look.scale = enteringScale + (1 - enteringScale) * std::max(presence, 0.0);
    look.lit = std::clamp(tile.lit.value(t), 0.0, 1.0);
    look.leaving = tile.leaving;
    return look;
}

QList<DevKitStripView::TileLook> DevKitStripView::tileLooks() const
{
    const Duration t = now();
    QList<TileLook> looks;
    for (const Tile& tile : m_tiles)
        looks.append(look(tile, t));
    return looks;
}

void DevKitStripView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    frame();
}

bool DevKitStripView::frame()
{
    const Duration t = now();
    std::erase_if(m_tiles, [t](Tile& tile) {
        if (!tile.leaving || tile.presence.isMoving(t))
            return false;
        if (tile.badge) {
            tile.badge->hide();
            tile.badge->deleteLater();
        }
        return true;
    });
    bool moving = false;
    for (Tile& tile : m_tiles) {
        const bool coming = tile.leaving || tile.presence.isMoving(t);
        moving = moving || coming || tile.y.isMoving(t) || tile.lit.isMoving(t);
        if (!tile.badge)
            continue;
        // A badge is itself only while whole; coming or going it is drawn as a picture.
        if (!coming) {
            const QRectF r = look(tile, t).rect;
            tile.badge->setGeometry(QRect(static_cast<int>(std::lround(r.x())),
                static_cast<int>(std::lround(r.y())), tileSide, tileSide));
        }
        if (tile.badge->isHidden() != coming)
            tile.badge->setVisible(!coming);
    }
    update();
    return moving;
}

void DevKitStripView::refreshBadges()
{
    for (const Tile& tile : m_tiles) {
        const auto tool = tile.item.tool();
        if (tool && tile.badge && !tile.leaving)
            m_content.updateBadge(tile.badge, *tool, isLit(tile.item));
    }
}

QAccessible::Id DevKitStripView::accessibleTile(int index)
{
    const QList<StripItem> items = accessibleItems();
    if (index < 0 || index >= items.size())
        return 0;
    const StripItem item = items.at(index);
    if (const auto it = m_accessibleTiles.constFind(item); it != m_accessibleTiles.constEnd())
        return *it;
    const QAccessible::Id id = QAccessible::registerAccessibleInterface(new StripTileAccessible(this, item));
    m_accessibleTiles.insert(item, id);
    return id;
}

void DevKitStripView::forgetAccessibleTiles(bool all)
{
    for (auto it = m_accessibleTiles.begin(); it != m_accessibleTiles.end();) {
        if (all || !m_items.contains(it.key())) {
            QAccessible::deleteAccessibleInterface(it.value());
            it = m_accessibleTiles.erase(it);
        } else {
            ++it;
        }
    }
}

void DevKitStripView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF bounds(rect());
    p.fillPath(EdgeShape {8, 16, true, m_side}.path(bounds), Qt::black);
    p.setPen(QPen(QColor(255, 255, 255, 26), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(EdgeShape {8, 16, false, m_side}.path(bounds.adjusted(0.5, 0.5, -0.5, -0.5)));

    const Duration t = now();
    for (const Tile& tile : m_tiles) {
        if (tile.badge && !tile.badge->isHidden())
            continue; // draws itself
        const TileLook l = look(tile, t);
        if (l.opacity <= 0)
            continue;
        p.save();
        p.setOpacity(l.opacity);
        const QPointF centre = l.rect.center();
        p.translate(centre);
        p.scale(l.scale, l.scale);
        p.translate(-centre);
        if (tile.badge) {
            // Only what the badge draws: a grab would bring the window's light background with it.
            const double ratio = devicePixelRatioF();
            QPixmap picture(QSize(tileSide, tileSide) * ratio);
            picture.setDevicePixelRatio(ratio);
            picture.fill(Qt::transparent);
            tile.badge->render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);
            p.drawPixmap(l.rect, picture, QRectF(picture.rect()));
        } else if (const auto tool = tile.item.tool()) {
            paintPlainBadge(p, l.rect, *tool, l.lit);
        } else {
            paintSymbolTile(p, l.rect, tile.item, l.lit);
        }
        p.restore();
    }
}

void DevKitStripView::paintSymbolTile(QPainter& p, const QRectF& r, const StripItem& item, double lit) const
{
    const QColor grey = signalColour(KitSignal::disconnected);
    QColor fill = grey;
    fill.setAlphaF(static_cast<float>(0.18 + (0.42 - 0.18) * lit));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawEllipse(r);
    p.setPen(QPen(grey, 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(r.adjusted(1, 1, -1, -1));

    const QPointF c = r.center();
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

void DevKitStripView::paintPlainBadge(QPainter& p, const QRectF& r, KitService service, double lit) const
{
    const EdgeContent::Tile tile = m_content.tile(service);
    const QColor colour = signalColour(tile.signal);
    QColor fill = colour;
    fill.setAlphaF(static_cast<float>(0.22 + (0.5 - 0.22) * lit));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawEllipse(r);
    p.setPen(QPen(colour, 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(r.adjusted(1, 1, -1, -1));
    if (tile.isFresh) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(r.right() - 7, r.top(), 6, 6));
    }
    QFont font = p.font();
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(r, Qt::AlignCenter, service.displayName().left(1));
}

} // namespace brenvo
