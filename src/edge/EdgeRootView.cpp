#include "edge/EdgeRootView.h"

#include "edge/DevKitStripView.h"
#include "edge/EdgeCardReel.h"
#include "edge/EdgeContent.h"
#include "edge/EdgeController.h"
#include "edge/EdgeShape.h"

#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace brenvo {

namespace {

constexpr double cardRadius = 22;
constexpr double cardMargin = 14;
constexpr double contentWidth = 292;
constexpr double handleWidth = 4;
constexpr double handleHeight = 44;

QPainterPath cardOutline(const QRectF& r)
{
    QPainterPath path;
    path.addRoundedRect(r, cardRadius, cardRadius);
    return path;
}

// The card container: black in a rounded rectangle with a faint border, the reel clipped inside.
class CardContainer : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(cardOutline(QRectF(rect())), Qt::black);
        p.setPen(QPen(QColor(255, 255, 255, 26), 1));
        p.drawPath(cardOutline(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5)));
    }
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        setMask(QRegion(cardOutline(QRectF(rect())).toFillPolygon().toPolygon()));
    }
};

// A card at the content width: whole when it fits the height offered, else scrolling.
QWidget* fitted(QWidget* card, QWidget* parent)
{
    auto* scroll = new QScrollArea(parent);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->setAttribute(Qt::WA_TranslucentBackground);
    scroll->viewport()->setAutoFillBackground(false);
    card->setFixedWidth(static_cast<int>(contentWidth));
    scroll->setWidget(card);
    // The card draws on the container's black, not on the window's palette.
    card->setAutoFillBackground(false);
    return scroll;
}

} // namespace

EdgeRootView::Animations EdgeRootView::Animations::standard()
{
    return {EdgeCurve::spring(0.34, 0.82), EdgeCurve::easeIn(0.16), EdgeCurve::spring(0.32, 0.86)};
}

EdgeRootView::EdgeRootView(
    EdgeController& edge, EdgeContext& context, EdgeContent& content, Animations animations, QWidget* parent)
    : QWidget(parent)
    , m_edge(edge)
    , m_context(context)
    , m_content(content)
    , m_animations(std::move(animations))
    , m_strip(new DevKitStripView(content, edge.scheduler(), this))
    , m_card(new CardContainer(this))
    , m_reel(new EdgeCardReel(m_card))
    , m_stripOffset(0, this)
    , m_stripLength(EdgeMetrics::stripHeight(0), this)
    , m_scale(foldedScale, this)
    , m_cardOpacity(0, this)
    , m_contentOpacity(0, this)
    , m_cardTop(0, this)
    , m_reelPosition(0, this)
    , m_handleOpacity(0, this)
{
    setAttribute(Qt::WA_TranslucentBackground);
    m_card->hide();

    for (EdgeTween* tween : {&m_stripOffset, &m_stripLength, &m_cardTop})
        connect(tween, &EdgeTween::valueChanged, this, &EdgeRootView::relayout);
    for (EdgeTween* tween : {&m_scale, &m_cardOpacity, &m_contentOpacity, &m_handleOpacity}) {
        connect(tween, &EdgeTween::valueChanged, this, [this]() {
            relayout();
            update();
        });
        // The live card replaces the snapshot once nothing runs any more.
        connect(tween, &EdgeTween::finished, this, [this]() {
            relayout();
            update();
        });
    }
    connect(&m_reelPosition, &EdgeTween::valueChanged, m_reel, &EdgeCardReel::setPosition);

    connect(&edge, &EdgeController::openServiceChanged, this, &EdgeRootView::openChanged);
    connect(&edge, &EdgeController::shownServiceChanged, this, &EdgeRootView::shownChanged);
    for (auto signal : {&EdgeController::hoveredItemChanged, &EdgeController::isOutChanged,
             &EdgeController::isUnfoldedChanged, &EdgeController::geometryChanged,
             &EdgeController::itemsChanged})
        connect(&edge, signal, this, &EdgeRootView::stateChanged);
    connect(&content, &EdgeContent::cardsChanged, this, &EdgeRootView::rebuildCards);
    connect(&content, &EdgeContent::cardChanged, this, &EdgeRootView::rebuildCard);
    connect(&content, &EdgeContent::changed, this, qOverload<>(&QWidget::update));

    m_stripOffset.jump(edge.isOut() ? 0 : (edge.geometry().side == EdgeSide::right ? 44 : -44));
    m_handleOpacity.jump(edge.isOut() ? 0 : 1);
    rebuildCards();
    stateChanged();
    finishAnimations();
}

EdgeLayout EdgeRootView::layout() const
{
    return EdgeMetrics::layout(
        QSizeF(size()), static_cast<int>(m_edge.stripItems().size()), m_edge.geometry().side);
}

int EdgeRootView::selectedCard() const
{
    const qsizetype i = m_content.cardServices().indexOf(m_edge.shownService());
    return i < 0 ? 0 : static_cast<int>(i);
}

QRectF EdgeRootView::cardFrame() const
{
    QRectF frame = layout().cardFrame(m_edge.slotIndex(m_edge.shownService()), EdgeMetrics::cardWidth);
    if (m_cardTop.isRunning())
        frame.moveTop(m_cardTop.value());
    return frame;
}

double EdgeRootView::anchorHeight(const QRectF& frame) const
{
    const double tile = layout().slotCenterY(m_edge.slotIndex(m_edge.shownService())) - frame.top();
    return frame.height() > 1 ? tile / frame.height() : tile;
}

void EdgeRootView::rebuildCards()
{
    QList<QWidget*> cards;
    m_reelServices.clear();
    for (KitService service : m_content.cardServices()) {
        QWidget* card = m_content.makeCard(service, nullptr);
        if (card) {
            cards.append(fitted(card, m_reel));
            m_reelServices.append(service);
        }
    }
    m_reel->setCards(cards);
    m_reelPosition.jump(selectedCard());
    relayout();
}

void EdgeRootView::rebuildCard(KitService service)
{
    const qsizetype index = m_reelServices.indexOf(service);
    QWidget* card = index < 0 ? nullptr : m_content.makeCard(service, nullptr);
    if (!card) {
        rebuildCards();
        return;
    }
    m_reel->replaceCard(static_cast<int>(index), fitted(card, m_reel));
    // A picture of the old card must not stand in for the new one.
    m_snapshot = QPixmap();
    update();
}

void EdgeRootView::openChanged()
{
    const bool open = m_edge.openService().has_value();
    m_snapshot = QPixmap();
    if (open) {
        m_scale.animate(1, m_animations.openSpring);
        m_cardOpacity.jump(1);
        m_contentOpacity.jump(0);
        m_contentOpacity.animate(1, EdgeCurve::easeOut(0.18).delayed(0.06));
    } else {
        m_scale.animate(foldedScale, m_animations.closeEase);
        m_cardOpacity.animate(0, EdgeCurve::linear(0.01).delayed(0.16));
        m_contentOpacity.animate(0, EdgeCurve::easeIn(0.06));
    }
    stateChanged();
}

void EdgeRootView::shownChanged()
{
    const double target
        = layout().cardFrame(m_edge.slotIndex(m_edge.shownService()), EdgeMetrics::cardWidth).top();
    if (m_edge.cardMoves()) {
        m_cardTop.jump(cardFrame().top());
        m_cardTop.animate(target, m_animations.moveSpring);
        m_reelPosition.animate(selectedCard(), m_animations.moveSpring);
    } else {
        m_cardTop.jump(target);
        m_reelPosition.jump(selectedCard());
    }
    m_snapshot = QPixmap();
    relayout();
}

void EdgeRootView::stateChanged()
{
    const auto items = m_edge.stripItems();
    m_strip->setItems(items);
    m_strip->setOpenService(m_edge.openService());
    m_strip->setHoveredItem(m_edge.hoveredItem());
    m_strip->setSide(m_edge.geometry().side);
    const double length = EdgeMetrics::stripHeight(static_cast<int>(items.size()));
    if (length != m_stripLength.target())
        m_stripLength.animate(length, EdgeCurve::spring(0.35, 0.8));
    const double offset = m_edge.isOut() ? 0 : (m_edge.geometry().side == EdgeSide::right ? 44 : -44);
    if (offset != m_stripOffset.target())
        m_stripOffset.animate(offset, EdgeCurve::spring(0.3, 0.86));
    const double handle = m_edge.isOut() ? 0 : 1;
    if (handle != m_handleOpacity.target())
        m_handleOpacity.animate(handle, EdgeCurve::easeOut(0.2));
    relayout();
    update();
}

void EdgeRootView::finishAnimations()
{
    for (EdgeTween* tween : {&m_stripOffset, &m_stripLength, &m_scale, &m_cardOpacity, &m_contentOpacity,
             &m_cardTop, &m_reelPosition, &m_handleOpacity})
        tween->jump(tween->target());
}

void EdgeRootView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayout();
}

void EdgeRootView::relayout()
{
    const EdgeSide side = m_edge.geometry().side;
    // A window that shrank with the strip's entries (a tool switched off) takes the strip's new
    // length with it: the strip never reaches beyond its window, whose shape is the strip's outline.
    const double length = std::min(m_stripLength.value(), static_cast<double>(height()));
    const double x = side == EdgeSide::right ? width() - EdgeMetrics::stripWidth : 0;
    const double y = (height() - length) / 2;
    m_strip->setGeometry(QRectF(x + m_stripOffset.value(), y, EdgeMetrics::stripWidth, length).toRect());

    const QRectF frame = cardFrame();
    m_card->setGeometry(frame.toRect());
    m_reel->setGeometry(QRectF(cardMargin, cardMargin, std::max(frame.width() - 2 * cardMargin, 0.0),
        std::max(frame.height() - 2 * cardMargin, 0.0))
                            .toRect());
    m_reel->setPitch(frame.height());

    // The live card only when it stands still and whole; while it scales a snapshot is drawn.
    const bool settled = m_edge.openService() && m_scale.value() >= 1 && !m_scale.isRunning()
        && m_contentOpacity.value() >= 1;
    if (settled != m_card->isVisible())
        m_card->setVisible(settled);
    if (settled)
        m_snapshot = QPixmap();
    updateOutline();
}

void EdgeRootView::updateOutline()
{
    QPainterPath outline;
    const QRectF strip(m_strip->geometry());
    if (strip.intersects(QRectF(rect())))
        outline.addPath(EdgeShape {8, 16, true, m_edge.geometry().side}.path(strip));
    const QRectF frame = cardFrame();
    if (m_card->isVisible())
        outline.addPath(cardOutline(frame));
    else if (m_cardOpacity.value() > 0 && m_scale.value() > 0)
        outline.addPath(snapshotTransform(frame).map(cardOutline(frame)));
    if (m_context.tucksAway() && m_handleOpacity.value() > 0)
        outline.addPath(handlePath());
    if (outline == m_outline)
        return;
    m_outline = outline;
    Q_EMIT outlineChanged(m_outline);
}

void EdgeRootView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!m_card->isVisible() && m_cardOpacity.value() > 0)
        paintCardSnapshot(p);
    if (m_context.tucksAway() && m_handleOpacity.value() > 0)
        paintHandle(p);
}

void EdgeRootView::paintCardSnapshot(QPainter& p)
{
    const QRectF frame = cardFrame();
    if (m_snapshot.isNull() || m_snapshot.deviceIndependentSize() != QSizeF(m_reel->size())) {
        // Only what the cards draw, on the card's own black.
        const double ratio = devicePixelRatioF();
        m_snapshot = QPixmap(m_reel->size() * ratio);
        m_snapshot.setDevicePixelRatio(ratio);
        m_snapshot.fill(Qt::transparent);
        m_reel->render(&m_snapshot, QPoint(), QRegion(), QWidget::DrawChildren);
    }
    p.save();
    p.setOpacity(m_cardOpacity.value());
    p.setTransform(snapshotTransform(frame), true);
    p.fillPath(cardOutline(frame), Qt::black);
    p.setPen(QPen(QColor(255, 255, 255, 26), 1));
    p.drawPath(cardOutline(frame.adjusted(0.5, 0.5, -0.5, -0.5)));
    p.setOpacity(m_cardOpacity.value() * m_contentOpacity.value());
    p.setClipPath(cardOutline(frame));
    p.drawPixmap(frame.topLeft() + QPointF(cardMargin, cardMargin), m_snapshot);
    p.restore();
}

QTransform EdgeRootView::snapshotTransform(const QRectF& frame) const
{
    const double scale = std::max(m_scale.value(), 0.0);
    const QPointF anchor(frame.left() + (m_edge.geometry().side == EdgeSide::right ? frame.width() : 0),
        frame.top() + anchorHeight(frame) * frame.height());
    QTransform transform;
    transform.translate(anchor.x(), anchor.y());
    transform.scale(scale, scale);
    transform.translate(-anchor.x(), -anchor.y());
    return transform;
}

QPainterPath EdgeRootView::handlePath() const
{
    const EdgeSide side = m_edge.geometry().side;
    const double centreX = side == EdgeSide::left ? 2 : width() - 2;
    const QRectF r(centreX - handleWidth / 2, height() / 2.0 - handleHeight / 2, handleWidth, handleHeight);
    // Rounded only on the corners that face the inside of the screen.
    QPainterPath path;
    path.addRoundedRect(r, 2, 2);
    QPainterPath square;
    square.addRect(side == EdgeSide::right ? r.adjusted(handleWidth / 2, 0, 0, 0)
                                           : r.adjusted(0, 0, -handleWidth / 2, 0));
    return path.united(square);
}

void EdgeRootView::paintHandle(QPainter& p)
{
    const QPainterPath path = handlePath();
    const auto signal = m_content.handleSignal();
    QColor fill = Qt::black;
    if (signal) {
        switch (*signal) {
        case KitSignal::bad:
            fill = QColor(255, 59, 48);
            break;
        case KitSignal::attention:
            fill = QColor(255, 149, 0);
            break;
        case KitSignal::good:
            fill = QColor(52, 199, 89);
            break;
        case KitSignal::disconnected:
            break;
        }
    }
    p.save();
    p.setOpacity(m_handleOpacity.value());
    p.fillPath(path, fill);
    if (fill == Qt::black) {
        p.setPen(QPen(QColor(255, 255, 255, 77), 0.5));
        p.drawPath(path);
    }
    p.restore();
}

} // namespace brenvo
