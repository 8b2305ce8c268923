#include "model/Scheduler.h"

#include <QCoroTask>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace brenvo;

namespace {
QCoro::Task<bool> sleepFor(TimerScheduler& s, Duration d, CancelToken t)
{
    co_return co_await s.sleep(d, t);
}
} // namespace

TEST(TimerScheduler, SleepEndsEarlyWhenCancelled)
{
    TimerScheduler s;
    CancelToken token;
    QElapsedTimer clock;
    clock.start();
    auto task = sleepFor(s, std::chrono::seconds(30), token);
    QTimer::singleShot(20, [&] { token.cancel(); });
    const bool full = QCoro::waitFor(std::move(task));
    EXPECT_FALSE(full);
    EXPECT_LT(clock.elapsed(), 5000);
}

TEST(TimerScheduler, SleepCompletes)
{
    TimerScheduler s;
    EXPECT_TRUE(QCoro::waitFor(sleepFor(s, Duration(10), CancelToken())));
}
