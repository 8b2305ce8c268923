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
    content->setAutoFillBackground(false);
    setWidget(content);
}

QSize KitScrollArea::sizeHint() const
{
    return QSize(widget() ? widget()->sizeHint().width() : 0, 0);
}

} // namespace brenvo
