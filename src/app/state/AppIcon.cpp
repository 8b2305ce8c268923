#include "app/state/AppIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace brenvo {

QIcon appIcon()
{
    // The drawing that is installed for the desktop's menus (resources/brenvo.svg).
    QSvgRenderer renderer(QStringLiteral(":/brenvo/brenvo.svg"));
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing, true);
        renderer.render(&p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace brenvo
