#include "cards/WindowPieces.h"

#include <QApplication>
#include <QIcon>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace brenvo {

AppIconView::AppIconView(qreal size, QWidget* parent)
    : QWidget(parent)
    , m_size(size)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QSize AppIconView::sizeHint() const
{
    const int side = int(std::ceil(m_size));
    return QSize(side, side);
}

void AppIconView::paintEvent(QPaintEvent*)
{
    if (m_size <= 0)
        return;
    const QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    const QRectF square((width() - m_size) / 2.0, (height() - m_size) / 2.0, m_size, m_size);
    QPainterPath clip;
    clip.addRoundedRect(square, cornerRadius(m_size), cornerRadius(m_size));
    p.setClipPath(clip);
    const qreal dpr = devicePixelRatioF();
    const int pixels = int(std::ceil(m_size * dpr));
    p.drawPixmap(square, icon.pixmap(QSize(pixels, pixels)), QRectF());
}

CardWash::CardWash(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QColor CardWash::washBlue()
{
    return QColor::fromRgbF(0.69f, 0.83f, 0.99f);
}
QColor CardWash::washLilac()
{
    return QColor::fromRgbF(0.84f, 0.73f, 0.97f);
}

void CardWash::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRectF r = rect();
    p.fillRect(r, Qt::white);
    const auto unit
        = [&r](qreal x, qreal y) { return QPointF(r.left() + x * r.width(), r.top() + y * r.height()); };
    QLinearGradient blue(unit(0.5, 0), unit(0.5, 0.58));
    QColor b = washBlue();
    b.setAlphaF(0.9f);
    blue.setColorAt(0, b);
    b.setAlphaF(0);
    blue.setColorAt(1, b);
    p.fillRect(r, blue);
    QLinearGradient lilac(unit(0.9, 0.02), unit(0.55, 0.4));
    QColor l = washLilac();
    l.setAlphaF(0.55f);
    lilac.setColorAt(0, l);
    l.setAlphaF(0);
    lilac.setColorAt(1, l);
    p.fillRect(r, lilac);
}

} // namespace brenvo
