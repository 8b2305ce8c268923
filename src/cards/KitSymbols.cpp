#include "cards/KitSymbols.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace brenvo {

namespace {

QPointF at(const QRectF& box, qreal x, qreal y)
{
    return {box.left() + x * box.width(), box.top() + y * box.height()};
}

qreal weightFactor(QFont::Weight weight)
{
    if (weight >= QFont::Bold)
        return 1.35;
    if (weight >= QFont::DemiBold)
        return 1.2;
    if (weight >= QFont::Medium)
        return 1.08;
    return 1.0;
}

void strokePolyline(QPainter& p, const QRectF& box, std::initializer_list<QPointF> unitPoints, qreal width,
    const QColor& colour)
{
    QPainterPath path;
    bool first = true;
    for (const QPointF& u : unitPoints) {
        const QPointF pt = at(box, u.x(), u.y());
        if (first)
            path.moveTo(pt);
        else
            path.lineTo(pt);
        first = false;
    }
    QPen pen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

QPainterPath gearPath(const QRectF& box)
{
    const QPointF c = box.center();
    const qreal r = std::min(box.width(), box.height()) / 2.0;
    const qreal outer = r;
    const qreal inner = r * 0.78;
    const int teeth = 8;
    QPainterPath gear;
    for (int i = 0; i < teeth; ++i) {
        const qreal base = (2 * M_PI * i) / teeth;
        const qreal half = M_PI / teeth;
        // Each tooth: flat top on the outer circle, flanks down to the root circle.
        const qreal a0 = base - half * 0.95;
        const qreal a1 = base - half * 0.45;
        const qreal a2 = base + half * 0.45;
        const qreal a3 = base + half * 0.95;
        const auto point = [&](qreal angle, qreal radius) {
            return QPointF(c.x() + radius * std::cos(angle), c.y() + radius * std::sin(angle));
        };
        if (i == 0)
            gear.moveTo(point(a0, inner));
        else
            gear.lineTo(point(a0, inner));
        gear.lineTo(point(a1, outer));
        gear.lineTo(point(a2, outer));
        gear.lineTo(point(a3, inner));
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(c, r * 0.3, r * 0.3);
    gear.setFillRule(Qt::OddEvenFill);
    return gear.subtracted(hole);
}

} // namespace

QSizeF kitSymbolSize(KitSymbol symbol, qreal fontSize)
{
    switch (symbol) {
    case KitSymbol::checkmarkCircleFill:
    case KitSymbol::exclamationmarkCircleFill:
        return {fontSize * 1.1, fontSize * 1.1};
    case KitSymbol::chevronUpChevronDown:
        return {fontSize * 0.72, fontSize * 1.25};
    case KitSymbol::chevronLeft:
        return {fontSize * 0.62, fontSize * 1.05};
    case KitSymbol::checkmark:
        return {fontSize * 1.05, fontSize * 0.95};
    case KitSymbol::plus:
        return {fontSize * 0.95, fontSize * 0.95};
    case KitSymbol::gearshapeFill:
        return {fontSize * 1.1, fontSize * 1.1};
    }
    return {fontSize, fontSize};
}

void paintKitSymbol(QPainter& p, KitSymbol symbol, const QRectF& box, const QColor& glyph, const QColor& disc,
    QFont::Weight weight)
{
    if (box.isEmpty())
        return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const qreal side = std::min(box.width(), box.height());
    const qreal stroke = side * 0.13 * weightFactor(weight);
    switch (symbol) {
    case KitSymbol::checkmarkCircleFill:
    case KitSymbol::exclamationmarkCircleFill: {
        const QRectF square(box.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
        p.setPen(Qt::NoPen);
        p.setBrush(disc.isValid() ? disc : glyph);
        p.drawEllipse(square);
        if (symbol == KitSymbol::checkmarkCircleFill) {
            strokePolyline(p, square, {{0.28, 0.53}, {0.44, 0.68}, {0.72, 0.35}}, side * 0.095, glyph);
        } else {
            strokePolyline(p, square, {{0.5, 0.25}, {0.5, 0.56}}, side * 0.105, glyph);
            p.setPen(Qt::NoPen);
            p.setBrush(glyph);
            p.drawEllipse(at(square, 0.5, 0.73), side * 0.06, side * 0.06);
        }
        break;
    }
    case KitSymbol::chevronUpChevronDown: {
        const qreal w = box.width() * 0.22;
        const QRectF inner = box.adjusted(w / 2, w / 2, -w / 2, -w / 2);
        strokePolyline(p, inner, {{0.0, 0.36}, {0.5, 0.0}, {1.0, 0.36}}, w, glyph);
        strokePolyline(p, inner, {{0.0, 0.64}, {0.5, 1.0}, {1.0, 0.64}}, w, glyph);
        break;
    }
    case KitSymbol::chevronLeft: {
        const qreal w = box.width() * 0.26 * weightFactor(weight) / 1.35;
        const QRectF inner = box.adjusted(w / 2, w / 2, -w / 2, -w / 2);
        strokePolyline(p, inner, {{1.0, 0.0}, {0.0, 0.5}, {1.0, 1.0}}, w, glyph);
        break;
    }
    case KitSymbol::checkmark: {
        const QRectF inner = box.adjusted(stroke / 2, stroke / 2, -stroke / 2, -stroke / 2);
        strokePolyline(p, inner, {{0.0, 0.55}, {0.36, 0.95}, {1.0, 0.05}}, stroke, glyph);
        break;
    }
    case KitSymbol::plus: {
        const QRectF square(box.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
        const QRectF inner = square.adjusted(stroke / 2, stroke / 2, -stroke / 2, -stroke / 2);
        strokePolyline(p, inner, {{0.5, 0.0}, {0.5, 1.0}}, stroke, glyph);
        strokePolyline(p, inner, {{0.0, 0.5}, {1.0, 0.5}}, stroke, glyph);
        break;
    }
    case KitSymbol::gearshapeFill: {
        const QRectF square(box.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
        p.setPen(Qt::NoPen);
        p.setBrush(glyph);
        p.drawPath(gearPath(square));
        break;
    }
    }
    p.restore();
}

KitSymbolView::KitSymbolView(
    KitSymbol symbol, qreal fontSize, QFont::Weight weight, const QColor& colour, QWidget* parent)
    : QWidget(parent)
    , m_symbol(symbol)
    , m_fontSize(fontSize)
    , m_weight(weight)
    , m_colour(colour)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void KitSymbolView::setColour(const QColor& colour)
{
    if (colour == m_colour)
        return;
    m_colour = colour;
    update();
}

void KitSymbolView::setDisc(const QColor& disc)
{
    if (disc == m_disc)
        return;
    m_disc = disc;
    update();
}

QSize KitSymbolView::sizeHint() const
{
    return kitSymbolSize(m_symbol, m_fontSize).toSize();
}

void KitSymbolView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QSizeF natural = kitSymbolSize(m_symbol, m_fontSize);
    const QRectF box(
        QPointF((width() - natural.width()) / 2.0, (height() - natural.height()) / 2.0), natural);
    // Without a colour of its own it takes the surrounding foreground.
    const QColor glyph = m_colour.isValid() ? m_colour : palette().color(QPalette::WindowText);
    paintKitSymbol(p, m_symbol, box, glyph, m_disc, m_weight);
}

} // namespace brenvo
