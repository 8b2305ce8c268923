#pragma once

#include "model/KitService.h"

#include <QColor>
#include <QWidget>

namespace brenvo {

struct UsageMeter;

// A tool's logo in white on a rounded ground of the tool's own colour, edged with a faint rim.
class ServiceTile : public QWidget {
    Q_OBJECT
public:
    ServiceTile(KitService service, qreal size, QWidget* parent = nullptr);

    KitService service() const { return m_service; }
    qreal size() const { return m_size; }

    QSize sizeHint() const override;

    static QColor color(KitService service);
    static qreal cornerRadius(qreal size) { return 0.24 * size; }
    // The side of the icon's layout box inside a tile.
    static qreal iconSize(qreal size) { return 0.56 * size; }

    // Draws a tile into rect (its side is the smaller dimension). The rim takes `primary` at 0.12.
    static void paint(QPainter& painter, KitService service, const QRectF& rect, const QColor& primary);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    KitService m_service;
    qreal m_size;
};

// The colour of a usage meter's bar: red from 90 % used, orange from 75 %, else the tool's own.
QColor tint(const UsageMeter& meter, KitService service);

} // namespace brenvo
