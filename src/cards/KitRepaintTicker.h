#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace brenvo {

class Scheduler;

// Keeps a time-dependent text fresh while it is on screen: every paint arms one repaint a fixed
// time later, and that repaint happens only when the widget is still visible. A widget that is not
// painted any more lets it lapse, so nothing ticks while no card is shown.
class KitRepaintTicker : public QObject {
    Q_OBJECT
public:
    // onTick replaces the repaint (it runs only while the widget is still visible).
    KitRepaintTicker(QWidget* widget, Scheduler& clock, int seconds, std::function<void()> onTick = {});

    // Call from the widget's paint event.
    void painted();
    // Call when the widget is hidden: a pending tick then does nothing.
    void stop();
    bool isArmed() const { return m_armed; }

private:
    QPointer<QWidget> m_widget;
    Scheduler& m_clock;
    int m_seconds;
    std::function<void()> m_onTick;
    bool m_armed = false;
    quint64 m_generation = 0;
};

} // namespace brenvo
