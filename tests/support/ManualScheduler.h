#pragma once

#include "model/Scheduler.h"

#include <QPointer>

#include <coroutine>
#include <memory>
#include <vector>

namespace brenvo::test {

// Virtual time: nothing runs until the test calls advance(). Due steps run in order of their due
// time, ties in the order they were scheduled. A cancelled sleep wakes at the next advance().
class ManualScheduler final : public Scheduler {
public:
    explicit ManualScheduler(QDateTime wallStart = QDateTime(QDate(2026, 3, 14), QTime(12, 0), Qt::UTC));

    Duration now() const override { return m_now; }
    QDateTime wallNow() const override { return m_wallStart.addMSecs(m_now.count() + m_wallOffset.count()); }
    QCoro::Task<bool> sleep(Duration d, CancelToken token) override;
    void after(Duration d, QObject* context, std::function<void()> fn) override;

    // Moves virtual time forward by d, running every step that falls due on the way.
    void advance(Duration d);
    void advance(double secondsValue) { advance(brenvo::seconds(secondsValue)); }
    // Runs what is due now (next-turn steps, woken sleeps) without moving time.
    void runPending() { advance(Duration(0)); }

    // Sets the wall clock back or forward without moving monotonic time (a user changing the clock).
    void shiftWallClock(Duration d) { m_wallOffset += d; }

    // Steps still waiting (sleeps and delayed calls).
    int pendingCount() const;
    // Time of the next waiting step, or -1 ms when none.
    Duration nextDue() const;

private:
    struct Entry {
        Duration due;
        long long seq;
        std::function<void()> fn;
        std::shared_ptr<bool> live; // cleared when a sleep is woken another way
    };
    friend struct ManualSleep;
    void schedule(Duration due, std::function<void()> fn, std::shared_ptr<bool> live);

    Duration m_now {0};
    Duration m_wallOffset {0};
    QDateTime m_wallStart;
    long long m_seq = 0;
    std::vector<Entry> m_entries;
};

} // namespace brenvo::test
