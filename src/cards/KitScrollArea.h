#pragma once

#include <QScrollArea>

namespace brenvo {

// A vertical scroll area without scroll bars that asks for no height of its own and takes what
// the card leaves it. Its content is framed to the full width.
class KitScrollArea : public QScrollArea {
    Q_OBJECT
public:
    explicit KitScrollArea(QWidget* content, QWidget* parent = nullptr);

    QWidget* content() const { return widget(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return QSize(0, 0); }
};

} // namespace brenvo
