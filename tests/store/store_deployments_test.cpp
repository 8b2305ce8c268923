#include "StoreFixture.h"

using namespace brenvo;
using namespace brenvo::test;

namespace {

class Deployments : public StoreTest {
protected:
    void SetUp() override
    {
        storeToken(vercelKit);
        storeToken(githubKit);
        buildEnabled();
    }
    void load(KitService s = vercelKit) { finish(store->refresh(s)); }
    // Loads a baseline, then a second list, and leaves what the second load raised.
    void twoLoads(QList<Deployment> first, QList<Deployment> second)
    {
        vercel->rows = std::move(first);
        load();
        scheduler.advance(3); // any flash of the first load is over
        store->watch(vercelKit); // clears the unseen mark
        store->watch(claudeKit); // and shows another card
        vercel->rows = std::move(second);
        load();
    }
};

TEST_F(Deployments, TheFirstLoadSetsTheBaselineSilently)
{
    QSignalSpy changed(store.get(), &DevKitStore::snapshotChanged);
    vercel->rows = {row("1", DS::ready, 10), row("2", DS::failed, 20)};
    vercel->adviceText = u"The token may not read domains."_s;
    load();
    EXPECT_EQ(store->deployments(vercelKit), vercel->rows);
    EXPECT_FALSE(green() || red() || unseen());
    EXPECT_EQ(store->advice().value(vercelKit), vercel->adviceText);
    // The same rows again: nothing rewritten, icons not asked again, advice gone when withdrawn.
    vercel->adviceText.reset();
    vercel->calls.clear();
    load();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(vercel->calls, QStringList {"deployments *"});
    EXPECT_FALSE(store->advice().contains(vercelKit));
}

TEST_F(Deployments, NewsFlashesByDateAndState)
{
    // A build that finishes: green for 2.6 s, and unseen.
    twoLoads({row("1", DS::building, 10)}, {row("1", DS::ready, 10)});
    EXPECT_TRUE(green() && unseen());
    scheduler.advance(2.5);
    EXPECT_TRUE(green());
    scheduler.advance(0.1);
    EXPECT_FALSE(green());
    // A new ready row older than the newest old one: only unseen.
    twoLoads({row("1", DS::ready, 100)}, {row("1", DS::ready, 100), row("0", DS::ready, 200)});
    EXPECT_TRUE(unseen() && !green());
    // Good news wins over bad news in the same load; bad news alone is red.
    twoLoads({row("1", DS::building, 100)}, {row("4", DS::failed, 5), row("1", DS::ready, 100)});
    EXPECT_TRUE(green() && !red());
    twoLoads({row("1", DS::ready, 100)}, {row("3", DS::failed, 5), row("1", DS::ready, 100)});
    EXPECT_TRUE(red() && !green());
    // Canceled: unseen without a flash; still building: nothing at all.
    twoLoads({row("1", DS::building, 100)}, {row("1", DS::canceled, 100)});
    EXPECT_TRUE(unseen() && !green() && !red());
    twoLoads({row("1", DS::building, 100)}, {row("1", DS::building, 100), row("5", DS::building, 1)});
    EXPECT_FALSE(green() || red() || unseen());
}

TEST_F(Deployments, AnIdentifiedToolIsAskedForItsAccountProjectsAndIconsOnce)
{
    github->projectList = {{u"me/app"_s, u"me/app"_s}};
    github->rows = {row("1", DS::ready, 10, u"me/app"_s), row("2", DS::ready, 20, u"me/app"_s),
        row("3", DS::ready, 30, u"me/site"_s)};
    github->icons.insert(u"me/app"_s, testImage(qRgb(1, 2, 3)));
    load(githubKit);
    EXPECT_EQ(github->calls,
        (QStringList {"account", "projects", "deployments *", "projectIcon me/app", "projectIcon me/site",
            "accountIcon"}));
    EXPECT_EQ(github->lastLimit, 3);
    EXPECT_EQ(store->projectIcons().value(githubKit).keys(), QStringList {"me/app"});
    EXPECT_EQ(store->listedProjects().value(githubKit), github->projectList);
    store->disconnect(vercelKit); // unrelated tool: github's bookkeeping stays
    github->calls.clear();
    load(githubKit);
    EXPECT_EQ(github->calls, QStringList {"deployments *"});
}

TEST_F(Deployments, AFailingAccountStopsTheRefreshAndLaterFailuresKeepTheRows)
{
    github->accountError = rejected();
    LogLines log;
    load(githubKit);
    EXPECT_EQ(github->calls, QStringList {"account"});
    EXPECT_EQ(conn(githubKit), C::rejected());
    EXPECT_EQ(log.errors(), QStringList {"GitHub did not accept the token."});
    github->accountError = nullptr;
    github->rows = {row("1", DS::ready, 10)};
    load(githubKit);
    github->rowsError = refused(500, u"Down"_s);
    load(githubKit);
    EXPECT_EQ(conn(githubKit), C::failing(u"GitHub answered 500: Down"_s));
    EXPECT_EQ(store->deployments(githubKit).size(), 1);
}

TEST_F(Deployments, AFailedProjectListingIsRetriedUntilThePickCounts)
{
    preferences.setSelectedProjects({{u"github"_s, u"me/app"_s}});
    github->projectsError = refused(503, u"Busy"_s);
    load(githubKit);
    EXPECT_EQ(conn(githubKit), connected(u"robin"_s));
    // Connected now, yet the projects are asked again until a listing works.
    github->projectsError = nullptr;
    github->projectList = {{u"me/app"_s, u"me/app"_s}};
    github->calls.clear();
    load(githubKit);
    load(githubKit);
    EXPECT_EQ(github->calls, (QStringList {"projects", "deployments me/app", "deployments me/app"}));
}

TEST_F(Deployments, RowsOfAProjectNoLongerPickedAreDropped)
{
    github->projectList = {{u"a"_s, u"a"_s}, {u"b"_s, u"b"_s}};
    load(githubKit);
    github->hold("deployments");
    github->rows = {row("9", DS::ready, 1, u"a"_s)};
    auto pending = store->refresh(githubKit);
    store->select(KitProject {u"b"_s, u"b"_s}, githubKit);
    github->release("deployments");
    finish(std::move(pending));
    EXPECT_TRUE(store->deployments(githubKit).isEmpty());
}

TEST_F(Deployments, ARefreshThatEndsAfterADisconnectLeavesNothingBehind)
{
    github->rows = {row("1", DS::ready, 10)};
    github->icons.insert(u"web"_s, testImage(qRgb(1, 1, 1)));
    LogLines log;
    // Rows, then a failure, then an icon, each answered after a disconnect.
    for (const char* held : {"deployments", "failing", "projectIcon"}) {
        SCOPED_TRACE(held);
        storeToken(githubKit);
        const bool failing = QLatin1String(held) == QLatin1String("failing");
        github->rowsError = failing ? rejected() : nullptr;
        const QString call = failing ? u"deployments"_s : QString::fromLatin1(held);
        github->hold(call);
        auto pending = store->refresh(githubKit);
        store->disconnect(githubKit);
        github->release(call);
        github->letThrough(call);
        finish(std::move(pending));
        EXPECT_EQ(conn(githubKit), C::notConnected());
        EXPECT_FALSE(
            store->snapshot().deployments.contains(githubKit) || store->accounts().contains(githubKit));
        EXPECT_FALSE(store->loadedOnce().contains(githubKit) || store->projectIcons().contains(githubKit));
    }
    EXPECT_EQ(github->count("projectIcon"), 1);
    EXPECT_TRUE(log.errors().isEmpty());
}

} // namespace
