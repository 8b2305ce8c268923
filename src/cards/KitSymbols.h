#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QWidget>

class QPainter;

namespace brenvo {

// The few symbols the panel shows, drawn by us as painter paths.
enum class KitSymbol {
    checkmarkCircleFill,
    exclamationmarkCircleFill,
    chevronUpChevronDown,
    chevronLeft,
    checkmark,
    plus,
    gearshapeFill,
};

// The box a symbol takes when set in a font of the given size (points are logical pixels).
QSizeF kitSymbolSize(KitSymbol symbol, qreal fontSize);

// Draws the symbol fitted into box. The two circle symbols paint their disc in `disc` and the
// glyph in `glyph`; the others are one colour. `weight` thickens strokes as a font weight would.
void paintKitSymbol(QPainter& painter, KitSymbol symbol, const QRectF& box, const QColor& glyph,
    const QColor& disc = QColor(), QFont::Weight weight = QFont::Normal);

// A symbol as a small widget: natural size from its font size, drawn centred, in its colour or,
// without one, in the surrounding foreground.
class KitSymbolView : public QWidget {
    Q_OBJECT
public:
    KitSymbolView(KitSymbol symbol, qreal fontSize, QFont::Weight weight, const QColor& colour,
        QWidget* parent = nullptr);

    KitSymbol symbol() const { return m_symbol; }
    QColor colour() const { return m_colour; }
    void setColour(const QColor& colour);
    // Disc colour of the two circle symbols.
    void setDisc(const QColor& disc);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    KitSymbol m_symbol;
    qreal m_fontSize;
    QFont::Weight m_weight;
    QColor m_colour;
    QColor m_disc;
};

} // namespace brenvo
