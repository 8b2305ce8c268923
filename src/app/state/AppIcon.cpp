#include "app/state/AppIcon.h"

#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace brenvo {

namespace {

QPixmap drawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    const qreal s = size;

    QLinearGradient wash(0, 0, s, s);
    wash.setColorAt(0, QColor(38, 52, 94));
    wash.setColorAt(1, QColor(74, 44, 120));
    QPainterPath square;
    square.addRoundedRect(QRectF(0, 0, s, s), 0.224 * s, 0.224 * s);
    p.fillPath(square, wash);

    // The strip leans on the right edge, rounded towards the inside.
    const QRectF strip(s * 0.56, s * 0.16, s * 0.44, s * 0.68);
    QPainterPath body;
    body.addRoundedRect(strip.adjusted(0, 0, s * 0.2, 0), s * 0.14, s * 0.14);
    p.save();
    p.setClipPath(square);
    p.fillPath(body, QColor(255, 255, 255, 235));
    p.restore();

    const QColor lights[] = {QColor(52, 199, 89), QColor(255, 159, 10), QColor(255, 69, 58)};
    const qreal radius = s * 0.075;
    for (int i = 0; i < 3; ++i) {
        const QPointF centre(strip.left() + s * 0.2, strip.top() + strip.height() * (i + 1) / 4.0);
        p.setPen(Qt::NoPen);
        p.setBrush(lights[i]);
        p.drawEllipse(centre, radius, radius);
    }
    return pixmap;
}

} // namespace

// Draws each size when asked and keeps none: eight sizes held as pixmaps cost 350 KiB for the
// whole run, for an icon the desktop copies once.
namespace {

class AppIconEngine final : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override
    {
        painter->drawPixmap(rect, drawIcon(std::min(rect.width(), rect.height())));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        return drawIcon(std::max(1, std::min(size.width(), size.height())));
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
            sizes.append(QSize(size, size));
        return sizes;
    }
    QIconEngine* clone() const override { return new AppIconEngine; }
};

} // namespace

QIcon appIcon()
{
    return QIcon(new AppIconEngine);
}

} // namespace brenvo
