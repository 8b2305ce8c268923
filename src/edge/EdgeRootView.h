#pragma once

#include "edge/EdgeAnimation.h"
#include "edge/EdgeLayout.h"
#include "model/KitService.h"

#include <QPainterPath>
#include <QPixmap>
#include <QWidget>

namespace brenvo {

class DevKitStripView;
class EdgeCardReel;
class EdgeContent;
class EdgeContext;
class EdgeController;

// The whole content of the panel: the strip, the card of the shown tool, and the thin handle that
// marks the screen edge while the panel is tucked away. It draws what the controller decides.
class EdgeRootView : public QWidget {
    Q_OBJECT
public:
    // The controller's: open spring 0.34 s at 0.82, close ease-in 0.16 s, move spring 0.32 s at 0.86.
    struct Animations {
        EdgeCurve openSpring;
        EdgeCurve closeEase;
        EdgeCurve moveSpring;
        static Animations standard();
    };

    EdgeRootView(EdgeController& edge, EdgeContext& context, EdgeContent& content, Animations animations,
        QWidget* parent = nullptr);

    DevKitStripView* stripView() const { return m_strip; }
    QWidget* cardContainer() const { return m_card; }
    EdgeCardReel* reel() const { return m_reel; }
    EdgeLayout layout() const;
    // The card's frame now (it slides while the card moves between tiles).
    QRectF cardFrame() const;
    // Settles every animation at its end value.
    void finishAnimations();
    // What is painted now (strip, card, tuck handle), in this view; the rest is see-through.
    QPainterPath outline() const { return m_outline; }

    static constexpr double foldedScale = 0.08;

Q_SIGNALS:
    void outlineChanged(const QPainterPath& outline);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void rebuildCards();
    void rebuildCard(KitService service);
    void relayout();
    void openChanged();
    void shownChanged();
    void stateChanged();
    int selectedCard() const;
    double anchorHeight(const QRectF& frame) const;
    void paintCardSnapshot(QPainter& p);
    void paintHandle(QPainter& p);
    // The folding or unfolding card, scaled about its tile.
    QTransform snapshotTransform(const QRectF& frame) const;
    QPainterPath handlePath() const;
    void updateOutline();

    EdgeController& m_edge;
    EdgeContext& m_context;
    EdgeContent& m_content;
    Animations m_animations;

    DevKitStripView* m_strip;
    QWidget* m_card;
    EdgeCardReel* m_reel;
    QList<KitService> m_reelServices; // the tool of each card in the reel
    QPixmap m_snapshot;
    QPainterPath m_outline;

    EdgeTween m_stripOffset; // 0 out; ±44 slid off the screen
    EdgeTween m_stripLength; // follows the number of tiles
    EdgeTween m_scale; // foldedScale … 1
    EdgeTween m_cardOpacity; // whole card
    EdgeTween m_contentOpacity; // the reel inside it
    EdgeTween m_cardTop; // card frame's y
    EdgeTween m_reelPosition; // selected card, fractional while moving
    EdgeTween m_handleOpacity;
};

} // namespace brenvo
