#pragma once

#include "edge/EdgeContext.h"

#include <QPainterPath>
#include <QWidget>

#include <memory>
#include <optional>

namespace brenvo {

class EdgeHostingView;

// The borderless, non-focusing window on the screen edge, above ordinary windows and on every
// desktop. On X11 it is a dock window that takes no strut, and clicks outside its input region fall
// through to the window below. Without a compositing manager nothing is see-through: the window then
// takes the painted outline as its shape on screen, and follows the manager coming and going; an
// input-only window keeps the hover area where the shape cut it away.
class EdgePanel : public QWidget, public EdgeWindow {
    Q_OBJECT
public:
    explicit EdgePanel(QWidget* parent = nullptr);
    ~EdgePanel() override;

    EdgeHostingView* hostingView() const { return m_hosting; }
    bool allowsKey() const { return m_allowsKey; }
    QRegion inputRegion() const { return m_inputRegion; }

    QRect frame() const override { return m_frame; }
    void setFrame(const QRect& frame) override;
    void orderFront() override;
    void orderOut() override;
    void setAllowsKey(bool allows) override;
    void setSide(EdgeSide side) override;
    void layoutContent() override;
    void setInputRegion(const QRegion& region) override;
    void setHoverArea(const QRegion& region) override;

    // What the content paints, in window coordinates; before it is known the input region stands in.
    void setVisibleOutline(const QPainterPath& outline);
    // Whether a compositing manager runs, as last seen.
    bool hasCompositor() const { return m_compositor; }
    // The shape the window takes on screen when no compositing manager runs, in device pixels.
    QRegion shapeRegion() const;

private:
    class CompositorWatch;
    class HoverReach;

    void applyX11Hints();
    void applyX11InputRegion();
    void applyX11Shape();
    void applyX11Reach();
    void reachedAt(QPoint devicePoint, bool pressed);
    QRect deviceBounds() const;
    // Where the input-only window stands in for the shaped one, in device pixels of the panel.
    QRegion reachRegion() const;
    void compositorChanged(bool present);

    EdgeHostingView* m_hosting;
    QRect m_frame;
    QRegion m_inputRegion;
    QRegion m_hoverArea;
    std::optional<QPainterPath> m_outline;
    bool m_allowsKey = false;
    bool m_compositor = false;
    std::unique_ptr<CompositorWatch> m_compositorWatch;
    std::unique_ptr<HoverReach> m_reach;
    // The bounding shape last sent: none (the whole window) or a region. Frames that change nothing
    // send nothing, so the window manager and compositor are not told again 60 times a second.
    std::optional<std::optional<QRegion>> m_sentShape;
};

} // namespace brenvo
