#include "StoreFixture.h"

using namespace brenvo;
using namespace brenvo::test;

namespace {

class Polling : public StoreTest {
protected:
    void SetUp() override
    {
        storeToken(vercelKit);
        storeToken(githubKit);
    }
    void startWith(QSet<KitService> enabled)
    {
        preferences.setEnabledServices(enabled);
        build();
        store->start();
    }
};

TEST_F(Polling, StartMarksConfiguredToolsRefreshesThemFirstAndStopEndsEveryTask)
{
    startWith({vercelKit});
    EXPECT_TRUE(store->isRunning());
    // vercel: refreshed at once; github: configured but disabled, its task runs and does nothing.
    EXPECT_EQ(conn(vercelKit), connected(u"robin"_s));
    EXPECT_EQ(conn(githubKit), C::connecting());
    EXPECT_TRUE(store->isPolling(githubKit) && github->calls.isEmpty());
    // Not configured: no task, state untouched.
    EXPECT_FALSE(store->isPolling(stripeKit) || store->isPolling(claudeKit));
    EXPECT_FALSE(store->connections().contains(stripeKit));
    store->start(); // a second start does nothing
    EXPECT_EQ(vercel->count("deployments"), 1);

    // A disconnect ends that tool's task only.
    store->disconnect(githubKit);
    EXPECT_FALSE(store->isPolling(githubKit));
    scheduler.advance(30);
    EXPECT_EQ(vercel->count("deployments"), 2);

    store->stop();
    EXPECT_FALSE(store->isPolling(vercelKit));
    scheduler.advance(120);
    EXPECT_EQ(vercel->count("deployments"), 2);
    EXPECT_EQ(conn(vercelKit), connected(u"robin"_s)); // states stay
}

TEST_F(Polling, EachIntervalCountsFromTheEndOfTheRefresh)
{
    startWith({vercelKit});
    vercel->hold("deployments");
    scheduler.advance(30);
    EXPECT_EQ(vercel->waiting("deployments"), 1);
    scheduler.advance(7); // a slow answer
    vercel->release("deployments");
    scheduler.advance(29.9);
    EXPECT_EQ(vercel->count("deployments"), 2);
    scheduler.advance(0.1);
    EXPECT_EQ(vercel->count("deployments"), 3);
}

TEST_F(Polling, BuildingRowsShortenTheIntervalButNeverLengthenIt)
{
    vercel->rows = {row("1", DS::building, 5)};
    github->rows = {row("1", DS::building, 5)};
    buildEnabled(true);
    scheduler.advance(5);
    EXPECT_EQ(vercel->count("deployments"), 2);
    EXPECT_EQ(github->count("deployments"), 1);
    scheduler.advance(5);
    EXPECT_EQ(github->count("deployments"), 2);
    EXPECT_EQ(vercel->count("deployments"), 3);

    store->setCheckInterval(3, githubKit); // used from the next sleep on
    EXPECT_EQ(preferences.checkIntervals().value(u"github"_s), 3);
    scheduler.advance(10);
    EXPECT_EQ(github->count("deployments"), 3);
    scheduler.advance(3);
    EXPECT_EQ(github->count("deployments"), 4);

    // Once nothing builds, the stored interval counts again.
    vercel->rows = {row("1", DS::ready, 5)};
    const int before = vercel->count("deployments");
    scheduler.advance(2); // at 25 s the ready list arrives
    EXPECT_EQ(vercel->count("deployments"), before + 1);
    scheduler.advance(29.9);
    EXPECT_EQ(vercel->count("deployments"), before + 1);
    scheduler.advance(0.1);
    EXPECT_EQ(vercel->count("deployments"), before + 2);
}

TEST_F(Polling, DisablingKeepsTheTaskAndEnablingRefreshesAtOnce)
{
    startWith({vercelKit});
    store->setEnabled(false, vercelKit);
    EXPECT_FALSE(preferences.enabledServices().contains(vercelKit));
    scheduler.advance(60);
    EXPECT_EQ(vercel->count("deployments"), 1);
    EXPECT_TRUE(store->isPolling(vercelKit));
    store->setEnabled(true, vercelKit);
    EXPECT_EQ(vercel->count("deployments"), 2);
}

TEST_F(Polling, WatchingAUsageToolAsksForFreshLimits)
{
    claudeUsage->connected = true;
    preferences.setEnabledServices({});
    build();
    store->watch(claudeKit); // not running: nothing
    EXPECT_EQ(claudeUsage->asks, 0);
    store->start();
    store->markUnseen(claudeKit);
    claudeUsage->hold("askNow");
    store->watch(claudeKit);
    EXPECT_TRUE(store->unseen().isEmpty());
    EXPECT_EQ(claudeUsage->reports, 0); // not enabled, yet the watched card is refreshed
    claudeUsage->release("askNow");
    EXPECT_EQ(claudeUsage->reports, 1);
    store->watch(vercelKit);
    EXPECT_EQ(claudeUsage->asks, 1);
}

TEST_F(Polling, AStoreReleasedWhileWaitingEndsItsTasks)
{
    vercel->hold("deployments");
    buildEnabled(true);
    store.reset();
    vercel->release("deployments");
    scheduler.advance(60);
    EXPECT_EQ(vercel->count("deployments"), 1);
    EXPECT_EQ(scheduler.pendingCount(), 0);
}

} // namespace
