#include "StoreFixture.h"

using namespace brenvo;
using namespace brenvo::test;

namespace {

class Polling : public StoreTest {
protected:
    void SetUp() override { storeTokens({KitService::vercel, KitService::github}); }
};

TEST_F(Polling, StartMarksConfiguredToolsAndRefreshesThemFirst)
{
    preferences.setEnabledServices({KitService::vercel});
    build();
    store->start();
    EXPECT_TRUE(store->isRunning());
    // vercel: refreshed at once; github: configured but disabled, its task runs and does nothing.
    EXPECT_EQ(conn(KitService::vercel), connected(QStringLiteral("robin")));
    EXPECT_EQ(conn(KitService::github), KitConnection::connecting());
    EXPECT_TRUE(store->isPolling(KitService::github));
    EXPECT_TRUE(github->calls.isEmpty());
    // Not configured: no task, state untouched.
    EXPECT_FALSE(store->isPolling(KitService::stripe));
    EXPECT_FALSE(store->connections().contains(KitService::stripe));
    EXPECT_FALSE(store->isPolling(KitService::claude));

    const int calls = vercel->calls.size();
    store->start(); // a second start does nothing
    EXPECT_EQ(vercel->calls.size(), calls);

    store->stop();
    EXPECT_FALSE(store->isPolling(KitService::vercel));
    scheduler.advance(120);
    EXPECT_EQ(vercel->calls.size(), calls);
    EXPECT_EQ(conn(KitService::vercel), connected(QStringLiteral("robin"))); // states stay
}

TEST_F(Polling, ANewToolIsIdentifiedThenOnlyItsRowsAreAsked)
{
    preferences.setEnabledServices({KitService::github});
    github->rows = {row("1", Deployment::State::ready, 50)};
    build();
    store->start();
    EXPECT_EQ(github->calls,
        (QStringList {"account", "projects", "deployments *", "projectIcon web", "accountIcon"}));
    EXPECT_EQ(github->lastLimit, 3);
    EXPECT_EQ(github->tokens.value(0), kFakeToken);
    github->calls.clear();
    scheduler.advance(30);
    EXPECT_EQ(github->calls, QStringList {"deployments *"});
}

TEST_F(Polling, EachIntervalCountsFromTheEndOfTheRefresh)
{
    preferences.setEnabledServices({KitService::vercel});
    build();
    store->start();
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
    enableAll();
    vercel->rows = {row("1", Deployment::State::building, 5)};
    github->rows = {row("1", Deployment::State::building, 5)};
    build();
    store->start();
    scheduler.advance(5);
    EXPECT_EQ(vercel->count("deployments"), 2);
    EXPECT_EQ(github->count("deployments"), 1);
    scheduler.advance(5);
    EXPECT_EQ(github->count("deployments"), 2);
    EXPECT_EQ(vercel->count("deployments"), 3);

    store->setCheckInterval(3, KitService::github); // used from the next sleep on
    EXPECT_EQ(preferences.checkIntervals().value(QStringLiteral("github")), 3);
    scheduler.advance(10);
    EXPECT_EQ(github->count("deployments"), 3);
    scheduler.advance(3);
    EXPECT_EQ(github->count("deployments"), 4);

    // Once nothing builds, the stored interval counts again.
    vercel->rows = {row("1", Deployment::State::ready, 5)};
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
    preferences.setEnabledServices({KitService::vercel});
    build();
    store->start();
    store->setEnabled(false, KitService::vercel);
    EXPECT_FALSE(preferences.enabledServices().contains(KitService::vercel));
    scheduler.advance(60);
    EXPECT_EQ(vercel->count("deployments"), 1);
    EXPECT_TRUE(store->isPolling(KitService::vercel));
    EXPECT_EQ(conn(KitService::vercel), connected(QStringLiteral("robin")));
    store->setEnabled(true, KitService::vercel);
    EXPECT_EQ(vercel->count("deployments"), 2);
}

TEST_F(Polling, WatchingAUsageToolAsksForFreshLimits)
{
    preferences.setEnabledServices({});
    claudeUsage->connected = true;
    build();
    store->watch(KitService::claude); // not running: nothing
    EXPECT_EQ(claudeUsage->asks, 0);
    store->start();
    store->markUnseen(KitService::claude);
    claudeUsage->hold("askNow");
    store->watch(KitService::claude);
    EXPECT_TRUE(store->unseen().isEmpty());
    EXPECT_EQ(claudeUsage->reports, 0); // not enabled, yet the watched card is refreshed
    claudeUsage->release("askNow");
    EXPECT_EQ(claudeUsage->reports, 1);
    store->watch(KitService::vercel);
    EXPECT_EQ(claudeUsage->asks, 1);
}

TEST_F(Polling, DisconnectEndsTheToolsTaskOnly)
{
    enableAll();
    build();
    store->start();
    store->disconnect(KitService::vercel);
    EXPECT_FALSE(store->isPolling(KitService::vercel));
    EXPECT_TRUE(store->isPolling(KitService::github));
    scheduler.advance(30);
    EXPECT_EQ(vercel->count("deployments"), 1);
    EXPECT_EQ(github->count("deployments"), 2);
}

TEST_F(Polling, AStoreReleasedWhileWaitingEndsItsTasks)
{
    enableAll();
    build();
    vercel->hold("deployments");
    store->start();
    store.reset();
    vercel->release("deployments");
    scheduler.advance(60);
    EXPECT_EQ(vercel->count("deployments"), 1);
    EXPECT_EQ(scheduler.pendingCount(), 0);
}

} // namespace
