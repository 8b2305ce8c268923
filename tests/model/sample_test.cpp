#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"

#include "model/DevKitSnapshot.h"
#include "model/KitSignal.h"

#include <gtest/gtest.h>

namespace brenvo {
namespace {

using test::fixedNow;
using DS = Deployment::State;
using K = KitService;

TEST(SampleData, EveryToolHasContentAndTheExpectedSignal)
{
    const QDateTime now = fixedNow();
    const DevKitSnapshot sample = DevKitSnapshot::sample(now);
    EXPECT_EQ(sample.deployments.keys(), (QList<K> {K::vercel, K::cloudflare, K::github, K::gitlab}));
    EXPECT_EQ(sample.payments.keys(), (QList<K> {K::stripe, K::polar}));
    EXPECT_EQ(sample.usage.keys(), (QList<K> {K::claude, K::codex}));
    EXPECT_EQ(sample.spend.keys(), QList<K> {K::codex});
    for (K service : sample.deployments.keys()) {
        const QList<Deployment>& rows = sample.deployments[service];
        EXPECT_EQ(KitSignal::deployments(rows), KitSignal::attention);
        const bool deploys = service == K::vercel || service == K::cloudflare;
        EXPECT_EQ(rows[0].environment, deploys ? std::optional(QStringLiteral("Production")) : std::nullopt);
        EXPECT_EQ(rows, Deployment::samples(rows[0].environment, now));
    }

    for (K service : sample.payments.keys())
        EXPECT_EQ(KitSignal::payments(sample.payments[service]), KitSignal::good);
    // Made-up customers only, newest first.
    const QList<Payment>& payments = sample.payments[K::stripe];
    ASSERT_EQ(payments.size(), 3);
    for (qsizetype i = 0; i < payments.size(); ++i) {
        EXPECT_TRUE(payments[i].customerEmail.value_or("").contains(QLatin1String("@example.")));
        EXPECT_TRUE(i == 0 || payments[i].date < payments[i - 1].date);
    }

    EXPECT_EQ(UsageReport::signal(sample.usage[K::claude], now), KitSignal::good);
    EXPECT_EQ(UsageReport::signal(sample.usage[K::codex], now), KitSignal::attention);
    // After 1 h 48 min the 5-hour window has started again.
    EXPECT_EQ(sample.usage[K::claude].rolledOver(now.addSecs(6480)).meters[0].fraction, 0);
}

TEST(SampleData, DetailsOfAnOpenedRowFollowTheToolAndState)
{
    const DevKitSnapshot sample = DevKitSnapshot::sample(fixedNow());
    const auto details = [&](K service, int index, std::optional<DS> state = std::nullopt) {
        Deployment row = sample.deployments[service][index];
        row.state = state.value_or(row.state);
        return DeploymentDetails::sample(row, service);
    };
    const DeploymentDetails failedCheck = details(K::github, 2);
    ASSERT_EQ(failedCheck.checks.size(), 3);
    EXPECT_EQ(failedCheck.checks[0].state, DS::failed); // failed checks first
    EXPECT_EQ(failedCheck.checks[0].note, QStringLiteral("unit › Run tests"));
    EXPECT_TRUE(failedCheck.canRedeploy);
    EXPECT_FALSE(details(K::gitlab, 0).canRedeploy);
    EXPECT_FALSE(details(K::cloudflare, 1).canRedeploy);
    EXPECT_EQ(details(K::vercel, 1).domains.size(), 1);
    const DeploymentDetails failed = details(K::vercel, 2);
    EXPECT_EQ(failed.errorMessage, QStringLiteral("Command \"npm run build\" exited with 1"));
    EXPECT_EQ(failed.logTail.size(), 3);
    const DeploymentDetails canceled = details(K::vercel, 0, DS::canceled);
    EXPECT_TRUE(canceled.canRedeploy);
    EXPECT_TRUE(canceled.logTail.isEmpty() && canceled.domains.isEmpty());
}

} // namespace
} // namespace brenvo
