#pragma once

#include "app/core/MemoryDefaults.h"
#include "app/core/PreferencesStore.h"
#include "http/ServiceFailure.h"
#include "store/DevKitStore.h"
#include "support/FakeSecretStore.h"
#include "support/FakeToolSources.h"
#include "support/ManualScheduler.h"
#include "support/MessageRecorder.h"
#include "support/QtPrinting.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

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

inline QString secretKeyOf(KitService service)
{
    return service.secretKey();
}

inline const QString kFakeToken = QStringLiteral("test-token-not-real");

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
        DevKitStore::Sources sources;
        sources.activity.insert(KitService::vercel, vercel);
        sources.activity.insert(KitService::github, github);
        sources.payments.insert(KitService::stripe, stripe);
        sources.payments.insert(KitService::polar, polar);
        sources.usage.insert(KitService::claude, claudeUsage);
        sources.spend.insert(KitService::claude, claudeSpend);
        sources.siteIcons = siteIcons;
        store = std::make_unique<DevKitStore>(preferences, secrets, scheduler, mock, sources);
    }

    void storeTokens(std::initializer_list<KitService> services)
    {
        for (auto s : services)
            secrets.items.insert(s.secretKey(), kFakeToken);
    }

    void enableAll()
    {
        QSet<KitService> all;
        for (auto s : KitService::allCases())
            all.insert(s);
        preferences.setEnabledServices(all);
    }

    QDateTime ago(int seconds) const { return scheduler.wallNow().addSecs(-seconds); }

    Deployment row(const QString& id, Deployment::State state, int secondsAgo,
        const QString& project = QStringLiteral("web")) const
    {
        Deployment d;
        d.id = id;
        d.project = project;
        d.message = QStringLiteral("Change ") + id;
        d.state = state;
        d.date = ago(secondsAgo);
        return d;
    }

    Payment pay(const QString& id, Payment::State state, int secondsAgo,
        std::optional<QString> account = std::nullopt) const
    {
        Payment p;
        p.id = id;
        p.accountID = account;
        p.amount = 2900;
        p.currency = QStringLiteral("USD");
        p.state = state;
        p.date = ago(secondsAgo);
        return p;
    }

    KitConnection conn(KitService s) const { return store->connection(s); }

    // Runs a store action to its end on virtual time; fails when it is still waiting.
    template <typename T> void finish(QCoro::Task<T> task)
    {
        scheduler.runPending();
        ASSERT_TRUE(task.isReady());
    }
};

inline KitConnection connected(std::optional<QString> account = std::nullopt)
{
    return KitConnection::connected(std::move(account));
}

} // namespace brenvo::test
