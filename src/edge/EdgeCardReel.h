#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

namespace brenvo {

// Every tool's card in one column, one pitch apart, scrolled so that the selected card fills the
// reel; the others lie whole pitches above and below, outside the clip.
class EdgeCardReel : public QWidget {
    Q_OBJECT
public:
    explicit EdgeCardReel(QWidget* parent = nullptr);

    void setCards(const QList<QWidget*>& cards);
    // Puts a card in the place of card i (the old one is deleted later); the others stay as they are.
    void replaceCard(int index, QWidget* card);
    const QList<QPointer<QWidget>>& cards() const { return m_cards; }
    // The selected index, fractional while the reel scrolls between two cards.
    void setPosition(double position);
    double position() const { return m_position; }
    void setPitch(double pitch);
    double pitch() const { return m_pitch; }

    // Where card i sits for a selected index and pitch, in the reel.
    static QRectF placement(int index, double selected, double pitch, QSizeF bounds);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void place();

    QList<QPointer<QWidget>> m_cards;
    double m_position = 0;
    double m_pitch = 0;
};

} // namespace brenvo
