#include "cards/ServiceBadge.h"

#include "cards/KitPalette.h"
#include "cards/KitSymbols.h"
#include "cards/ServiceIcon.h"
#include "model/Scheduler.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScreen>
#include <QVariantAnimation>
#include <QWindow>

#include <algorithm>
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
        redraw();
    });
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
    return std::floor(phase * rimSteps) * (360.0 / rimSteps);
}

Duration ServiceBadge::rimFrameDelay(qint64 msecsSinceEpoch)
{
    // To the next step of the wall clock's turn, so that every rim moves on the same tick.
    const qint64 within = ((msecsSinceEpoch % 1000) + 1000) % 1000;
    const qint64 step = within * rimSteps / 1000;
    const qint64 next = ((step + 1) * 1000 + rimSteps - 1) / rimSteps;
    return Duration(std::max<qint64>(1, next - within));
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
            redraw();
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
                redraw();
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
                    redraw();
                });
            m_markAnimation->start();
        }
    }

    State lit = previous;
    lit.isLit = next.isLit;
    if (lit == next) // lit or unlit alone: a quick ease out
        animateLook(150, QEasingCurve::OutCubic);
    else
        animateLook(previous.isWorking != next.isWorking ? 250 : 350);
    redraw();
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

void ServiceBadge::animateLook(int msecs, const QEasingCurve& curve)
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
    m_lookAnimation->setEasingCurve(curve);
    connect(m_lookAnimation, &QVariantAnimation::valueChanged, this,
        [this, fillFrom, fillTo, ringFrom, ringTo](const QVariant& v) {
            const qreal t = v.toReal();
            m_fillOpacity = fillFrom + (fillTo - fillFrom) * t;
            m_ringOpacity = ringFrom + (ringTo - ringFrom) * t;
            redraw();
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
    redraw();
}

namespace {

ServiceBadge::SleepTest& sleepTest()
{
    static ServiceBadge::SleepTest test;
    return test;
}

} // namespace

void ServiceBadge::setSleepTest(SleepTest test)
{
    sleepTest() = std::move(test);
}

bool ServiceBadge::isAsleep(const QScreen* screen)
{
    return sleepTest() && sleepTest()(screen);
}

void ServiceBadge::redraw()
{
    m_face = QImage();
    update();
}

ServiceBadge::RimSight ServiceBadge::rimSight() const
{
    if (!m_state.isWorking || !isVisible() || visibleRegion().isEmpty())
        return RimSight::unseen;
    // Tucked away the strip lies outside its window; a window may be unmapped or off every screen.
    const QWidget* top = window();
    const QWindow* handle = top ? top->windowHandle() : nullptr;
    if (!handle || !handle->isExposed())
        return RimSight::unseen;
    const QRect onScreen(mapToGlobal(QPoint(0, 0)), size());
    const QList<QScreen*> screens = QGuiApplication::screens();
    const auto showing = std::find_if(screens.cbegin(), screens.cend(),
        [&](const QScreen* screen) { return screen->geometry().intersects(onScreen); });
    if (showing == screens.cend())
        return RimSight::unseen;
    return isAsleep(*showing) ? RimSight::asleep : RimSight::seen;
}

void ServiceBadge::armRimFrame(std::optional<Duration> delay)
{
    if (m_rimArmed)
        return;
    m_rimArmed = true;
    const quint64 generation = ++m_rimGeneration;
    QPointer<ServiceBadge> self(this);
    // Only a rim that was painted asks for its next frame, and the frame is painted only where it
    // can be seen: a rim that cannot be seen lets its frames lapse until it is painted again. A
    // sleeping display does not repaint when it wakes, so it is looked at again now and then.
    m_clock.after(
        delay.value_or(rimFrameDelay(m_clock.wallNow().toMSecsSinceEpoch())), this, [self, generation] {
            if (!self || self->m_rimGeneration != generation)
                return;
            self->m_rimArmed = false;
            switch (self->rimSight()) {
            case RimSight::seen:
                self->update(); // the rim's own square: the face below it is a cached picture
                break;
            case RimSight::asleep:
                self->armRimFrame(seconds(2));
                break;
            case RimSight::unseen:
                break;
            }
        });
}

void ServiceBadge::stopRim()
{
    ++m_rimGeneration;
    m_rimArmed = false;
}

void ServiceBadge::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    update();
}

void ServiceBadge::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    stopRim();
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
        // The turning arc goes over this, from its own pictures.
        pen.setColor(KitPalette::withOpacity(signal, 0.25));
        p.setPen(pen);
        p.drawEllipse(ring);
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

void ServiceBadge::paintFaces(QPainter& p)
{
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

QImage ServiceBadge::picture(qreal ratio, const std::function<void(QPainter&)>& paint)
{
    QImage image(QSize(side, side) * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    // Qt's raster engine hands a fill of many spans to its thread pool, waking a thread per slice
    // on every frame. Painted a few pixel rows at a time, each fill stays small and on this thread.
    const int rows = 6;
    for (int top = 0; top < image.height(); top += rows) {
        QPainter p(&image);
        p.setClipRect(QRectF(0, top / ratio, side, rows / ratio));
        paint(p);
    }
    return image;
}

const QImage& ServiceBadge::rimPicture(const QColor& colour, int step, qreal ratio)
{
    static QHash<QString, QImage> pictures;
    const QString key = QStringLiteral("%1/%2/%3").arg(colour.rgba()).arg(step).arg(ratio);
    auto it = pictures.find(key);
    if (it == pictures.end()) {
        it = pictures.insert(key, picture(ratio, [&](QPainter& p) {
            p.setRenderHint(QPainter::Antialiasing, true);
            QPen pen(colour, 2, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin);
            pen.setMiterLimit(10);
            p.setPen(pen);
            // Qt angles run counter-clockwise from three o'clock, in sixteenths of a degree.
            const qreal angle = step * (360.0 / rimSteps);
            p.drawArc(QRectF(1, 1, side - 2, side - 2), int((90 - angle) * 16), int(-0.32 * 360 * 16));
        }));
    }
    return *it;
}

void ServiceBadge::paintEvent(QPaintEvent*)
{
    const qreal ratio = devicePixelRatioF();
    if (m_face.isNull() || m_face.devicePixelRatio() != ratio)
        m_face = picture(ratio, [this](QPainter& p) { paintFaces(p); });
    QPainter p(this);
    p.drawImage(QPointF(0, 0), m_face);

    const qreal t = std::clamp(m_markProgress, 0.0, 1.0);
    if (!m_state.isWorking || t >= 1)
        return;
    // The rim turns with the ring face, as it grows and fades for a mark.
    const qreal scale = 0.6 + 0.4 * (1.0 - t);
    const QPointF centre(side / 2.0, side / 2.0);
    p.setOpacity(1.0 - t);
    p.translate(centre);
    p.scale(scale, scale);
    p.translate(-centre);
    const int step = int(std::lround(rimAngle(m_clock.wallNow().toMSecsSinceEpoch()) * rimSteps / 360.0));
    p.drawImage(QPointF(0, 0), rimPicture(signalColour(m_state.signal), step % rimSteps, ratio));
    armRimFrame();
}

} // namespace brenvo
