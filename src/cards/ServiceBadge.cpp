#include "cards/ServiceBadge.h"

#include "cards/KitPalette.h"
#include "cards/KitSymbols.h"
#include "cards/ServiceIcon.h"
#include "model/Scheduler.h"

#include <QDateTime>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QTimer>
#include <QVariantAnimation>

#include <cmath>

namespace brenvo {

namespace {

QVariantAnimation* makeAnimation(QObject* parent, int msecs, QEasingCurve curve)
{
    auto* animation = new QVariantAnimation(parent);
    animation->setDuration(msecs);
    animation->setEasingCurve(curve);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    return animation;
}

QColor mix(const QColor& a, const QColor& b, qreal t)
{
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
        float(a.greenF() + (b.greenF() - a.greenF()) * t), float(a.blueF() + (b.blueF() - a.blueF()) * t),
        float(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

// A spring that overshoots a little, as the marks pop in.
QEasingCurve springCurve()
{
    QEasingCurve curve(QEasingCurve::OutBack);
    curve.setOvershoot(1.2);
    return curve;
}

} // namespace

ServiceBadge::ServiceBadge(KitService service, State state, Scheduler& clock, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_state(state)
    , m_clock(clock)
    , m_drawAnimation(makeAnimation(this, 900, QEasingCurve::InOutQuad))
    , m_fillAnimation(makeAnimation(this, 900, QEasingCurve::InOutQuad))
    , m_lookAnimation(makeAnimation(this, 350, QEasingCurve::InOutQuad))
    , m_markAnimation(makeAnimation(this, 400, springCurve()))
    , m_swapAnimation(makeAnimation(this, 400, springCurve()))
    , m_rimFrames(new QTimer(this))
{
    setFixedSize(side, side);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_fill = signalColour(state.signal);
    m_fillOpacity = fillOpacity(state, m_drawn);
    m_ringOpacity = ringOpacity(state, m_drawn);
    m_shownMark = state.mark;
    m_markProgress = state.mark ? 1 : 0;

    connect(m_drawAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_drawn = v.toReal();
        update();
    });
    // The rim's angle comes from the wall clock so that rims turn in step. Thirty frames a second
    // keep the turn smooth at half the cost of a full-rate redraw of the translucent panel.
    m_rimFrames->setInterval(33);
    m_rimFrames->setTimerType(Qt::PreciseTimer);
    connect(m_rimFrames, &QTimer::timeout, this, [this] { update(); });
}

ServiceBadge::~ServiceBadge() = default;

QColor ServiceBadge::signalColour(KitSignal signal)
{
    switch (signal) {
    case KitSignal::good:
        return KitPalette::green();
    case KitSignal::attention:
        return KitPalette::orange();
    case KitSignal::bad:
        return KitPalette::red();
    case KitSignal::disconnected:
        return KitPalette::gray();
    }
    return KitPalette::gray();
}

qreal ServiceBadge::fillOpacity(const State& state, qreal drawn)
{
    if (state.isLit)
        return 0.42;
    if (state.isFresh || state.signal == KitSignal::disconnected || state.isWorking)
        return 0.18;
    return drawn < 1 ? 0.18 : 0.072;
}

qreal ServiceBadge::ringOpacity(const State& state, qreal drawn)
{
    const bool atRest
        = !state.isFresh && state.signal != KitSignal::disconnected && !state.isWorking && drawn >= 1;
    return atRest ? 0.4 : 1.0;
}

QColor ServiceBadge::arcColour(const State& state, qreal drawn)
{
    if (state.signal == KitSignal::disconnected)
        return KitPalette::gray();
    if (state.isFresh)
        return signalColour(state.signal);
    return KitPalette::withOpacity(signalColour(state.signal), drawn >= 1 ? 0.4 : 1.0);
}

qreal ServiceBadge::rimAngle(qint64 msecsSinceEpoch)
{
    // The fractional part keeps the dividend's sign, as a remainder does.
    const qreal phase = std::fmod(double(msecsSinceEpoch) / 1000.0, 1.0);
    return phase * 360.0;
}

void ServiceBadge::setState(const State& next)
{
    if (next == m_state)
        return;
    const State previous = m_state;
    m_state = next;

    if (previous.signal != next.signal) {
        // The fill fades to the new colour.
        const QColor from = m_fill;
        const QColor to = signalColour(next.signal);
        m_fillAnimation->stop();
        m_fillAnimation->disconnect(this);
        connect(m_fillAnimation, &QVariantAnimation::valueChanged, this, [this, from, to](const QVariant& v) {
            m_fill = mix(from, to, v.toReal());
            update();
        });
        m_fillAnimation->start();
        if (previous.signal == KitSignal::disconnected)
            startDrawing();
    }

    if (previous.mark != next.mark) {
        const bool hadMark = previous.mark.has_value();
        const bool hasMark = next.mark.has_value();
        if (hadMark && hasMark) {
            // A different mark replaces the face rather than recolouring it.
            m_leavingMark = previous.mark;
            m_shownMark = next.mark;
            m_swapAnimation->stop();
            m_swapAnimation->disconnect(this);
            connect(m_swapAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
                m_swapProgress = v.toReal();
                update();
            });
            m_swapAnimation->start();
        } else {
            if (hasMark)
                m_shownMark = next.mark;
            const qreal from = m_markProgress;
            const qreal to = hasMark ? 1.0 : 0.0;
            m_markAnimation->stop();
            m_markAnimation->disconnect(this);
            connect(
                m_markAnimation, &QVariantAnimation::valueChanged, this, [this, from, to](const QVariant& v) {
                    m_markProgress = from + (to - from) * v.toReal();
                    update();
                });
            m_markAnimation->start();
        }
    }

    animateLook(previous.isWorking != next.isWorking ? 250 : 350);
    updateRim();
    update();
}

void ServiceBadge::startDrawing()
{
    m_drawAnimation->stop();
    m_drawn = 0;
    m_drawnTarget = 1;
    animateLook(350);
    const quint64 generation = ++m_drawGeneration;
    QPointer<ServiceBadge> self(this);
    m_clock.after(seconds(0.04), this, [self, generation] {
        if (!self || self->m_drawGeneration != generation)
            return;
        self->m_drawAnimation->setStartValue(0.0);
        self->m_drawAnimation->setEndValue(1.0);
        self->m_drawAnimation->start();
        // The dimming that ends the drawing runs with it.
        self->animateLook(900);
    });
}

void ServiceBadge::animateLook(int msecs)
{
    const qreal drawnNow = m_drawAnimation->state() == QAbstractAnimation::Running ? m_drawnTarget : m_drawn;
    const qreal fillFrom = m_fillOpacity;
    const qreal ringFrom = m_ringOpacity;
    const qreal fillTo = fillOpacity(m_state, drawnNow);
    const qreal ringTo = ringOpacity(m_state, drawnNow);
    if (fillFrom == fillTo && ringFrom == ringTo)
        return;
    m_lookAnimation->stop();
    m_lookAnimation->disconnect(this);
    m_lookAnimation->setDuration(msecs);
    connect(m_lookAnimation, &QVariantAnimation::valueChanged, this,
        [this, fillFrom, fillTo, ringFrom, ringTo](const QVariant& v) {
            const qreal t = v.toReal();
            m_fillOpacity = fillFrom + (fillTo - fillFrom) * t;
            m_ringOpacity = ringFrom + (ringTo - ringFrom) * t;
            update();
        });
    m_lookAnimation->start();
}

void ServiceBadge::finishAnimations()
{
    for (QVariantAnimation* a :
        {m_drawAnimation, m_fillAnimation, m_lookAnimation, m_markAnimation, m_swapAnimation}) {
        if (a->state() == QAbstractAnimation::Running)
            a->setCurrentTime(a->duration());
        a->stop();
    }
    m_drawn = m_drawnTarget;
    m_fill = signalColour(m_state.signal);
    m_fillOpacity = fillOpacity(m_state, m_drawn);
    m_ringOpacity = ringOpacity(m_state, m_drawn);
    m_markProgress = m_state.mark ? 1 : 0;
    m_swapProgress = 1;
    m_leavingMark.reset();
    if (m_state.mark)
        m_shownMark = m_state.mark;
    update();
}

void ServiceBadge::updateRim()
{
    const bool turning = m_state.isWorking && isVisible();
    if (turning && !m_rimFrames->isActive())
        m_rimFrames->start();
    else if (!turning && m_rimFrames->isActive())
        m_rimFrames->stop();
}

void ServiceBadge::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    updateRim();
}

void ServiceBadge::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_rimFrames->stop();
}

void ServiceBadge::paintRingFace(QPainter& p, qreal opacity, qreal scale)
{
    if (opacity <= 0)
        return;
    p.save();
    p.setOpacity(opacity);
    const QPointF centre(side / 2.0, side / 2.0);
    p.translate(centre);
    p.scale(scale, scale);
    p.translate(-centre);

    const QRectF frame(0, 0, side, side);
    // Fill behind the logo.
    p.setPen(Qt::NoPen);
    p.setBrush(KitPalette::withOpacity(m_fill, m_fillOpacity));
    p.drawEllipse(frame);
    const qreal icon = 13;
    ServiceIcon::paint(
        p, m_service, QRectF(centre - QPointF(icon / 2, icon / 2), QSizeF(icon, icon)), KitPalette::white());

    const QRectF ring = frame.adjusted(1, 1, -1, -1);
    const QColor signal = signalColour(m_state.signal);
    QPen pen(Qt::SolidPattern, 2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    p.setBrush(Qt::NoBrush);
    if (m_state.isWorking) {
        pen.setColor(KitPalette::withOpacity(signal, 0.25));
        p.setPen(pen);
        p.drawEllipse(ring);
        pen.setColor(signal);
        pen.setCapStyle(Qt::RoundCap);
        p.setPen(pen);
        // Qt angles run counter-clockwise from three o'clock, in sixteenths of a degree.
        const qreal angle = rimAngle(m_clock.wallNow().toMSecsSinceEpoch());
        p.drawArc(ring, int((90 - angle) * 16), int(-0.32 * 360 * 16));
    } else {
        const qreal track = trackOpacity(m_drawn);
        if (track > 0) {
            pen.setColor(KitPalette::gray(track));
            p.setPen(pen);
            p.drawEllipse(ring);
        }
        if (m_drawn > 0) {
            QColor arc = arcColour(m_state, m_drawn);
            if (m_state.signal != KitSignal::disconnected && !m_state.isFresh)
                arc = KitPalette::withOpacity(signal, m_drawn < 1 ? 1.0 : m_ringOpacity);
            pen.setColor(arc);
            pen.setCapStyle(m_drawn >= 1 ? Qt::FlatCap : Qt::RoundCap);
            p.setPen(pen);
            if (m_drawn >= 1)
                p.drawEllipse(ring);
            else
                p.drawArc(ring, 90 * 16, int(-m_drawn * 360 * 16));
        }
    }
    p.restore();
}

void ServiceBadge::paintMark(QPainter& p, Mark mark, qreal opacity, qreal scale)
{
    if (opacity <= 0)
        return;
    p.save();
    p.setOpacity(std::min(1.0, opacity));
    const QPointF centre(side / 2.0, side / 2.0);
    p.translate(centre);
    p.scale(scale, scale);
    p.translate(-centre);
    const bool done = mark == Mark::done;
    paintKitSymbol(p, done ? KitSymbol::checkmarkCircleFill : KitSymbol::exclamationmarkCircleFill,
        QRectF(0, 0, side, side), KitPalette::white(), done ? KitPalette::green() : KitPalette::red());
    p.restore();
}

void ServiceBadge::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    const qreal t = std::clamp(m_markProgress, 0.0, 1.2);
    paintRingFace(p, 1.0 - std::min(1.0, t), 0.6 + 0.4 * (1.0 - std::min(1.0, t)));
    if (m_shownMark) {
        if (m_leavingMark && m_swapProgress < 1)
            paintMark(p, *m_leavingMark, (1.0 - m_swapProgress) * t, 0.3 + 0.7 * (1.0 - m_swapProgress));
        const qreal enter = m_leavingMark ? m_swapProgress : 1.0;
        paintMark(p, *m_shownMark, t * std::min(1.0, enter), 0.3 + 0.7 * t * enter);
    }
}

} // namespace brenvo
