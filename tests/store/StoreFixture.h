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
    *os << names[static_cast<int>(c.kind())] << "(" << c.account().value_or(c.reason()).toStdString() << ")";
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
    std::shared_ptr<FakeSpendSource> codexSpend = std::make_shared<FakeSpendSource>();
    std::unique_ptr<DevKitStore> store;

    void build(bool mock = false)
    {
        store = std::make_unique<DevKitStore>(preferences, secrets, scheduler, mock,
            DevKitStore::Sources {{{vercelKit, vercel}, {githubKit, github}},
                {{stripeKit, stripe}, {KitService::polar, polar}}, {{claudeKit, claudeUsage}},
                {{claudeKit, claudeSpend}, {KitService::codex, codexSpend}}, nullptr});
    }
    // Every tool enabled, then a store built and, when asked, started.
    void buildEnabled(bool started = false)
    {
        preferences.setEnabledServices({KitService::allCases().begin(), KitService::allCases().end()});
        build();
        if (started)
            store->start();
    }

    template <typename E> static std::exception_ptr fail(E e)
    {
        return std::make_exception_ptr(std::move(e));
    }
    static auto refused(int status, QString text) { return fail(ServiceFailure::refused(status, text)); }
    static auto rejected() { return fail(ServiceFailure::rejected()); }
    static C connected(std::optional<QString> account = {}) { return C::connected(std::move(account)); }

    void storeToken(KitService s, QString token = kFakeToken) { secrets.items.insert(s.secretKey(), token); }
    bool hasToken(KitService s) const { return secrets.items.contains(s.secretKey()); }
    // Stores a payment account the way an earlier run left it.
    void account(const QString& id, const QString& key)
    {
        auto accounts = preferences.paymentAccounts();
        accounts[u"stripe"_s].append(PaymentAccountRecord {id, std::nullopt, std::nullopt});
        preferences.setPaymentAccounts(accounts);
        secrets.items.insert(u"kit.stripe."_s + id, key);
    }
    auto stripeRecords() const { return preferences.paymentAccounts().value(u"stripe"_s); }

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
    bool unseen(KitService s = vercelKit) const { return store->unseen().contains(s); }

    // Everything the store held about a tool, gone after a disconnect.
    void expectForgotten(KitService s)
    {
        const auto& shown = store->snapshot();
        EXPECT_EQ(conn(s), C::notConnected());
        EXPECT_FALSE(
            store->isPolling(s) || hasToken(s) || preferences.paymentAccounts().contains(s.rawValue()));
        EXPECT_FALSE(shown.deployments.contains(s) || shown.payments.contains(s) || shown.usage.contains(s)
            || shown.spend.contains(s));
        const auto& held = store->tool(s);
        EXPECT_FALSE(
            store->projectIcons().contains(s) || held.account || held.loadedOnce || held.spendChecked);
    }
    // Starts a store action with a call of a fake held, runs meanwhile while the call waits, then
    // lets the call through and runs the action to its end.
    template <typename Start>
    void interrupt(HeldCalls& fake, const QString& call, Start start, auto meanwhile)
    {
        fake.hold(call);
        auto task = start();
        meanwhile();
        fake.letThrough(call);
        fake.release(call);
        finish(std::move(task));
    }

    // Runs a store action to its end on virtual time; fails when it is still waiting.
    template <typename T> void finish(QCoro::Task<T> task)
    {
        scheduler.runPending();
        ASSERT_TRUE(task.isReady());
    }
};

} // namespace brenvo::test
