#include "StoreFixture.h"

#include <QRegularExpression>

using namespace brenvo;
using namespace brenvo::test;

namespace {

const QString keyA = u"key-a-not-real"_s;
const QString keyB = u"key-b-not-real"_s;
const QString keyC = u"key-c-not-real"_s;

class Payments : public StoreTest {
protected:
    void SetUp() override { buildEnabled(); }
    void load() { finish(store->refresh(stripeKit)); }
    QCoro::Task<> add(const QString& key) { return store->addPaymentAccount(stripeKit, key, {}, {}); }
    // Two stored accounts, "a" and "b", with a payment each.
    void twoAccounts()
    {
        account(u"a"_s, keyA);
        account(u"b"_s, keyB);
        stripe->lists.insert(keyA, {pay("1", PS::succeeded, 10)});
        stripe->lists.insert(keyB, {pay("2", PS::succeeded, 20)});
    }
};

TEST_F(Payments, AccountsAreMergedNewestFirstAndFailEachOnItsOwn)
{
    load(); // no accounts: left alone
    EXPECT_FALSE(store->snapshot().payments.contains(stripeKit) || store->connections().contains(stripeKit));
    account(u"a"_s, keyA);
    account(u"b"_s, keyB);
    stripe->lists.insert(keyA, {pay("1", PS::succeeded, 10), pay("3", PS::succeeded, 300)});
    stripe->lists.insert(keyB, {pay("2", PS::succeeded, 100), pay("4", PS::failed, 300)});
    stripe->infos.insert(keyA, PaymentAccountInfo {u"Acme"_s, {}, {}, {}});
    load();
    // Stable: equal dates keep the accounts' stored order.
    EXPECT_EQ(paymentIDs(), (QStringList {"1@a", "2@b", "3@a", "4@b"}));
    EXPECT_EQ(stripe->lastLimit, 3);
    EXPECT_EQ(conn(stripeKit), connected()); // two accounts: no name
    EXPECT_EQ(stripe->accountsGiven.value(0).name, u"Acme"_s);

    // The second account fails: its earlier payments stay, the first account's are fresh.
    stripe->lists.insert(keyA, {pay("5", PS::pending, 5)});
    stripe->paymentErrors.insert(keyB, refused(500, u"Down"_s));
    stripe->calls.clear();
    load();
    load();
    EXPECT_EQ(paymentIDs(), (QStringList {"5@a", "2@b", "4@b"}));
    EXPECT_EQ(store->accountConnections().value(u"stripe/b"_s), C::failing(u"Stripe answered 500: Down"_s));
    EXPECT_EQ(conn(stripeKit), connected());
    // A connected account is not asked who it is again; one that failed is.
    EXPECT_EQ(stripe->calls,
        (QStringList {"payments key-a-not-real", "payments key-b-not-real", "payments key-a-not-real",
            "account key-b-not-real", "payments key-b-not-real"}));

    // A key gone from the keyring: rejected without a request, payments kept.
    secrets.items.remove(u"kit.stripe.b"_s);
    stripe->calls.clear();
    load();
    EXPECT_EQ(store->accountConnections().value(u"stripe/b"_s), C::rejected());
    EXPECT_FALSE(stripe->calls.join(u' ').contains(u"key-b"_s));
    EXPECT_TRUE(paymentIDs().contains(u"4@b"_s));
    // None connected: the first account's state.
    stripe->paymentErrors.insert(keyA, rejected());
    load();
    EXPECT_EQ(conn(stripeKit), C::rejected());
}

TEST_F(Payments, NewsFlashesMarksAndAnnouncesInThatOrder)
{
    QStringList news;
    const std::pair<void (DevKitStore::*)(), const char*> watched[]
        = {{&DevKitStore::unseenChanged, "unseen"}, {&DevKitStore::celebratingChanged, "green"},
            {&DevKitStore::alertingChanged, "red"}, {&DevKitStore::announcementChanged, "announced"}};
    for (auto [signal, word] : watched)
        QObject::connect(store.get(), signal, [&news, word] { news.append(QString::fromLatin1(word)); });
    account(u"a"_s, keyA);
    stripe->lists.insert(keyA, {pay("1", PS::pending, 10), pay("2", PS::succeeded, 100)});
    load(); // the first load is silent
    EXPECT_TRUE(news.isEmpty());
    stripe->lists.insert(keyA, {pay("1", PS::succeeded, 10), pay("2", PS::succeeded, 100)});
    load();
    EXPECT_EQ(news, (QStringList {"unseen", "green", "announced"}));
    ASSERT_TRUE(store->announcement());
    EXPECT_EQ(store->announcement()->service, stripeKit);
    EXPECT_FALSE(store->announcement()->isProblem);
    const auto firstID = store->announcement()->id;

    // A new payment older than the newest one is no news; a dispute is a problem.
    stripe->lists.insert(
        keyA, {pay("1", PS::disputed, 10), pay("2", PS::succeeded, 100), pay("0", PS::succeeded, 50)});
    scheduler.advance(3);
    store->watch(stripeKit);
    store->watch(std::nullopt);
    news.clear();
    load();
    EXPECT_EQ(news, (QStringList {"unseen", "red", "announced"}));
    EXPECT_TRUE(store->announcement()->isProblem);
    EXPECT_NE(store->announcement()->id, firstID);
    // Refunds and pendings raise nothing; news and a problem together only celebrate.
    scheduler.advance(3);
    news.clear();
    stripe->lists.insert(keyA, {pay("1", PS::refunded, 10), pay("2", PS::pending, 100)});
    load();
    EXPECT_TRUE(news.isEmpty());
    stripe->lists.insert(
        keyA, {pay("9", PS::failed, 1), pay("8", PS::succeeded, 2), pay("2", PS::pending, 100)});
    load();
    EXPECT_TRUE(green(stripeKit) && !red(stripeKit) && !store->announcement()->isProblem);
}

TEST_F(Payments, AnOpenPaymentFollowsItsNewState)
{
    account(u"a"_s, keyA);
    stripe->lists.insert(keyA, {pay("1", PS::pending, 10)});
    load();
    store->inspect(store->payments(stripeKit)[0], stripeKit);
    stripe->lists.insert(keyA, {pay("1", PS::succeeded, 10)});
    load();
    EXPECT_EQ(store->inspectedPayment()->payment.state, PS::succeeded);
}

TEST_F(Payments, AddingAccounts)
{
    store->start();
    finish(add(u"   "_s));
    EXPECT_TRUE(store->addFailures().isEmpty() && stripe->calls.isEmpty());
    stripe->lists.insert(keyA, {pay("1", PS::succeeded, 10)});
    stripe->hold("payments");
    LogLines log;
    auto adding = store->addPaymentAccount(stripeKit, u" key-a-not-real "_s, u" Shop "_s, u""_s);
    EXPECT_EQ(conn(stripeKit), C::connecting());
    stripe->release("payments");
    stripe->letThrough("payments");
    finish(std::move(adding));
    const auto records = stripeRecords();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0], (PaymentAccountRecord {records[0].id, u"Shop"_s, std::nullopt}));
    EXPECT_EQ(secrets.items.value(u"kit.stripe."_s + records[0].id), keyA);
    EXPECT_EQ(conn(stripeKit), connected(u"Shop"_s));
    EXPECT_EQ(log.info(), QStringList {"Connected an account to Stripe"});
    EXPECT_FALSE(store->announcement());
    EXPECT_TRUE(store->isPolling(stripeKit));
    EXPECT_EQ(stripe->calls.size(), 2); // no refresh at once

    // A second account whose key is refused leaves nothing behind.
    stripe->accountErrors.insert(keyB, rejected());
    finish(add(keyB));
    EXPECT_EQ(store->addFailures().value(stripeKit), C::rejected());
    EXPECT_EQ(conn(stripeKit), connected(u"Shop"_s));
    EXPECT_EQ(stripeRecords().size(), 1);
    EXPECT_EQ(secrets.items.size(), 1);
    EXPECT_EQ(store->accountConnections().size(), 1);
    // The next attempt starts by clearing the failure.
    stripe->lists.insert(keyC, {pay("3", PS::succeeded, 500)});
    finish(add(keyC));
    EXPECT_FALSE(store->addFailures().contains(stripeKit));
    EXPECT_EQ(paymentIDs().size(), 2);
}

TEST_F(Payments, AFirstAccountThatFailsShowsOnTheTool)
{
    stripe->paymentErrors.insert(keyA, rejected());
    finish(add(keyA));
    EXPECT_EQ(conn(stripeKit), C::rejected());
    EXPECT_EQ(store->addFailures().value(stripeKit), C::rejected());
    EXPECT_TRUE(store->accountInfo().isEmpty() && preferences.paymentAccounts().isEmpty());
}

TEST_F(Payments, RemovingAccounts)
{
    twoAccounts();
    load();
    store->select(KitProject {u"b"_s, QString()}, stripeKit);
    store->inspect(store->payments(stripeKit)[0], stripeKit);
    store->removeAccount(stripeKit, u"b"_s);
    EXPECT_EQ(paymentIDs(), QStringList {"1@a"});
    EXPECT_FALSE(store->inspectedPayment() || preferences.selectedProjects().contains(u"stripe"_s));
    EXPECT_FALSE(secrets.items.contains(u"kit.stripe.b"_s) || store->accountInfo().contains(u"stripe/b"_s));
    EXPECT_TRUE(conn(stripeKit).isConnected());
    store->removeAccount(stripeKit, u"a"_s);
    EXPECT_EQ(conn(stripeKit), C::notConnected());
    EXPECT_FALSE(store->snapshot().payments.contains(stripeKit)
        || preferences.paymentAccounts().contains(u"stripe"_s));
}

TEST_F(Payments, AccountChangesDuringARefreshAreNotUndone)
{
    twoAccounts();
    load();
    store->start();
    // A removal while the accounts are fetched: the removed payments do not return.
    stripe->hold("payments");
    auto removing = store->refresh(stripeKit);
    store->removeAccount(stripeKit, u"b"_s);
    stripe->release("payments");
    stripe->release("payments");
    finish(std::move(removing));
    EXPECT_EQ(paymentIDs(), QStringList {"1@a"});
    EXPECT_FALSE(store->accountConnections().contains(u"stripe/b"_s));
    // An account added meanwhile: its payments are not announced later as news.
    stripe->lists.insert(keyC, {pay("3", PS::succeeded, 1)});
    auto refreshing = store->refresh(stripeKit);
    stripe->letThrough("payments");
    finish(add(keyC));
    stripe->release("payments");
    finish(std::move(refreshing));
    EXPECT_EQ(paymentIDs().size(), 2);
    load();
    EXPECT_FALSE(store->announcement());
    // A disconnect meanwhile: nothing comes back.
    stripe->hold("payments");
    auto disconnecting = store->refresh(stripeKit);
    store->disconnect(stripeKit);
    stripe->release("payments");
    finish(std::move(disconnecting));
    EXPECT_FALSE(store->snapshot().payments.contains(stripeKit));
    EXPECT_EQ(conn(stripeKit), C::notConnected());
    EXPECT_TRUE(store->accountConnections().isEmpty());
}

TEST_F(Payments, AnAddThatEndsAfterADisconnectStoresNothing)
{
    stripe->hold("account");
    auto adding = add(keyA);
    store->disconnect(stripeKit);
    stripe->release("account");
    finish(std::move(adding));
    EXPECT_TRUE(preferences.paymentAccounts().isEmpty() && secrets.items.isEmpty());
    EXPECT_TRUE(store->accountInfo().isEmpty());
    EXPECT_EQ(conn(stripeKit), C::notConnected());
    EXPECT_FALSE(store->isPolling(stripeKit));
}

TEST_F(Payments, LegacyKeysMoveToAnAccountOnce)
{
    secrets.items.insert(u"kit.stripe"_s, u"legacy-key-not-real"_s);
    store->adoptSingleKeys();
    const auto records = stripeRecords();
    ASSERT_EQ(records.size(), 1);
    EXPECT_TRUE(QRegularExpression(u"^[0-9a-f]{8}$"_s).match(records[0].id).hasMatch());
    EXPECT_EQ(secrets.items.value(u"kit.stripe."_s + records[0].id), u"legacy-key-not-real"_s);
    EXPECT_FALSE(secrets.items.contains(u"kit.stripe"_s));
    secrets.items.insert(u"kit.stripe"_s, u"legacy-key-not-real"_s);
    store->adoptSingleKeys();
    EXPECT_EQ(stripeRecords().size(), 1);
    // A key that cannot move stays where it is, without a record.
    DevKitStore later(preferences, secrets, scheduler, false, {{}, {{KitService::polar, polar}}, {}, {}, {}});
    secrets.items.insert(u"kit.polar"_s, u"legacy-polar-not-real"_s);
    secrets.refuseWrites = true;
    later.adoptSingleKeys();
    EXPECT_FALSE(preferences.paymentAccounts().contains(u"polar"_s));
    EXPECT_EQ(secrets.items.value(u"kit.polar"_s), u"legacy-polar-not-real"_s);
}

TEST_F(Payments, AccountIconsComeFromTheSiteThenTheInfo)
{
    account(u"a"_s, keyA, std::nullopt, u"a.example"_s);
    account(u"b"_s, keyB);
    const QUrl image(u"https://cdn.example/b.png"_s);
    stripe->infos.insert(keyB, PaymentAccountInfo {{}, u"b.example"_s, image, {}});
    siteIcons->images.insert(image, testImage(qRgb(2, 2, 2)));
    load();
    load();
    EXPECT_EQ(siteIcons->calls, (QStringList {"icon a.example", "image https://cdn.example/b.png"}));
    EXPECT_EQ(store->projectIcons().value(stripeKit).keys(), QStringList {"b"});
}

} // namespace
