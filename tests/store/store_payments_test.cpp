#include "StoreFixture.h"

#include <QRegularExpression>

using namespace brenvo;
using namespace brenvo::test;

namespace {

using PS = Payment::State;

class Payments : public StoreTest {
protected:
    void SetUp() override
    {
        enableAll();
        build();
    }
    // Stores an account the way an earlier run left it.
    void account(const QString& id, const QString& key, std::optional<QString> name = std::nullopt,
        std::optional<QString> site = std::nullopt)
    {
        auto accounts = preferences.paymentAccounts();
        accounts[QStringLiteral("stripe")].append(PaymentAccountRecord {id, name, site});
        preferences.setPaymentAccounts(accounts);
        secrets.items.insert(QStringLiteral("kit.stripe.") + id, key);
    }
    void load() { finish(store->refresh(KitService::stripe)); }
    QStringList ids() const
    {
        QStringList out;
        for (const auto& p : store->snapshot().payments.value(KitService::stripe))
            out.append(p.id + QLatin1Char('@') + p.accountID.value_or(QStringLiteral("-")));
        return out;
    }
    QStringList newsOrder;
    void recordNews()
    {
        QObject::connect(
            store.get(), &DevKitStore::unseenChanged, [this] { newsOrder.append(QStringLiteral("unseen")); });
        QObject::connect(store.get(), &DevKitStore::celebratingChanged,
            [this] { newsOrder.append(QStringLiteral("green")); });
        QObject::connect(
            store.get(), &DevKitStore::alertingChanged, [this] { newsOrder.append(QStringLiteral("red")); });
        QObject::connect(store.get(), &DevKitStore::announcementChanged,
            [this] { newsOrder.append(QStringLiteral("announced")); });
    }
};

TEST_F(Payments, AToolWithoutAccountsIsLeftAlone)
{
    load();
    EXPECT_FALSE(store->snapshot().payments.contains(KitService::stripe));
    EXPECT_FALSE(store->connections().contains(KitService::stripe));
    EXPECT_TRUE(stripe->calls.isEmpty());
}

TEST_F(Payments, AccountsAreMergedNewestFirstAndFailEachOnItsOwn)
{
    account(QStringLiteral("a"), QStringLiteral("key-a-not-real"));
    account(QStringLiteral("b"), QStringLiteral("key-b-not-real"));
    stripe->lists.insert(
        QStringLiteral("key-a-not-real"), {pay("1", PS::succeeded, 10), pay("3", PS::succeeded, 300)});
    stripe->lists.insert(
        QStringLiteral("key-b-not-real"), {pay("2", PS::succeeded, 100), pay("4", PS::failed, 300)});
    stripe->infos.insert(
        QStringLiteral("key-a-not-real"), PaymentAccountInfo {QStringLiteral("Acme"), {}, {}, {}});
    load();
    // Stable: equal dates keep the accounts' stored order.
    EXPECT_EQ(ids(), (QStringList {"1@a", "2@b", "3@a", "4@b"}));
    EXPECT_EQ(stripe->lastLimit, 3);
    EXPECT_EQ(conn(KitService::stripe), connected()); // two accounts: no name
    EXPECT_EQ(stripe->accountsGiven.value(0).name, QStringLiteral("Acme"));

    // The second account fails: its earlier payments stay, the first account's are fresh.
    stripe->lists.insert(QStringLiteral("key-a-not-real"), {pay("5", PS::pending, 5)});
    stripe->paymentErrors.insert(QStringLiteral("key-b-not-real"),
        std::make_exception_ptr(ServiceFailure::refused(500, QStringLiteral("Down"))));
    stripe->calls.clear();
    load();
    EXPECT_EQ(ids(), (QStringList {"5@a", "2@b", "4@b"}));
    EXPECT_EQ(store->accountConnections().value(QStringLiteral("stripe/b")),
        KitConnection::failing(QStringLiteral("Stripe answered 500: Down")));
    EXPECT_EQ(conn(KitService::stripe), connected());
    // A connected account is not asked who it is again; one that failed is.
    EXPECT_EQ(stripe->calls, (QStringList {"payments key-a-not-real", "payments key-b-not-real"}));
    stripe->calls.clear();
    load();
    EXPECT_EQ(stripe->calls,
        (QStringList {"payments key-a-not-real", "account key-b-not-real", "payments key-b-not-real"}));

    // A key gone from the keyring: rejected without a request, payments kept.
    secrets.items.remove(QStringLiteral("kit.stripe.b"));
    stripe->calls.clear();
    load();
    EXPECT_EQ(store->accountConnections().value(QStringLiteral("stripe/b")), KitConnection::rejected());
    EXPECT_FALSE(stripe->calls.join(u' ').contains(QStringLiteral("key-b")));
    EXPECT_TRUE(ids().contains(QStringLiteral("4@b")));
    // None connected: the first account's state.
    stripe->paymentErrors.insert(
        QStringLiteral("key-a-not-real"), std::make_exception_ptr(ServiceFailure::rejected()));
    load();
    EXPECT_EQ(conn(KitService::stripe), KitConnection::rejected());
}

TEST_F(Payments, OneConnectedAccountNamesTheTool)
{
    account(QStringLiteral("a"), QStringLiteral("key-a-not-real"), QStringLiteral("My shop"));
    load();
    EXPECT_EQ(conn(KitService::stripe), connected(QStringLiteral("My shop")));
    stripe->infos.insert(
        QStringLiteral("key-a-not-real"), PaymentAccountInfo {QStringLiteral("Acme Ltd"), {}, {}, {}});
    stripe->paymentErrors.insert(
        QStringLiteral("key-a-not-real"), std::make_exception_ptr(ServiceFailure::rejected()));
    load();
    stripe->paymentErrors.clear();
    load();
    EXPECT_EQ(conn(KitService::stripe), connected(QStringLiteral("Acme Ltd")));
}

TEST_F(Payments, NewsFlashesMarksAndAnnouncesInThatOrder)
{
    account(QStringLiteral("a"), QStringLiteral("key-a-not-real"));
    stripe->lists.insert(
        QStringLiteral("key-a-not-real"), {pay("1", PS::pending, 10), pay("2", PS::succeeded, 100)});
    recordNews();
    load(); // the first load is silent
    EXPECT_TRUE(newsOrder.isEmpty());
    EXPECT_FALSE(store->announcement());

    stripe->lists.insert(
        QStringLiteral("key-a-not-real"), {pay("1", PS::succeeded, 10), pay("2", PS::succeeded, 100)});
    load();
    EXPECT_EQ(newsOrder, (QStringList {"unseen", "green", "announced"}));
    ASSERT_TRUE(store->announcement());
    EXPECT_EQ(store->announcement()->service, KitService::stripe);
    EXPECT_FALSE(store->announcement()->isProblem);
    const auto firstID = store->announcement()->id;

    // A new payment older than the newest one is no news; a dispute is a problem.
    newsOrder.clear();
    stripe->lists.insert(QStringLiteral("key-a-not-real"),
        {pay("1", PS::disputed, 10), pay("2", PS::succeeded, 100), pay("0", PS::succeeded, 50)});
    scheduler.advance(3);
    store->watch(KitService::stripe);
    store->watch(std::nullopt);
    newsOrder.clear();
    load();
    EXPECT_EQ(newsOrder, (QStringList {"unseen", "red", "announced"}));
    EXPECT_TRUE(store->announcement()->isProblem);
    EXPECT_NE(store->announcement()->id, firstID);

    // Refunds and pendings raise nothing; news and a problem together only celebrate.
    scheduler.advance(3);
    newsOrder.clear();
    stripe->lists.insert(
        QStringLiteral("key-a-not-real"), {pay("1", PS::refunded, 10), pay("2", PS::pending, 100)});
    load();
    EXPECT_TRUE(newsOrder.isEmpty());
    stripe->lists.insert(QStringLiteral("key-a-not-real"),
        {pay("9", PS::failed, 1), pay("8", PS::succeeded, 2), pay("2", PS::pending, 100)});
    load();
    EXPECT_TRUE(store->celebrating().contains(KitService::stripe));
    EXPECT_FALSE(store->alerting().contains(KitService::stripe));
    EXPECT_FALSE(store->announcement()->isProblem);
}

TEST_F(Payments, AnOpenPaymentFollowsItsNewState)
{
    account(QStringLiteral("a"), QStringLiteral("key-a-not-real"));
    stripe->lists.insert(QStringLiteral("key-a-not-real"), {pay("1", PS::pending, 10)});
    load();
    store->inspect(store->payments(KitService::stripe)[0], KitService::stripe);
    stripe->lists.insert(QStringLiteral("key-a-not-real"), {pay("1", PS::succeeded, 10)});
    load();
    EXPECT_EQ(store->inspectedPayment()->payment.state, PS::succeeded);
    stripe->lists.insert(QStringLiteral("key-a-not-real"), {pay("2", PS::succeeded, 5)});
    load();
    EXPECT_EQ(store->inspectedPayment()->payment.id, QStringLiteral("1"));
}

TEST_F(Payments, AddingAccounts)
{
    store->start();
    finish(store->addPaymentAccount(KitService::stripe, QStringLiteral("   "), std::nullopt, std::nullopt));
    EXPECT_TRUE(store->addFailures().isEmpty());
    EXPECT_TRUE(stripe->calls.isEmpty());

    stripe->lists.insert(QStringLiteral("key-a-not-real"), {pay("1", PS::succeeded, 10)});
    stripe->hold("payments");
    LogLines log;
    auto adding = store->addPaymentAccount(
        KitService::stripe, QStringLiteral(" key-a-not-real "), QStringLiteral(" Shop "), QStringLiteral(""));
    EXPECT_EQ(conn(KitService::stripe), KitConnection::connecting());
    stripe->release("payments");
    stripe->letThrough("payments");
    finish(std::move(adding));
    const auto records = preferences.paymentAccounts().value(QStringLiteral("stripe"));
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].id.size(), 8);
    EXPECT_EQ(records[0].name, QStringLiteral("Shop"));
    EXPECT_FALSE(records[0].site);
    EXPECT_EQ(
        secrets.items.value(QStringLiteral("kit.stripe.") + records[0].id), QStringLiteral("key-a-not-real"));
    EXPECT_EQ(conn(KitService::stripe), connected(QStringLiteral("Shop")));
    EXPECT_EQ(log.info(), QStringList {"Connected an account to Stripe"});
    EXPECT_FALSE(store->announcement());
    EXPECT_TRUE(store->isPolling(KitService::stripe));
    EXPECT_EQ(stripe->calls.size(), 2); // no refresh at once
    scheduler.advance(1);
    EXPECT_TRUE(store->celebrating().contains(KitService::stripe));

    // A second account whose key is refused leaves nothing behind.
    stripe->accountErrors.insert(
        QStringLiteral("key-b-not-real"), std::make_exception_ptr(ServiceFailure::rejected()));
    finish(store->addPaymentAccount(
        KitService::stripe, QStringLiteral("key-b-not-real"), std::nullopt, std::nullopt));
    EXPECT_EQ(store->addFailures().value(KitService::stripe), KitConnection::rejected());
    EXPECT_EQ(conn(KitService::stripe), connected(QStringLiteral("Shop")));
    EXPECT_EQ(preferences.paymentAccounts().value(QStringLiteral("stripe")).size(), 1);
    EXPECT_EQ(secrets.items.size(), 1);
    EXPECT_EQ(store->accountConnections().size(), 1);
    // The next attempt starts by clearing the failure.
    stripe->lists.insert(QStringLiteral("key-c-not-real"), {pay("3", PS::succeeded, 500)});
    finish(store->addPaymentAccount(
        KitService::stripe, QStringLiteral("key-c-not-real"), std::nullopt, std::nullopt));
    EXPECT_FALSE(store->addFailures().contains(KitService::stripe));
    EXPECT_EQ(store->snapshot().payments.value(KitService::stripe).size(), 2);
    EXPECT_EQ(conn(KitService::stripe), connected());
}

TEST_F(Payments, AFirstAccountThatFailsShowsOnTheTool)
{
    stripe->paymentErrors.insert(
        QStringLiteral("key-a-not-real"), std::make_exception_ptr(ServiceFailure::rejected()));
    finish(store->addPaymentAccount(
        KitService::stripe, QStringLiteral("key-a-not-real"), std::nullopt, std::nullopt));
    EXPECT_EQ(conn(KitService::stripe), KitConnection::rejected());
    EXPECT_EQ(store->addFailures().value(KitService::stripe), KitConnection::rejected());
    EXPECT_TRUE(store->accountInfo().isEmpty());
    EXPECT_TRUE(preferences.paymentAccounts().isEmpty());
}

TEST_F(Payments, RemovingAccounts)
{
    account(QStringLiteral("a"), QStringLiteral("key-a-not-real"));
    account(QStringLiteral("b"), QStringLiteral("key-b-not-real"));
    stripe->lists.insert(QStringLiteral("key-a-not-real"), {pay("1", PS::succeeded, 10)});
    stripe->lists.insert(QStringLiteral("key-b-not-real"), {pay("2", PS::succeeded, 20)});
    stripe->infos.insert(
        QStringLiteral("key-b-not-real"), PaymentAccountInfo {QStringLiteral("Bee"), {}, {}, {}});
    load();
    store->select(KitProject {QStringLiteral("b"), QString()}, KitService::stripe);
    store->inspect(store->payments(KitService::stripe)[0], KitService::stripe);
    store->removeAccount(KitService::stripe, QStringLiteral("nope"));
    EXPECT_EQ(preferences.paymentAccounts().value(QStringLiteral("stripe")).size(), 2);

    store->removeAccount(KitService::stripe, QStringLiteral("b"));
    EXPECT_EQ(ids(), QStringList {"1@a"});
    EXPECT_FALSE(store->inspectedPayment());
    EXPECT_FALSE(preferences.selectedProjects().contains(QStringLiteral("stripe")));
    EXPECT_FALSE(secrets.items.contains(QStringLiteral("kit.stripe.b")));
    EXPECT_FALSE(store->accountInfo().contains(QStringLiteral("stripe/b")));
    EXPECT_TRUE(conn(KitService::stripe).isConnected());

    store->removeAccount(KitService::stripe, QStringLiteral("a"));
    EXPECT_EQ(conn(KitService::stripe), KitConnection::notConnected());
    EXPECT_FALSE(store->snapshot().payments.contains(KitService::stripe));
    EXPECT_FALSE(preferences.paymentAccounts().contains(QStringLiteral("stripe")));
}

TEST_F(Payments, AccountChangesDuringARefreshAreNotUndone)
{
    account(QStringLiteral("a"), QStringLiteral("key-a-not-real"));
    account(QStringLiteral("b"), QStringLiteral("key-b-not-real"));
    stripe->lists.insert(QStringLiteral("key-a-not-real"), {pay("1", PS::succeeded, 10)});
    stripe->lists.insert(QStringLiteral("key-b-not-real"), {pay("2", PS::succeeded, 20)});
    load();
    store->start();

    // A removal while the accounts are fetched: the removed payments do not return.
    stripe->hold("payments");
    auto removing = store->refresh(KitService::stripe);
    store->removeAccount(KitService::stripe, QStringLiteral("b"));
    stripe->release("payments");
    stripe->release("payments");
    finish(std::move(removing));
    EXPECT_EQ(ids(), QStringList {"1@a"});
    EXPECT_FALSE(store->accountConnections().contains(QStringLiteral("stripe/b")));

    // An account added meanwhile: its payments are not announced later as news.
    stripe->lists.insert(QStringLiteral("key-c-not-real"), {pay("3", PS::succeeded, 1)});
    auto refreshing = store->refresh(KitService::stripe);
    stripe->letThrough("payments");
    finish(store->addPaymentAccount(
        KitService::stripe, QStringLiteral("key-c-not-real"), std::nullopt, std::nullopt));
    stripe->release("payments");
    finish(std::move(refreshing));
    EXPECT_EQ(ids().size(), 2);
    load();
    EXPECT_FALSE(store->announcement());

    // A disconnect meanwhile: nothing comes back.
    stripe->hold("payments");
    auto disconnecting = store->refresh(KitService::stripe);
    store->disconnect(KitService::stripe);
    stripe->release("payments");
    finish(std::move(disconnecting));
    EXPECT_FALSE(store->snapshot().payments.contains(KitService::stripe));
    EXPECT_EQ(conn(KitService::stripe), KitConnection::notConnected());
    EXPECT_TRUE(store->accountConnections().isEmpty());
}

TEST_F(Payments, AnAddThatEndsAfterADisconnectStoresNothing)
{
    stripe->hold("account");
    auto adding = store->addPaymentAccount(
        KitService::stripe, QStringLiteral("key-a-not-real"), std::nullopt, std::nullopt);
    store->disconnect(KitService::stripe);
    stripe->release("account");
    finish(std::move(adding));
    EXPECT_TRUE(preferences.paymentAccounts().isEmpty());
    EXPECT_TRUE(secrets.items.isEmpty());
    EXPECT_TRUE(store->accountInfo().isEmpty());
    EXPECT_EQ(conn(KitService::stripe), KitConnection::notConnected());
    EXPECT_FALSE(store->isPolling(KitService::stripe));
}

TEST_F(Payments, LegacyKeysMoveToAnAccountOnce)
{
    secrets.items.insert(QStringLiteral("kit.stripe"), QStringLiteral("legacy-key-not-real"));
    secrets.items.insert(QStringLiteral("kit.polar"), QStringLiteral("legacy-polar-not-real"));
    store->adoptSingleKeys();
    const auto records = preferences.paymentAccounts().value(QStringLiteral("stripe"));
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0], (PaymentAccountRecord {records[0].id, std::nullopt, std::nullopt}));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{8}$")).match(records[0].id).hasMatch());
    EXPECT_EQ(secrets.items.value(QStringLiteral("kit.stripe.") + records[0].id),
        QStringLiteral("legacy-key-not-real"));
    EXPECT_FALSE(secrets.items.contains(QStringLiteral("kit.stripe")));
    EXPECT_EQ(preferences.paymentAccounts().value(QStringLiteral("polar")).size(), 1);
    secrets.items.insert(QStringLiteral("kit.stripe"), QStringLiteral("legacy-key-not-real"));
    store->adoptSingleKeys();
    EXPECT_EQ(preferences.paymentAccounts().value(QStringLiteral("stripe")).size(), 1);

    // A key that cannot move stays where it is, without a record.
    DevKitStore later(preferences, secrets, scheduler, false, {{}, {{KitService::polar, polar}}, {}, {}, {}});
    preferences.setPaymentAccounts({});
    secrets.items.insert(QStringLiteral("kit.polar"), QStringLiteral("legacy-polar-not-real"));
    secrets.refuseWrites = true;
    later.adoptSingleKeys();
    EXPECT_TRUE(preferences.paymentAccounts().isEmpty());
    EXPECT_EQ(secrets.items.value(QStringLiteral("kit.polar")), QStringLiteral("legacy-polar-not-real"));
}

TEST_F(Payments, AccountIconsComeFromTheSiteThenTheInfo)
{
    account(QStringLiteral("a"), QStringLiteral("key-a-not-real"), std::nullopt, QStringLiteral("a.example"));
    account(QStringLiteral("b"), QStringLiteral("key-b-not-real"));
    stripe->infos.insert(QStringLiteral("key-b-not-real"),
        PaymentAccountInfo {
            {}, QStringLiteral("b.example"), QUrl(QStringLiteral("https://cdn.example/b.png")), {}});
    siteIcons->images.insert(QUrl(QStringLiteral("https://cdn.example/b.png")), testImage(qRgb(2, 2, 2)));
    load();
    EXPECT_EQ(siteIcons->calls, (QStringList {"icon a.example", "image https://cdn.example/b.png"}));
    EXPECT_EQ(store->projectIcons().value(KitService::stripe).keys(), QStringList {"b"});
    load();
    EXPECT_EQ(siteIcons->calls.size(), 2); // looked for once per run
}

} // namespace
