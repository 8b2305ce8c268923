#include "StoreFixture.h"

using namespace brenvo;
using namespace brenvo::test;

namespace {

using State = Deployment::State;

class Deployments : public StoreTest {
protected:
    void SetUp() override
    {
        storeTokens({KitService::vercel, KitService::github});
        enableAll();
        build();
    }
    void load(KitService s = KitService::vercel) { finish(store->refresh(s)); }
    bool green(KitService s = KitService::vercel) const { return store->celebrating().contains(s); }
    bool red(KitService s = KitService::vercel) const { return store->alerting().contains(s); }
    bool unseen(KitService s = KitService::vercel) const { return store->unseen().contains(s); }
    // Loads a baseline, then a second list, and reports what the second load raised.
    void twoLoads(QList<Deployment> first, QList<Deployment> second)
    {
        vercel->rows = std::move(first);
        load();
        scheduler.advance(3); // any flash of the first load is over
        store->watch(KitService::vercel); // clears the unseen mark
        store->watch(KitService::claude); // and shows another card
        vercel->rows = std::move(second);
        load();
    }
};

TEST_F(Deployments, TheFirstLoadSetsTheBaselineSilently)
{
    QSignalSpy changed(store.get(), &DevKitStore::snapshotChanged);
    vercel->rows = {row("1", State::ready, 10), row("2", State::failed, 20)};
    vercel->adviceText = QStringLiteral("The token may not read domains.");
    load();
    EXPECT_EQ(store->deployments(KitService::vercel), vercel->rows);
    EXPECT_EQ(conn(KitService::vercel), connected(QStringLiteral("robin")));
    EXPECT_FALSE(green() || red() || unseen());
    EXPECT_EQ(store->advice().value(KitService::vercel), vercel->adviceText);
    EXPECT_EQ(changed.count(), 1);

    // The same rows again: nothing rewritten, icons not asked again, advice gone when withdrawn.
    vercel->adviceText.reset();
    vercel->calls.clear();
    load();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(vercel->calls, QStringList {"deployments *"});
    EXPECT_FALSE(store->advice().contains(KitService::vercel));

    // An empty first list is stored too.
    github->rows = {};
    load(KitService::github);
    EXPECT_TRUE(store->snapshot().deployments.contains(KitService::github));
}

TEST_F(Deployments, ABuildThatFinishesFlashesGreenForTwoPointSixSeconds)
{
    twoLoads({row("1", State::building, 10)}, {row("1", State::ready, 10)});
    EXPECT_TRUE(green());
    EXPECT_TRUE(unseen());
    scheduler.advance(2.5);
    EXPECT_TRUE(green());
    scheduler.advance(0.1);
    EXPECT_FALSE(green());
}

TEST_F(Deployments, NewRowsCountByDateAndState)
{
    // A new ready row newer than every old one: green.
    twoLoads({row("1", State::ready, 100)}, {row("2", State::ready, 5), row("1", State::ready, 100)});
    EXPECT_TRUE(green());
    // A new ready row older than the newest old one: only unseen.
    twoLoads({row("1", State::ready, 100)}, {row("1", State::ready, 100), row("0", State::ready, 200)});
    EXPECT_FALSE(green());
    EXPECT_TRUE(unseen());
    // A new failed row: red for 2.6 s.
    twoLoads({row("1", State::ready, 100)}, {row("3", State::failed, 5), row("1", State::ready, 100)});
    EXPECT_TRUE(red());
    EXPECT_FALSE(green());
    scheduler.advance(2.6);
    EXPECT_FALSE(red());
    // Good news wins over bad news in the same load.
    twoLoads({row("1", State::building, 100)}, {row("4", State::failed, 5), row("1", State::ready, 100)});
    EXPECT_TRUE(green());
    EXPECT_FALSE(red());
    // Canceled: unseen without a flash; still building: nothing at all.
    twoLoads({row("1", State::building, 100)}, {row("1", State::canceled, 100)});
    EXPECT_TRUE(unseen());
    EXPECT_FALSE(green() || red());
    twoLoads(
        {row("1", State::building, 100)}, {row("1", State::building, 100), row("5", State::building, 1)});
    EXPECT_FALSE(green() || red() || unseen());
}

TEST_F(Deployments, AnIdentifiedToolIsAskedForItsAccountProjectsAndAvatarOnce)
{
    github->projectList = {{QStringLiteral("me/app"), QStringLiteral("me/app")}};
    github->rows = {row("1", State::ready, 10, QStringLiteral("me/app")),
        row("2", State::ready, 20, QStringLiteral("me/app")),
        row("3", State::ready, 30, QStringLiteral("me/site"))};
    github->icons.insert(QStringLiteral("me/app"), testImage(qRgb(1, 2, 3)));
    load(KitService::github);
    EXPECT_EQ(github->count("projectIcon"), 2); // one per project
    EXPECT_EQ(store->projectIcons().value(KitService::github).keys(), QStringList {"me/app"});
    EXPECT_EQ(store->listedProjects().value(KitService::github), github->projectList);
    EXPECT_FALSE(store->accountIcons().contains(KitService::github)); // no avatar yet
    EXPECT_TRUE(store->iconsLookedFor().contains(QStringLiteral("github/me/site")));
    github->avatar = testImage(qRgb(9, 9, 9));
    store->disconnect(KitService::vercel); // unrelated tool: github's bookkeeping stays
    EXPECT_TRUE(store->iconsLookedFor().contains(QStringLiteral("github/me/site")));
    // Connected tools are not identified again: the avatar comes with the next identifying load.
    load(KitService::github);
    EXPECT_EQ(github->count("accountIcon"), 1);
    EXPECT_EQ(github->count("projectIcon"), 2);
}

TEST_F(Deployments, AFailingAccountStopsTheRefreshAndBecomesTheConnection)
{
    github->accountError = std::make_exception_ptr(ServiceFailure::rejected());
    LogLines log;
    load(KitService::github);
    EXPECT_EQ(github->calls, QStringList {"account"});
    EXPECT_EQ(conn(KitService::github), KitConnection::rejected());
    EXPECT_EQ(log.errors(), QStringList {"GitHub did not accept the token."});
    EXPECT_FALSE(store->snapshot().deployments.contains(KitService::github));
    // Rows that fail later keep the rows already shown.
    github->accountError = nullptr;
    github->rows = {row("1", State::ready, 10)};
    load(KitService::github);
    github->rowsError = std::make_exception_ptr(ServiceFailure::refused(500, QStringLiteral("Down")));
    load(KitService::github);
    EXPECT_EQ(conn(KitService::github), KitConnection::failing(QStringLiteral("GitHub answered 500: Down")));
    EXPECT_EQ(store->deployments(KitService::github).size(), 1);
}

TEST_F(Deployments, AFailedProjectListingIsRetriedUntilThePickCounts)
{
    preferences.setSelectedProjects({{QStringLiteral("github"), QStringLiteral("me/app")}});
    github->projectsError = std::make_exception_ptr(ServiceFailure::refused(503, QStringLiteral("Busy")));
    load(KitService::github);
    EXPECT_TRUE(store->listedProjects().value(KitService::github).isEmpty());
    EXPECT_TRUE(github->calls.contains(QStringLiteral("deployments *")));
    EXPECT_EQ(conn(KitService::github), connected(QStringLiteral("robin")));
    // Connected now, yet the projects are asked again until a listing works.
    github->projectsError = nullptr;
    github->projectList = {{QStringLiteral("me/app"), QStringLiteral("me/app")}};
    github->calls.clear();
    load(KitService::github);
    EXPECT_EQ(github->calls, (QStringList {"projects", "deployments me/app"}));
    github->calls.clear();
    load(KitService::github);
    EXPECT_EQ(github->calls, QStringList {"deployments me/app"});
}

TEST_F(Deployments, RowsOfAProjectNoLongerPickedAreDropped)
{
    github->projectList
        = {{QStringLiteral("a"), QStringLiteral("a")}, {QStringLiteral("b"), QStringLiteral("b")}};
    load(KitService::github);
    github->hold("deployments");
    github->rows = {row("9", State::ready, 1, QStringLiteral("a"))};
    auto pending = store->refresh(KitService::github);
    store->select(KitProject {QStringLiteral("b"), QStringLiteral("b")}, KitService::github);
    github->release("deployments");
    finish(std::move(pending));
    EXPECT_TRUE(store->deployments(KitService::github).isEmpty());
}

TEST_F(Deployments, FlashesOverlapAsTheyWere)
{
    // A delayed celebration and an alert in its first second: both sets until the alert clears.
    store->celebrate(KitService::github, 1.0);
    EXPECT_FALSE(green(KitService::github));
    scheduler.advance(0.5);
    store->alert(KitService::github);
    scheduler.advance(0.5);
    EXPECT_TRUE(green(KitService::github) && red(KitService::github));
    scheduler.advance(2.1);
    EXPECT_FALSE(red(KitService::github));
    EXPECT_TRUE(green(KitService::github));
    scheduler.advance(0.5);
    EXPECT_FALSE(green(KitService::github));
    // Two alerts a second apart: the first clear ends both.
    store->alert(KitService::github);
    scheduler.advance(1);
    store->alert(KitService::github);
    scheduler.advance(1.6);
    EXPECT_FALSE(red(KitService::github));
    // Green over red.
    store->alert(KitService::github);
    store->celebrate(KitService::github, 0);
    EXPECT_TRUE(green(KitService::github));
    EXPECT_FALSE(red(KitService::github));
}

TEST_F(Deployments, ARefreshThatEndsAfterADisconnectLeavesNothingBehind)
{
    github->rows = {row("1", State::ready, 10)};
    github->icons.insert(QStringLiteral("web"), testImage(qRgb(1, 1, 1)));
    github->hold("deployments");
    LogLines log;
    auto pending = store->refresh(KitService::github);
    store->disconnect(KitService::github);
    github->release("deployments");
    finish(std::move(pending));
    EXPECT_EQ(conn(KitService::github), KitConnection::notConnected());
    EXPECT_FALSE(store->snapshot().deployments.contains(KitService::github));
    EXPECT_FALSE(store->accounts().contains(KitService::github));
    EXPECT_FALSE(store->loadedOnce().contains(KitService::github));
    EXPECT_EQ(github->count("projectIcon"), 0);

    // A failing answer after a disconnect is not logged or shown either.
    secrets.items.insert(secretKeyOf(KitService::github), kFakeToken);
    github->rowsError = std::make_exception_ptr(ServiceFailure::rejected());
    auto failing = store->refresh(KitService::github);
    store->disconnect(KitService::github);
    github->release("deployments");
    finish(std::move(failing));
    EXPECT_EQ(conn(KitService::github), KitConnection::notConnected());
    EXPECT_TRUE(log.errors().isEmpty());

    // An icon lookup that ends after a disconnect does not bring the icon back.
    secrets.items.insert(secretKeyOf(KitService::github), kFakeToken);
    github->rowsError = nullptr;
    github->letThrough("deployments");
    github->hold("projectIcon");
    auto icons = store->refresh(KitService::github);
    store->disconnect(KitService::github);
    github->release("projectIcon");
    finish(std::move(icons));
    EXPECT_FALSE(store->projectIcons().contains(KitService::github));
}

} // namespace
