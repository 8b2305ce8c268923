#pragma once

#include "model/Scheduler.h"

#include <QObject>
#include <QVariantAnimation>

#include <functional>

namespace brenvo {

// An easing from 0 to 1 over a duration; a spring may overshoot 1 before it settles.
struct EdgeCurve {
    std::function<double(double)> progress; // of the elapsed fraction, 0…1
    double duration = 0; // seconds
    double delay = 0; // seconds

    // A damped spring from its response (period of the undamped spring) and damping fraction, run
    // until it stays within a thousandth of its target.
    static EdgeCurve spring(double response, double dampingFraction);
    static EdgeCurve easeIn(double duration);
    static EdgeCurve easeOut(double duration);
    static EdgeCurve linear(double duration);
    static EdgeCurve none();

    EdgeCurve delayed(double seconds) const
    {
        EdgeCurve curve = *this;
        curve.delay = seconds;
        return curve;
    }
};

// Position of a damped spring released at 0 towards 1, t seconds later.
double edgeSpringValue(double response, double dampingFraction, double t);

// One animated number of a view: moves from its present value to a target along a curve.
class EdgeTween : public QObject {
    Q_OBJECT
public:
    explicit EdgeTween(double value = 0, QObject* parent = nullptr);

    double value() const { return m_value; }
    double target() const { return m_to; }
    bool isRunning() const;
    // Animates towards target; with no duration, jumps there.
    void animate(double target, const EdgeCurve& curve);
    void jump(double target);

Q_SIGNALS:
    void valueChanged(double value);
    void finished();

private:
    void step(double elapsedMs);

    QVariantAnimation m_clock;
    EdgeCurve m_curve;
    double m_value;
    double m_from = 0;
    double m_to = 0;
};

// One animated number on a clock's time. It is worked out whenever it is read and keeps no timer:
// whoever draws it asks for frames while it moves (EdgeFrames).
class EdgeMotion {
public:
    explicit EdgeMotion(double value = 0)
        : m_from(value)
        , m_to(value)
    {
    }

    double value(Duration now) const;
    double target() const { return m_to; }
    bool isMoving(Duration now) const;
    // From its value now towards target; with no duration, jumps there.
    void animate(double target, const EdgeCurve& curve, Duration now);
    void jump(double target);

private:
    double progress(Duration now) const;

    double m_from;
    double m_to;
    EdgeCurve m_curve;
    Duration m_start {0};
    bool m_moving = false;
};

// Frames on a clock while something moves: each frame runs a step that says whether to go on, and
// no frame is waited for once everything is still.
class EdgeFrames {
public:
    static constexpr Duration interval {16};

    // The step runs only while context lives; this object must not outlive it.
    EdgeFrames(Scheduler& clock, QObject* context, std::function<bool()> step);

    Scheduler& clock() const { return m_clock; }
    // Arms the next frame unless one is waited for already.
    void wake();
    void stop();
    bool isRunning() const { return m_armed; }

private:
    Scheduler& m_clock;
    QObject* m_context;
    std::function<bool()> m_step;
    bool m_armed = false;
    quint64 m_generation = 0;
};

} // namespace brenvo
