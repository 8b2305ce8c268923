#include "StoreFixture.h"

using namespace brenvo;
using namespace brenvo::test;

namespace {

using Redeploy = DeploymentInspection::Redeploy;

class Inspection : public StoreTest {
protected:
    void SetUp() override
    {
        storeToken(vercelKit);
        storeToken(githubKit);
        vercel->rows = {row("dpl_1", DS::ready, 60), row("dpl_2", DS::failed, 120)};
        github->projectList = {{u"a"_s, u"a"_s}};
        github->rows = {row("1", DS::ready, 60, u"a"_s)};
        buildEnabled(true);
    }
    const DeploymentInspection& open() const { return *store->inspection(); }
    void inspect(int index) { store->inspect(vercel->rows[index], vercelKit); }
    // Opens the failed row and starts it again.
    QCoro::Task<> redeployFailedRow()
    {
        inspect(1);
        return store->redeploy();
    }
};

TEST_F(Inspection, OneViewAtATime)
{
    store->pickProject(githubKit);
    inspect(0);
    EXPECT_FALSE(store->picking());
    EXPECT_EQ(open().details, vercel->detailsAnswer);
    EXPECT_FALSE(open().isLoading);
    store->inspect(pay("p1", PS::succeeded, 5), stripeKit);
    EXPECT_TRUE(store->inspectedPayment() && !store->inspection());
    store->pickProject(githubKit);
    EXPECT_TRUE(store->picking() && !store->inspectedPayment());
    // Showing a tool's card keeps its own views and closes the others.
    inspect(0);
    store->focus(vercelKit);
    EXPECT_TRUE(store->inspection());
    store->focus(githubKit);
    EXPECT_FALSE(store->inspection());
}

TEST_F(Inspection, OnlyTheNewestDetailsLoadFillsTheView)
{
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
    EXPECT_FALSE(open().details || open().isLoading);
    EXPECT_TRUE(log.errors().isEmpty());
}

TEST_F(Inspection, ChoosingAProjectClosesTheViewsAndReloadsSilently)
{
    store->inspect(github->rows[0], githubKit);
    github->rows = {row("7", DS::ready, 1, u"a"_s)}; // would flash green on a plain load
    github->calls.clear();
    store->select(KitProject {u"a"_s, u"a"_s}, githubKit);
    EXPECT_EQ(preferences.selectedProjects().value(u"github"_s), u"a"_s);
    EXPECT_FALSE(store->inspection());
    EXPECT_EQ(github->calls, QStringList {"deployments a"});
    EXPECT_EQ(store->deployments(githubKit), github->rows);
    EXPECT_FALSE(green(githubKit) || unseen(githubKit));
    // The picker lists afresh and keeps the list when listing fails.
    github->projectList.append({u"b"_s, u"b"_s});
    store->pickProject(githubKit);
    github->projectsError = rejected();
    store->pickProject(githubKit);
    EXPECT_EQ(store->listedProjects().value(githubKit), github->projectList);
}

TEST_F(Inspection, ARedeployWithANewRunFollowsThatRun)
{
    vercel->redeployID = u"dpl_3"_s;
    vercel->hold("redeploy");
    LogLines log;
    auto first = redeployFailedRow();
    auto second = store->redeploy(); // a second press while waiting does nothing
    EXPECT_EQ(open().redeploy, Redeploy::starting());
    vercel->release("redeploy");
    finish(std::move(first));
    finish(std::move(second));
    EXPECT_EQ(vercel->count("redeploy"), 1);
    EXPECT_EQ(log.info(), QStringList {"Started web again on Vercel"});
    EXPECT_EQ(open().redeploy, Redeploy::started());
    EXPECT_EQ(vercel->count("deployments"), 2); // refreshed at once
    // The new run shows up 4 s later: the view moves to it.
    vercel->rows.prepend(row("dpl_3", DS::building, 0));
    scheduler.advance(4);
    EXPECT_EQ(open().deployment.id, u"dpl_3"_s);
    EXPECT_EQ(open().redeploy, Redeploy::idle());
    EXPECT_FALSE(store->awaitedRedeploy());
}

TEST_F(Inspection, ARedeployWithoutANewRunEndsWhenItsRowChanges)
{
    finish(redeployFailedRow());
    EXPECT_EQ(open().redeploy, Redeploy::started());
    vercel->rows[1].state = DS::building;
    vercel->detailsAnswer.summary = u"rebuilding"_s;
    scheduler.advance(4);
    EXPECT_EQ(open().deployment.state, DS::building);
    EXPECT_EQ(open().redeploy, Redeploy::idle());
    EXPECT_EQ(open().details->summary, u"rebuilding"_s);
}

TEST_F(Inspection, ARefusedRedeployShowsItsSentenceAndRefreshesNothing)
{
    vercel->redeployError = fail(ServiceFailure::explained(u"This deployment cannot be retried."_s));
    LogLines log;
    finish(redeployFailedRow());
    EXPECT_EQ(open().redeploy, Redeploy::failed(u"This deployment cannot be retried."_s));
    EXPECT_EQ(log.errors(), QStringList {"Redeploy: This deployment cannot be retried."});
    scheduler.advance(4);
    EXPECT_EQ(vercel->count("deployments"), 1);
}

TEST_F(Inspection, ARedeployOutlivingItsViewStillRefreshes)
{
    vercel->hold("redeploy");
    vercel->redeployID = u"dpl_9"_s;
    auto pending = redeployFailedRow();
    store->focus(githubKit);
    vercel->release("redeploy");
    finish(std::move(pending));
    EXPECT_FALSE(store->inspection() || store->awaitedRedeploy());
    scheduler.advance(4);
    EXPECT_EQ(vercel->count("deployments"), 3);
}

TEST_F(Inspection, ARedeployWithoutATokenReturnsToIdle)
{
    inspect(1);
    secrets.items.remove(KitService(vercelKit).secretKey());
    finish(store->redeploy());
    EXPECT_EQ(open().redeploy, Redeploy::idle());
    EXPECT_EQ(vercel->count("redeploy"), 0);
}

} // namespace
