#include "Printers.h"
#include "support/ModelBuilders.h"

#include "model/Deployment.h"
#include "model/KitSignal.h"
#include "model/Payment.h"
#include "model/Usage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace brenvo {
namespace {

using test::fixedNow;
using DS = Deployment::State;
using PS = Payment::State;

Deployment row(const char* id, DS state, int minutesAgo)
{
    return test::deployment(QString::fromLatin1(id), state, fixedNow().addSecs(-60 * minutesAgo));
}

Payment pay(const char* id, PS state, int minutesAgo, std::optional<QString> account = std::nullopt)
{
    return test::payment(
        QString::fromLatin1(id), state, fixedNow().addSecs(-60 * minutesAgo), std::move(account));
}

QStringList ids(const auto& list)
{
    QStringList result;
    for (const auto& item : list)
        result.append(item.id);
    return result;
}

TEST(TileSignals, Deployments)
{
    EXPECT_EQ(KitSignal::deployments({}), KitSignal::good);
    // Building anywhere wins, even over a newer failure.
    EXPECT_EQ(
        KitSignal::deployments({row("a", DS::failed, 1), row("b", DS::building, 9)}), KitSignal::attention);
    EXPECT_EQ(
        KitSignal::deployments({row("a", DS::canceled, 1), row("b", DS::canceled, 2)}), KitSignal::good);
    // Canceled rows are ignored: the newest remaining one decides, wherever it stands in the list.
    EXPECT_EQ(KitSignal::deployments({row("a", DS::canceled, 1), row("b", DS::failed, 2)}), KitSignal::bad);
    EXPECT_EQ(
        KitSignal::deployments({row("old", DS::failed, 30), row("new", DS::ready, 2)}), KitSignal::good);
    EXPECT_EQ(KitSignal::deployments({row("old", DS::ready, 30), row("new", DS::failed, 2)}), KitSignal::bad);
    // Equal dates: the first in the list wins.
    EXPECT_EQ(KitSignal::deployments({row("x", DS::failed, 5), row("y", DS::ready, 5)}), KitSignal::bad);
    EXPECT_EQ(KitSignal::deployments({row("y", DS::ready, 5), row("x", DS::failed, 5)}), KitSignal::good);
}

TEST(TileSignals, Payments)
{
    EXPECT_EQ(KitSignal::payments({}), KitSignal::good);
    EXPECT_EQ(KitSignal::payments({pay("r", PS::refunded, 1)}), KitSignal::good);
    EXPECT_EQ(
        KitSignal::payments({pay("r", PS::refunded, 1), pay("p", PS::pending, 5)}), KitSignal::attention);
    EXPECT_EQ(
        KitSignal::payments({pay("old", PS::failed, 50), pay("new", PS::succeeded, 5)}), KitSignal::good);
    EXPECT_EQ(KitSignal::payments({pay("f", PS::failed, 1), pay("s", PS::succeeded, 5)}), KitSignal::bad);
    EXPECT_EQ(KitSignal::payments({pay("d", PS::disputed, 1)}), KitSignal::bad);
}

TEST(TileSignals, UsageRollsOverBeforeJudging)
{
    const QDateTime now = fixedNow();
    const auto report = [&](QList<UsageMeter> meters) {
        return UsageReport {meters, std::nullopt, now, std::nullopt};
    };
    EXPECT_EQ(UsageReport::signal(std::nullopt, now), KitSignal::good);
    EXPECT_EQ(UsageReport::signal(report({}), now), KitSignal::good);
    EXPECT_EQ(UsageReport::signal(report({test::meter("w", 0.95, now.addSecs(-1))}), now), KitSignal::good);
    EXPECT_EQ(UsageReport::signal(report({test::meter("w", 0.95, now)}), now), KitSignal::good);
    EXPECT_EQ(UsageReport::signal(report({test::meter("w", 0.95, now.addSecs(1))}), now), KitSignal::bad);
    EXPECT_EQ(
        UsageReport::signal(report({test::meter("w", 0.75, now.addSecs(60))}), now), KitSignal::attention);
    EXPECT_EQ(UsageReport::signal(report({test::meter("w", 0.7499)}), now), KitSignal::good);
    EXPECT_EQ(
        UsageReport::signal(report({test::meter("a", 0.1), test::meter("b", 0.9)}), now), KitSignal::bad);
    EXPECT_EQ(UsageReport::signal(report({test::meter("a", 1.4)}), now), KitSignal::bad);
}

TEST(TileSignals, UsageIgnoresFractionsThatAreNoNumber)
{
    const QDateTime now = fixedNow();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const auto signalOf = [&](QList<UsageMeter> meters) {
        return UsageReport::signal(UsageReport {meters, std::nullopt, now, std::nullopt}, now);
    };
    EXPECT_EQ(signalOf({test::meter("a", nan)}), KitSignal::good);
    EXPECT_EQ(signalOf({test::meter("a", nan), test::meter("b", 0.8)}), KitSignal::attention);
    EXPECT_EQ(signalOf({test::meter("a", 0.8), test::meter("b", nan)}), KitSignal::attention);
    EXPECT_EQ(signalOf({test::meter("a", inf)}), KitSignal::bad);
    EXPECT_EQ(signalOf({test::meter("a", -inf)}), KitSignal::good);
}

TEST(UsageRollover, ReplacesOnlyPassedWindows)
{
    const QDateTime now = fixedNow();
    const UsageReport report {{test::meter("passed", 0.95, now.addSecs(-5)), test::meter("due", 0.5, now),
                                  test::meter("later", 0.4, now.addSecs(5)), test::meter("open", 0.3)},
        QStringLiteral("Plus"), now.addSecs(-60), QStringLiteral("me@example.com")};
    const UsageReport rolled = report.rolledOver(now);
    ASSERT_EQ(ids(rolled.meters), (QStringList {"passed", "due", "later", "open"}));
    EXPECT_EQ(rolled.meters[0], test::meter("passed", 0));
    EXPECT_EQ(rolled.meters[1], test::meter("due", 0));
    EXPECT_EQ(rolled.meters[2], report.meters[2]);
    EXPECT_EQ(rolled.meters[3], report.meters[3]);
    EXPECT_EQ(rolled.plan, report.plan);
    EXPECT_EQ(rolled.asOf, report.asOf);
    EXPECT_EQ(rolled.account, report.account);
    EXPECT_EQ(report.meters[0].fraction, 0.95); // the original is untouched
}

TEST(CheckStates, RollUpAndDisplayOrder)
{
    EXPECT_EQ(DS::rollUp({}), DS::canceled);
    EXPECT_EQ(DS::rollUp({DS::failed, DS::building}), DS::building);
    EXPECT_EQ(DS::rollUp({DS::ready, DS::failed, DS::canceled}), DS::failed);
    EXPECT_EQ(DS::rollUp({DS::canceled, DS::ready}), DS::ready);
    EXPECT_EQ(DS::rollUp({DS::canceled, DS::canceled}), DS::canceled);

    const auto check = [](const char* id, DS state) {
        return DeploymentCheck {QString::fromLatin1(id), QString::fromLatin1(id), state, {}, {}};
    };
    const QList<DeploymentCheck> checks {check("c1", DS::canceled), check("r1", DS::ready),
        check("f1", DS::failed), check("b1", DS::building), check("r2", DS::ready), check("f2", DS::failed)};
    EXPECT_EQ(
        ids(DeploymentCheck::sortedForDisplay(checks)), (QStringList {"f1", "f2", "b1", "r1", "r2", "c1"}));
    EXPECT_EQ(ids(checks).first(), "c1"); // the input is untouched
    EXPECT_TRUE(DeploymentCheck::sortedForDisplay({}).isEmpty());
}

TEST(ChangeDetection, NewlyReadyDeployments)
{
    const QList<Deployment> before {
        row("a", DS::building, 10), row("b", DS::failed, 20), row("c", DS::ready, 30)};
    const QList<Deployment> after {row("new", DS::ready, 1), row("a", DS::ready, 10), row("b", DS::ready, 20),
        row("c", DS::ready, 30), row("old", DS::ready, 40), row("busy", DS::building, 0)};
    EXPECT_EQ(ids(Deployment::newlyReady(after, before)), (QStringList {"new", "a"}));
    // With nothing before, every ready row is new.
    EXPECT_EQ(ids(Deployment::newlyReady(after, {})), (QStringList {"new", "a", "b", "c", "old"}));
    // A new row dated exactly at the cut-off is not later than it.
    EXPECT_TRUE(Deployment::newlyReady({row("same", DS::ready, 10)}, before).isEmpty());
}

TEST(ChangeDetection, SettledDeploymentChanges)
{
    const QList<Deployment> before {
        row("a", DS::building, 10), row("b", DS::failed, 20), row("c", DS::ready, 30)};
    const QList<Deployment> after {row("a", DS::ready, 10), row("b", DS::ready, 20), row("c", DS::ready, 30),
        row("old", DS::canceled, 90), row("busy", DS::building, 0)};
    // No date test: an old row never seen counts; a ready row that failed before counts.
    EXPECT_EQ(ids(Deployment::settledChanges(after, before)), (QStringList {"a", "b", "old"}));
    EXPECT_EQ(ids(Deployment::settledChanges(after, {})), (QStringList {"a", "b", "c", "old"}));
    EXPECT_FALSE(ids(Deployment::newlyReady(after, before)).contains("b"));
    // The first previous entry with the id is the one compared.
    EXPECT_TRUE(Deployment::settledChanges(
        {row("a", DS::ready, 1)}, {row("a", DS::ready, 1), row("a", DS::failed, 1)})
                    .isEmpty());
}

TEST(ChangeDetection, NewlySucceededPayments)
{
    const QList<Payment> before {pay("p", PS::pending, 10), pay("f", PS::failed, 20)};
    const QList<Payment> after {pay("n", PS::succeeded, 1), pay("p", PS::succeeded, 10),
        pay("f", PS::succeeded, 20), pay("late", PS::succeeded, 60), pay("q", PS::pending, 0)};
    EXPECT_EQ(ids(Payment::newlySucceeded(after, before)), (QStringList {"n", "p"}));
    EXPECT_EQ(ids(Payment::newlySucceeded(after, {})), (QStringList {"n", "p", "f", "late"}));
    // Matching is by id alone: the first previous payment with that id decides.
    const QList<Payment> twoAccounts {pay("x", PS::pending, 5, QStringLiteral("acct1")),
        pay("x", PS::succeeded, 5, QStringLiteral("acct2"))};
    EXPECT_EQ(
        ids(Payment::newlySucceeded({pay("x", PS::succeeded, 5, QStringLiteral("acct2"))}, twoAccounts)),
        QStringList {"x"});
}

TEST(ChangeDetection, ChangedPaymentsMatchIdAndAccount)
{
    const QList<Payment> before {pay("pend", PS::pending, 10), pay("fail", PS::failed, 20)};
    // Not seen before and earlier than the newest previous payment: not news.
    EXPECT_TRUE(Payment::changed({pay("early", PS::failed, 30)}, before).isEmpty());
    EXPECT_TRUE(Payment::changed({pay("fail", PS::failed, 20)}, before).isEmpty());
    EXPECT_EQ(ids(Payment::changed({pay("pend", PS::failed, 10)}, before)), QStringList {"pend"});
    EXPECT_EQ(ids(Payment::changed({pay("fail", PS::disputed, 20)}, before)), QStringList {"fail"});
    EXPECT_EQ(ids(Payment::changed({pay("fresh", PS::disputed, 1)}, before)), QStringList {"fresh"});
    EXPECT_TRUE(Payment::changed({pay("ok", PS::succeeded, 1), pay("r", PS::refunded, 1)}, before).isEmpty());

    // The same id under another account is another payment.
    const QList<Payment> other {pay("x", PS::failed, 5, QStringLiteral("acct1"))};
    EXPECT_EQ(
        ids(Payment::changed({pay("x", PS::failed, 1, QStringLiteral("acct2"))}, other)), QStringList {"x"});
    EXPECT_TRUE(Payment::changed({pay("x", PS::failed, 1, QStringLiteral("acct1"))}, other).isEmpty());
    // Two absent accounts match.
    EXPECT_TRUE(Payment::changed({pay("y", PS::failed, 1)}, {pay("y", PS::failed, 1)}).isEmpty());
}

} // namespace
} // namespace brenvo
