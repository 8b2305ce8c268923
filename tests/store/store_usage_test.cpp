#include "StoreFixture.h"

using namespace brenvo;
using namespace brenvo::test;

namespace {

const QString adminKey = u"admin-key-not-real"_s;

class Usage : public StoreTest {
protected:
    void SetUp() override
    {
        buildEnabled();
        claudeSpend->figures = {UsageSpend {u"today"_s, u"Today"_s, 3.42, u"USD"_s, 1240000}};
    }
    UsageReport report(double five, double week, std::optional<QString> plan = std::nullopt) const
    {
        UsageReport r;
        r.meters = {UsageMeter {u"five_hour"_s, u"5-hour limit"_s, five, ago(-3600)},
            UsageMeter {u"seven_day"_s, u"Weekly limit"_s, week, ago(-86400)}};
        r.plan = std::move(plan);
        r.asOf = ago(0);
        return r;
    }
    KitConnection plan() const { return store->planConnections().value(claudeKit); }
    KitConnection api() const { return store->apiConnections().value(claudeKit); }
    bool hasSpend() const { return store->snapshot().spend.contains(claudeKit); }
    void load() { finish(store->refreshUsage(claudeKit)); }
};

TEST_F(Usage, ThePlanHalfStoresLogsAndMarksReports)
{
    claudeUsage->connected = true;
    load(); // nothing to report yet
    EXPECT_FALSE(store->snapshot().usage.contains(claudeKit));
    EXPECT_EQ(conn(claudeKit), connected());

    LogLines log;
    claudeUsage->answer = report(0.629, 0.34);
    load();
    EXPECT_EQ(store->usageReport(claudeKit), claudeUsage->answer);
    EXPECT_EQ(log.info(), QStringList {"Claude reports 5-hour limit 62%, Weekly limit 34% on plan unnamed"});
    EXPECT_FALSE(unseen(claudeKit)); // the first report never marks
    QSignalSpy changed(store.get(), &DevKitStore::snapshotChanged);
    load(); // the same report: nothing
    EXPECT_EQ(changed.count(), 0);
    claudeUsage->answer = report(0.95, 0.34); // other figures, same names and plan: not logged
    load();
    EXPECT_EQ(log.info().size(), 1);
    EXPECT_TRUE(unseen(claudeKit)); // good turned bad
    claudeUsage->answer = report(0.95, 0.34, u"Max"_s);
    load();
    EXPECT_EQ(log.info().last(), u"Claude reports 5-hour limit 95%, Weekly limit 34% on plan Max"_s);

    // A failing report keeps the last one.
    claudeUsage->reportError = fail(UsageFailure(u"Claude Code is not signed in."_s));
    load();
    EXPECT_EQ(plan(), C::failing(u"Claude Code is not signed in."_s));
    EXPECT_TRUE(store->usageReport(claudeKit));
    // A source no longer set up: a connected half goes, a failing one stays.
    claudeUsage->connected = false;
    load();
    EXPECT_EQ(plan().kind(), C::Kind::failing);
    claudeUsage->connected = true;
    claudeUsage->reportError = nullptr;
    load();
    claudeUsage->connected = false;
    load();
    EXPECT_FALSE(store->planConnections().contains(claudeKit));
}

TEST_F(Usage, SpendIsAskedAtMostEveryFiveMinutes)
{
    storeToken(claudeKit, adminKey);
    store->start();
    EXPECT_EQ(claudeSpend->dates, QList<QDateTime> {scheduler.wallNow()});
    EXPECT_EQ(api(), connected());
    claudeSpend->error = rejected();
    scheduler.advance(295);
    EXPECT_EQ(claudeSpend->keys.size(), 1);
    scheduler.advance(5);
    EXPECT_EQ(claudeSpend->keys.size(), 2);
    EXPECT_EQ(api(), C::rejected()); // and it waits 300 s as well
    EXPECT_EQ(store->snapshot().spend.value(claudeKit), claudeSpend->figures);
    scheduler.advance(295);
    EXPECT_EQ(claudeSpend->keys.size(), 2);
    // A clock set back does not stop the asking for hours.
    claudeSpend->error = nullptr;
    scheduler.shiftWallClock(std::chrono::hours(-2));
    scheduler.advance(5);
    EXPECT_EQ(claudeSpend->keys.size(), 3);
    EXPECT_EQ(api(), connected());
    // A key removed elsewhere: a connected half goes at the next refresh.
    secrets.items.remove(KitService(claudeKit).secretKey());
    scheduler.advance(5);
    EXPECT_FALSE(store->apiConnections().contains(claudeKit));
}

TEST_F(Usage, TheHalvesFoldIntoOneConnection)
{
    claudeUsage->connected = true;
    claudeUsage->reportError = fail(UsageFailure(u"No limits yet."_s));
    storeToken(claudeKit, adminKey);
    load();
    EXPECT_EQ(conn(claudeKit), connected()); // a working half wins
    store->disconnectUsage(claudeKit);
    claudeSpend->error = rejected();
    store->disconnectAPIUsage(claudeKit);
    finish(store->connectAPIUsage(claudeKit, adminKey));
    EXPECT_EQ(conn(claudeKit), C::rejected()); // the plan half absent
    claudeUsage->hold("connect");
    auto connecting = store->connectUsage(claudeKit);
    EXPECT_EQ(conn(claudeKit), C::connecting()); // the plan half before the API half
    claudeUsage->release("connect");
    finish(std::move(connecting));
}

TEST_F(Usage, ConnectingThePlanHalf)
{
    store->start();
    LogLines log;
    claudeUsage->answer = report(0.1, 0.2);
    finish(store->connectUsage(claudeKit));
    EXPECT_EQ(log.info().value(0), u"Connected to Claude"_s);
    scheduler.advance(1);
    EXPECT_TRUE(green(claudeKit) && claudeUsage->reports == 1);
    scheduler.advance(4);
    EXPECT_EQ(claudeUsage->reports, 2);
    // A failed connect starts nothing.
    store->disconnect(claudeKit);
    claudeUsage->connectError = fail(UsageFailure(u"Claude Code is not installed."_s));
    finish(store->connectUsage(claudeKit));
    EXPECT_EQ(conn(claudeKit), C::failing(u"Claude Code is not installed."_s));
    EXPECT_FALSE(store->isPolling(claudeKit));
    // A disconnect while the source is set up wins: the source is undone again.
    claudeUsage->connectError = nullptr;
    claudeUsage->hold("connect");
    auto connecting = store->connectUsage(claudeKit);
    store->disconnect(claudeKit);
    claudeUsage->release("connect");
    finish(std::move(connecting));
    EXPECT_FALSE(claudeUsage->isConnected() || store->isPolling(claudeKit));
    EXPECT_EQ(conn(claudeKit), C::notConnected());
}

TEST_F(Usage, ConnectingTheAPIHalf)
{
    store->start();
    finish(store->connectAPIUsage(claudeKit, QString()));
    EXPECT_TRUE(claudeSpend->keys.isEmpty());
    LogLines log;
    finish(store->connectAPIUsage(claudeKit, adminKey));
    EXPECT_EQ(secrets.items.value(KitService(claudeKit).secretKey()), adminKey);
    EXPECT_EQ(log.info(), QStringList {"Connected to the API usage of Claude"});
    EXPECT_EQ(store->snapshot().spend.value(claudeKit), claudeSpend->figures);
    scheduler.advance(5);
    EXPECT_EQ(claudeSpend->keys.size(), 1); // the connect counted as an ask
    // A new key after a disconnect is asked at once.
    store->disconnectAPIUsage(claudeKit);
    EXPECT_FALSE(hasToken(claudeKit) || hasSpend());
    finish(store->connectAPIUsage(claudeKit, adminKey));
    EXPECT_EQ(claudeSpend->keys.size(), 2);
    // A disconnect while the key is tried: the key is not kept.
    claudeSpend->hold("spend");
    store->disconnectAPIUsage(claudeKit);
    auto connecting = store->connectAPIUsage(claudeKit, u"other-key-not-real"_s);
    store->disconnectAPIUsage(claudeKit);
    claudeSpend->release("spend");
    finish(std::move(connecting));
    EXPECT_FALSE(hasToken(claudeKit) || store->apiConnections().contains(claudeKit));
}

TEST_F(Usage, AHalfDisconnectedWhileItsRefreshWaitsStaysDisconnected)
{
    claudeUsage->connected = true;
    claudeUsage->answer = report(0.1, 0.2);
    storeToken(claudeKit, adminKey);
    claudeUsage->hold("report");
    auto planWaiting = store->refreshUsage(claudeKit);
    store->disconnectUsage(claudeKit);
    claudeUsage->release("report");
    finish(std::move(planWaiting));
    EXPECT_FALSE(store->snapshot().usage.contains(claudeKit) || store->planConnections().contains(claudeKit));
    EXPECT_EQ(api(), connected()); // the other half went on

    claudeUsage->connected = true;
    claudeUsage->letThrough("report");
    store->disconnectAPIUsage(claudeKit);
    storeToken(claudeKit, adminKey);
    claudeSpend->hold("spend");
    auto apiWaiting = store->refreshUsage(claudeKit);
    store->disconnectAPIUsage(claudeKit);
    claudeSpend->release("spend");
    finish(std::move(apiWaiting));
    EXPECT_FALSE(hasSpend() || store->apiConnections().contains(claudeKit));
    EXPECT_EQ(plan(), connected());
}

} // namespace
