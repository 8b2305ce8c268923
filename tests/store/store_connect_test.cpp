#include "StoreFixture.h"

#include "http/HTTPClient.h"
#include "http/JsonReader.h"
#include "model/AppConfig.h"

using namespace brenvo;
using namespace brenvo::test;

namespace {

class Connecting : public StoreTest {
protected:
    void SetUp() override { buildEnabled(true); }
};

TEST_F(Connecting, EveryKindOfFailureHasItsSentenceAndOnlyARejectionIsRejected)
{
    const QString app = AppConfig::main().name.isEmpty() ? u"App"_s : AppConfig::main().name;
    const QString unreachable = u"Cloudflare could not be reached. Check your internet connection."_s;
    const std::tuple<std::exception_ptr, KitService, QString> cases[]
        = {{refused(404, u"Not Found"_s), KitService::gitlab, u"GitLab answered 404: Not Found"_s},
            {refused(502, QString()), vercelKit, u"Vercel answered 502: "_s},
            {refused(302, u"Moved"_s), githubKit,
                u"GitHub sent "_s + app + u" to another address, which "_s + app
                    + u" does not follow with your token."_s},
            {fail(ServiceFailure::explained(u"No builds."_s)), stripeKit, u"No builds."_s},
            {rejected(), stripeKit, u"Stripe did not accept the key."_s},
            {rejected(), KitService::codex, u"OpenAI Codex did not accept the key."_s},
            {fail(UsageFailure(u"Claude Code is not signed in."_s)), claudeKit,
                u"Claude Code is not signed in."_s},
            {fail(DecodingFailure(DecodingFailure::Kind::keyNotFound, u"id"_s, {})), vercelKit,
                u"Vercel answered with something "_s + app + u" does not understand."_s},
            {fail(TransportFailure(TransportFailure::Kind::timedOut)), KitService::cloudflare, unreachable},
            {fail(42), KitService::cloudflare, unreachable}, {nullptr, KitService::cloudflare, unreachable}};
    for (const auto& [failure, service, text] : cases)
        EXPECT_EQ(DevKitStore::failureText(failure, service), text);

    LogLines log;
    EXPECT_EQ(store->log(rejected(), githubKit), C::rejected());
    EXPECT_EQ(store->log(refused(401, u"Unauthorized"_s), githubKit),
        C::failing(u"GitHub answered 401: Unauthorized"_s));
    // A sentence with a percent sign is logged as it is, never used as a format.
    EXPECT_EQ(store->log(fail(ServiceFailure::explained(u"Quota at 100%s"_s)), vercelKit),
        C::failing(u"Quota at 100%s"_s));
    EXPECT_EQ(log.errors(),
        (QStringList {
            "GitHub did not accept the token.", "GitHub answered 401: Unauthorized", "Quota at 100%s"}));
}

TEST_F(Connecting, ATokenIsTrimmedTriedAndStoredOnlyAfterItWorked)
{
    LogLines log;
    interrupt(
        *vercel, u"account"_s, [&] { return store->connect(vercelKit, u"  test-token-not-real\n"_s); },
        [&] { EXPECT_TRUE(conn(vercelKit) == C::connecting() && !hasToken(vercelKit)); });
    EXPECT_EQ(vercel->tokens.value(0), kFakeToken);
    EXPECT_EQ(secrets.items.value(KitService(vercelKit).secretKey()), kFakeToken);
    EXPECT_EQ(conn(vercelKit), connected(u"robin"_s));
    EXPECT_EQ(log.info(), QStringList {"Connected to Vercel"});
    // The next refresh one interval after the connect.
    scheduler.advance(29.9);
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
    EXPECT_EQ(secrets.items.value(KitService(githubKit).secretKey()), u"earlier-token-not-real"_s);
    finish(store->connect(vercelKit, u" \n "_s));
    EXPECT_TRUE(conn(vercelKit) == C::notConnected() && vercel->calls.isEmpty());
    finish(store->connect(KitService::cloudflare, kFakeToken)); // a tool without a client
    EXPECT_TRUE(conn(KitService::cloudflare).reason().contains(u"cannot connect to Cloudflare"_s));
    EXPECT_FALSE(hasToken(KitService::cloudflare));
}

TEST_F(Connecting, ADisconnectWhileTheToolIsAskedWins)
{
    interrupt(
        *vercel, u"deployments"_s, [&] { return store->connect(vercelKit, kFakeToken); },
        [&] { store->disconnect(vercelKit); });
    scheduler.advance(5);
    expectForgotten(vercelKit);
    EXPECT_FALSE(green());
}

TEST_F(Connecting, ANewTokenOverAConnectedToolShowsOnlyWhatItsOwnReadsSay)
{
    github->avatar = testImage(qRgb(255, 0, 0));
    finish(store->connect(githubKit, u"old-token-not-real"_s));
    github->hold(u"deployments"_s);
    auto turn = store->refresh(githubKit); // a turn still reading with the old token
    scheduler.runPending();
    github->letThrough(u"deployments"_s);
    github->accountName = u"sam"_s;
    github->avatar = testImage(qRgb(0, 0, 255));
    finish(store->connect(githubKit, kFakeToken));
    github->rowsError = rejected(); // the old token was revoked meanwhile
    github->release(u"deployments"_s);
    scheduler.runPending();
    EXPECT_EQ(conn(githubKit), connected(u"sam"_s));
    EXPECT_EQ(store->accountIcons().value(githubKit), testImage(qRgb(0, 0, 255)));
}

TEST_F(Connecting, WhileANewTokenIsTriedNothingReadsWithTheOldOneAndItsOwnAccountStays)
{
    const QString old = u"old-token-not-real"_s;
    github->namesByToken = {{old, u"robin"_s}, {kFakeToken, u"sam"_s}};
    github->projectList = {KitProject {u"p2"_s, u"Two"_s}};
    finish(store->connect(githubKit, old));
    github->tokens.clear();
    const auto tryNewToken = [&](auto meanwhile) {
        interrupt(
            *github, u"deployments"_s, [&] { return store->connect(githubKit, kFakeToken); }, meanwhile);
    };
    tryNewToken([&] { scheduler.advance(30); }); // the loop's turn comes while the rows are on the way
    EXPECT_EQ(conn(githubKit), connected(u"sam"_s));
    scheduler.advance(600);
    EXPECT_EQ(conn(githubKit), connected(u"sam"_s));

    // A project picked meanwhile is read with the new token once Connect ends.
    storeToken(githubKit, old);
    tryNewToken([&] {
        store->pickProject(githubKit);
        store->select(KitProject {u"p2"_s, u"Two"_s}, githubKit);
    });
    EXPECT_TRUE(github->calls.contains(u"deployments p2"_s));
    EXPECT_FALSE(github->tokens.contains(old));
}

TEST_F(Connecting, AnOldRefreshOvertakenByConnectAndADisconnectMeanwhileLeaveTheSlotFreeAndTheOldTokenUnread)
{
    const QString old = u"old-token-not-real"_s;
    finish(store->connect(githubKit, old));
    github->hold(u"deployments"_s);
    auto before = store->refresh(githubKit); // under way with the old token
    scheduler.runPending();
    auto connecting = store->connect(githubKit, kFakeToken);
    scheduler.runPending();
    github->gate(u"deployments"_s).releaseOne(); // the old read ends first
    scheduler.runPending();
    github->tokens.clear();
    auto turn = store->refresh(githubKit); // still joins Connect
    scheduler.runPending();
    EXPECT_TRUE(before.isReady() && !turn.isReady() && github->tokens.isEmpty());
    store->disconnect(githubKit);
    auto afterwards = store->refresh(githubKit); // joins nothing of the tool forgotten
    scheduler.runPending();
    EXPECT_TRUE(afterwards.isReady());
    github->letThrough(u"deployments"_s);
    github->release(u"deployments"_s);
    finish(std::move(connecting));
    EXPECT_TRUE(turn.isReady());
    expectForgotten(githubKit);
    finish(store->connect(githubKit, kFakeToken)); // and the slot is free for the next
    EXPECT_EQ(conn(githubKit), connected(u"robin"_s));
}

TEST_F(Connecting, AKeyThatCannotBeSavedIsAFailure)
{
    secrets.refuseWrites = true;
    LogLines log;
    finish(store->connect(githubKit, kFakeToken));
    EXPECT_EQ(conn(githubKit),
        C::failing(u"GitHub accepted the token, but it could not be saved in the keyring."_s));
    EXPECT_TRUE(!store->isPolling(githubKit) && log.info().isEmpty());
    finish(store->connect(stripeKit, u"key-not-real"_s));
    EXPECT_EQ(store->addFailures().value(stripeKit).kind(), C::Kind::failing);
    EXPECT_TRUE(preferences.paymentAccounts().isEmpty());
    finish(store->connect(claudeKit, u"admin-key-not-real"_s));
    EXPECT_EQ(store->apiConnections().value(claudeKit).kind(), C::Kind::failing);
    EXPECT_FALSE(store->snapshot().spend.contains(claudeKit));
}

TEST_F(Connecting, AKeyTheKeyringHoldsForTheRunIsUsedAndSaidHeldUntilSaved)
{
    secrets.refuseWrites = true; // locked after launch
    secrets.holdsRefused = true;
    QSignalSpy told(store.get(), &DevKitStore::heldSecretsChanged);
    finish(store->connect(githubKit, kFakeToken));
    EXPECT_TRUE(conn(githubKit).isConnected() && store->isHeld(githubKit) && store->isPolling(githubKit));
    finish(store->connect(stripeKit, u"key-not-real"_s));
    ASSERT_EQ(store->paymentAccounts(stripeKit).size(), 1);
    EXPECT_TRUE(store->paymentAccounts(stripeKit).value(0).keyHeld && conn(stripeKit).isConnected());
    finish(store->connect(claudeKit, u"admin-key-not-real"_s));
    EXPECT_TRUE(store->apiConnections().value(claudeKit).isConnected() && store->isHeld(claudeKit));
    EXPECT_EQ(told.count(), 3);
    scheduler.advance(30); // a turn later it still reads as held, not as saved
    EXPECT_TRUE(conn(githubKit).isConnected() && store->isHeld(githubKit));
    secrets.saveHeld();
    EXPECT_FALSE(store->isHeld(githubKit) || store->paymentAccounts(stripeKit).value(0).keyHeld);
}

TEST_F(Connecting, PaymentKeysMakeAccountsAndDisconnectingForgetsThemAll)
{
    // Keys are never compared: the same key twice makes two accounts.
    finish(store->connect(stripeKit, u" key-not-real "_s));
    finish(store->connect(stripeKit, u"key-not-real"_s));
    const auto records = stripeRecords();
    ASSERT_EQ(records.size(), 2);
    EXPECT_NE(records[0].id, records[1].id);
    EXPECT_EQ(secrets.items.value(u"kit.stripe."_s + records[0].id), u"key-not-real"_s);
    store->select(KitProject {records[1].id, u"Shop"_s}, stripeKit);
    store->inspect(pay("p", PS::succeeded, 1, records[1].id), stripeKit);
    scheduler.advance(1);
    store->disconnect(stripeKit);
    expectForgotten(stripeKit);
    EXPECT_TRUE(secrets.items.isEmpty() && store->accountInfo().isEmpty());
    EXPECT_FALSE(preferences.selectedProjects().contains(u"stripe"_s) || store->inspectedPayment());
    EXPECT_TRUE(
        store->accountConnections().isEmpty() && store->connections().contains(stripeKit)); // and says so
    EXPECT_TRUE(green(stripeKit)); // a flash that runs ends by itself
    scheduler.advance(2.6);
    EXPECT_FALSE(green(stripeKit));
}

TEST_F(Connecting, ClaudeKeysGoToTheSpendHalfAndDisconnectingUndoesBothHalves)
{
    claudeSpend->figures = {UsageSpend {u"today"_s, u"Today"_s, 1.5, u"USD"_s, 1200}};
    finish(store->connect(claudeKit, u"\tadmin-key-not-real "_s));
    EXPECT_EQ(claudeSpend->keys, QStringList {"admin-key-not-real"});
    EXPECT_EQ(claudeUsage->connects, 0); // Claude Code's status line is not touched
    finish(store->connectUsage(claudeKit));
    EXPECT_TRUE(store->snapshot().spend.contains(claudeKit));
    store->disconnect(claudeKit);
    EXPECT_EQ(claudeUsage->disconnects, 1);
    expectForgotten(claudeKit);
    EXPECT_TRUE(store->planConnections().isEmpty() && store->apiConnections().isEmpty());
}

TEST_F(Connecting, ADisconnectThatCouldNotUndoThePlanHalfSaysSo)
{
    const QString refusal = u"Claude Code's settings file could not be put back."_s;
    finish(store->connectUsage(claudeKit));
    claudeUsage->disconnectRefusal = refusal;
    QSignalSpy told(store.get(), &DevKitStore::planConnectionsChanged);
    store->disconnectUsage(claudeKit); // the half alone
    EXPECT_EQ(store->planConnections().value(claudeKit), C::failing(refusal));
    EXPECT_EQ(told.count(), 1);
    store->disconnect(claudeKit); // the whole tool
    EXPECT_EQ(store->connection(claudeKit), C::notConnected());
    EXPECT_EQ(store->planConnections().value(claudeKit), C::failing(refusal));
    claudeUsage->disconnectRefusal.reset();
    store->disconnect(claudeKit);
    EXPECT_TRUE(store->planConnections().isEmpty());
}

} // namespace
