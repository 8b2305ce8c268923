#pragma once

// A tool store over fake tools, an in-memory settings domain and virtual time, for the cards.
#include "app/core/MemoryDefaults.h"
#include "app/core/PreferencesStore.h"
#include "store/DevKitStore.h"
#include "support/FakeSecretStore.h"
#include "support/FakeToolSources.h"
#include "support/ManualScheduler.h"

#include <QCoroTask>
#include <gtest/gtest.h>

namespace brenvo::test {

inline const QString kCardToken = QStringLiteral("test-token-not-real");

class CardStoreTest : public ::testing::Test {
protected:
    MemoryDefaults defaults;
    PreferencesStore preferences {defaults};
    FakeSecretStore secrets;
    ManualScheduler clock;
    QMap<KitService, std::shared_ptr<FakeActivitySource>> activity;
    std::shared_ptr<FakePaymentSource> stripe = std::make_shared<FakePaymentSource>();
    std::shared_ptr<FakeUsageSource> claudeUsage = std::make_shared<FakeUsageSource>();
    std::shared_ptr<FakeSpendSource> claudeSpend = std::make_shared<FakeSpendSource>();
    std::unique_ptr<DevKitStore> kit;

    void build(bool mock = false)
    {
        DevKitStore::Sources sources;
        for (KitService s :
            {KitService::vercel, KitService::cloudflare, KitService::github, KitService::gitlab}) {
            activity.insert(s, std::make_shared<FakeActivitySource>());
            sources.activity.insert(s, activity.value(s));
        }
        sources.payments.insert(KitService::stripe, stripe);
        sources.usage.insert(KitService::claude, claudeUsage);
        sources.spend.insert(KitService::claude, claudeSpend);
        QSet<KitService> all;
        for (KitService s : KitService::allCases())
            all.insert(s);
        preferences.setEnabledServices(all);
        kit = std::make_unique<DevKitStore>(preferences, secrets, clock, mock, sources);
    }

    FakeActivitySource& tool(KitService service) { return *activity.value(service); }

    // Runs a store action to its end on virtual time.
    void finish(QCoro::Task<> task)
    {
        clock.runPending();
        ASSERT_TRUE(task.isReady());
    }

    // Connects a deployment tool whose source answers with these rows.
    void connectWith(KitService service, QList<Deployment> rows)
    {
        tool(service).rows = std::move(rows);
        finish(kit->connect(service, kCardToken));
        ASSERT_TRUE(kit->connection(service).isConnected());
    }

    QDateTime ago(int seconds) const { return clock.wallNow().addSecs(-seconds); }

    Deployment row(
        const QString& id, Deployment::State state, int secondsAgo, const QString& project = "web") const
    {
        Deployment d;
        d.id = id;
        d.project = project;
        d.message = QStringLiteral("Change ") + id;
        d.state = state;
        d.date = ago(secondsAgo);
        return d;
    }
};

} // namespace brenvo::test
