#include "StoreFixture.h"

using namespace brenvo;
using namespace brenvo::test;

namespace {

using State = Deployment::State;
using Redeploy = DeploymentInspection::Redeploy;

class Inspection : public StoreTest {
protected:
    void SetUp() override
    {
        storeTokens({KitService::vercel, KitService::github});
        enableAll();
        vercel->rows = {row("dpl_1", State::ready, 60), row("dpl_2", State::failed, 120)};
        vercel->detailsAnswer.creator = QStringLiteral("robin");
        github->projectList = {{QStringLiteral("a"), QStringLiteral("a")}};
        github->rows = {row("1", State::ready, 60, QStringLiteral("a"))};
        build();
        store->start();
    }
    const DeploymentInspection& open() const { return *store->inspection(); }
};

TEST_F(Inspection, OneViewAtATime)
{
    store->pickProject(KitService::github);
    EXPECT_EQ(store->picking(), KitService::github);
    store->inspect(vercel->rows[0], KitService::vercel);
    EXPECT_FALSE(store->picking());
    ASSERT_TRUE(store->inspection());
    EXPECT_EQ(open().details, vercel->detailsAnswer);
    EXPECT_FALSE(open().isLoading);
    store->inspect(pay("p1", Payment::State::succeeded, 5), KitService::stripe);
    EXPECT_FALSE(store->inspection());
    EXPECT_TRUE(store->inspectedPayment());
    store->pickProject(KitService::github);
    EXPECT_FALSE(store->inspectedPayment());

    // Showing a tool's card keeps its own views and closes the others.
    store->inspect(vercel->rows[0], KitService::vercel);
    store->focus(KitService::vercel);
    EXPECT_TRUE(store->inspection());
    store->focus(KitService::github);
    EXPECT_FALSE(store->inspection());
    store->pickProject(KitService::github);
    store->focus(std::nullopt);
    EXPECT_FALSE(store->picking());
}

TEST_F(Inspection, OnlyTheNewestDetailsLoadFillsTheView)
{
    vercel->hold("details");
    store->inspect(vercel->rows[0], KitService::vercel);
    store->inspect(vercel->rows[1], KitService::vercel);
    vercel->detailsAnswer.summary = QStringLiteral("second");
    vercel->gate("details").releaseOne();
    EXPECT_TRUE(open().isLoading); // the first row's answer is dropped
    vercel->release("details");
    EXPECT_EQ(open().details->summary, QStringLiteral("second"));

    // The same row opened again: an answer of the earlier view stays out of the newer one.
    store->focus(KitService::github);
    vercel->detailsAnswer.summary = QStringLiteral("old");
    store->inspect(vercel->rows[0], KitService::vercel);
    store->focus(KitService::github);
    store->inspect(vercel->rows[0], KitService::vercel);
    vercel->gate("details").releaseOne();
    EXPECT_TRUE(open().isLoading);
    EXPECT_FALSE(open().details);
    vercel->detailsAnswer.summary = QStringLiteral("new");
    vercel->release("details");
    EXPECT_EQ(open().details->summary, QStringLiteral("new"));

    // A failing load shows no details and no spinner, and reports nothing.
    vercel->letThrough("details");
    vercel->detailsError = std::make_exception_ptr(ServiceFailure::refused(500, QStringLiteral("x")));
    LogLines log;
    store->inspect(vercel->rows[1], KitService::vercel);
    EXPECT_FALSE(open().details);
    EXPECT_FALSE(open().isLoading);
    EXPECT_TRUE(log.errors().isEmpty());
}

TEST_F(Inspection, ChoosingAProjectClosesTheToolsViewsAndReloadsSilently)
{
    store->inspect(github->rows[0], KitService::github);
    github->rows = {row("7", State::ready, 1, QStringLiteral("a"))}; // would flash green on a plain load
    github->calls.clear();
    store->select(KitProject {QStringLiteral("a"), QStringLiteral("a")}, KitService::github);
    EXPECT_EQ(preferences.selectedProjects().value(QStringLiteral("github")), QStringLiteral("a"));
    EXPECT_FALSE(store->inspection());
    EXPECT_EQ(github->calls, QStringList {"deployments a"});
    EXPECT_EQ(store->deployments(KitService::github), github->rows);
    EXPECT_FALSE(store->celebrating().contains(KitService::github));
    EXPECT_FALSE(store->unseen().contains(KitService::github));
    store->select(std::nullopt, KitService::github);
    EXPECT_FALSE(preferences.selectedProjects().contains(QStringLiteral("github")));
    EXPECT_EQ(github->calls.last(), QStringLiteral("deployments *"));
}

TEST_F(Inspection, TheProjectPickerListsAfreshAndKeepsTheListOnFailure)
{
    github->projectList.append({QStringLiteral("b"), QStringLiteral("b")});
    store->pickProject(KitService::github);
    EXPECT_EQ(store->listedProjects().value(KitService::github), github->projectList);
    github->projectsError = std::make_exception_ptr(ServiceFailure::rejected());
    store->pickProject(KitService::github);
    EXPECT_EQ(store->listedProjects().value(KitService::github), github->projectList);
}

TEST_F(Inspection, ARedeployWithANewRunFollowsThatRun)
{
    vercel->redeployID = QStringLiteral("dpl_3");
    store->inspect(vercel->rows[1], KitService::vercel);
    vercel->hold("redeploy");
    LogLines log;
    auto first = store->redeploy();
    auto second = store->redeploy(); // a second press while waiting does nothing
    EXPECT_EQ(open().redeploy, Redeploy::starting());
    vercel->release("redeploy");
    finish(std::move(first));
    finish(std::move(second));
    EXPECT_EQ(vercel->count("redeploy"), 1);
    EXPECT_EQ(log.info(), QStringList {"Started web again on Vercel"});
    EXPECT_EQ(open().redeploy, Redeploy::started());
    EXPECT_EQ(store->awaitedRedeploy(), (DevKitStore::AwaitedRedeploy {"dpl_2", "dpl_3"}));
    EXPECT_EQ(vercel->count("deployments"), 2); // refreshed at once

    // The new run shows up 4 s later: the view moves to it.
    vercel->rows.prepend(row("dpl_3", State::building, 0));
    vercel->hold("details");
    scheduler.advance(4);
    EXPECT_EQ(vercel->count("deployments"), 3);
    EXPECT_EQ(open().deployment.id, QStringLiteral("dpl_3"));
    EXPECT_TRUE(open().isLoading);
    EXPECT_EQ(open().redeploy, Redeploy::idle());
    EXPECT_FALSE(store->awaitedRedeploy());
}

TEST_F(Inspection, ARedeployWithoutANewRunEndsWhenItsRowChanges)
{
    store->inspect(vercel->rows[1], KitService::vercel);
    finish(store->redeploy());
    EXPECT_EQ(open().redeploy, Redeploy::started());
    EXPECT_FALSE(store->awaitedRedeploy());
    vercel->rows[1].state = State::building;
    vercel->detailsAnswer.summary = QStringLiteral("rebuilding");
    scheduler.advance(4);
    EXPECT_EQ(open().deployment.state, State::building);
    EXPECT_EQ(open().redeploy, Redeploy::idle());
    EXPECT_EQ(open().details->summary, QStringLiteral("rebuilding"));
}

TEST_F(Inspection, ARefusedRedeployShowsItsSentenceAndRefreshesNothing)
{
    vercel->redeployError = std::make_exception_ptr(
        ServiceFailure::explained(QStringLiteral("This deployment cannot be retried.")));
    store->inspect(vercel->rows[1], KitService::vercel);
    LogLines log;
    finish(store->redeploy());
    EXPECT_EQ(open().redeploy, Redeploy::failed(QStringLiteral("This deployment cannot be retried.")));
    EXPECT_EQ(log.errors(), QStringList {"Redeploy: This deployment cannot be retried."});
    scheduler.advance(4);
    EXPECT_EQ(vercel->count("deployments"), 1);
}

TEST_F(Inspection, ARedeployOutlivingItsViewIsOnlyLoggedAndStillRefreshes)
{
    store->inspect(vercel->rows[1], KitService::vercel);
    vercel->hold("redeploy");
    vercel->redeployID = QStringLiteral("dpl_9");
    auto pending = store->redeploy();
    store->focus(KitService::github);
    vercel->release("redeploy");
    finish(std::move(pending));
    EXPECT_FALSE(store->inspection());
    EXPECT_FALSE(store->awaitedRedeploy());
    EXPECT_EQ(vercel->count("deployments"), 2);
    scheduler.advance(4);
    EXPECT_EQ(vercel->count("deployments"), 3);
}

TEST_F(Inspection, ARedeployWithoutATokenReturnsToIdle)
{
    store->inspect(vercel->rows[1], KitService::vercel);
    secrets.items.remove(secretKeyOf(KitService::vercel));
    finish(store->redeploy());
    EXPECT_EQ(open().redeploy, Redeploy::idle());
    EXPECT_EQ(vercel->count("redeploy"), 0);
}

TEST_F(Inspection, SampleDataAnswersAtOnce)
{
    DevKitStore sample(preferences, secrets, scheduler, true, {});
    const auto rows = sample.deployments(KitService::github);
    const int calls = github->calls.size();
    sample.inspect(rows[2], KitService::github);
    EXPECT_EQ(sample.inspection()->details, DeploymentDetails::sample(rows[2], KitService::github));
    auto task = sample.redeploy();
    EXPECT_TRUE(task.isReady());
    EXPECT_EQ(sample.inspection()->redeploy, Redeploy::started());
    scheduler.advance(10);
    EXPECT_EQ(github->calls.size(), calls);
}

} // namespace
