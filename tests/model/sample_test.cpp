#include "Printers.h"
#include "support/ModelBuilders.h"

#include "model/DevKitSnapshot.h"
#include "model/KitSignal.h"

#include <QSet>
#include <gtest/gtest.h>

namespace brenvo {
namespace {

using test::fixedNow;
using DS = Deployment::State;
using K = KitService;

QStringList checkNames(const DeploymentDetails& details)
{
    QStringList names;
    for (const DeploymentCheck& check : details.checks)
        names.append(check.name);
    return names;
}

const Deployment& sampleRow(const DevKitSnapshot& snapshot, K service, const char* id)
{
    for (const Deployment& row : snapshot.deployments[service]) {
        if (row.id == QLatin1String(id))
            return row;
    }
    throw std::out_of_range(id);
}

TEST(SampleData, EveryToolHasContentAndTheExpectedSignal)
{
    const QDateTime now = fixedNow();
    const DevKitSnapshot sample = DevKitSnapshot::sample(now);

    EXPECT_EQ(sample.deployments.keys(), (QList<K> {K::vercel, K::cloudflare, K::github, K::gitlab}));
    EXPECT_EQ(sample.payments.keys(), (QList<K> {K::stripe, K::polar}));
    EXPECT_EQ(sample.usage.keys(), (QList<K> {K::claude, K::codex}));
    EXPECT_EQ(sample.spend.keys(), QList<K> {K::codex});

    for (K service : sample.deployments.keys())
        EXPECT_EQ(KitSignal::deployments(sample.deployments[service]), KitSignal::attention);
    for (K service : sample.payments.keys())
        EXPECT_EQ(KitSignal::payments(sample.payments[service]), KitSignal::good);
    EXPECT_EQ(UsageReport::signal(sample.usage[K::claude], now), KitSignal::good);
    EXPECT_EQ(UsageReport::signal(sample.usage[K::codex], now), KitSignal::attention);
}

TEST(SampleData, RowsAreDatedFromNowWithTheirEnvironment)
{
    const QDateTime now = fixedNow();
    const DevKitSnapshot sample = DevKitSnapshot::sample(now);
    for (K service : sample.deployments.keys()) {
        const QList<Deployment>& rows = sample.deployments[service];
        ASSERT_EQ(rows.size(), 3);
        const bool deploys = service == K::vercel || service == K::cloudflare;
        for (const Deployment& row : rows) {
            EXPECT_EQ(row.environment, deploys ? std::optional(QStringLiteral("Production")) : std::nullopt);
            EXPECT_FALSE(row.commit || row.target || row.url || row.scope || row.stateNote);
        }
        EXPECT_EQ(rows, Deployment::samples(rows[0].environment, now));
    }
    const QList<Deployment>& rows = sample.deployments[K::vercel];
    EXPECT_EQ(rows[0].id, QStringLiteral("dpl_1"));
    EXPECT_EQ(rows[0].state, DS::building);
    EXPECT_EQ(rows[0].date, now.addSecs(-60));
    EXPECT_EQ(rows[1].project, QStringLiteral("marketing-site"));
    EXPECT_EQ(rows[1].date, now.addSecs(-720));
    EXPECT_EQ(rows[2].message, QStringLiteral("Fix broken anchor links"));
    EXPECT_EQ(rows[2].date, now.addSecs(-5700));
    EXPECT_EQ(rows[2].subtitle(), QStringLiteral("main · Production"));
}

TEST(SampleData, PaymentsNewestFirstWithMadeUpCustomers)
{
    const QDateTime now = fixedNow();
    const DevKitSnapshot sample = DevKitSnapshot::sample(now);
    EXPECT_EQ(sample.payments[K::stripe], sample.payments[K::polar]);
    const QList<Payment>& payments = sample.payments[K::stripe];
    ASSERT_EQ(payments.size(), 3);
    QSet<QString> emails;
    for (qsizetype i = 0; i < payments.size(); ++i) {
        const Payment& p = payments[i];
        EXPECT_EQ(p.currency, QStringLiteral("USD"));
        EXPECT_FALSE(p.accountID || p.url);
        ASSERT_TRUE(p.customerEmail);
        EXPECT_TRUE(p.customerEmail->contains(QLatin1String("@example."))) << p.customerEmail->toStdString();
        emails.insert(*p.customerEmail);
        if (i > 0) {
            EXPECT_LT(p.date, payments[i - 1].date);
        }
    }
    EXPECT_EQ(emails.size(), 3);
    EXPECT_EQ(payments[0].amountText(QStringLiteral("en_US")), QStringLiteral("$29.00"));
    EXPECT_EQ(payments[0].method, QStringLiteral("Visa •••• 4242"));
    EXPECT_EQ(payments[1].amountText(QStringLiteral("en_US")), QStringLiteral("$99.00"));
    EXPECT_EQ(payments[1].note, QStringLiteral("Renewal"));
    EXPECT_EQ(payments[2].state, Payment::State::failed);
    EXPECT_EQ(payments[2].customerName, std::nullopt);
    EXPECT_EQ(payments[2].date, now.addSecs(-10200));
}

TEST(SampleData, UsageResetsAndSpendTexts)
{
    const QDateTime now = fixedNow();
    const DevKitSnapshot sample = DevKitSnapshot::sample(now);
    const UsageReport& claude = sample.usage[K::claude];
    ASSERT_EQ(claude.meters.size(), 2);
    EXPECT_EQ(claude.meters[0].id, QStringLiteral("five_hour"));
    EXPECT_EQ(claude.meters[0].resetText(now), QStringLiteral("resets in 1h 48m"));
    EXPECT_EQ(claude.meters[1].resetText(now), QStringLiteral("resets in 4d 0h"));
    EXPECT_EQ(claude.meters[0].percentText(), QStringLiteral("62%"));
    EXPECT_EQ(claude.plan, std::nullopt);
    EXPECT_EQ(claude.asOf, now.addSecs(-60));
    // After 1 h 48 min the 5-hour window has started again.
    const UsageReport later = claude.rolledOver(now.addSecs(6480));
    EXPECT_EQ(later.meters[0].fraction, 0);
    EXPECT_EQ(later.meters[1].fraction, 0.34);

    const UsageReport& codex = sample.usage[K::codex];
    EXPECT_EQ(codex.plan, QStringLiteral("Plus"));
    EXPECT_EQ(codex.asOf, now);
    EXPECT_EQ(codex.meters[1].percentText(), QStringLiteral("81%"));

    const QList<UsageSpend>& spend = sample.spend[K::codex];
    ASSERT_EQ(spend.size(), 2);
    EXPECT_EQ(spend[0].tokensText(), QStringLiteral("1.2M tokens"));
    EXPECT_EQ(spend[1].tokensText(), std::nullopt);
    EXPECT_EQ(spend[1].amount, 61.8);
}

TEST(SampleData, DetailsOfAnOpenedRow)
{
    const DevKitSnapshot sample = DevKitSnapshot::sample(fixedNow());

    const DeploymentDetails github3
        = DeploymentDetails::sample(sampleRow(sample, K::github, "dpl_3"), K::github);
    EXPECT_EQ(checkNames(github3), (QStringList {"test", "lint", "Deploy to production"}));
    EXPECT_EQ(github3.checks[0].state, DS::failed);
    EXPECT_EQ(github3.checks[0].note, QStringLiteral("unit › Run tests"));
    EXPECT_TRUE(github3.canRedeploy);
    EXPECT_EQ(github3.buildDuration, 96);
    EXPECT_EQ(github3.creator, QStringLiteral("robin"));

    const DeploymentDetails gitlab1
        = DeploymentDetails::sample(sampleRow(sample, K::gitlab, "dpl_1"), K::gitlab);
    EXPECT_EQ(checkNames(gitlab1), (QStringList {"Deploy to production", "test", "lint"}));
    EXPECT_EQ(gitlab1.checks[0].state, DS::building);
    EXPECT_EQ(gitlab1.checks[1].note, QStringLiteral("1m 12s"));
    EXPECT_FALSE(gitlab1.canRedeploy);

    const DeploymentDetails vercel2
        = DeploymentDetails::sample(sampleRow(sample, K::vercel, "dpl_2"), K::vercel);
    ASSERT_EQ(vercel2.domains.size(), 1);
    EXPECT_TRUE(vercel2.domains[0].startsWith(QLatin1String("marketing-site.")));
    EXPECT_TRUE(vercel2.domains[0].endsWith(QLatin1String(".example.com")));
    EXPECT_EQ(vercel2.buildDuration, 42);
    EXPECT_TRUE(vercel2.checks.isEmpty());
    EXPECT_TRUE(vercel2.canRedeploy);
    EXPECT_EQ(vercel2.summary, std::nullopt);

    const DeploymentDetails vercel3
        = DeploymentDetails::sample(sampleRow(sample, K::vercel, "dpl_3"), K::vercel);
    EXPECT_EQ(vercel3.errorMessage, QStringLiteral("Command \"npm run build\" exited with 1"));
    EXPECT_EQ(vercel3.logTail.size(), 3);
    EXPECT_EQ(vercel3.logTail.last(), QStringLiteral("error Command failed with exit code 1."));
    EXPECT_TRUE(vercel3.domains.isEmpty());
    EXPECT_EQ(vercel3.buildDuration, std::nullopt);

    Deployment canceled = sampleRow(sample, K::vercel, "dpl_1");
    canceled.state = DS::canceled;
    const DeploymentDetails vercelCanceled = DeploymentDetails::sample(canceled, K::vercel);
    EXPECT_TRUE(vercelCanceled.canRedeploy);
    EXPECT_TRUE(vercelCanceled.logTail.isEmpty() && vercelCanceled.domains.isEmpty());
    const DeploymentDetails cloudflare2
        = DeploymentDetails::sample(sampleRow(sample, K::cloudflare, "dpl_2"), K::cloudflare);
    EXPECT_FALSE(cloudflare2.canRedeploy);
    for (const DeploymentCheck& check : cloudflare2.checks)
        EXPECT_EQ(check.state, DS::ready);
}

} // namespace
} // namespace brenvo
