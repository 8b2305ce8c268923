#pragma once

#include "model/Scheduler.h"

#include <QObject>

namespace brenvo {

// Hands the heap's free pages back to the system a while after a burst of work (start-up, a
// refresh), so that an idle program keeps only what it uses. Requests within the pause coalesce.
class HeapTrim final : public QObject {
public:
    explicit HeapTrim(Scheduler& scheduler, QObject* parent = nullptr);

    void soon();
    static void now();
    // Fewer heaps for the few threads Qt starts: each keeps its own free pages otherwise.
    static void limitArenas();

private:
    Scheduler& m_scheduler;
    bool m_pending = false;
};

} // namespace brenvo
