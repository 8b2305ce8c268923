#pragma once

#include "model/CancelToken.h"

#include <QCoroTask>
#include <QDateTime>
#include <QObject>

#include <chrono>
#include <functional>

namespace brenvo {

using Duration = std::chrono::milliseconds;

// Every delay of the application goes through this seam: production uses precise single-shot
// timers, tests a manual scheduler on virtual time.
class Scheduler {
public:
    virtual ~Scheduler() = default;

    // Monotonic time since an arbitrary origin; never goes back.
    virtual Duration now() const = 0;

    // Wall-clock time, for ages and dates shown to the user. May jump.
    virtual QDateTime wallNow() const = 0;

    // Suspends for d. Resumes early, on a later turn of the loop, when the token is cancelled.
    // Returns true when the full time passed, false when cancelled.
    virtual QCoro::Task<bool> sleep(Duration d, CancelToken token) = 0;

    // Runs fn after d, unless context is gone by then. Fire and forget.
    virtual void after(Duration d, QObject* context, std::function<void()> fn) = 0;

    // Runs fn on the next turn of the loop, unless context is gone by then.
    void nextTurn(QObject* context, std::function<void()> fn) { after(Duration(0), context, std::move(fn)); }
};

// Seconds as a Duration, for the many fractional delays of the panel (0.35 s, 2.6 s).
constexpr Duration seconds(double s) { return Duration(static_cast<long long>(s * 1000.0 + (s >= 0 ? 0.5 : -0.5))); }

class TimerScheduler final : public Scheduler {
public:
    TimerScheduler();
    Duration now() const override;
    QDateTime wallNow() const override;
    QCoro::Task<bool> sleep(Duration d, CancelToken token) override;
    void after(Duration d, QObject* context, std::function<void()> fn) override;

private:
    std::chrono::steady_clock::time_point m_origin;
};

} // namespace brenvo
