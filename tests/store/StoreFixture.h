#pragma once

#include "app/core/MemoryDefaults.h"
#include "app/core/PreferencesStore.h"
#include "http/ServiceFailure.h"
#include "store/DevKitStore.h"
#include "support/FakeSecretStore.h"
#include "support/FakeToolSources.h"
#include "support/ManualScheduler.h"
#include "support/MessageRecorder.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinting.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace brenvo {

inline void PrintTo(const KitConnection& c, std::ostream* os)
{
    static const char* names[] = {"connected", "failing", "notConnected", "connecting", "rejected"};
    *os << names[static_cast<int>(c.kind())];
    if (c.account())
        *os << "(" << c.account()->toStdString() << ")";
    if (c.kind() == KitConnection::Kind::failing)
        *os << "(" << c.reason().toStdString() << ")";
}

} // namespace brenvo

namespace brenvo::test {

// Log lines by level, for the formats and levels the store promises.
class LogLines : public MessageRecorder {
public:
    QStringList info() const { return messages(QtInfoMsg); }
    QStringList errors() const { return messages(QtCriticalMsg); }
};

inline const QString kFakeToken = u"test-token-not-real"_s;
constexpr KitService vercelKit = KitService::vercel, githubKit = KitService::github,
                     stripeKit = KitService::stripe, claudeKit = KitService::claude;
using DS = Deployment::State;
using PS = Payment::State;
using C = KitConnection;

// A store over fake tools, an in-memory settings domain and virtual time.
class StoreTest : public ::testing::Test {
protected:
    MemoryDefaults defaults;
    PreferencesStore preferences {defaults};
    FakeSecretStore secrets;
    ManualScheduler scheduler;
    std::shared_ptr<FakeActivitySource> vercel = std::make_shared<FakeActivitySource>();
    std::shared_ptr<FakeActivitySource> github = std::make_shared<FakeActivitySource>();
    std::shared_ptr<FakePaymentSource> stripe = std::make_shared<FakePaymentSource>();
    std::shared_ptr<FakePaymentSource> polar = std::make_shared<FakePaymentSource>();
    std::shared_ptr<FakeUsageSource> claudeUsage = std::make_shared<FakeUsageSource>();
    std::shared_ptr<FakeSpendSource> claudeSpend = std::make_shared<FakeSpendSource>();
    std::shared_ptr<FakeSiteIcons> siteIcons = std::make_shared<FakeSiteIcons>();
    std::unique_ptr<DevKitStore> store;

    void build(bool mock = false)
    {
        store = std::make_unique<DevKitStore>(preferences, secrets, scheduler, mock,
            DevKitStore::Sources {{{vercelKit, vercel}, {githubKit, github}},
                {{stripeKit, stripe}, {KitService::polar, polar}}, {{claudeKit, claudeUsage}},
                {{claudeKit, claudeSpend}}, siteIcons});
    }
    // Every tool enabled, then a store built and, when asked, started.
    void buildEnabled(bool started = false)
    {
        const auto& all = KitService::allCases();
        preferences.setEnabledServices(QSet<KitService>(all.begin(), all.end()));
        build();
        if (started)
            store->start();
    }

    static std::exception_ptr fail(ServiceFailure f) { return std::make_exception_ptr(std::move(f)); }
    static std::exception_ptr fail(UsageFailure f) { return std::make_exception_ptr(std::move(f)); }
    static std::exception_ptr refused(int status, const QString& text)
    {
        return fail(ServiceFailure::refused(status, text));
    }
    static std::exception_ptr rejected() { return fail(ServiceFailure::rejected()); }
    static C connected(std::optional<QString> account = std::nullopt)
    {
        return C::connected(std::move(account));
    }

    void storeToken(KitService s, const QString& token = kFakeToken)
    {
        secrets.items.insert(s.secretKey(), token);
    }
    bool hasToken(KitService s) const { return secrets.items.contains(s.secretKey()); }
    QString token(KitService s) const { return secrets.items.value(s.secretKey()); }
    // Stores a payment account the way an earlier run left it.
    void account(const QString& id, const QString& key, std::optional<QString> name = {},
        std::optional<QString> site = {})
    {
        auto accounts = preferences.paymentAccounts();
        accounts[u"stripe"_s].append(PaymentAccountRecord {id, name, site});
        preferences.setPaymentAccounts(accounts);
        secrets.items.insert(u"kit.stripe."_s + id, key);
    }
    QList<PaymentAccountRecord> stripeRecords() const
    {
        return preferences.paymentAccounts().value(u"stripe"_s);
    }

    QDateTime ago(int seconds) const { return scheduler.wallNow().addSecs(-seconds); }
    Deployment row(const QString& id, DS state, int secondsAgo, const QString& project = u"web"_s) const
    {
        Deployment d = deployment(id, state, ago(secondsAgo));
        d.project = project;
        return d;
    }
    Payment pay(const QString& id, PS state, int secondsAgo, std::optional<QString> account = {}) const
    {
        return payment(id, state, ago(secondsAgo), std::move(account));
    }
    // The merged payments of a tool as "id@account".
    QStringList paymentIDs(KitService s = stripeKit) const
    {
        QStringList out;
        for (const auto& p : store->snapshot().payments.value(s))
            out.append(p.id + u'@' + p.accountID.value_or(u"-"_s));
        return out;
    }

    C conn(KitService s) const { return store->connection(s); }
    bool green(KitService s = vercelKit) const { return store->celebrating().contains(s); }
    bool red(KitService s = vercelKit) const { return store->alerting().contains(s); }
    bool unseen(KitService s = vercelKit) const { return store->unseen().contains(s); }

    // Runs a store action to its end on virtual time; fails when it is still waiting.
    template <typename T> void finish(QCoro::Task<T> task)
    {
        scheduler.runPending();
        ASSERT_TRUE(task.isReady());
    }
};

} // namespace brenvo::test
