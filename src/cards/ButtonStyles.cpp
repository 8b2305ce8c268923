#include "cards/ButtonStyles.h"

#include "cards/KitFont.h"
#include "cards/KitPalette.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QStyleFactory>
#include <QStyleOptionButton>

namespace brenvo {

PaintedButtonStyle::PaintedButtonStyle()
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
{
    // Shared instances outlive every button; the application deletes them at exit.
    setParent(qApp);
}

void PaintedButtonStyle::polish(QWidget* widget)
{
    QProxyStyle::polish(widget);
    widget->setFont(labelFont());
    widget->setAttribute(Qt::WA_Hover, false);
}

void PaintedButtonStyle::applyTo(QAbstractButton* button)
{
    button->setStyle(this);
    button->setFont(labelFont());
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::ArrowCursor);
    button->updateGeometry();
}

QSize PaintedButtonStyle::sizeFromContents(
    ContentsType type, const QStyleOption* option, const QSize& contents, const QWidget* widget) const
{
    if (type == CT_PushButton) {
        const QMargins m = insets();
        return QSize(contents.width() + m.left() + m.right(), contents.height() + m.top() + m.bottom());
    }
    return QProxyStyle::sizeFromContents(type, option, contents, widget);
}

int PaintedButtonStyle::pixelMetric(
    PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    switch (metric) {
    case PM_ButtonShiftHorizontal:
    case PM_ButtonShiftVertical:
    case PM_DefaultFrameWidth:
    case PM_ButtonDefaultIndicator:
        return 0;
    default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

void PaintedButtonStyle::drawControl(
    ControlElement element, const QStyleOption* option, QPainter* painter, const QWidget* widget) const
{
    if (element != CE_PushButton) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
    if (!button)
        return;
    const bool pressed = option->state & (State_Sunken | State_On);
    const bool enabled = option->state & State_Enabled;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setOpacity(painter->opacity() * opacity(pressed, enabled));
    const QColor label = paintBackground(*painter, QRectF(option->rect), option->palette, pressed, enabled);
    painter->setPen(label);
    painter->setFont(widget ? widget->font() : labelFont());
    painter->drawText(option->rect.marginsRemoved(insets()),
        Qt::AlignCenter | Qt::TextSingleLine | Qt::TextHideMnemonic, button->text);
    painter->restore();
}

KitButtonStyle::Look KitButtonStyle::look(Kind kind, bool pressed)
{
    switch (kind) {
    case Kind::quiet:
        return {KitPalette::white(pressed ? 0.24 : 0.14), KitPalette::white()};
    case Kind::prominent:
        return {KitPalette::white(pressed ? 0.8 : 1.0), KitPalette::black()};
    case Kind::confirming:
        return {KitPalette::orange(pressed ? 0.8 : 1.0), KitPalette::black()};
    }
    return {KitPalette::white(0.14), KitPalette::white()};
}

KitButtonStyle* KitButtonStyle::shared(Kind kind)
{
    static KitButtonStyle* quiet = new KitButtonStyle(Kind::quiet);
    static KitButtonStyle* prominent = new KitButtonStyle(Kind::prominent);
    static KitButtonStyle* confirming = new KitButtonStyle(Kind::confirming);
    switch (kind) {
    case Kind::quiet:
        return quiet;
    case Kind::prominent:
        return prominent;
    case Kind::confirming:
        return confirming;
    }
    return quiet;
}

QFont KitButtonStyle::labelFont() const
{
    return kitFont(11.5, QFont::Medium);
}

QColor KitButtonStyle::paintBackground(
    QPainter& painter, const QRectF& rect, const QPalette&, bool pressed, bool) const
{
    const Look l = look(m_kind, pressed);
    const qreal radius = rect.height() / 2.0;
    QPainterPath capsule;
    capsule.addRoundedRect(rect, radius, radius);
    painter.fillPath(capsule, l.fill);
    return l.label;
}

PrimaryButtonStyle* PrimaryButtonStyle::shared()
{
    static PrimaryButtonStyle* style = new PrimaryButtonStyle();
    return style;
}

QColor PrimaryButtonStyle::topBlue()
{
    return QColor::fromRgbF(0.31f, 0.62f, 0.99f);
}
QColor PrimaryButtonStyle::bottomBlue()
{
    return QColor::fromRgbF(0.18f, 0.49f, 0.96f);
}

qreal PrimaryButtonStyle::opacityFor(bool pressed, bool enabled)
{
    if (pressed)
        return 0.8;
    return enabled ? 1.0 : 0.4;
}

QFont PrimaryButtonStyle::labelFont() const
{
    return kitFont(14, QFont::Medium);
}

QColor PrimaryButtonStyle::paintBackground(
    QPainter& painter, const QRectF& rect, const QPalette&, bool, bool) const
{
    QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
    gradient.setColorAt(0, topBlue());
    gradient.setColorAt(1, bottomBlue());
    QPainterPath shape;
    shape.addRoundedRect(rect, 12, 12);
    painter.fillPath(shape, gradient);
    return KitPalette::white();
}

SecondaryButtonStyle* SecondaryButtonStyle::shared()
{
    static SecondaryButtonStyle* style = new SecondaryButtonStyle();
    return style;
}

qreal SecondaryButtonStyle::opacityFor(bool pressed)
{
    return pressed ? 0.7 : 1.0;
}

QFont SecondaryButtonStyle::labelFont() const
{
    return kitFont(12, QFont::Medium);
}

QColor SecondaryButtonStyle::paintBackground(
    QPainter& painter, const QRectF& rect, const QPalette& palette, bool, bool) const
{
    // A faint fill of the text colour of the window it sits in, light or dark.
    const QColor text = palette.color(QPalette::WindowText);
    QPainterPath shape;
    shape.addRoundedRect(rect, 8, 8);
    painter.fillPath(shape, KitPalette::withOpacity(text, 0.1 * 0.7));
    return text;
}

} // namespace brenvo
