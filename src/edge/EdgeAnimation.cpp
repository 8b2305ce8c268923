#include "edge/EdgeAnimation.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace brenvo {

double edgeSpringValue(double response, double dampingFraction, double t)
{
    if (response <= 0)
        return 1;
    const double omega = 2 * std::numbers::pi / response;
    const double zeta = std::clamp(dampingFraction, 0.0, 10.0);
    if (zeta < 1) {
        const double damped = omega * std::sqrt(1 - zeta * zeta);
        return 1
            - std::exp(-zeta * omega * t)
            * (std::cos(damped * t) + zeta * omega / damped * std::sin(damped * t));
    }
    // Critically damped or slower.
    return 1 - std::exp(-omega * t) * (1 + omega * t);
}

EdgeCurve EdgeCurve::spring(double response, double dampingFraction)
{
    const double omega = 2 * std::numbers::pi / std::max(response, 1e-3);
    const double decay = std::max(std::min(dampingFraction, 1.0) * omega, 1e-3);
    const double settle = std::log(1000.0) / decay;
    return EdgeCurve {[response, dampingFraction, settle](double f) {
                          return f >= 1 ? 1.0 : edgeSpringValue(response, dampingFraction, f * settle);
                      },
        settle, 0};
}

EdgeCurve EdgeCurve::easeIn(double duration)
{
    return EdgeCurve {[](double f) { return f * f * f; }, duration, 0};
}

EdgeCurve EdgeCurve::easeOut(double duration)
{
    return EdgeCurve {[](double f) { return 1 - std::pow(1 - f, 3); }, duration, 0};
}

EdgeCurve EdgeCurve::linear(double duration)
{
    return EdgeCurve {[](double f) { return f; }, duration, 0};
}

EdgeCurve EdgeCurve::none()
{
    return EdgeCurve {[](double) { return 1.0; }, 0, 0};
}

EdgeTween::EdgeTween(double value, QObject* parent)
    : QObject(parent)
    , m_value(value)
    , m_to(value)
{
    m_clock.setStartValue(0.0);
    m_clock.setEndValue(1.0);
    connect(&m_clock, &QVariantAnimation::valueChanged, this,
        [this](const QVariant&) { step(m_clock.currentTime()); });
    connect(&m_clock, &QVariantAnimation::finished, this, [this]() {
        step(m_clock.duration());
        Q_EMIT finished();
    });
}

bool EdgeTween::isRunning() const
{
    return m_clock.state() == QAbstractAnimation::Running;
}

void EdgeTween::animate(double target, const EdgeCurve& curve)
{
    const double total = curve.delay + curve.duration;
    if (total <= 0 || !curve.progress) {
        jump(target);
        return;
    }
    m_clock.stop();
    m_curve = curve;
    m_from = m_value;
    m_to = target;
    m_clock.setDuration(std::max(1, static_cast<int>(std::lround(total * 1000))));
    m_clock.start();
}

void EdgeTween::jump(double target)
{
    m_clock.stop();
    m_to = target;
    if (m_value == target)
        return;
    m_value = target;
    Q_EMIT valueChanged(m_value);
}

void EdgeTween::step(double elapsedMs)
{
    const double t = elapsedMs / 1000.0 - m_curve.delay;
    double progress = 0;
    if (t >= m_curve.duration)
        progress = 1;
    else if (t > 0 && m_curve.duration > 0)
        progress = m_curve.progress(t / m_curve.duration);
    const double value = m_from + (m_to - m_from) * progress;
    if (value == m_value)
        return;
    m_value = value;
    Q_EMIT valueChanged(m_value);
}

double EdgeMotion::progress(Duration now) const
{
    const double t = std::chrono::duration<double>(now - m_start).count() - m_curve.delay;
    if (t >= m_curve.duration)
        return 1;
    if (t <= 0 || m_curve.duration <= 0)
        return 0;
    return m_curve.progress(t / m_curve.duration);
}

double EdgeMotion::value(Duration now) const
{
    if (!m_moving)
        return m_to;
    return m_from + (m_to - m_from) * progress(now);
}

bool EdgeMotion::isMoving(Duration now) const
{
    return m_moving
        && std::chrono::duration<double>(now - m_start).count() < m_curve.delay + m_curve.duration;
}

void EdgeMotion::animate(double target, const EdgeCurve& curve, Duration now)
{
    if (target == m_to)
        return;
    if (curve.delay + curve.duration <= 0 || !curve.progress) {
        jump(target);
        return;
    }
    m_from = value(now);
    m_to = target;
    m_curve = curve;
    m_start = now;
    m_moving = true;
}

void EdgeMotion::jump(double target)
{
    m_from = target;
    m_to = target;
    m_moving = false;
}

EdgeFrames::EdgeFrames(Scheduler& clock, QObject* context, std::function<bool()> step)
    : m_clock(clock)
    , m_context(context)
    , m_step(std::move(step))
{
}

void EdgeFrames::wake()
{
    if (m_armed)
        return;
    m_armed = true;
    const quint64 generation = ++m_generation;
    // The context owns this object: while it lives, so does this.
    m_clock.after(interval, m_context, [this, generation]() {
        if (generation != m_generation)
            return;
        m_armed = false;
        if (m_step && m_step())
            wake();
    });
}

void EdgeFrames::stop()
{
    ++m_generation;
    m_armed = false;
}

} // namespace brenvo
