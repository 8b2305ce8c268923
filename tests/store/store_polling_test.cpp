#include "StoreFixture.h"

#include "model/AppConfig.h"
#include "model/KitText.h"

using namespace brenvo;
using namespace brenvo::test;

namespace {

class Polling : public StoreTest {
protected:
    void SetUp() override
    {
        storeToken(vercelKit);
        storeToken(githubKit);
    }
};

TEST_F(Polling, StartMarksConfiguredToolsAndStopEndsTheirTasks)
{
    preferences.setEnabledServices({vercelKit});
    build();
    store->start();
    // vercel: refreshed at once; github: configured but disabled, its task runs and does nothing.
    EXPECT_EQ(conn(githubKit), C::connecting());
    EXPECT_TRUE(store->isPolling(githubKit) && github->calls.isEmpty());
    // Not configured: no task, state untouched.
    EXPECT_FALSE(store->isPolling(stripeKit) || store->connections().contains(stripeKit));
    store->start(); // a second start does nothing
    store->stop();
    scheduler.advance(120);
    EXPECT_EQ(vercel->count("deployments"), 1);
    EXPECT_EQ(conn(vercelKit), connected(u"robin"_s)); // states stay
}

TEST_F(Polling, EachIntervalCountsFromTheEndOfTheRefresh)
{
    buildEnabled(true);
    vercel->hold("deployments");
    scheduler.advance(30);
    EXPECT_EQ(vercel->waiting("deployments"), 1);
    scheduler.advance(7); // a slow answer
    vercel->release("deployments");
    scheduler.advance(29.9);
    EXPECT_EQ(vercel->count("deployments"), 2);
    scheduler.advance(0.1);
    EXPECT_EQ(vercel->count("deployments"), 3);
}

TEST_F(Polling, BuildingRowsShortenTheIntervalButNeverLengthenIt)
{
    vercel->rows = {row("1", DS::building, 5)};
    github->rows = {row("1", DS::building, 5)};
    buildEnabled(true);
    scheduler.advance(5);
    EXPECT_EQ(vercel->count("deployments"), 2);
    EXPECT_EQ(github->count("deployments"), 1);
    scheduler.advance(5);
    EXPECT_EQ(github->count("deployments"), 2);
    EXPECT_EQ(vercel->count("deployments"), 3);

    store->setCheckInterval(3, githubKit); // used from the next sleep on
    EXPECT_EQ(preferences.checkIntervals().value(u"github"_s), 3);
    scheduler.advance(10);
    EXPECT_EQ(github->count("deployments"), 3);
    scheduler.advance(3);
    EXPECT_EQ(github->count("deployments"), 4);

    // Once nothing builds, the stored interval counts again.
    vercel->rows = {row("1", DS::ready, 5)};
    const int before = vercel->count("deployments");
    scheduler.advance(2); // at 25 s the ready list arrives
    EXPECT_EQ(vercel->count("deployments"), before + 1);
    scheduler.advance(29.9);
    EXPECT_EQ(vercel->count("deployments"), before + 1);
    scheduler.advance(0.1);
    EXPECT_EQ(vercel->count("deployments"), before + 2);
}

TEST_F(Polling, StuckRowsAndFailuresKeepTheNormalPaceOrSlowerUntilASuccess)
{
    vercel->rows = {row("1", DS::building, 6 * 3600)}; // stuck, not busy
    buildEnabled(true);
    // Each failure in a row doubles the wait from the normal interval, up to 15 minutes.
    for (const double wait : {30.0, 30.0, 60.0, 120.0, 240.0, 480.0, 900.0, 900.0}) {
        vercel->rowsError = wait < 100 ? rejected() : refused(500, u"Oops"_s);
        const int before = vercel->count("deployments");
        scheduler.advance(wait - 0.1);
        EXPECT_EQ(vercel->count("deployments"), before) << wait;
        scheduler.advance(0.1);
    }
    vercel->rowsError = nullptr;
    vercel->rows = {row("1", DS::building, 10)};
    scheduler.advance(900);
    EXPECT_TRUE(store->isBuilding(vercelKit));
    EXPECT_EQ(store->pollInterval(vercelKit), 5.0);
}

TEST_F(Polling, ASpentRequestLimitIsWaitedOutAtMostAnHourAndTheCardSaysUntilWhen)
{
    buildEnabled(true);
    const QString app = AppConfig::main().name.isEmpty() ? u"App"_s : AppConfig::main().name;
    for (const int ahead : {1800, 5 * 3600}) {
        const QDateTime until = ago(-std::min(ahead, 3600));
        github->rowsError = fail(ServiceFailure::refused(403, u"API rate limit exceeded"_s, ago(-ahead)));
        finish(store->refresh(githubKit));
        const int asked = github->count("deployments");
        EXPECT_EQ(conn(githubKit).reason(),
            u"GitHub answered 403: API rate limit exceeded "_s + app + u" will try again at "_s
                + QLocale().toString(until.toLocalTime().time(), QLocale::ShortFormat) + u"."_s);
        store->setEnabled(true, githubKit); // nor by a refresh of the user's
        scheduler.advance(std::min(ahead, 3600) - 0.1);
        EXPECT_EQ(github->count("deployments"), asked) << ahead;
        scheduler.advance(0.1);
        EXPECT_EQ(github->count("deployments"), asked + 1) << ahead;
    }
}

TEST_F(Polling, ASuccessOfTheUsersEndsTheBackOff)
{
    // Failures at 0, 30, 90 and 210 s: the loop now sleeps 240 s.
    vercel->rowsError = refused(500, u"Down"_s);
    buildEnabled(true);
    scheduler.advance(220);
    ASSERT_EQ(vercel->count("deployments"), 4);
    const auto nextRefreshIn = [&](double wait) {
        const int before = vercel->count("deployments");
        scheduler.advance(wait - 0.1);
        EXPECT_EQ(vercel->count("deployments"), before) << wait;
        scheduler.advance(0.1);
        EXPECT_EQ(vercel->count("deployments"), before + 1) << wait;
    };
    // A good token pasted: the next refresh one interval after it.
    vercel->rowsError = nullptr;
    finish(store->connect(vercelKit, kFakeToken));
    nextRefreshIn(30);
    // Again through a refresh the user asked for.
    vercel->rowsError = refused(500, u"Down"_s);
    scheduler.advance(30 + 60 + 120 + 10);
    vercel->rowsError = nullptr;
    store->setEnabled(true, vercelKit);
    scheduler.runPending();
    EXPECT_TRUE(conn(vercelKit).isConnected());
    nextRefreshIn(30);
    // A spent request limit ends with a connect that worked too.
    github->rowsError = fail(ServiceFailure::refused(429, u"Slow down"_s, ago(-3000)));
    scheduler.advance(30);
    github->rowsError = nullptr;
    finish(store->connect(githubKit, kFakeToken));
    const int asked = github->count("deployments");
    scheduler.advance(30);
    EXPECT_EQ(github->count("deployments"), asked + 1);
}

TEST_F(Polling, AnAddedAccountOrAPIKeyEndsTheBackOff)
{
    const QString keyA = u"key-a-not-real"_s;
    account(u"a"_s, keyA);
    stripe->accountErrors.insert(keyA, rejected());
    storeToken(KitService::codex, u"admin-key-not-real"_s);
    codexSpend->error = refused(500, u"Down"_s);
    buildEnabled(true);
    // stripe: failures at 0, 30, 90, 210 and 450 s; codex (60 s, spend asked every 5 min) likewise.
    scheduler.advance(460);
    const auto asked = [&] { return stripe->calls.count(u"account "_s + keyA); };
    ASSERT_EQ(asked(), 5);
    finish(store->addPaymentAccount(stripeKit, u"key-b-not-real"_s, {}, {}));
    EXPECT_TRUE(conn(stripeKit).isConnected());
    scheduler.advance(29.9);
    EXPECT_EQ(asked(), 5);
    scheduler.advance(0.1);
    EXPECT_EQ(asked(), 6);

    const qsizetype spent = codexSpend->keys.size();
    codexSpend->error = nullptr;
    finish(store->connectAPIUsage(KitService::codex, u"admin-key-not-real"_s));
    EXPECT_TRUE(conn(KitService::codex).isConnected());
    // Polled each minute again: spend is due five minutes after the connect asked it.
    scheduler.advance(299.9);
    EXPECT_EQ(codexSpend->keys.size(), spent + 1);
    scheduler.advance(0.1);
    EXPECT_EQ(codexSpend->keys.size(), spent + 2);
}

TEST_F(Polling, ARequestLimitPauseHoldsWhenTheClockIsSetBack)
{
    buildEnabled(true);
    github->rowsError = fail(ServiceFailure::refused(403, u"API rate limit exceeded"_s, ago(-1800)));
    finish(store->refresh(githubKit));
    // The sentence still names the time of day when the pause ends.
    EXPECT_TRUE(conn(githubKit).reason().endsWith(
        QLocale().toString(ago(-1800).toLocalTime().time(), QLocale::ShortFormat) + u"."_s));
    const int asked = github->count("deployments");
    scheduler.shiftWallClock(std::chrono::hours(-24));
    scheduler.advance(1799.9);
    EXPECT_EQ(github->count("deployments"), asked);
    scheduler.advance(0.1);
    EXPECT_EQ(github->count("deployments"), asked + 1);
}

TEST_F(Polling, PaymentKeysThatCouldNotBeReadAreNotRefused)
{
    account(u"a"_s, u"key-a-not-real"_s);
    stripe->lists.insert(u"key-a-not-real"_s, {pay("1", PS::succeeded, 10)});
    secrets.unreadable = {u"kit.stripe.a"_s, u"kit.polar"_s};
    secrets.items.insert(u"kit.polar"_s, u"legacy-polar-not-real"_s);
    LogLines log;
    buildEnabled(true);
    scheduler.advance(300);
    // Locked: nothing asked, nothing refused, polled at the normal pace.
    EXPECT_EQ(conn(stripeKit), C::failing(lockedText(stripeKit)));
    EXPECT_TRUE(stripe->calls.isEmpty() && log.errors().isEmpty());
    EXPECT_EQ(store->pollInterval(stripeKit), 30.0);
    EXPECT_FALSE(store->isPolling(KitService::polar));
    // Unlocked: read at once; the first load is silent, and the legacy key makes its account.
    secrets.unreadable.clear();
    store->secretsBecameReadable();
    scheduler.runPending();
    EXPECT_TRUE(conn(stripeKit).isConnected() && paymentIDs() == QStringList {"1@a"});
    EXPECT_FALSE(store->announcement() || unseen(stripeKit));
    EXPECT_EQ(preferences.paymentAccounts().value(u"polar"_s).size(), 1);
    EXPECT_TRUE(conn(KitService::polar).isConnected());
}

TEST_F(Polling, ATokenThatCouldNotBeReadStartsPollingOnceItReads)
{
    secrets.unreadable = {KitService(vercelKit).secretKey(), KitService(githubKit).secretKey()};
    buildEnabled(true);
    EXPECT_EQ(conn(vercelKit), C::failing(lockedText(vercelKit)));
    secrets.unreadable.remove(KitService(githubKit).secretKey());
    store->secretsBecameReadable(); // the keyring unlocked: at once
    scheduler.runPending();
    EXPECT_TRUE(conn(githubKit).isConnected());
    EXPECT_EQ(conn(vercelKit), C::failing(lockedText(vercelKit)));
    secrets.unreadable.clear();
    storeToken(claudeKit); // a key first read as absent
    scheduler.advance(30); // else on the next turn
    EXPECT_TRUE(conn(vercelKit).isConnected() && store->isPolling(claudeKit));
}

TEST_F(Polling, AToolWhoseLockedTokenTurnsOutAbsentStopsAsking)
{
    secrets.items.remove(KitService(vercelKit).secretKey());
    secrets.unreadable = {KitService(vercelKit).secretKey()};
    preferences.setEnabledServices({vercelKit});
    build();
    store->start();
    EXPECT_TRUE(store->isPolling(vercelKit));
    secrets.unreadable.clear(); // unlocked, and no token was ever stored
    scheduler.advance(60);
    EXPECT_FALSE(store->isPolling(vercelKit));
    EXPECT_EQ(conn(vercelKit), C::notConnected());
    storeToken(vercelKit); // connected later: picked up as any new tool
    store->secretsBecameReadable();
    scheduler.runPending();
    EXPECT_TRUE(conn(vercelKit).isConnected() && store->isPolling(vercelKit));
}

TEST_F(Polling, ARefreshAskedForWhileOneRunsJoinsItAndAPickRunsOnceMore)
{
    github->projectList = {KitProject {u"app"_s, u"app"_s}};
    preferences.setEnabledServices({githubKit});
    build();
    store->start();
    scheduler.runPending();
    const int asked = github->count("deployments");
    github->hold("deployments");
    auto loop = store->refresh(githubKit); // the loop's turn
    auto unlock = store->refresh(githubKit); // an unlock landing meanwhile
    scheduler.runPending();
    github->letThrough("deployments");
    github->release("deployments");
    scheduler.runPending();
    EXPECT_TRUE(loop.isReady() && unlock.isReady());
    EXPECT_EQ(github->count("deployments"), asked + 1);

    // A project picked while a refresh reads the one before is read by a refresh of its own.
    github->hold("deployments");
    auto running = store->refresh(githubKit);
    store->select(KitProject {u"app"_s, u"app"_s}, githubKit);
    github->letThrough("deployments");
    github->release("deployments");
    scheduler.runPending();
    EXPECT_EQ(github->calls.mid(github->calls.lastIndexOf("deployments *")),
        (QStringList {"deployments *", "deployments app"}));
}

TEST_F(Polling, AReaderThatLapsesByItselfIsReadAgainAndOneTheUserDisconnectedStartsOnlyWhenAsked)
{
    secrets.items.clear(); // the only tool: no other loop's turn starts it again
    claudeUsage->connected = true;
    preferences.setEnabledServices({claudeKit});
    build();
    store->start();
    claudeUsage->connected = false; // a few turns where the settings did not name the script
    scheduler.advance(15);
    EXPECT_TRUE(store->planConnections().isEmpty());
    claudeUsage->connected = true; // put back: read within one interval
    scheduler.advance(5);
    EXPECT_TRUE(store->planConnections().value(claudeKit).isConnected());

    store->disconnectUsage(claudeKit);
    scheduler.advance(5);
    EXPECT_FALSE(store->isPolling(claudeKit));
    claudeUsage->connected = true;
    const int untouched = claudeUsage->reports;
    scheduler.advance(600);
    EXPECT_EQ(claudeUsage->reports, untouched);
    store->watch(claudeKit); // the card opened: read again, and polled again
    scheduler.runPending();
    const int reports = claudeUsage->reports;
    scheduler.advance(3600);
    EXPECT_TRUE(store->isPolling(claudeKit));
    EXPECT_GE(claudeUsage->reports, reports + 700);
}

TEST_F(Polling, ToolsWhoseSecretIsLockedSaySoAndDoNotBackOff)
{
    account(u"a"_s, u"key-a-not-real"_s);
    storeToken(claudeKit, u"admin-key-not-real"_s);
    secrets.unreadable = {KitService(githubKit).secretKey(), u"kit.stripe.a"_s, u"kit.claude"_s};
    buildEnabled(true);
    scheduler.advance(600);
    EXPECT_EQ(conn(githubKit), C::failing(lockedText(githubKit)));
    EXPECT_EQ(conn(stripeKit), C::failing(lockedText(stripeKit)));
    EXPECT_EQ(store->paymentAccounts(stripeKit).value(0).connection, C::failing(lockedText(stripeKit)));
    EXPECT_EQ(conn(claudeKit), C::failing(lockedText(claudeKit)));
    EXPECT_TRUE(github->calls.isEmpty() && stripe->calls.isEmpty() && claudeSpend->keys.isEmpty());
    EXPECT_EQ(store->pollInterval(githubKit), 30.0);
    EXPECT_EQ(store->pollInterval(stripeKit), 30.0);

    secrets.unreadable.clear();
    store->secretsBecameReadable();
    scheduler.runPending();
    EXPECT_TRUE(
        conn(githubKit).isConnected() && conn(stripeKit).isConnected() && conn(claudeKit).isConnected());
}

TEST_F(Polling, AStoreReleasedWhileWaitingEndsItsTasks)
{
    vercel->hold("deployments");
    buildEnabled(true);
    store.reset();
    vercel->release("deployments");
    scheduler.advance(60);
    EXPECT_EQ(vercel->count("deployments"), 1);
    EXPECT_EQ(scheduler.pendingCount(), 0);
}

TEST_F(Polling, SampleDataAnswersEveryQueryAndActionWithoutATool)
{
    build(true);
    store->start();
    EXPECT_FALSE(store->isRunning());
    EXPECT_EQ(store->snapshot(), DevKitSnapshot::sample(scheduler.wallNow()));
    EXPECT_EQ(conn(KitService::codex), connected(u"demo"_s));
    // One sample account per payment tool; picking it keeps the sample payments on the card.
    EXPECT_EQ(
        store->paymentAccounts(stripeKit), (QList<PaymentAccount> {{u"demo"_s, u"Acme"_s, connected()}}));
    store->select(store->projects(stripeKit).value(0), stripeKit);
    ASSERT_TRUE(store->selectedProject(stripeKit));
    EXPECT_EQ(store->payments(stripeKit).size(), 3);
    // Actions answer at once and ask no tool.
    store->inspect(store->deployments(githubKit)[0], githubKit);
    EXPECT_TRUE(store->inspection()->details && store->redeploy().isReady());
    EXPECT_EQ(store->inspection()->redeploy, DeploymentInspection::Redeploy::started());
    finish(store->connect(vercelKit, kFakeToken));
    finish(store->connectAPIUsage(claudeKit, u"admin-key-not-real"_s));
    scheduler.advance(10);
    EXPECT_TRUE(vercel->calls.isEmpty() && github->calls.isEmpty() && claudeSpend->keys.isEmpty());
    EXPECT_EQ(scheduler.pendingCount(), 0);
}

const QString adminKey = u"admin-key-not-real"_s;

class Usage : public StoreTest {
protected:
    void SetUp() override
    {
        buildEnabled();
        claudeSpend->figures = {UsageSpend {u"today"_s, u"Today"_s, 3.42, u"USD"_s, 1240000}};
    }
    UsageReport report(double five, double week) const
    {
        return {{{u"five_hour"_s, u"5-hour limit"_s, five, ago(-3600)},
                    {u"seven_day"_s, u"Weekly limit"_s, week, ago(-86400)}},
            std::nullopt, ago(0), std::nullopt};
    }
    KitConnection api() const { return store->apiConnections().value(claudeKit); }
    void load() { finish(store->refreshUsage(claudeKit)); }
};

TEST_F(Usage, ThePlanHalfStoresLogsAndMarksReports)
{
    claudeUsage->connected = true;
    LogLines log;
    claudeUsage->answer = report(0.629, 0.34);
    load();
    EXPECT_EQ(store->usageReport(claudeKit), claudeUsage->answer);
    EXPECT_EQ(conn(claudeKit), connected());
    EXPECT_EQ(log.info(), QStringList {"Claude reports 5-hour limit 62%, Weekly limit 34% on plan unnamed"});
    EXPECT_FALSE(unseen(claudeKit)); // the first report never marks
    claudeUsage->answer = report(0.95, 0.34); // other figures, same names and plan: not logged
    load();
    EXPECT_EQ(log.info().size(), 1);
    EXPECT_TRUE(unseen(claudeKit)); // good turned bad
    // A failing report keeps the last one.
    claudeUsage->reportError = fail(UsageFailure(u"Claude Code is not signed in."_s));
    load();
    EXPECT_EQ(store->planConnections().value(claudeKit), C::failing(u"Claude Code is not signed in."_s));
    EXPECT_TRUE(store->usageReport(claudeKit));
}

TEST_F(Usage, SpendIsAskedAtMostEveryFiveMinutes)
{
    storeToken(claudeKit, adminKey);
    store->start();
    EXPECT_EQ(claudeSpend->dates, QList<QDateTime> {scheduler.wallNow()});
    EXPECT_EQ(api(), connected());
    claudeSpend->error = rejected();
    scheduler.advance(295);
    EXPECT_EQ(claudeSpend->keys.size(), 1);
    scheduler.advance(5);
    EXPECT_EQ(claudeSpend->keys.size(), 2);
    EXPECT_EQ(api(), C::rejected()); // and it waits 300 s as well
    EXPECT_EQ(store->snapshot().spend.value(claudeKit), claudeSpend->figures);
    scheduler.advance(295);
    EXPECT_EQ(claudeSpend->keys.size(), 2);
    // A clock set back does not stop the asking for hours.
    claudeSpend->error = nullptr;
    scheduler.shiftWallClock(std::chrono::hours(-2));
    scheduler.advance(5);
    EXPECT_EQ(claudeSpend->keys.size(), 3);
    EXPECT_EQ(api(), connected());
    // A key removed elsewhere: a connected half goes at the next refresh.
    secrets.items.remove(KitService(claudeKit).secretKey());
    scheduler.advance(5);
    EXPECT_FALSE(store->apiConnections().contains(claudeKit));
}

TEST_F(Usage, ConnectingThePlanHalf)
{
    store->start();
    LogLines log;
    claudeUsage->answer = report(0.1, 0.2);
    finish(store->connectUsage(claudeKit));
    EXPECT_EQ(log.info().value(0), u"Connected to Claude"_s);
    scheduler.advance(1);
    EXPECT_TRUE(green(claudeKit) && claudeUsage->reports == 1);
    scheduler.advance(4);
    EXPECT_EQ(claudeUsage->reports, 2);
    // A failed connect starts nothing.
    store->disconnect(claudeKit);
    claudeUsage->connectError = fail(UsageFailure(u"Claude Code is not installed."_s));
    finish(store->connectUsage(claudeKit));
    EXPECT_EQ(conn(claudeKit), C::failing(u"Claude Code is not installed."_s));
    EXPECT_FALSE(store->isPolling(claudeKit));
    // A disconnect while the source is set up wins: the source is undone again.
    claudeUsage->connectError = nullptr;
    interrupt(
        *claudeUsage, u"connect"_s, [&] { return store->connectUsage(claudeKit); },
        [&] { store->disconnect(claudeKit); });
    EXPECT_FALSE(claudeUsage->isConnected());
    expectForgotten(claudeKit);
}

TEST_F(Usage, ConnectingTheAPIHalf)
{
    store->start();
    finish(store->connectAPIUsage(claudeKit, QString()));
    EXPECT_TRUE(claudeSpend->keys.isEmpty());
    LogLines log;
    finish(store->connectAPIUsage(claudeKit, adminKey));
    EXPECT_EQ(secrets.items.value(KitService(claudeKit).secretKey()), adminKey);
    EXPECT_EQ(log.info(), QStringList {"Connected to the API usage of Claude"});
    EXPECT_EQ(store->snapshot().spend.value(claudeKit), claudeSpend->figures);
    scheduler.advance(5);
    EXPECT_EQ(claudeSpend->keys.size(), 1); // the connect counted as an ask
    // A new key after a disconnect is asked at once.
    store->disconnectAPIUsage(claudeKit);
    EXPECT_FALSE(hasToken(claudeKit) || store->snapshot().spend.contains(claudeKit));
    finish(store->connectAPIUsage(claudeKit, adminKey));
    EXPECT_EQ(claudeSpend->keys.size(), 2);
    // A disconnect while the key is tried: the key is not kept.
    store->disconnectAPIUsage(claudeKit);
    interrupt(
        *claudeSpend, u"spend"_s, [&] { return store->connectAPIUsage(claudeKit, u"other-key-not-real"_s); },
        [&] { store->disconnectAPIUsage(claudeKit); });
    EXPECT_FALSE(hasToken(claudeKit) || store->apiConnections().contains(claudeKit));
}

TEST_F(Usage, EitherConnectedHalfConnectsTheToolElseThePlanHalfSpeaks)
{
    store->start();
    claudeUsage->connectError = fail(UsageFailure(u"Claude Code is not installed."_s));
    finish(store->connectUsage(claudeKit));
    EXPECT_EQ(conn(claudeKit), C::failing(u"Claude Code is not installed."_s));
    finish(store->connectAPIUsage(claudeKit, adminKey));
    EXPECT_TRUE(conn(claudeKit).isConnected()) << "a working key connects the tool while the plan half fails";
    store->disconnectAPIUsage(claudeKit);
    EXPECT_EQ(conn(claudeKit), C::failing(u"Claude Code is not installed."_s));
}

TEST_F(Usage, AHalfDisconnectedWhileItsRefreshWaitsStaysDisconnected)
{
    claudeUsage->connected = true;
    claudeUsage->answer = report(0.1, 0.2);
    storeToken(claudeKit, adminKey);
    const auto refresh = [&] { return store->refreshUsage(claudeKit); };
    interrupt(*claudeUsage, u"report"_s, refresh, [&] { store->disconnectUsage(claudeKit); });
    EXPECT_FALSE(store->snapshot().usage.contains(claudeKit) || store->planConnections().contains(claudeKit));
    EXPECT_EQ(api(), connected()); // the other half went on

    claudeUsage->connected = true;
    store->disconnectAPIUsage(claudeKit); // spend is asked anew after a disconnect
    storeToken(claudeKit, adminKey);
    interrupt(*claudeSpend, u"spend"_s, refresh, [&] { store->disconnectAPIUsage(claudeKit); });
    EXPECT_FALSE(store->snapshot().spend.contains(claudeKit) || store->apiConnections().contains(claudeKit));
    EXPECT_EQ(store->planConnections().value(claudeKit), connected());
}

TEST_F(Usage, ADisconnectThatCouldNotBeFinishedIsFinishedWhenItCanBeAndSaidUntilThen)
{
    const QString refusal = u"Claude Code's settings file could not be put back."_s;
    claudeUsage->connected = true;
    store->start();
    claudeUsage->disconnectRefusal = refusal;
    store->disconnect(claudeKit);
    scheduler.advance(60);
    EXPECT_EQ(store->planConnections().value(claudeKit), C::failing(refusal));
    EXPECT_FALSE(store->snapshot().usage.contains(claudeKit));
    claudeUsage->disconnectRefusal.reset(); // the file can be written again
    scheduler.advance(5);
    EXPECT_FALSE(claudeUsage->isDisconnecting() || store->planConnections().contains(claudeKit));
    EXPECT_EQ(conn(claudeKit), C::notConnected());
    scheduler.advance(5);
    EXPECT_FALSE(store->isPolling(claudeKit));
}

} // namespace
