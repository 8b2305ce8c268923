#include "StoreFixture.h"

using namespace brenvo;
using namespace brenvo::test;

namespace {

using State = Deployment::State;

class Connecting : public StoreTest {
protected:
    void SetUp() override
    {
        enableAll();
        build();
        store->start();
    }
};

TEST_F(Connecting, ATokenIsTrimmedTriedAndStoredOnlyAfterItWorked)
{
    LogLines log;
    vercel->hold("account");
    auto pending = store->connect(KitService::vercel, QStringLiteral("  test-token-not-real\n"));
    EXPECT_EQ(conn(KitService::vercel), KitConnection::connecting());
    EXPECT_FALSE(secrets.items.contains(secretKeyOf(KitService::vercel)));
    vercel->release("account");
    finish(std::move(pending));
    EXPECT_EQ(vercel->tokens.value(0), kFakeToken);
    EXPECT_EQ(secrets.items.value(secretKeyOf(KitService::vercel)), kFakeToken);
    EXPECT_EQ(conn(KitService::vercel), connected(QStringLiteral("robin")));
    EXPECT_EQ(log.info(), QStringList {"Connected to Vercel"});
    EXPECT_TRUE(store->isPolling(KitService::vercel));

    // Green a second later for 2.6 s; the next refresh one interval after the connect.
    EXPECT_FALSE(store->celebrating().contains(KitService::vercel));
    scheduler.advance(1);
    EXPECT_TRUE(store->celebrating().contains(KitService::vercel));
    scheduler.advance(2.6);
    EXPECT_FALSE(store->celebrating().contains(KitService::vercel));
    EXPECT_EQ(vercel->count("deployments"), 1);
    scheduler.advance(26.4);
    EXPECT_EQ(vercel->count("deployments"), 2);
}

TEST_F(Connecting, ARefusedTokenIsNotStoredAndAnEarlierOneStays)
{
    secrets.items.insert(secretKeyOf(KitService::github), QStringLiteral("earlier-token-not-real"));
    github->accountError = std::make_exception_ptr(ServiceFailure::rejected());
    finish(store->connect(KitService::github, QStringLiteral("other-token-not-real")));
    EXPECT_EQ(conn(KitService::github), KitConnection::rejected());
    EXPECT_EQ(secrets.items.value(secretKeyOf(KitService::github)), QStringLiteral("earlier-token-not-real"));
    // Blank keys and sample data change nothing.
    finish(store->connect(KitService::vercel, QStringLiteral(" \n ")));
    EXPECT_EQ(conn(KitService::vercel), KitConnection::notConnected());
    DevKitStore sample(preferences, secrets, scheduler, true, {});
    finish(sample.connect(KitService::vercel, kFakeToken));
    EXPECT_TRUE(vercel->calls.isEmpty());
}

TEST_F(Connecting, ADisconnectWhileTheToolIsAskedWins)
{
    vercel->hold("deployments");
    auto pending = store->connect(KitService::vercel, kFakeToken);
    store->disconnect(KitService::vercel);
    vercel->release("deployments");
    finish(std::move(pending));
    EXPECT_EQ(conn(KitService::vercel), KitConnection::notConnected());
    EXPECT_FALSE(secrets.items.contains(secretKeyOf(KitService::vercel)));
    EXPECT_FALSE(store->isPolling(KitService::vercel));
    EXPECT_FALSE(store->snapshot().deployments.contains(KitService::vercel));
    scheduler.advance(5);
    EXPECT_FALSE(store->celebrating().contains(KitService::vercel));
}

TEST_F(Connecting, AKeyThatCannotBeSavedIsAFailure)
{
    secrets.refuseWrites = true;
    LogLines log;
    finish(store->connect(KitService::github, kFakeToken));
    EXPECT_EQ(conn(KitService::github),
        KitConnection::failing(
            QStringLiteral("GitHub accepted the token, but it could not be saved in the keyring.")));
    EXPECT_FALSE(store->isPolling(KitService::github));
    EXPECT_FALSE(log.info().contains(QStringLiteral("Connected to GitHub")));
    finish(store->connect(KitService::stripe, QStringLiteral("key-not-real")));
    EXPECT_EQ(store->addFailures().value(KitService::stripe).kind(), KitConnection::Kind::failing);
    EXPECT_TRUE(preferences.paymentAccounts().isEmpty());
    finish(store->connect(KitService::claude, QStringLiteral("admin-key-not-real")));
    EXPECT_EQ(store->apiConnections().value(KitService::claude).kind(), KitConnection::Kind::failing);
    EXPECT_FALSE(store->snapshot().spend.contains(KitService::claude));
}

TEST_F(Connecting, AToolWithoutAClientSaysSo)
{
    finish(store->connect(KitService::cloudflare, kFakeToken));
    EXPECT_EQ(conn(KitService::cloudflare).kind(), KitConnection::Kind::failing);
    EXPECT_TRUE(
        conn(KitService::cloudflare).reason().contains(QStringLiteral("cannot connect to Cloudflare")));
    EXPECT_FALSE(secrets.items.contains(secretKeyOf(KitService::cloudflare)));
    finish(store->connect(KitService::codex, QStringLiteral("admin-key-not-real")));
    EXPECT_EQ(conn(KitService::codex).kind(), KitConnection::Kind::failing);
    finish(store->connectUsage(KitService::codex));
    EXPECT_EQ(store->planConnections().value(KitService::codex).kind(), KitConnection::Kind::failing);
}

TEST_F(Connecting, EachGroupGoesItsOwnWay)
{
    // Payment keys are never compared: the same key twice makes two accounts.
    finish(store->connect(KitService::stripe, QStringLiteral(" key-not-real ")));
    finish(store->connect(KitService::stripe, QStringLiteral("key-not-real")));
    const auto records = preferences.paymentAccounts().value(QStringLiteral("stripe"));
    ASSERT_EQ(records.size(), 2);
    EXPECT_NE(records[0].id, records[1].id);
    EXPECT_EQ(
        secrets.items.value(QStringLiteral("kit.stripe.") + records[0].id), QStringLiteral("key-not-real"));
    // An admin key goes to the spend half only; Claude Code's status line is not touched.
    finish(store->connect(KitService::claude, QStringLiteral("\tadmin-key-not-real ")));
    EXPECT_EQ(claudeSpend->keys, QStringList {"admin-key-not-real"});
    EXPECT_EQ(claudeUsage->connects, 0);
}

TEST_F(Connecting, DisconnectingAPaymentToolForgetsEveryAccount)
{
    for (const char* key : {"key-1-not-real", "key-2-not-real", "key-3-not-real"})
        stripe->infos.insert(QString::fromLatin1(key),
            PaymentAccountInfo {QStringLiteral("Shop"), QStringLiteral("shop.example"), {}, {}});
    siteIcons->sites.insert(QStringLiteral("shop.example"), testImage(qRgb(5, 5, 5)));
    for (const char* key : {"key-1-not-real", "key-2-not-real", "key-3-not-real"})
        finish(store->connect(KitService::stripe, QString::fromLatin1(key)));
    const auto records = preferences.paymentAccounts().value(QStringLiteral("stripe"));
    ASSERT_EQ(records.size(), 3);
    EXPECT_EQ(store->projectIcons().value(KitService::stripe).size(), 3);
    store->select(KitProject {records[1].id, QStringLiteral("Shop")}, KitService::stripe);
    store->inspect(pay("p", Payment::State::succeeded, 1, records[1].id), KitService::stripe);
    store->disconnect(KitService::stripe);
    EXPECT_FALSE(preferences.paymentAccounts().contains(QStringLiteral("stripe")));
    EXPECT_FALSE(preferences.selectedProjects().contains(QStringLiteral("stripe")));
    for (const auto& record : records)
        EXPECT_FALSE(secrets.items.contains(QStringLiteral("kit.stripe.") + record.id));
    EXPECT_TRUE(store->accountConnections().isEmpty());
    EXPECT_TRUE(store->accountInfo().isEmpty());
    EXPECT_FALSE(store->projectIcons().contains(KitService::stripe));
    EXPECT_TRUE(store->iconsLookedFor().isEmpty());
    EXPECT_EQ(conn(KitService::stripe), KitConnection::notConnected());
    EXPECT_TRUE(store->connections().contains(KitService::stripe)); // an entry that says so
    EXPECT_FALSE(store->inspectedPayment());
    EXPECT_FALSE(store->isPolling(KitService::stripe));
}

TEST_F(Connecting, DisconnectingClosesOnlyThatToolsViews)
{
    finish(store->connect(KitService::vercel, kFakeToken));
    store->inspect(row("1", State::ready, 1), KitService::vercel);
    store->disconnect(KitService::github);
    EXPECT_TRUE(store->inspection());
    store->disconnect(KitService::vercel);
    EXPECT_FALSE(store->inspection());
    EXPECT_FALSE(secrets.items.contains(secretKeyOf(KitService::vercel)));
    EXPECT_TRUE(preferences.enabledServices().contains(KitService::vercel)); // stays enabled
    store->pickProject(KitService::github);
    store->disconnect(KitService::github);
    EXPECT_FALSE(store->picking());
    // A flash that runs ends by itself.
    finish(store->connect(KitService::vercel, kFakeToken));
    scheduler.advance(1);
    store->disconnect(KitService::vercel);
    EXPECT_TRUE(store->celebrating().contains(KitService::vercel));
    scheduler.advance(2.6);
    EXPECT_FALSE(store->celebrating().contains(KitService::vercel));
}

TEST_F(Connecting, DisconnectingClaudeUndoesBothHalves)
{
    claudeSpend->figures
        = {UsageSpend {QStringLiteral("today"), QStringLiteral("Today"), 1.5, QStringLiteral("USD"), 1200}};
    finish(store->connectUsage(KitService::claude));
    finish(store->connect(KitService::claude, QStringLiteral("admin-key-not-real")));
    EXPECT_TRUE(store->snapshot().spend.contains(KitService::claude));
    store->disconnect(KitService::claude);
    EXPECT_EQ(claudeUsage->disconnects, 1);
    EXPECT_FALSE(claudeUsage->isConnected());
    EXPECT_FALSE(secrets.items.contains(secretKeyOf(KitService::claude)));
    EXPECT_FALSE(store->snapshot().spend.contains(KitService::claude));
    EXPECT_FALSE(store->snapshot().usage.contains(KitService::claude));
    EXPECT_TRUE(store->planConnections().isEmpty());
    EXPECT_TRUE(store->apiConnections().isEmpty());
    EXPECT_FALSE(store->spendChecked().contains(KitService::claude));
    EXPECT_EQ(conn(KitService::claude), KitConnection::notConnected());
}

} // namespace
