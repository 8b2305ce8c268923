#pragma once

#include "edge/EdgeAnimation.h"
#include "edge/EdgeContent.h"
#include "model/EdgePlacement.h"
#include "model/StripItem.h"

#include <QAccessible>
#include <QHash>
#include <QPointer>
#include <QWidget>

#include <optional>
#include <vector>

namespace brenvo {

class Scheduler;

// The column of tiles inside the strip, drawn in the strip's flared outline: a badge per tool, the
// settings tile and the more tile. Tiles are 26 points long and 12 apart, the first 22 points below
// the strip's top, 6 points from the screen edge, so that they agree with the controller's hit-test.
// Tiles fade in and out growing from 0.4 of their size, slide on a spring when the list changes,
// and ease their lit state; frames are asked of the clock only while something moves.
class DevKitStripView : public QWidget {
    Q_OBJECT
public:
    DevKitStripView(EdgeContent& content, Scheduler& clock, QWidget* parent = nullptr);
    ~DevKitStripView() override;

    void setItems(const QList<StripItem>& items);
    void setOpenService(std::optional<KitService> service);
    void setHoveredItem(std::optional<StripItem> item);
    void setSide(EdgeSide side);

    const QList<StripItem>& items() const { return m_items; }
    // Where the tile of an entry sits once still, in this view.
    QRect tileRect(int index) const;
    bool isLit(const StripItem& item) const;
    // The name a screen reader gives a tile.
    static QString accessibleName(const StripItem& item);

    // A tile as drawn now: its place, opacity, scale about its centre and how far it is lit (0…1).
    struct TileLook {
        StripItem item;
        QRectF rect;
        double opacity = 1;
        double scale = 1;
        double lit = 0;
        bool leaving = false;
    };
    QList<TileLook> tileLooks() const;
    bool isAnimating() const { return m_frames.isRunning(); }

    // For the strip's accessible interface.
    QAccessible::Id accessibleTile(int index);
    QList<StripItem> accessibleItems() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Tile {
        StripItem item;
        EdgeMotion y; // the tile's top
        EdgeMotion presence; // 0 gone … 1 whole
        EdgeMotion lit;
        bool leaving = false;
        QPointer<QWidget> badge;
    };

    Duration now() const;
    double tileX() const;
    TileLook look(const Tile& tile, Duration now) const;
    Tile* find(const StripItem& item);
    void litChanged();
    // Places the badges for now and drops the tiles that have gone; whether anything still moves.
    bool frame();
    void refreshBadges();
    void forgetAccessibleTiles(bool all);
    void paintSymbolTile(QPainter& p, const QRectF& r, const StripItem& item, double lit) const;
    void paintPlainBadge(QPainter& p, const QRectF& r, KitService service, double lit) const;

    EdgeContent& m_content;
    QList<StripItem> m_items;
    std::optional<KitService> m_openService;
    std::optional<StripItem> m_hoveredItem;
    EdgeSide m_side = EdgeSide::right;
    std::vector<Tile> m_tiles; // the entries, and tiles still fading out where they were
    bool m_placed = false; // the first list is shown as it is, without coming in
    QHash<StripItem, QAccessible::Id> m_accessibleTiles;
    EdgeFrames m_frames;
};

} // namespace brenvo
