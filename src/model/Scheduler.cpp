#include "model/Scheduler.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <coroutine>
#include <memory>

namespace brenvo {

namespace {

// Awaitable that resumes once: when the timer fires or when the token is cancelled (queued, so
// that the canceller is never re-entered).
struct TimedWait {
    struct State {
        std::coroutine_handle<> handle;
        bool resumed = false;
        bool completed = false;
        QTimer* timer = nullptr;
        int callbackId = 0;
        CancelToken token;
    };

    Duration delay;
    CancelToken token;
    std::shared_ptr<State> state = std::make_shared<State>();

    bool await_ready() const noexcept { return token.isCancelled(); }

    void await_suspend(std::coroutine_handle<> handle)
    {
        state->handle = handle;
        state->token = token;
        auto* timer = new QTimer();
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        state->timer = timer;
        std::weak_ptr<State> weak = state;
        QObject::connect(timer, &QTimer::timeout, [weak]() {
            if (auto s = weak.lock())
                finish(s, true);
        });
        state->callbackId = token.onCancel([weak]() {
            QTimer::singleShot(0, [weak]() {
                if (auto s = weak.lock())
                    finish(s, false);
            });
        });
        timer->start(static_cast<int>(std::clamp<long long>(delay.count(), 0, INT32_MAX)));
    }

    bool await_resume() const noexcept { return state->completed; }

    static void finish(const std::shared_ptr<State>& s, bool completed)
    {
        if (s->resumed)
            return;
        s->resumed = true;
        s->completed = completed;
        s->token.removeCallback(s->callbackId);
        if (s->timer) {
            s->timer->stop();
            s->timer->deleteLater();
            s->timer = nullptr;
        }
        auto keep = s; // the coroutine frame owns the awaitable that owns s
        keep->handle.resume();
    }
};

} // namespace

TimerScheduler::TimerScheduler() : m_origin(std::chrono::steady_clock::now()) {}

Duration TimerScheduler::now() const
{
    return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now() - m_origin);
}

QDateTime TimerScheduler::wallNow() const { return QDateTime::currentDateTimeUtc(); }

QCoro::Task<bool> TimerScheduler::sleep(Duration d, CancelToken token)
{
    if (token.isCancelled())
        co_return false;
    // A named awaiter: GCC 12 mishandles temporaries in a co_await operand.
    TimedWait awaiter{d, token};
    const bool completed = co_await awaiter;
    co_return completed && !token.isCancelled();
}

void TimerScheduler::after(Duration d, QObject* context, std::function<void()> fn)
{
    QPointer<QObject> guard(context);
    const bool hasContext = context != nullptr;
    QTimer::singleShot(static_cast<int>(std::clamp<long long>(d.count(), 0, INT32_MAX)), Qt::PreciseTimer,
                       [guard, hasContext, fn = std::move(fn)]() {
                           if (hasContext && !guard)
                               return;
                           fn();
                       });
}

} // namespace brenvo
