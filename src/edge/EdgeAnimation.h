#pragma once

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

} // namespace brenvo
