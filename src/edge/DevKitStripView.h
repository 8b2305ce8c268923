#pragma once

#include "edge/EdgeContent.h"
#include "model/EdgePlacement.h"
#include "model/StripItem.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

#include <optional>

namespace brenvo {

// The column of tiles inside the strip, drawn in the strip's flared outline: a badge per tool, the
// settings tile and the more tile. Tiles are 26 points long and 12 apart, the first 22 points below
// the strip's top, 6 points from the screen edge, so that they agree with the controller's hit-test.
class DevKitStripView : public QWidget {
    Q_OBJECT
public:
    DevKitStripView(EdgeContent& content, QWidget* parent = nullptr);

    void setItems(const QList<StripItem>& items);
    void setOpenService(std::optional<KitService> service);
    void setHoveredItem(std::optional<StripItem> item);
    void setSide(EdgeSide side);

    const QList<StripItem>& items() const { return m_items; }
    // Where the tile of an entry sits, in this view.
    QRect tileRect(int index) const;
    bool isLit(const StripItem& item) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeTiles();
    void refreshBadges();
    void paintSymbolTile(QPainter& p, const QRect& r, const StripItem& item, bool lit) const;
    void paintPlainBadge(QPainter& p, const QRect& r, KitService service, bool lit) const;

    EdgeContent& m_content;
    QList<StripItem> m_items;
    std::optional<KitService> m_openService;
    std::optional<StripItem> m_hoveredItem;
    EdgeSide m_side = EdgeSide::right;
    QHash<int, QPointer<QWidget>> m_badges; // by tool index
};

} // namespace brenvo
