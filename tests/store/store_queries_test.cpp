#include "StoreFixture.h"

using namespace brenvo;
using namespace brenvo::test;

namespace {

class Queries : public StoreTest { };

TEST_F(Queries, AToolNeverTouchedHasNothing)
{
    build();
    for (auto s : KitService::allCases()) {
        EXPECT_EQ(conn(s), KitConnection::notConnected());
        EXPECT_TRUE(store->deployments(s).isEmpty());
        EXPECT_TRUE(store->payments(s).isEmpty());
        EXPECT_FALSE(store->usageReport(s));
        EXPECT_FALSE(store->isBuilding(s));
    }
    EXPECT_EQ(store->snapshot(), DevKitSnapshot::empty());
    EXPECT_EQ(DevKitStore::projectKey(KitService::stripe, QStringLiteral("ab12cd34")),
        QStringLiteral("stripe/ab12cd34"));
    // Declaration order, whatever order the set holds.
    preferences.setEnabledServices({KitService::codex, KitService::vercel, KitService::polar});
    EXPECT_EQ(store->enabledServices(),
        (QList<KitService> {KitService::vercel, KitService::polar, KitService::codex}));
}

TEST_F(Queries, SampleDataAnswersEveryQueryWithoutPolling)
{
    secrets.items.insert(secretKeyOf(KitService::vercel), kFakeToken);
    build(true);
    store->start();
    EXPECT_FALSE(store->isRunning());
    EXPECT_EQ(vercel->calls.size(), 0);
    EXPECT_EQ(scheduler.pendingCount(), 0);
    EXPECT_EQ(store->snapshot(), DevKitSnapshot::sample(scheduler.wallNow()));
    for (auto s : KitService::allCases())
        EXPECT_EQ(conn(s), connected(QStringLiteral("demo")));
    EXPECT_TRUE(store->isBuilding(KitService::gitlab)); // a sample row builds
    EXPECT_FALSE(store->isBuilding(KitService::stripe));

    // Projects: the distinct sample projects of the check tools, sorted; none for the others.
    const auto projects = store->projects(KitService::github);
    ASSERT_EQ(projects.size(), 3);
    EXPECT_EQ(projects[0], (KitProject {QStringLiteral("dashboard"), QStringLiteral("dashboard")}));
    EXPECT_EQ(projects[2].id, QStringLiteral("marketing-site"));
    EXPECT_TRUE(store->projects(KitService::vercel).isEmpty());
    EXPECT_TRUE(store->projects(KitService::claude).isEmpty());

    // A pick filters the sample rows; a pick not listed does not.
    store->select(KitProject {QStringLiteral("docs"), QStringLiteral("docs")}, KitService::github);
    ASSERT_EQ(store->deployments(KitService::github).size(), 1);
    EXPECT_EQ(store->deployments(KitService::github)[0].id, QStringLiteral("dpl_3"));
    store->select(KitProject {QStringLiteral("gone"), QStringLiteral("gone")}, KitService::github);
    EXPECT_FALSE(store->selectedProject(KitService::github));
    EXPECT_EQ(store->deployments(KitService::github).size(), 3);

    // One sample account per payment tool; picking it keeps the sample payments on the card.
    const auto accounts = store->paymentAccounts(KitService::stripe);
    ASSERT_EQ(accounts.size(), 1);
    EXPECT_EQ(accounts[0], (PaymentAccount {QStringLiteral("demo"), QStringLiteral("Acme"), connected()}));
    store->select(store->projects(KitService::stripe).value(0), KitService::stripe);
    ASSERT_TRUE(store->selectedProject(KitService::stripe));
    EXPECT_EQ(store->payments(KitService::stripe).size(), 3);
    EXPECT_TRUE(store->usageReport(KitService::codex));
    EXPECT_EQ(scheduler.pendingCount(), 0);
}

TEST_F(Queries, PaymentsAreCutToThreeAndFilteredByThePickedAccount)
{
    build();
    enableAll();
    preferences.setPaymentAccounts({{QStringLiteral("stripe"),
        {{QStringLiteral("a"), std::nullopt, std::nullopt},
            {QStringLiteral("b"), std::nullopt, std::nullopt}}}});
    secrets.items.insert(QStringLiteral("kit.stripe.a"), QStringLiteral("key-a-not-real"));
    secrets.items.insert(QStringLiteral("kit.stripe.b"), QStringLiteral("key-b-not-real"));
    stripe->lists.insert(QStringLiteral("key-a-not-real"),
        {pay("1", Payment::State::succeeded, 1), pay("4", Payment::State::succeeded, 4),
            pay("5", Payment::State::succeeded, 5)});
    stripe->lists.insert(QStringLiteral("key-b-not-real"),
        {pay("2", Payment::State::succeeded, 2), pay("3", Payment::State::succeeded, 3)});
    finish(store->refresh(KitService::stripe));
    EXPECT_EQ(store->snapshot().payments.value(KitService::stripe).size(), 5);
    auto ids = [](const QList<Payment>& list) {
        QStringList out;
        for (const auto& p : list)
            out.append(p.id);
        return out.join(u',');
    };
    EXPECT_EQ(ids(store->payments(KitService::stripe)), QStringLiteral("1,2,3"));
    preferences.setSelectedProjects({{QStringLiteral("stripe"), QStringLiteral("a")}});
    EXPECT_EQ(ids(store->payments(KitService::stripe)), QStringLiteral("1,4,5"));
    // A pick that is no longer an account filters nothing.
    preferences.setSelectedProjects({{QStringLiteral("stripe"), QStringLiteral("gone")}});
    EXPECT_EQ(ids(store->payments(KitService::stripe)), QStringLiteral("1,2,3"));
}

TEST_F(Queries, AccountNamesAndStates)
{
    build();
    preferences.setPaymentAccounts(
        {{QStringLiteral("stripe"), {{QStringLiteral("a"), std::nullopt, std::nullopt}}},
            {QStringLiteral("polar"),
                {{QStringLiteral("x"), std::nullopt, std::nullopt},
                    {QStringLiteral("y"), QStringLiteral("Shop"), std::nullopt},
                    {QStringLiteral("z"), std::nullopt, std::nullopt}}}});
    const auto stripeAccounts = store->paymentAccounts(KitService::stripe);
    ASSERT_EQ(stripeAccounts.size(), 1);
    EXPECT_EQ(stripeAccounts[0].name, QStringLiteral("Stripe account"));
    EXPECT_EQ(stripeAccounts[0].connection, KitConnection::connecting());
    const auto polarAccounts = store->paymentAccounts(KitService::polar);
    ASSERT_EQ(polarAccounts.size(), 3);
    EXPECT_EQ(polarAccounts[0].name, QStringLiteral("Account 1"));
    EXPECT_EQ(polarAccounts[1].name, QStringLiteral("Shop"));
    EXPECT_EQ(polarAccounts[2].name, QStringLiteral("Account 3"));
    EXPECT_EQ(store->projects(KitService::polar).value(1),
        (KitProject {QStringLiteral("y"), QStringLiteral("Shop")}));
}

TEST_F(Queries, BuildingNeedsAConnectedTool)
{
    secrets.items.insert(secretKeyOf(KitService::vercel), kFakeToken);
    vercel->rows = {row("1", Deployment::State::building, 10)};
    build();
    enableAll();
    finish(store->refresh(KitService::vercel));
    EXPECT_TRUE(store->isBuilding(KitService::vercel));
    vercel->rowsError = std::make_exception_ptr(ServiceFailure::refused(500, QStringLiteral("Oops")));
    store->markUnseen(KitService::vercel);
    // A connected tool is not asked who it is again; make it fail on its rows.
    finish(store->refresh(KitService::vercel));
    EXPECT_EQ(conn(KitService::vercel).kind(), KitConnection::Kind::failing);
    EXPECT_FALSE(store->isBuilding(KitService::vercel));
    // Polling still uses the shorter interval while the last list holds a building row.
    EXPECT_EQ(store->pollInterval(KitService::vercel), 5.0);
}

TEST_F(Queries, WiringKeepsAGivenUsageMapAndContactsNobody)
{
    DevKitStore::UsageSources usage {{KitService::claude, claudeUsage}};
    auto wired = DevKitStore::create(preferences, secrets, scheduler, false, usage);
    EXPECT_EQ(wired->snapshot(), DevKitSnapshot::empty());
    EXPECT_TRUE(wired->hasSource(KitService::claude));
    EXPECT_TRUE(wired->hasSource(KitService::codex)); // its API spend, though no reader was given
    EXPECT_TRUE(wired->hasSource(KitService::vercel));
    EXPECT_TRUE(wired->hasSource(KitService::cloudflare));
    EXPECT_TRUE(wired->hasSource(KitService::stripe));
    EXPECT_TRUE(wired->hasSource(KitService::polar));
    EXPECT_EQ(claudeUsage->reports + claudeUsage->connects, 0);
    preferences.setCheckIntervals({{QStringLiteral("claude"), 120}});
    EXPECT_EQ(wired->claudeCheckInterval(), 120);
    auto sample = DevKitStore::create(preferences, secrets, scheduler, true);
    EXPECT_EQ(sample->snapshot(), DevKitSnapshot::sample(scheduler.wallNow()));
}

} // namespace
