#include "support/ManualScheduler.h"

#include <algorithm>

namespace brenvo::test {

ManualScheduler::ManualScheduler(QDateTime wallStart) : m_wallStart(std::move(wallStart)) {}

void ManualScheduler::schedule(Duration due, std::function<void()> fn, std::shared_ptr<bool> live)
{
    m_entries.push_back(Entry{due, m_seq++, std::move(fn), std::move(live)});
}

struct ManualSleep {
    ManualScheduler* scheduler;
    Duration delay;
    CancelToken token;
    struct State {
        bool resumed = false;
        bool completed = false;
        int callbackId = 0;
    };
    std::shared_ptr<State> state = std::make_shared<State>();

    bool await_ready() const noexcept { return token.isCancelled(); }
    void await_suspend(std::coroutine_handle<> handle)
    {
        auto s = state;
        auto live = std::make_shared<bool>(true);
        auto* sched = scheduler;
        auto tok = token;
        auto finish = [s, handle, tok](bool completed) mutable {
            if (s->resumed)
                return;
            s->resumed = true;
            s->completed = completed;
            tok.removeCallback(s->callbackId);
            handle.resume();
        };
        scheduler->schedule(scheduler->now() + delay, [finish]() mutable { finish(true); }, live);
        state->callbackId = token.onCancel([sched, finish, live]() mutable {
            *live = false;
            sched->schedule(sched->now(), [finish]() mutable { finish(false); }, nullptr);
        });
    }
    bool await_resume() const noexcept { return state->completed; }
};

QCoro::Task<bool> ManualScheduler::sleep(Duration d, CancelToken token)
{
    if (token.isCancelled())
        co_return false;
    // A named awaiter: GCC 12 mishandles temporaries in a co_await operand.
    ManualSleep awaiter{this, d, token};
    const bool completed = co_await awaiter;
    co_return completed && !token.isCancelled();
}

void ManualScheduler::after(Duration d, QObject* context, std::function<void()> fn)
{
    QPointer<QObject> guard(context);
    const bool hasContext = context != nullptr;
    schedule(m_now + std::max(d, Duration(0)), [guard, hasContext, fn = std::move(fn)]() {
        if (hasContext && !guard)
            return;
        fn();
    }, nullptr);
}

void ManualScheduler::advance(Duration d)
{
    const Duration target = m_now + std::max(d, Duration(0));
    for (;;) {
        std::erase_if(m_entries, [](const Entry& e) { return e.live && !*e.live; });
        auto next = std::min_element(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) {
            return a.due != b.due ? a.due < b.due : a.seq < b.seq;
        });
        if (next == m_entries.end() || next->due > target)
            break;
        Entry entry = std::move(*next);
        m_entries.erase(next);
        m_now = std::max(m_now, entry.due);
        entry.fn();
    }
    m_now = target;
}

int ManualScheduler::pendingCount() const
{
    return static_cast<int>(std::count_if(m_entries.begin(), m_entries.end(),
                                          [](const Entry& e) { return !e.live || *e.live; }));
}

Duration ManualScheduler::nextDue() const
{
    Duration best(-1);
    for (const auto& e : m_entries)
        if ((!e.live || *e.live) && (best.count() < 0 || e.due < best))
            best = e.due;
    return best;
}

} // namespace brenvo::test
