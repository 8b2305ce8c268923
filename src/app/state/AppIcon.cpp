#include "app/state/AppIcon.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace brenvo {

namespace {

// The drawing that is installed for the desktop's menus (resources/brenvo.svg).
QPixmap drawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    QSvgRenderer renderer(QStringLiteral(":/brenvo/brenvo.svg"));
    renderer.render(&p);
    return pixmap;
}

// Draws each size when asked and keeps none: eight sizes held as pixmaps cost 350 KiB for the
// whole run, for an icon the desktop copies once.
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
