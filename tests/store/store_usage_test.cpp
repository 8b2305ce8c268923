#include "StoreFixture.h"

using namespace brenvo;
using namespace brenvo::test;

namespace {

constexpr auto claude = KitService::claude;

class Usage : public StoreTest {
protected:
    void SetUp() override
    {
        enableAll();
        build();
        claudeSpend->figures = {UsageSpend {
            QStringLiteral("today"), QStringLiteral("Today"), 3.42, QStringLiteral("USD"), 1240000}};
    }
    UsageReport report(double five, double week, std::optional<QString> plan = std::nullopt) const
    {
        UsageReport r;
        r.meters
            = {UsageMeter {QStringLiteral("five_hour"), QStringLiteral("5-hour limit"), five, ago(-3600)},
                UsageMeter {QStringLiteral("seven_day"), QStringLiteral("Weekly limit"), week, ago(-86400)}};
        r.plan = std::move(plan);
        r.asOf = ago(0);
        return r;
    }
    KitConnection plan() const { return store->planConnections().value(claude); }
    KitConnection api() const { return store->apiConnections().value(claude); }
    void load() { finish(store->refreshUsage(claude)); }
};

TEST_F(Usage, ThePlanHalfStoresLogsAndMarksReports)
{
    claudeUsage->connected = true;
    load(); // nothing to report yet
    EXPECT_FALSE(store->snapshot().usage.contains(claude));
    EXPECT_EQ(plan(), connected());
    EXPECT_EQ(conn(claude), connected());

    LogLines log;
    claudeUsage->answer = report(0.629, 0.34);
    load();
    EXPECT_EQ(store->usageReport(claude), claudeUsage->answer);
    EXPECT_EQ(log.info(), QStringList {"Claude reports 5-hour limit 62%, Weekly limit 34% on plan unnamed"});
    EXPECT_FALSE(store->unseen().contains(claude)); // the first report never marks

    QSignalSpy changed(store.get(), &DevKitStore::snapshotChanged);
    load(); // the same report: nothing
    EXPECT_EQ(changed.count(), 0);
    claudeUsage->answer = report(0.95, 0.34); // other figures, same names and plan: not logged
    load();
    EXPECT_EQ(log.info().size(), 1);
    EXPECT_TRUE(store->unseen().contains(claude)); // good turned bad
    claudeUsage->answer = report(0.95, 0.34, QStringLiteral("Max"));
    load();
    EXPECT_EQ(
        log.info().last(), QStringLiteral("Claude reports 5-hour limit 95%, Weekly limit 34% on plan Max"));

    // A failing report keeps the last one.
    claudeUsage->reportError
        = std::make_exception_ptr(UsageFailure(QStringLiteral("Claude Code is not signed in.")));
    load();
    EXPECT_EQ(plan(), KitConnection::failing(QStringLiteral("Claude Code is not signed in.")));
    EXPECT_TRUE(store->usageReport(claude));
    // A source no longer set up: a connected half goes, a failing one stays.
    claudeUsage->connected = false;
    load();
    EXPECT_EQ(plan().kind(), KitConnection::Kind::failing);
    claudeUsage->connected = true;
    claudeUsage->reportError = nullptr;
    load();
    claudeUsage->connected = false;
    load();
    EXPECT_FALSE(store->planConnections().contains(claude));
}

TEST_F(Usage, SpendIsAskedAtMostEveryFiveMinutes)
{
    secrets.items.insert(secretKeyOf(claude), QStringLiteral("admin-key-not-real"));
    store->start();
    EXPECT_EQ(claudeSpend->keys.size(), 1);
    EXPECT_EQ(claudeSpend->dates.value(0), scheduler.wallNow());
    EXPECT_EQ(store->snapshot().spend.value(claude), claudeSpend->figures);
    EXPECT_EQ(api(), connected());
    claudeSpend->error = std::make_exception_ptr(ServiceFailure::rejected());
    scheduler.advance(295);
    EXPECT_EQ(claudeSpend->keys.size(), 1);
    EXPECT_EQ(api(), connected());
    scheduler.advance(5);
    EXPECT_EQ(claudeSpend->keys.size(), 2);
    EXPECT_EQ(api(), KitConnection::rejected()); // and it waits 300 s as well
    EXPECT_EQ(store->snapshot().spend.value(claude), claudeSpend->figures);
    scheduler.advance(295);
    EXPECT_EQ(claudeSpend->keys.size(), 2);

    // A clock set back does not stop the asking for hours.
    claudeSpend->error = nullptr;
    scheduler.shiftWallClock(std::chrono::hours(-2));
    scheduler.advance(5);
    EXPECT_EQ(claudeSpend->keys.size(), 3);
    EXPECT_EQ(api(), connected());

    // A key removed elsewhere: a connected half goes at the next refresh.
    secrets.items.remove(secretKeyOf(claude));
    scheduler.advance(5);
    EXPECT_FALSE(store->apiConnections().contains(claude));
}

TEST_F(Usage, TheHalvesFoldIntoOneConnection)
{
    claudeUsage->connected = true;
    claudeUsage->reportError = std::make_exception_ptr(UsageFailure(QStringLiteral("No limits yet.")));
    secrets.items.insert(secretKeyOf(claude), QStringLiteral("admin-key-not-real"));
    load();
    EXPECT_EQ(conn(claude), connected()); // a working half wins
    store->disconnectUsage(claude);
    claudeSpend->error = std::make_exception_ptr(ServiceFailure::rejected());
    store->disconnectAPIUsage(claude);
    finish(store->connectAPIUsage(claude, QStringLiteral("admin-key-not-real")));
    EXPECT_EQ(conn(claude), KitConnection::rejected()); // the plan half absent
    claudeUsage->hold("connect");
    auto connecting = store->connectUsage(claude);
    EXPECT_EQ(conn(claude), KitConnection::connecting()); // the plan half before the API half
    claudeUsage->release("connect");
    finish(std::move(connecting));
}

TEST_F(Usage, ConnectingThePlanHalf)
{
    store->start();
    LogLines log;
    claudeUsage->answer = report(0.1, 0.2);
    finish(store->connectUsage(claude));
    EXPECT_EQ(log.info().value(0), QStringLiteral("Connected to Claude"));
    EXPECT_EQ(claudeUsage->reports, 1);
    EXPECT_TRUE(store->isPolling(claude));
    scheduler.advance(1);
    EXPECT_TRUE(store->celebrating().contains(claude));
    EXPECT_EQ(claudeUsage->reports, 1);
    scheduler.advance(4);
    EXPECT_EQ(claudeUsage->reports, 2);

    // A failed connect starts nothing.
    store->disconnect(claude);
    claudeUsage->connectError
        = std::make_exception_ptr(UsageFailure(QStringLiteral("Claude Code is not installed.")));
    finish(store->connectUsage(claude));
    EXPECT_EQ(conn(claude), KitConnection::failing(QStringLiteral("Claude Code is not installed.")));
    EXPECT_FALSE(store->isPolling(claude));

    // A disconnect while the source is set up wins: the source is undone again.
    claudeUsage->connectError = nullptr;
    claudeUsage->hold("connect");
    auto connecting = store->connectUsage(claude);
    store->disconnect(claude);
    claudeUsage->release("connect");
    finish(std::move(connecting));
    EXPECT_FALSE(claudeUsage->isConnected());
    EXPECT_FALSE(store->isPolling(claude));
    EXPECT_EQ(conn(claude), KitConnection::notConnected());
}

TEST_F(Usage, ConnectingTheAPIHalf)
{
    store->start();
    DevKitStore sample(preferences, secrets, scheduler, true, {});
    finish(sample.connectAPIUsage(claude, QStringLiteral("admin-key-not-real")));
    finish(store->connectAPIUsage(claude, QString()));
    EXPECT_TRUE(claudeSpend->keys.isEmpty());

    LogLines log;
    finish(store->connectAPIUsage(claude, QStringLiteral("admin-key-not-real")));
    EXPECT_EQ(secrets.items.value(secretKeyOf(claude)), QStringLiteral("admin-key-not-real"));
    EXPECT_EQ(log.info(), QStringList {"Connected to the API usage of Claude"});
    EXPECT_EQ(store->snapshot().spend.value(claude), claudeSpend->figures);
    EXPECT_TRUE(store->isPolling(claude));
    scheduler.advance(5);
    EXPECT_EQ(claudeSpend->keys.size(), 1); // the connect counted as an ask

    // A new key after a disconnect is asked at once.
    store->disconnectAPIUsage(claude);
    EXPECT_FALSE(secrets.items.contains(secretKeyOf(claude)));
    EXPECT_FALSE(store->snapshot().spend.contains(claude));
    finish(store->connectAPIUsage(claude, QStringLiteral("admin-key-not-real")));
    EXPECT_EQ(claudeSpend->keys.size(), 2);

    // A disconnect while the key is tried: the key is not kept.
    claudeSpend->hold("spend");
    store->disconnectAPIUsage(claude);
    auto connecting = store->connectAPIUsage(claude, QStringLiteral("other-key-not-real"));
    store->disconnectAPIUsage(claude);
    claudeSpend->release("spend");
    finish(std::move(connecting));
    EXPECT_FALSE(secrets.items.contains(secretKeyOf(claude)));
    EXPECT_FALSE(store->apiConnections().contains(claude));
}

TEST_F(Usage, AHalfDisconnectedWhileItsRefreshWaitsStaysDisconnected)
{
    claudeUsage->connected = true;
    claudeUsage->answer = report(0.1, 0.2);
    secrets.items.insert(secretKeyOf(claude), QStringLiteral("admin-key-not-real"));
    claudeUsage->hold("report");
    auto planWaiting = store->refreshUsage(claude);
    store->disconnectUsage(claude);
    claudeUsage->release("report");
    finish(std::move(planWaiting));
    EXPECT_FALSE(store->snapshot().usage.contains(claude));
    EXPECT_FALSE(store->planConnections().contains(claude));
    EXPECT_EQ(api(), connected()); // the other half went on

    claudeUsage->connected = true;
    claudeUsage->letThrough("report");
    store->disconnectAPIUsage(claude);
    secrets.items.insert(secretKeyOf(claude), QStringLiteral("admin-key-not-real"));
    claudeSpend->hold("spend");
    auto apiWaiting = store->refreshUsage(claude);
    store->disconnectAPIUsage(claude);
    claudeSpend->release("spend");
    finish(std::move(apiWaiting));
    EXPECT_FALSE(store->snapshot().spend.contains(claude));
    EXPECT_FALSE(store->apiConnections().contains(claude));
    EXPECT_EQ(plan(), connected());
}

} // namespace
