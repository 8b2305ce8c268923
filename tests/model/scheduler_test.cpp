#include "support/ManualScheduler.h"

#include <QCoroTask>
#include <gtest/gtest.h>

using namespace brenvo;
using brenvo::test::ManualScheduler;

namespace {

QCoro::Task<> sleeper(
    Scheduler& s, Duration d, CancelToken token, std::vector<std::string>& log, std::string name)
{
    const bool full = co_await s.sleep(d, token);
    log.push_back(name + (full ? ":done" : ":cancelled"));
}

} // namespace

TEST(ManualScheduler, RunsDueStepsInOrderOfTimeThenScheduling)
{
    ManualScheduler s;
    std::vector<std::string> log;
    QObject ctx;
    s.after(seconds(2), &ctx, [&] { log.push_back("b"); });
    s.after(seconds(1), &ctx, [&] { log.push_back("a"); });
    s.after(seconds(2), &ctx, [&] { log.push_back("c"); });
    {
        QObject gone; // a step whose context is gone does not run
        s.after(seconds(1), &gone, [&] { log.push_back("gone"); });
    }
    s.advance(1.5);
    EXPECT_EQ(log, (std::vector<std::string> {"a"}));
    s.advance(0.5);
    EXPECT_EQ(log, (std::vector<std::string> {"a", "b", "c"}));
    EXPECT_EQ(s.now(), seconds(2));
}

TEST(ManualScheduler, SleepCompletesOrWakesCancelledAtNextTurn)
{
    ManualScheduler s;
    std::vector<std::string> log;
    CancelToken a, b;
    sleeper(s, seconds(5), a, log, "a");
    sleeper(s, seconds(5), b, log, "b");
    s.advance(1.0);
    b.cancel();
    EXPECT_TRUE(log.empty()) << "a cancel never resumes the canceller synchronously";
    s.runPending();
    EXPECT_EQ(log, (std::vector<std::string> {"b:cancelled"}));
    s.advance(4.0);
    EXPECT_EQ(log, (std::vector<std::string> {"b:cancelled", "a:done"}));
    EXPECT_EQ(s.pendingCount(), 0);
}

TEST(ManualScheduler, WallClockCanBeSetBackAndSecondsRound)
{
    ManualScheduler s;
    const auto start = s.wallNow();
    s.advance(10.0);
    s.shiftWallClock(seconds(-3600));
    EXPECT_EQ(start.secsTo(s.wallNow()), 10 - 3600);
    EXPECT_EQ(s.now(), seconds(10));
    EXPECT_EQ(seconds(0.35).count(), 350); // fractions round, never truncate
    EXPECT_EQ(seconds(2.6).count(), 2600);
}
