#include "StoreFixture.h"

using namespace brenvo;
using namespace brenvo::test;

namespace {

class Queries : public StoreTest { };

TEST_F(Queries, SampleDataAnswersEveryQueryAndActionWithoutATool)
{
    storeToken(vercelKit);
    build(true);
    store->start();
    EXPECT_FALSE(store->isRunning());
    EXPECT_EQ(store->snapshot(), DevKitSnapshot::sample(scheduler.wallNow()));
    for (auto s : KitService::allCases())
        EXPECT_EQ(conn(s), connected(u"demo"_s));
    EXPECT_TRUE(store->isBuilding(KitService::gitlab)); // a sample row builds
    // Projects: the distinct sample projects of the check tools, sorted; none for the others.
    EXPECT_EQ(store->projects(githubKit),
        (QList<KitProject> {{u"dashboard"_s, u"dashboard"_s}, {u"docs"_s, u"docs"_s},
            {u"marketing-site"_s, u"marketing-site"_s}}));
    EXPECT_TRUE(store->projects(vercelKit).isEmpty());
    // A pick filters the sample rows; a pick not listed does not.
    store->select(KitProject {u"docs"_s, u"docs"_s}, githubKit);
    EXPECT_EQ(store->deployments(githubKit).value(0).id, u"dpl_3"_s);
    EXPECT_EQ(store->deployments(githubKit).size(), 1);
    store->select(KitProject {u"gone"_s, u"gone"_s}, githubKit);
    EXPECT_FALSE(store->selectedProject(githubKit));
    EXPECT_EQ(store->deployments(githubKit).size(), 3);
    // One sample account per payment tool; picking it keeps the sample payments on the card.
    const auto accounts = store->paymentAccounts(stripeKit);
    ASSERT_EQ(accounts.size(), 1);
    EXPECT_EQ(accounts[0], (PaymentAccount {u"demo"_s, u"Acme"_s, connected()}));
    store->select(store->projects(stripeKit).value(0), stripeKit);
    ASSERT_TRUE(store->selectedProject(stripeKit));
    EXPECT_EQ(store->payments(stripeKit).size(), 3);

    // Actions answer at once and ask no tool.
    const auto rows = store->deployments(githubKit);
    store->inspect(rows[2], githubKit);
    EXPECT_EQ(store->inspection()->details, DeploymentDetails::sample(rows[2], githubKit));
    EXPECT_TRUE(store->redeploy().isReady());
    EXPECT_EQ(store->inspection()->redeploy, DeploymentInspection::Redeploy::started());
    finish(store->connect(vercelKit, kFakeToken));
    finish(store->connectAPIUsage(claudeKit, u"admin-key-not-real"_s));
    scheduler.advance(10);
    EXPECT_TRUE(vercel->calls.isEmpty() && github->calls.isEmpty() && claudeSpend->keys.isEmpty());
    EXPECT_EQ(scheduler.pendingCount(), 0);
}

TEST_F(Queries, PaymentsAreCutToThreeAndFilteredByThePickedAccount)
{
    buildEnabled();
    account(u"a"_s, u"key-a-not-real"_s);
    account(u"b"_s, u"key-b-not-real"_s);
    stripe->lists.insert(u"key-a-not-real"_s,
        {pay("1", PS::succeeded, 1), pay("4", PS::succeeded, 4), pay("5", PS::succeeded, 5)});
    stripe->lists.insert(u"key-b-not-real"_s, {pay("2", PS::succeeded, 2), pay("3", PS::succeeded, 3)});
    finish(store->refresh(stripeKit));
    EXPECT_EQ(paymentIDs().size(), 5);
    const auto shown = [this] {
        QStringList out;
        for (const auto& p : store->payments(stripeKit))
            out.append(p.id);
        return out.join(u',');
    };
    EXPECT_EQ(shown(), u"1,2,3"_s);
    preferences.setSelectedProjects({{u"stripe"_s, u"a"_s}});
    EXPECT_EQ(shown(), u"1,4,5"_s);
    // A pick that is no longer an account filters nothing.
    preferences.setSelectedProjects({{u"stripe"_s, u"gone"_s}});
    EXPECT_EQ(shown(), u"1,2,3"_s);
}

TEST_F(Queries, AccountNamesAndTheOrderOfEnabledTools)
{
    build();
    preferences.setPaymentAccounts({{u"stripe"_s, {{u"a"_s, std::nullopt, std::nullopt}}},
        {u"polar"_s,
            {{u"x"_s, std::nullopt, std::nullopt}, {u"y"_s, u"Shop"_s, std::nullopt},
                {u"z"_s, std::nullopt, std::nullopt}}}});
    EXPECT_EQ(store->paymentAccounts(stripeKit),
        (QList<PaymentAccount> {{u"a"_s, u"Stripe account"_s, C::connecting()}}));
    QStringList names;
    for (const auto& account : store->paymentAccounts(KitService::polar))
        names.append(account.name);
    EXPECT_EQ(names, (QStringList {"Account 1", "Shop", "Account 3"}));
    // Declaration order, whatever order the set holds.
    preferences.setEnabledServices({KitService::codex, vercelKit, KitService::polar});
    EXPECT_EQ(
        store->enabledServices(), (QList<KitService> {vercelKit, KitService::polar, KitService::codex}));
}

TEST_F(Queries, BuildingNeedsAConnectedToolYetPollingStaysShort)
{
    storeToken(vercelKit);
    vercel->rows = {row("1", DS::building, 10)};
    buildEnabled();
    finish(store->refresh(vercelKit));
    EXPECT_TRUE(store->isBuilding(vercelKit));
    vercel->rowsError = refused(500, u"Oops"_s);
    finish(store->refresh(vercelKit));
    EXPECT_EQ(conn(vercelKit).kind(), C::Kind::failing);
    EXPECT_FALSE(store->isBuilding(vercelKit));
    // Polling still uses the shorter interval while the last list holds a building row.
    EXPECT_EQ(store->pollInterval(vercelKit), 5.0);
}

TEST_F(Queries, WiringKeepsAGivenUsageMapAndContactsNobody)
{
    auto wired = DevKitStore::create(
        preferences, secrets, scheduler, false, DevKitStore::UsageSources {{claudeKit, claudeUsage}});
    EXPECT_EQ(wired->snapshot(), DevKitSnapshot::empty());
    EXPECT_TRUE(wired->hasSource(claudeKit) && wired->hasSource(vercelKit)
        && wired->hasSource(KitService::cloudflare));
    EXPECT_EQ(claudeUsage->reports + claudeUsage->connects, 0);
    preferences.setCheckIntervals({{u"claude"_s, 120}});
    EXPECT_EQ(wired->claudeCheckInterval(), 120);
    EXPECT_EQ(DevKitStore::create(preferences, secrets, scheduler, true)->snapshot(),
        DevKitSnapshot::sample(scheduler.wallNow()));
}

} // namespace
