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
    void SetUp() override
    {
        buildEnabled();
        account(u"a"_s, keyA);
        account(u"b"_s, keyB);
        stripe->lists.insert(keyA, {pay("1", PS::succeeded, 10), pay("3", PS::succeeded, 300)});
        stripe->lists.insert(keyB, {pay("2", PS::succeeded, 100), pay("4", PS::failed, 300)});
    }
    void load() { finish(store->refresh(stripeKit)); }
    QCoro::Task<> add(const QString& key) { return store->addPaymentAccount(stripeKit, key, {}, {}); }
};

TEST_F(Payments, AccountsAreMergedNewestFirstAndFailEachOnItsOwn)
{
    load();
    // Stable: equal dates keep the accounts' stored order.
    EXPECT_EQ(paymentIDs(), (QStringList {"1@a", "2@b", "3@a", "4@b"}));
    EXPECT_TRUE(store->paymentAccounts(stripeKit).value(1).name == u"Account 2"_s && stripe->lastLimit == 3);
    EXPECT_EQ(conn(stripeKit), connected()); // two accounts: no name
    // The card shows three, or the picked account's; a pick no longer an account filters nothing.
    EXPECT_EQ(store->payments(stripeKit).size(), 3);
    preferences.setSelectedProjects({{u"stripe"_s, u"a"_s}});
    EXPECT_EQ(store->payments(stripeKit).size(), 2);

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
    load(); // the first load is silent
    EXPECT_TRUE(news.isEmpty());
    stripe->lists.insert(keyA, {pay("5", PS::succeeded, 1)});
    load();
    EXPECT_EQ(news, (QStringList {"unseen", "green", "announced"}));
    EXPECT_TRUE(store->announcement() && !store->announcement()->isProblem);
    // A dispute is a problem.
    stripe->lists.insert(keyA, {pay("5", PS::disputed, 1)});
    scheduler.advance(3);
    store->watch(stripeKit);
    store->watch(std::nullopt);
    news.clear();
    load();
    EXPECT_EQ(news, (QStringList {"unseen", "red", "announced"}));
    EXPECT_TRUE(store->announcement()->isProblem);
}

TEST_F(Payments, AddingAndRemovingAccounts)
{
    preferences.setPaymentAccounts({});
    secrets.items.clear();
    store->start();
    finish(add(u"   "_s));
    EXPECT_TRUE(store->addFailures().isEmpty() && stripe->calls.isEmpty());
    LogLines log;
    interrupt(
        *stripe, u"payments"_s,
        [&] { return store->addPaymentAccount(stripeKit, u" key-a-not-real "_s, u" Shop "_s, u""_s); },
        [&] { EXPECT_EQ(conn(stripeKit), C::connecting()); });
    const auto records = stripeRecords();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0], (PaymentAccountRecord {records[0].id, u"Shop"_s, std::nullopt}));
    EXPECT_EQ(secrets.items.value(u"kit.stripe."_s + records[0].id), keyA);
    EXPECT_EQ(conn(stripeKit), connected(u"Shop"_s));
    EXPECT_EQ(log.info(), QStringList {"Connected an account to Stripe"});
    // A second account whose key is refused leaves nothing behind; the next attempt clears it.
    stripe->accountErrors.insert(keyB, rejected());
    finish(add(keyB));
    EXPECT_TRUE(
        store->addFailures().value(stripeKit) == C::rejected() && conn(stripeKit) == connected(u"Shop"_s));
    EXPECT_TRUE(stripeRecords().size() == 1 && secrets.items.size() == 1);
    finish(add(keyC));
    EXPECT_FALSE(store->addFailures().contains(stripeKit));
    // Removing one account drops its payments and views; removing the last forgets the tool.
    store->select(KitProject {records[0].id, QString()}, stripeKit);
    store->inspect(store->payments(stripeKit)[0], stripeKit);
    store->removeAccount(stripeKit, records[0].id);
    EXPECT_TRUE(paymentIDs().isEmpty() && !store->inspectedPayment());
    EXPECT_FALSE(preferences.selectedProjects().contains(u"stripe"_s) || secrets.items.size() != 1);
    EXPECT_TRUE(conn(stripeKit).isConnected());
    EXPECT_EQ(store->paymentAccounts(stripeKit).value(0).name, u"Stripe account"_s); // the one left, unnamed
    // Removing the last one while another is tried keeps the new one.
    const auto last = [&] { store->removeAccount(stripeKit, stripeRecords().value(0).id); };
    interrupt(
        *stripe, u"payments"_s, [&] { return add(keyA); }, last);
    EXPECT_TRUE(stripeRecords().size() == 1 && conn(stripeKit).isConnected() && store->isPolling(stripeKit));
    last();
    expectForgotten(stripeKit);
}

TEST_F(Payments, AFirstAccountThatFailsShowsOnTheToolAndAnAddEndingAfterADisconnectStoresNothing)
{
    preferences.setPaymentAccounts({});
    secrets.items.clear();
    stripe->paymentErrors.insert(keyC, rejected());
    finish(add(keyC));
    EXPECT_TRUE(conn(stripeKit) == C::rejected() && store->addFailures().value(stripeKit) == C::rejected());
    EXPECT_TRUE(store->accountInfo().isEmpty() && preferences.paymentAccounts().isEmpty());

    store->disconnect(stripeKit);
    interrupt(
        *stripe, u"account"_s, [&] { return add(keyA); }, [&] { store->disconnect(stripeKit); });
    expectForgotten(stripeKit);
    EXPECT_TRUE(secrets.items.isEmpty() && store->accountInfo().isEmpty());
}

TEST_F(Payments, AnAddThatFailsAfterTheLastAccountWasRemovedLeavesTheToolNotConnected)
{
    preferences.setPaymentAccounts({});
    secrets.items.clear();
    account(u"a"_s, keyA);
    store->start();
    stripe->accountErrors.insert(keyC, rejected());
    interrupt(
        *stripe, u"account"_s, [&] { return add(keyC); }, [&] { store->removeAccount(stripeKit, u"a"_s); });
    EXPECT_EQ(conn(stripeKit), C::notConnected());
    EXPECT_EQ(store->addFailures().value(stripeKit), C::rejected()); // shown where the key was pasted
    EXPECT_TRUE(stripeRecords().isEmpty() && secrets.items.isEmpty() && !store->isPolling(stripeKit));
}

TEST_F(Payments, AccountChangesDuringARefreshAreNotUndone)
{
    load();
    store->start();
    const auto refresh = [&] { return store->refresh(stripeKit); };
    // A removal while the accounts are fetched: the removed payments do not return.
    interrupt(*stripe, u"payments"_s, refresh, [&] { store->removeAccount(stripeKit, u"b"_s); });
    EXPECT_EQ(paymentIDs(), (QStringList {"1@a", "3@a"}));
    EXPECT_FALSE(store->accountConnections().contains(u"stripe/b"_s));
    // An account added meanwhile: its payments are not announced later as news.
    stripe->lists.insert(keyC, {pay("6", PS::succeeded, 1)});
    interrupt(*stripe, u"payments"_s, refresh, [&] {
        stripe->letThrough(u"payments"_s);
        finish(add(keyC));
    });
    EXPECT_EQ(paymentIDs().size(), 3);
    load();
    EXPECT_FALSE(store->announcement());
    // A disconnect meanwhile: nothing comes back.
    interrupt(*stripe, u"payments"_s, refresh, [&] { store->disconnect(stripeKit); });
    expectForgotten(stripeKit);
    EXPECT_TRUE(store->accountConnections().isEmpty());
}

TEST_F(Payments, LegacyKeysMoveToAnAccountAndStayWhenTheyCannot)
{
    preferences.setPaymentAccounts({});
    secrets.items.insert(u"kit.stripe"_s, u"legacy-key-not-real"_s);
    store->adoptSingleKeys();
    const auto records = stripeRecords();
    ASSERT_EQ(records.size(), 1);
    EXPECT_TRUE(QRegularExpression(u"^[0-9a-f]{8}$"_s).match(records[0].id).hasMatch());
    EXPECT_TRUE(secrets.items.value(u"kit.stripe."_s + records[0].id) == u"legacy-key-not-real"_s
        && !secrets.items.contains(u"kit.stripe"_s));
    DevKitStore later(preferences, secrets, scheduler, false, {{}, {{KitService::polar, polar}}, {}, {}, {}});
    secrets.items.insert(u"kit.polar"_s, u"legacy-polar-not-real"_s);
    secrets.refuseWrites = true;
    later.adoptSingleKeys();
    EXPECT_TRUE(!preferences.paymentAccounts().contains(u"polar"_s)
        && secrets.items.value(u"kit.polar"_s) == u"legacy-polar-not-real"_s);
}

} // namespace
