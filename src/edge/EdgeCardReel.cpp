#include "edge/EdgeCardReel.h"

#include <cmath>

namespace brenvo {

EdgeCardReel::EdgeCardReel(QWidget* parent)
    : QWidget(parent)
{
}

QRectF EdgeCardReel::placement(int index, double selected, double pitch, QSizeF bounds)
{
    return QRectF(QPointF(0, pitch * (index - selected)), bounds);
}

void EdgeCardReel::setCards(const QList<QWidget*>& cards)
{
    for (const auto& old : std::as_const(m_cards)) {
        if (old && !cards.contains(old.data()))
            old->deleteLater();
    }
    m_cards.clear();
    for (QWidget* card : cards) {
        card->setParent(this);
        m_cards.append(card);
    }
    place();
}

void EdgeCardReel::replaceCard(int index, QWidget* card)
{
    if (index < 0 || index >= m_cards.size())
        return;
    if (QWidget* old = m_cards.at(index); old && old != card) {
        old->hide();
        old->deleteLater();
    }
    card->setParent(this);
    m_cards[index] = card;
    place();
}

void EdgeCardReel::setPosition(double position)
{
    if (position == m_position)
        return;
    m_position = position;
    place();
}

void EdgeCardReel::setPitch(double pitch)
{
    if (pitch == m_pitch)
        return;
    m_pitch = pitch;
    place();
}

void EdgeCardReel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    place();
}

void EdgeCardReel::place()
{
    const QRectF bounds(rect());
    const int selected = static_cast<int>(std::lround(m_position));
    for (int i = 0; i < m_cards.size(); ++i) {
        QWidget* card = m_cards.at(i);
        if (!card)
            continue;
        const QRectF r = placement(i, m_position, m_pitch, bounds.size());
        card->setGeometry(r.toRect());
        // Only the card in the frame is on screen and takes the pointer; the rest stay still.
        const bool visible = r.intersects(bounds);
        card->setVisible(visible);
        card->setAttribute(Qt::WA_TransparentForMouseEvents, i != selected);
    }
}

} // namespace brenvo
