#include "cards/ServiceTile.h"

#include "cards/KitPalette.h"
#include "cards/ServiceIcon.h"
#include "model/Usage.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace brenvo {

namespace {

QColor srgb(qreal r, qreal g, qreal b)
{
    return QColor::fromRgbF(float(r), float(g), float(b));
}

} // namespace

ServiceTile::ServiceTile(KitService service, qreal size, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_size(size)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize ServiceTile::sizeHint() const
{
    const int side = int(std::ceil(m_size));
    return QSize(side, side);
}

QColor ServiceTile::color(KitService service)
{
    switch (service) {
    case KitService::vercel:
        return srgb(0.08, 0.08, 0.08);
    case KitService::cloudflare:
        return srgb(0.95, 0.5, 0.13);
    case KitService::github:
        return srgb(0.14, 0.16, 0.18);
    case KitService::gitlab:
        return srgb(0.99, 0.43, 0.15);
    case KitService::stripe:
        return srgb(0.39, 0.36, 1.0);
    case KitService::polar:
        return srgb(0.0, 0.38, 1.0);
    case KitService::claude:
        return srgb(0.85, 0.47, 0.34);
    case KitService::codex:
        return srgb(0.08, 0.08, 0.08);
    }
    return srgb(0.08, 0.08, 0.08);
}

void ServiceTile::paint(QPainter& p, KitService service, const QRectF& rect, const QColor& primary)
{
    const qreal side = std::min(rect.width(), rect.height());
    const QRectF tile(rect.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
    const qreal radius = cornerRadius(side);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    QPainterPath ground;
    ground.addRoundedRect(tile, radius, radius);
    p.fillPath(ground, color(service));
    const qreal icon = iconSize(side);
    ServiceIcon::paint(p, service, QRectF(tile.center() - QPointF(icon / 2, icon / 2), QSizeF(icon, icon)),
        KitPalette::white());
    // The rim lies wholly inside the edge: stroke a rectangle inset by half the line width.
    const qreal line = 0.5;
    QPen pen(KitPalette::withOpacity(primary, 0.12), line, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QRectF rim = tile.adjusted(line / 2, line / 2, -line / 2, -line / 2);
    p.drawRoundedRect(rim, radius - line / 2, radius - line / 2);
    p.restore();
}

void ServiceTile::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRectF box(QPointF((width() - m_size) / 2.0, (height() - m_size) / 2.0), QSizeF(m_size, m_size));
    paint(p, m_service, box, palette().color(QPalette::WindowText));
}

QColor tint(const UsageMeter& meter, KitService service)
{
    // A fraction that is not a number passes neither test and keeps the tool's colour.
    if (meter.fraction >= 0.9)
        return KitPalette::red();
    if (meter.fraction >= 0.75)
        return KitPalette::orange();
    if (service == KitService::codex)
        return srgb(0.06, 0.64, 0.5);
    return srgb(0.85, 0.47, 0.34);
}

} // namespace brenvo
