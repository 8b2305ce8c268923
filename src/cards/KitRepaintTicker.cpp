#include "cards/KitRepaintTicker.h"

#include "model/Scheduler.h"

namespace brenvo {

KitRepaintTicker::KitRepaintTicker(
    QWidget* widget, Scheduler& clock, int seconds, std::function<void()> onTick)
    : QObject(widget)
    , m_widget(widget)
    , m_clock(clock)
    , m_seconds(seconds)
    , m_onTick(std::move(onTick))
{
}

void KitRepaintTicker::painted()
{
    if (m_armed)
        return;
    m_armed = true;
    const quint64 generation = ++m_generation;
    QPointer<KitRepaintTicker> self(this);
    m_clock.after(brenvo::seconds(m_seconds), this, [self, generation] {
        if (!self || self->m_generation != generation)
            return;
        self->m_armed = false;
        QWidget* w = self->m_widget;
        if (!w || !w->isVisible() || w->visibleRegion().isEmpty())
            return;
        if (self->m_onTick)
            self->m_onTick();
        w->update();
    });
}

void KitRepaintTicker::stop()
{
    ++m_generation;
    m_armed = false;
}

} // namespace brenvo
