#pragma once

#include "model/KitService.h"

#include <QColor>
#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <QWidget>

class QPainter;

namespace brenvo {

// A tool's logo, drawn as one-colour painter paths of our own, fitted into a square box with a
// per-tool optical scale. The badge, the card header and the tile paint it through paint().
class ServiceIcon : public QWidget {
    Q_OBJECT
public:
    ServiceIcon(KitService service, qreal size, QWidget* parent = nullptr);

    KitService service() const { return m_service; }
    qreal size() const { return m_size; }

    // Draws in the widget's foreground (WindowText) colour unless one is set.
    void setColour(const QColor& colour);

    QSize sizeHint() const override;

    // The logo's name in the artwork set ("ServiceVercel", ...).
    static QString imageName(KitService service);
    // The tool's optical scale (Cloudflare 1.2, Stripe 0.82, ...).
    static qreal scale(KitService service);
    // The square the logo is fitted into for a layout box: side size × scale, same centre. With
    // a scale above 1 it spills evenly beyond the layout box.
    static QRectF drawnBox(KitService service, const QRectF& layoutBox);
    // The logo in its own coordinates; its bounding rectangle gives its aspect ratio.
    static const QPainterPath& logo(KitService service);
    // The logo's rectangle once aspect-fitted and centred into drawnBox().
    static QRectF fittedRect(KitService service, const QRectF& layoutBox);
    static void paint(QPainter& painter, KitService service, const QRectF& layoutBox, const QColor& colour);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    KitService m_service;
    qreal m_size;
    QColor m_colour;
};

} // namespace brenvo
