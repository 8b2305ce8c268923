#pragma once

#include "model/EdgePlacement.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QWindow;

namespace brenvo {

// The panel's content view: it holds the root view and turns the window's pointer events into the
// controller's two reports, a position (none when the pointer left) and a click, with the view's size.
class EdgeHostingView : public QWidget {
    Q_OBJECT
public:
    using PointerReport = std::function<void(std::optional<QPointF>, QSizeF)>;
    using ClickReport = std::function<void(QPointF, QSizeF)>;

    explicit EdgeHostingView(QWidget* parent = nullptr);

    PointerReport onPointer;
    ClickReport onMouseDown;
    EdgeSide side = EdgeSide::right;

    void setRootView(QWidget* root);
    QWidget* rootView() const { return m_root; }
    // Watches the window's own events, so that children that take the mouse cannot hide it.
    void watchWindow(QWindow* window);

    // A pointer that left within 2 points of the screen-side edge, inside the view's height, is kept 1
    // point inside: pushed against the screen edge it is still over the panel. Otherwise none.
    static std::optional<QPointF> edgeExitPoint(QPointF local, QSizeF bounds, EdgeSide side);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QPointF localPoint(QPointF windowPoint) const;

    QPointer<QWidget> m_root;
    QPointer<QWindow> m_window;
};

} // namespace brenvo
