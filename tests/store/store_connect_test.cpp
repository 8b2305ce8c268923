#include "StoreFixture.h"

using namespace brenvo;
using namespace brenvo::test;

namespace {

class Connecting : public StoreTest {
protected:
    void SetUp() override { buildEnabled(true); }
};

TEST_F(Connecting, ATokenIsTrimmedTriedAndStoredOnlyAfterItWorked)
{
    LogLines log;
    vercel->hold("account");
    auto pending = store->connect(vercelKit, u"  test-token-not-real\n"_s);
    EXPECT_EQ(conn(vercelKit), C::connecting());
    EXPECT_FALSE(hasToken(vercelKit));
    vercel->release("account");
    finish(std::move(pending));
    EXPECT_EQ(vercel->tokens.value(0), kFakeToken);
    EXPECT_EQ(token(vercelKit), kFakeToken);
    EXPECT_EQ(conn(vercelKit), connected(u"robin"_s));
    EXPECT_EQ(log.info(), QStringList {"Connected to Vercel"});
    // Green a second later; the next refresh one interval after the connect.
    scheduler.advance(1);
    EXPECT_TRUE(green());
    scheduler.advance(28.9);
    EXPECT_EQ(vercel->count("deployments"), 1);
    scheduler.advance(0.1);
    EXPECT_EQ(vercel->count("deployments"), 2);
}

TEST_F(Connecting, ARefusedOrBlankTokenIsNotStoredAndAnEarlierOneStays)
{
    storeToken(githubKit, u"earlier-token-not-real"_s);
    github->accountError = rejected();
    finish(store->connect(githubKit, u"other-token-not-real"_s));
    EXPECT_EQ(conn(githubKit), C::rejected());
    EXPECT_EQ(token(githubKit), u"earlier-token-not-real"_s);
    finish(store->connect(vercelKit, u" \n "_s));
    EXPECT_EQ(conn(vercelKit), C::notConnected());
    EXPECT_TRUE(vercel->calls.isEmpty());
}

TEST_F(Connecting, ADisconnectWhileTheToolIsAskedWins)
{
    vercel->hold("deployments");
    auto pending = store->connect(vercelKit, kFakeToken);
    store->disconnect(vercelKit);
    vercel->release("deployments");
    finish(std::move(pending));
    scheduler.advance(5);
    EXPECT_EQ(conn(vercelKit), C::notConnected());
    EXPECT_FALSE(hasToken(vercelKit) || store->isPolling(vercelKit) || green());
    EXPECT_FALSE(store->snapshot().deployments.contains(vercelKit));
}

TEST_F(Connecting, AKeyThatCannotBeSavedIsAFailure)
{
    secrets.refuseWrites = true;
    LogLines log;
    finish(store->connect(githubKit, kFakeToken));
    EXPECT_EQ(conn(githubKit),
        C::failing(u"GitHub accepted the token, but it could not be saved in the keyring."_s));
    EXPECT_FALSE(store->isPolling(githubKit));
    EXPECT_TRUE(log.info().isEmpty());
    finish(store->connect(stripeKit, u"key-not-real"_s));
    EXPECT_EQ(store->addFailures().value(stripeKit).kind(), C::Kind::failing);
    EXPECT_TRUE(preferences.paymentAccounts().isEmpty());
    finish(store->connect(claudeKit, u"admin-key-not-real"_s));
    EXPECT_EQ(store->apiConnections().value(claudeKit).kind(), C::Kind::failing);
    EXPECT_FALSE(store->snapshot().spend.contains(claudeKit));
}

TEST_F(Connecting, EachGroupGoesItsOwnWayAndAToolWithoutAClientSaysSo)
{
    // Payment keys are never compared: the same key twice makes two accounts.
    finish(store->connect(stripeKit, u" key-not-real "_s));
    finish(store->connect(stripeKit, u"key-not-real"_s));
    const auto records = stripeRecords();
    ASSERT_EQ(records.size(), 2);
    EXPECT_NE(records[0].id, records[1].id);
    EXPECT_EQ(secrets.items.value(u"kit.stripe."_s + records[0].id), u"key-not-real"_s);
    // An admin key goes to the spend half only; Claude Code's status line is not touched.
    finish(store->connect(claudeKit, u"\tadmin-key-not-real "_s));
    EXPECT_EQ(claudeSpend->keys, QStringList {"admin-key-not-real"});
    EXPECT_EQ(claudeUsage->connects, 0);
    finish(store->connect(KitService::cloudflare, kFakeToken));
    EXPECT_TRUE(conn(KitService::cloudflare).reason().contains(u"cannot connect to Cloudflare"_s));
    EXPECT_FALSE(hasToken(KitService::cloudflare));
    finish(store->connectUsage(KitService::codex));
    EXPECT_EQ(store->planConnections().value(KitService::codex).kind(), C::Kind::failing);
}

TEST_F(Connecting, DisconnectingAPaymentToolForgetsEveryAccountAndClosesOnlyItsViews)
{
    stripe->infos.insert(u"key-1-not-real"_s, PaymentAccountInfo {u"Shop"_s, u"shop.example"_s, {}, {}});
    siteIcons->sites.insert(u"shop.example"_s, testImage(qRgb(5, 5, 5)));
    finish(store->connect(stripeKit, u"key-1-not-real"_s));
    finish(store->connect(stripeKit, u"key-2-not-real"_s));
    const auto records = stripeRecords();
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(store->projectIcons().value(stripeKit).size(), 1);
    store->select(KitProject {records[1].id, u"Shop"_s}, stripeKit);
    store->inspect(pay("p", PS::succeeded, 1, records[1].id), stripeKit);
    store->disconnect(githubKit);
    EXPECT_TRUE(store->inspectedPayment());
    scheduler.advance(1);
    store->disconnect(stripeKit);
    EXPECT_TRUE(green(stripeKit)); // a flash that runs ends by itself
    scheduler.advance(2.6);
    EXPECT_FALSE(green(stripeKit));
    EXPECT_FALSE(preferences.paymentAccounts().contains(u"stripe"_s));
    EXPECT_FALSE(preferences.selectedProjects().contains(u"stripe"_s));
    EXPECT_EQ(secrets.items.size(), 0);
    EXPECT_TRUE(store->accountConnections().isEmpty() && store->accountInfo().isEmpty());
    EXPECT_TRUE(store->iconsLookedFor().isEmpty() && !store->projectIcons().contains(stripeKit));
    EXPECT_EQ(conn(stripeKit), C::notConnected());
    EXPECT_TRUE(store->connections().contains(stripeKit)); // an entry that says so
    EXPECT_FALSE(store->inspectedPayment() || store->isPolling(stripeKit));
    EXPECT_TRUE(preferences.enabledServices().contains(stripeKit)); // stays enabled
}

TEST_F(Connecting, DisconnectingClaudeUndoesBothHalves)
{
    claudeSpend->figures = {UsageSpend {u"today"_s, u"Today"_s, 1.5, u"USD"_s, 1200}};
    finish(store->connectUsage(claudeKit));
    finish(store->connect(claudeKit, u"admin-key-not-real"_s));
    EXPECT_TRUE(store->snapshot().spend.contains(claudeKit));
    store->disconnect(claudeKit);
    EXPECT_EQ(claudeUsage->disconnects, 1);
    EXPECT_FALSE(hasToken(claudeKit));
    EXPECT_FALSE(store->snapshot().spend.contains(claudeKit) || store->snapshot().usage.contains(claudeKit));
    EXPECT_TRUE(store->planConnections().isEmpty() && store->apiConnections().isEmpty());
    EXPECT_FALSE(store->spendChecked().contains(claudeKit));
    EXPECT_EQ(conn(claudeKit), C::notConnected());
}

} // namespace
