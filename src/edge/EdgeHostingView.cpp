#include "edge/EdgeHostingView.h"

#include <QCursor>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QWindow>

#include <cmath>

namespace brenvo {

namespace {
constexpr double exitMargin = 2;
}

EdgeHostingView::EdgeHostingView(QWidget* parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_TranslucentBackground);
}

void EdgeHostingView::setRootView(QWidget* root)
{
    m_root = root;
    if (root) {
        root->setParent(this);
        root->setGeometry(rect());
        root->show();
    }
}

void EdgeHostingView::watchWindow(QWindow* window)
{
    if (m_window == window)
        return;
    if (m_window)
        m_window->removeEventFilter(this);
    m_window = window;
    if (window)
        window->installEventFilter(this);
}

std::optional<QPointF> EdgeHostingView::edgeExitPoint(QPointF local, QSizeF bounds, EdgeSide side)
{
    const double edge = side == EdgeSide::left ? 0 : bounds.width();
    if (std::abs(local.x() - edge) <= exitMargin && local.y() >= 0 && local.y() <= bounds.height())
        return QPointF(side == EdgeSide::left ? edge + 1 : edge - 1, local.y());
    return std::nullopt;
}

QPointF EdgeHostingView::localPoint(QPointF windowPoint) const
{
    return windowPoint - QPointF(mapTo(window(), QPoint(0, 0)));
}

bool EdgeHostingView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window)
        return false;
    const QSizeF size(this->size());
    switch (event->type()) {
    case QEvent::Enter:
        if (onPointer)
            onPointer(localPoint(static_cast<QEnterEvent*>(event)->position()), size);
        break;
    case QEvent::MouseMove:
        if (onPointer)
            onPointer(localPoint(static_cast<QMouseEvent*>(event)->position()), size);
        break;
    case QEvent::Leave:
        // A leave carries no position: the cursor tells where it went.
        if (onPointer)
            onPointer(edgeExitPoint(QPointF(mapFromGlobal(QCursor::pos())), size, side), size);
        break;
    case QEvent::MouseButtonPress: {
        // The point is taken before anything else handles the press.
        const QPointF point = localPoint(static_cast<QMouseEvent*>(event)->position());
        if (onMouseDown)
            onMouseDown(point, size);
        break;
    }
    default:
        break;
    }
    return false;
}

void EdgeHostingView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_root)
        m_root->setGeometry(rect());
}

} // namespace brenvo
