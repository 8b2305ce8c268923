#include "cards/ServiceIcon.h"

#include <QPainter>
#include <QPainterPathStroker>

#include <array>
#include <cmath>

namespace brenvo {

namespace {

// Every logo is drawn on a 100-unit grid.

QPainterPath stroked(const QPainterPath& centreLine, qreal width, Qt::PenCapStyle cap = Qt::RoundCap)
{
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(cap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(centreLine).simplified();
}

QPainterPath polygon(std::initializer_list<QPointF> points)
{
    QPainterPath path;
    path.addPolygon(QPolygonF(QList<QPointF>(points)));
    path.closeSubpath();
    return path;
}

QPainterPath vercelLogo()
{
    return polygon({{50, 8}, {96, 88}, {4, 88}});
}

QPainterPath cloudflareLogo()
{
    QPainterPath cloud;
    cloud.addEllipse(QPointF(58, 44), 27, 27);
    QPainterPath left;
    left.addEllipse(QPointF(30, 55), 16, 16);
    QPainterPath right;
    right.addEllipse(QPointF(84, 57), 14, 14);
    QPainterPath base;
    base.addRoundedRect(QRectF(14, 52, 84, 19), 9.5, 9.5);
    cloud = cloud.united(left).united(right).united(base);
    // A flat underside, as clouds are drawn on the tool's own mark.
    QPainterPath below;
    below.addRect(QRectF(0, 67, 100, 40));
    return cloud.subtracted(below).simplified();
}

QPainterPath githubLogo()
{
    QPainterPath disc;
    disc.addEllipse(QRectF(0, 0, 100, 100));
    QPainterPath cat;
    cat.addEllipse(QPointF(50, 47), 24, 20);
    cat = cat.united(polygon({{27, 42}, {29, 15}, {45, 30}}));
    cat = cat.united(polygon({{55, 30}, {71, 15}, {73, 42}}));
    cat = cat.united(polygon({{41, 60}, {59, 60}, {61, 101}, {39, 101}}));
    QPainterPath tail;
    tail.moveTo(40, 80);
    tail.cubicTo(30, 82, 26, 74, 20, 70);
    cat = cat.united(stroked(tail, 6));
    return disc.subtracted(cat).simplified();
}

QPainterPath gitlabLogo()
{
    return polygon({{50, 94}, {4, 58}, {16, 10}, {31, 40}, {69, 40}, {84, 10}, {96, 58}});
}

QPainterPath stripeLogo()
{
    QPainterPath s;
    s.moveTo(76, 27);
    s.cubicTo(70, 19, 60, 16, 50, 16);
    s.cubicTo(36, 16, 26, 23, 26, 34);
    s.cubicTo(26, 46, 38, 48, 50, 51);
    s.cubicTo(64, 54, 76, 58, 76, 68);
    s.cubicTo(76, 79, 64, 86, 50, 86);
    s.cubicTo(39, 86, 29, 82, 23, 74);
    return stroked(s, 15, Qt::FlatCap);
}

QPainterPath polarLogo()
{
    QPainterPath ring;
    ring.addEllipse(QPointF(50, 50), 45, 45);
    QPainterPath meridian;
    meridian.addEllipse(QPointF(50, 50), 20, 45);
    return stroked(ring, 9).united(stroked(meridian, 8)).simplified();
}

QPainterPath claudeLogo()
{
    QPainterPath burst;
    const int rays = 12;
    for (int i = 0; i < rays; ++i) {
        const qreal angle = 2 * M_PI * i / rays + 0.13;
        const qreal length = (i % 3 == 0) ? 49 : (i % 2 == 0 ? 44 : 40);
        const QPointF dir(std::cos(angle), std::sin(angle));
        const QPointF normal(-dir.y(), dir.x());
        const QPointF c(50, 50);
        const qreal baseHalf = 5.0;
        const qreal tipHalf = 2.6;
        QPainterPath ray = polygon({c + normal * baseHalf + dir * 4, c + dir * length + normal * tipHalf,
            c + dir * length - normal * tipHalf, c - normal * baseHalf + dir * 4});
        QPainterPath tip;
        tip.addEllipse(c + dir * length, tipHalf, tipHalf);
        burst = burst.united(ray).united(tip);
    }
    QPainterPath core;
    core.addEllipse(QPointF(50, 50), 8, 8);
    return burst.united(core).simplified();
}

QPainterPath codexLogo()
{
    QPainterPath frame;
    frame.addRoundedRect(QRectF(5, 5, 90, 90), 24, 24);
    QPainterPath prompt;
    prompt.moveTo(30, 35);
    prompt.lineTo(46, 50);
    prompt.lineTo(30, 65);
    QPainterPath cursor;
    cursor.moveTo(54, 66);
    cursor.lineTo(71, 66);
    return stroked(frame, 9).united(stroked(prompt, 9)).united(stroked(cursor, 9)).simplified();
}

const std::array<QPainterPath, KitService::count>& logos()
{
    static const std::array<QPainterPath, KitService::count> paths = {vercelLogo(), cloudflareLogo(),
        githubLogo(), gitlabLogo(), stripeLogo(), polarLogo(), claudeLogo(), codexLogo()};
    return paths;
}

} // namespace

ServiceIcon::ServiceIcon(KitService service, qreal size, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_size(size)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ServiceIcon::setColour(const QColor& colour)
{
    if (colour == m_colour)
        return;
    m_colour = colour;
    update();
}

QSize ServiceIcon::sizeHint() const
{
    // A widget cannot paint outside itself: it takes the spill of a logo scaled above 1.
    const qreal side = m_size * std::max(1.0, scale(m_service));
    return QSize(int(std::ceil(side)), int(std::ceil(side)));
}

QString ServiceIcon::imageName(KitService service)
{
    static const std::array<const char*, KitService::count> names = {"ServiceVercel", "ServiceCloudflare",
        "ServiceGitHub", "ServiceGitLab", "ServiceStripe", "ServicePolar", "ServiceClaude", "ServiceCodex"};
    return QString::fromLatin1(names[service.index()]);
}

qreal ServiceIcon::scale(KitService service)
{
    static constexpr std::array<qreal, KitService::count> scales
        = {0.9, 1.2, 1.0, 0.88, 0.82, 1.0, 1.15, 1.08};
    return scales[service.index()];
}

QRectF ServiceIcon::drawnBox(KitService service, const QRectF& layoutBox)
{
    const qreal side = std::min(layoutBox.width(), layoutBox.height()) * scale(service);
    return QRectF(layoutBox.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
}

const QPainterPath& ServiceIcon::logo(KitService service)
{
    return logos()[service.index()];
}

QRectF ServiceIcon::fittedRect(KitService service, const QRectF& layoutBox)
{
    const QRectF box = drawnBox(service, layoutBox);
    const QRectF natural = logo(service).boundingRect();
    if (natural.isEmpty() || box.isEmpty())
        return QRectF(box.center(), QSizeF(0, 0));
    const qreal k = std::min(box.width() / natural.width(), box.height() / natural.height());
    const QSizeF fitted(natural.width() * k, natural.height() * k);
    return QRectF(box.center() - QPointF(fitted.width() / 2, fitted.height() / 2), fitted);
}

void ServiceIcon::paint(QPainter& painter, KitService service, const QRectF& layoutBox, const QColor& colour)
{
    const QRectF target = fittedRect(service, layoutBox);
    if (target.isEmpty())
        return;
    const QPainterPath& path = logo(service);
    const QRectF natural = path.boundingRect();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.translate(target.topLeft());
    painter.scale(target.width() / natural.width(), target.height() / natural.height());
    painter.translate(-natural.topLeft());
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPath(path);
    painter.restore();
}

void ServiceIcon::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRectF layoutBox(
        QPointF((width() - m_size) / 2.0, (height() - m_size) / 2.0), QSizeF(m_size, m_size));
    paint(p, m_service, layoutBox, m_colour.isValid() ? m_colour : palette().color(QPalette::WindowText));
}

} // namespace brenvo
