#include "cards/KitIndicators.h"

#include "cards/KitFont.h"
#include "cards/KitPalette.h"
#include "cards/KitRepaintTicker.h"
#include "model/KitText.h"
#include "model/Scheduler.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace brenvo {

SignalDot::SignalDot(const QColor& colour, qreal size, QWidget* parent)
    : QWidget(parent)
    , m_colour(colour)
    , m_size(size)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SignalDot::setColour(const QColor& colour)
{
    if (colour == m_colour)
        return;
    m_colour = colour;
    update();
}

QSize SignalDot::sizeHint() const
{
    const int side = int(std::ceil(m_size));
    return QSize(side, side);
}

void SignalDot::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(m_colour);
    p.drawEllipse(QRectF((width() - m_size) / 2.0, (height() - m_size) / 2.0, m_size, m_size));
}

AgeLabel::AgeLabel(const QDateTime& date, Scheduler& clock, QWidget* parent)
    : QWidget(parent)
    , m_date(date)
    , m_clock(clock)
    , m_ticker(new KitRepaintTicker(this, clock, tickSeconds))
{
    setFont(kitFont(11));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_shown = text();
}

void AgeLabel::setDate(const QDateTime& date)
{
    if (date == m_date)
        return;
    m_date = date;
    update();
    if (text() != m_shown) {
        m_shown = text();
        updateGeometry();
    }
}

bool AgeLabel::isTicking() const
{
    return m_ticker->isArmed();
}

QString AgeLabel::text() const
{
    return ageText(m_date, m_clock.wallNow());
}

qreal AgeLabel::textWidth(const QString& text, const QFont& font)
{
    const QFontMetricsF metrics(font);
    qreal digit = 0;
    for (QChar c = u'0'; c <= u'9'; c = QChar(c.unicode() + 1))
        digit = std::max(digit, metrics.horizontalAdvance(c));
    qreal width = 0;
    for (const QChar c : text)
        width += c.isDigit() ? digit : metrics.horizontalAdvance(c);
    return width;
}

QSize AgeLabel::sizeHint() const
{
    const QFontMetricsF metrics(font());
    return QSize(int(std::ceil(textWidth(m_shown, font()))), int(std::ceil(metrics.height())));
}

void AgeLabel::paintEvent(QPaintEvent*)
{
    const QString now = text();
    if (now != m_shown) {
        m_shown = now;
        updateGeometry();
    }
    QPainter p(this);
    p.setFont(font());
    p.setPen(KitPalette::tertiary());
    const QFontMetricsF metrics(font());
    qreal digit = 0;
    for (QChar c = u'0'; c <= u'9'; c = QChar(c.unicode() + 1))
        digit = std::max(digit, metrics.horizontalAdvance(c));
    // Right-aligned in its box, each digit centred in a cell of the widest digit.
    qreal x = width() - textWidth(m_shown, font());
    const qreal baseline = (height() - metrics.height()) / 2.0 + metrics.ascent();
    for (const QChar c : m_shown) {
        const qreal advance = metrics.horizontalAdvance(c);
        if (c.isDigit()) {
            p.drawText(QPointF(x + (digit - advance) / 2.0, baseline), QString(c));
            x += digit;
        } else {
            p.drawText(QPointF(x, baseline), QString(c));
            x += advance;
        }
    }
    m_ticker->painted();
}

void AgeLabel::hideEvent(QHideEvent* event)
{
    m_ticker->stop();
    QWidget::hideEvent(event);
}

MeterBar::MeterBar(double fraction, const QColor& colour, QWidget* parent)
    : QWidget(parent)
    , m_fraction(fraction)
    , m_colour(colour)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(barHeight);
}

void MeterBar::setFraction(double fraction)
{
    if (fraction == m_fraction || (std::isnan(fraction) && std::isnan(m_fraction)))
        return;
    m_fraction = fraction;
    update();
}

void MeterBar::setColour(const QColor& colour)
{
    if (colour == m_colour)
        return;
    m_colour = colour;
    update();
}

qreal MeterBar::fillWidth(double fraction, qreal trackWidth)
{
    // Not a number counts as nothing used: a NaN width would draw garbage.
    if (std::isnan(fraction) || fraction <= 0)
        return 0;
    if (fraction > 1)
        return trackWidth;
    return fraction * trackWidth;
}

QSize MeterBar::sizeHint() const
{
    return QSize(100, barHeight);
}

void MeterBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF track(0, 0, width(), barHeight);
    const qreal radius = barHeight / 2.0;
    QPainterPath trackPath;
    trackPath.addRoundedRect(track, radius, radius);
    p.fillPath(trackPath, KitPalette::fill());
    const qreal filled = fillWidth(m_fraction, track.width());
    if (filled > 0) {
        QPainterPath fillPath;
        fillPath.addRoundedRect(QRectF(0, 0, filled, barHeight), std::min(radius, filled / 2), radius);
        p.fillPath(fillPath, m_colour);
    }
}

} // namespace brenvo
