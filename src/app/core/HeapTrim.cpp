#include "app/core/HeapTrim.h"

#include <malloc.h>

namespace brenvo {

HeapTrim::HeapTrim(Scheduler& scheduler, QObject* parent)
    : QObject(parent)
    , m_scheduler(scheduler)
{
}

void HeapTrim::soon()
{
    if (m_pending)
        return;
    m_pending = true;
    m_scheduler.after(seconds(2), this, [this]() {
        m_pending = false;
        now();
    });
}

void HeapTrim::now()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

void HeapTrim::limitArenas()
{
#ifdef __GLIBC__
    mallopt(M_ARENA_MAX, 1);
#endif
}

} // namespace brenvo
