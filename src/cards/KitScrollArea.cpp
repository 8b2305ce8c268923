#include "cards/KitScrollArea.h"

#include <QScrollBar>

namespace brenvo {

KitScrollArea::KitScrollArea(QWidget* content, QWidget* parent)
    : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    setWidget(content);
    // The panel draws the card's ground; a scroll area would paint its own over it.
    content->setAutoFillBackground(false);
}

QSize KitScrollArea::sizeHint() const
{
    return QSize(widget() ? widget()->sizeHint().width() : 0, 0);
}

} // namespace brenvo
