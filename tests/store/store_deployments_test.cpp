#include "StoreFixture.h"

using namespace brenvo;
using namespace brenvo::test;

namespace {

using Redeploy = DeploymentInspection::Redeploy;

class Deployments : public StoreTest {
protected:
    void SetUp() override
    {
        storeToken(vercelKit);
        storeToken(githubKit);
        vercel->rows = {row("dpl_1", DS::ready, 60), row("dpl_2", DS::failed, 120)};
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
    const DeploymentInspection& open() const { return *store->inspection(); }
    void inspect(int index) { store->inspect(vercel->rows[index], vercelKit); }
    // Opens the failed row and starts it again.
    QCoro::Task<> redeployFailedRow()
    {
        store->start();
        inspect(1);
        return store->redeploy();
    }
};

TEST_F(Deployments, TheFirstLoadSetsTheBaselineSilentlyAndNewsFlashesByDateAndState)
{
    QSignalSpy changed(store.get(), &DevKitStore::snapshotChanged);
    vercel->adviceText = u"The token may not read domains."_s;
    load();
    load(); // the same rows again: nothing rewritten
    EXPECT_EQ(store->deployments(vercelKit), vercel->rows);
    EXPECT_FALSE(green() || unseen() || store->alerting().contains(vercelKit));
    EXPECT_EQ(store->advice().value(vercelKit), vercel->adviceText);
    EXPECT_TRUE(changed.count() == 1 && vercel->count("projectIcon") == 1);
    // A build that finishes: green and unseen.
    twoLoads({row("1", DS::building, 10)}, {row("1", DS::ready, 10)});
    EXPECT_TRUE(green() && unseen());
    // A new ready row older than the newest old one: only unseen; a new failed row: red.
    twoLoads({row("1", DS::ready, 100)}, {row("1", DS::ready, 100), row("0", DS::ready, 200)});
    EXPECT_TRUE(unseen() && !green());
    twoLoads({row("1", DS::ready, 100)}, {row("3", DS::failed, 5), row("1", DS::ready, 100)});
    EXPECT_TRUE(store->alerting().contains(vercelKit) && !green());
}

TEST_F(Deployments, AFailingAccountStopsTheRefreshAndLaterFailuresKeepTheRows)
{
    github->accountError = rejected();
    LogLines log;
    load(githubKit);
    EXPECT_TRUE(github->calls == QStringList {"account"} && conn(githubKit) == C::rejected());
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

TEST_F(Deployments, ChoosingAProjectDropsRowsUnderwayAndReloadsSilently)
{
    github->projectList = {{u"a"_s, u"a"_s}, {u"b"_s, u"b"_s}};
    load(githubKit);
    github->rows = {row("9", DS::ready, 1, u"a"_s)};
    interrupt(
        *github, u"deployments"_s, [&] { return store->refresh(githubKit); },
        [&] {
            store->select(KitProject {u"b"_s, u"b"_s}, githubKit);
        });
    EXPECT_TRUE(store->deployments(githubKit).isEmpty());
    // Running, a choice closes the tool's views and reloads without news.
    store->start();
    store->inspect(github->rows[0], githubKit);
    github->rows = {row("7", DS::ready, 0, u"a"_s)}; // would flash green on a plain load
    github->calls.clear();
    store->select(KitProject {u"a"_s, u"a"_s}, githubKit);
    EXPECT_EQ(github->calls, QStringList {"deployments a"});
    EXPECT_EQ(store->deployments(githubKit), github->rows);
    EXPECT_FALSE(store->inspection() || green(githubKit) || unseen(githubKit));
    // The picker lists afresh and keeps the list when listing fails.
    github->projectsError = rejected();
    store->pickProject(githubKit);
    EXPECT_EQ(store->listedProjects().value(githubKit), github->projectList);
}

TEST_F(Deployments, ARefreshThatEndsAfterADisconnectLeavesNothingBehind)
{
    github->rows = {row("1", DS::ready, 10)};
    github->icons.insert(u"web"_s, testImage(qRgb(1, 1, 1)));
    LogLines log;
    // Rows, then a failure, then an icon, each answered after a disconnect.
    for (const QString& call : {u"deployments"_s, u"failing"_s, u"projectIcon"_s}) {
        SCOPED_TRACE(call.toStdString());
        storeToken(githubKit);
        github->rowsError = call == u"failing"_s ? rejected() : nullptr;
        interrupt(
            *github, github->rowsError ? u"deployments"_s : call, [&] { return store->refresh(githubKit); },
            [&] { store->disconnect(githubKit); });
        expectForgotten(githubKit);
    }
    EXPECT_TRUE(github->count("projectIcon") == 1 && log.errors().isEmpty());
}

TEST_F(Deployments, OnlyTheNewestDetailsLoadFillsTheView)
{
    store->start();
    vercel->hold("details");
    inspect(0);
    inspect(1);
    vercel->detailsAnswer.summary = u"second"_s;
    vercel->gate("details").releaseOne();
    EXPECT_TRUE(open().isLoading); // the first row's answer is dropped
    vercel->release("details");
    EXPECT_EQ(open().details->summary, u"second"_s);
    // The same row opened again: an answer of the earlier view stays out of the newer one.
    store->focus(githubKit);
    vercel->detailsAnswer.summary = u"old"_s;
    inspect(0);
    store->focus(githubKit);
    inspect(0);
    vercel->gate("details").releaseOne();
    EXPECT_TRUE(open().isLoading && !open().details);
    vercel->detailsAnswer.summary = u"new"_s;
    vercel->release("details");
    EXPECT_EQ(open().details->summary, u"new"_s);
    // A failing load shows no details and no spinner, and reports nothing.
    vercel->letThrough("details");
    vercel->detailsError = refused(500, u"x"_s);
    LogLines log;
    inspect(1);
    EXPECT_FALSE(open().details || open().isLoading || !log.errors().isEmpty());
}

TEST_F(Deployments, ARedeployWithANewRunFollowsThatRun)
{
    vercel->redeployID = u"dpl_3"_s;
    LogLines log;
    interrupt(
        *vercel, u"redeploy"_s, [&] { return redeployFailedRow(); },
        [&] {
            EXPECT_EQ(open().redeploy, Redeploy::starting());
            EXPECT_TRUE(store->redeploy().isReady()); // a second press while waiting does nothing
        });
    EXPECT_EQ(vercel->count("redeploy"), 1);
    EXPECT_EQ(log.info(), QStringList {"Started web again on Vercel"});
    EXPECT_EQ(open().redeploy, Redeploy::started());
    EXPECT_EQ(vercel->count("deployments"), 2); // refreshed at once
    // The new run shows up 4 s later: the view moves to it.
    vercel->rows.prepend(row("dpl_3", DS::building, 0));
    scheduler.advance(4);
    EXPECT_TRUE(open().deployment.id == u"dpl_3"_s && open().redeploy == Redeploy::idle());
}

TEST_F(Deployments, ARedeployOutlivingItsViewStillRefreshes)
{
    vercel->redeployID = u"dpl_9"_s;
    interrupt(
        *vercel, u"redeploy"_s, [&] { return redeployFailedRow(); }, [&] { store->focus(githubKit); });
    EXPECT_FALSE(store->inspection() || store->awaitedRedeploy());
    scheduler.advance(4);
    EXPECT_EQ(vercel->count("deployments"), 3);
}

TEST_F(Deployments, AFailedRedeployShowsItsSentenceAndAMissingTokenReturnsToIdle)
{
    vercel->redeployError = fail(ServiceFailure::explained(u"This deployment cannot be retried."_s));
    LogLines log;
    finish(redeployFailedRow());
    EXPECT_EQ(open().redeploy, Redeploy::failed(u"This deployment cannot be retried."_s));
    EXPECT_EQ(log.errors(), QStringList {"Redeploy: This deployment cannot be retried."});
    scheduler.advance(4);
    EXPECT_EQ(vercel->count("deployments"), 1);
    secrets.items.remove(KitService(vercelKit).secretKey());
    finish(store->redeploy());
    EXPECT_TRUE(open().redeploy == Redeploy::idle() && vercel->count("redeploy") == 1);
}

} // namespace
