#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"

#include "model/Deployment.h"
#include "model/KitSignal.h"
#include "model/Payment.h"
#include "model/Usage.h"

#include <gtest/gtest.h>

#include <limits>

namespace brenvo {
namespace {

using test::fixedNow;
using test::meter;
using DS = Deployment::State;
using PS = Payment::State;
constexpr auto good = KitSignal::good;
constexpr auto attention = KitSignal::attention;
constexpr auto bad = KitSignal::bad;

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

TEST(TileSignals, DeploymentsAndPayments)
{
    const std::pair<QList<Deployment>, KitSignal> deploymentCases[] = {{{}, good},
        {{row("a", DS::failed, 1), row("b", DS::building, 9)}, attention}, // building anywhere wins
        {{row("a", DS::canceled, 1), row("b", DS::canceled, 2)}, good},
        // Canceled rows are ignored: the newest remaining one decides, wherever it stands.
        {{row("a", DS::canceled, 1), row("b", DS::failed, 2)}, bad},
        {{row("old", DS::failed, 30), row("new", DS::ready, 2)}, good},
        {{row("x", DS::failed, 5), row("y", DS::ready, 5)}, bad}, // equal dates: the first wins
        {{row("y", DS::ready, 5), row("x", DS::failed, 5)}, good}};
    for (const auto& [list, expected] : deploymentCases)
        EXPECT_EQ(KitSignal::deployments(list), expected) << ids(list).join(u',').toStdString();

    const std::pair<QList<Payment>, KitSignal> paymentCases[]
        = {{{}, good}, {{pay("r", PS::refunded, 1)}, good},
            {{pay("r", PS::refunded, 1), pay("p", PS::pending, 5)}, attention},
            {{pay("old", PS::failed, 50), pay("new", PS::succeeded, 5)}, good},
            {{pay("f", PS::failed, 1), pay("s", PS::succeeded, 5)}, bad}, {{pay("d", PS::disputed, 1)}, bad}};
    for (const auto& [list, expected] : paymentCases)
        EXPECT_EQ(KitSignal::payments(list), expected) << ids(list).join(u',').toStdString();
}

TEST(TileSignals, UsageRollsOverAndIgnoresFractionsThatAreNoNumber)
{
    const QDateTime now = fixedNow();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(UsageReport::signal(std::nullopt, now), good);
    const std::pair<QList<UsageMeter>, KitSignal> cases[]
        = {{{}, good}, {{meter("w", 0.95, now.addSecs(-1))}, good}, {{meter("w", 0.95, now)}, good},
            {{meter("w", 0.95, now.addSecs(1))}, bad}, {{meter("w", 0.75, now.addSecs(60))}, attention},
            {{meter("w", 0.7499)}, good}, {{meter("a", 0.1), meter("b", 0.9)}, bad}, {{meter("a", 1.4)}, bad},
            {{meter("a", nan)}, good}, {{meter("a", nan), meter("b", 0.8)}, attention},
            {{meter("a", 0.8), meter("b", nan)}, attention}, {{meter("a", inf)}, bad},
            {{meter("a", -inf)}, good}};
    for (const auto& [meters, expected] : cases) {
        EXPECT_EQ(UsageReport::signal(UsageReport {meters, std::nullopt, now, std::nullopt}, now), expected)
            << (meters.isEmpty() ? 0.0 : meters.last().fraction);
    }

    const UsageReport report {{meter("passed", 0.95, now.addSecs(-5)), meter("due", 0.5, now),
                                  meter("later", 0.4, now.addSecs(5)), meter("open", 0.3)},
        QStringLiteral("Plus"), now.addSecs(-60), QStringLiteral("me@example.com")};
    UsageReport rolled = report;
    rolled.meters[0] = meter("passed", 0);
    rolled.meters[1] = meter("due", 0);
    EXPECT_EQ(report.rolledOver(now), rolled);
    EXPECT_EQ(report.meters[0].fraction, 0.95); // the original is untouched
}

TEST(CheckStates, RollUpAndDisplayOrder)
{
    EXPECT_EQ(DS::rollUp({}), DS::canceled);
    EXPECT_EQ(DS::rollUp({DS::failed, DS::building}), DS::building);
    EXPECT_EQ(DS::rollUp({DS::ready, DS::failed, DS::canceled}), DS::failed);
    EXPECT_EQ(DS::rollUp({DS::canceled, DS::ready}), DS::ready);

    const auto check = [](const char* id, DS state) {
        return DeploymentCheck {QString::fromLatin1(id), QString::fromLatin1(id), state, {}, {}};
    };
    const QList<DeploymentCheck> checks {check("c1", DS::canceled), check("r1", DS::ready),
        check("f1", DS::failed), check("b1", DS::building), check("r2", DS::ready), check("f2", DS::failed)};
    EXPECT_EQ(
        ids(DeploymentCheck::sortedForDisplay(checks)), (QStringList {"f1", "f2", "b1", "r1", "r2", "c1"}));
}

TEST(ChangeDetection, Deployments)
{
    const QList<Deployment> before {
        row("a", DS::building, 10), row("b", DS::failed, 20), row("c", DS::ready, 30)};
    const QList<Deployment> after {row("new", DS::ready, 1), row("a", DS::ready, 10), row("b", DS::ready, 20),
        row("c", DS::ready, 30), row("old", DS::canceled, 40), row("busy", DS::building, 0)};
    EXPECT_EQ(ids(Deployment::newlyReady(after, before)), (QStringList {"new", "a"}));
    EXPECT_EQ(ids(Deployment::newlyReady(after, {})), (QStringList {"new", "a", "b", "c"}));
    // A new row dated exactly at the cut-off is not later than it.
    EXPECT_TRUE(Deployment::newlyReady({row("same", DS::ready, 10)}, before).isEmpty());
    // No date test: an old row never seen counts; a ready row that failed before counts.
    EXPECT_EQ(ids(Deployment::settledChanges(after, before)), (QStringList {"new", "a", "b", "old"}));
    EXPECT_EQ(ids(Deployment::settledChanges(after, {})), (QStringList {"new", "a", "b", "c", "old"}));
    // The first previous entry with the id is the one compared.
    EXPECT_TRUE(Deployment::settledChanges(
        {row("a", DS::ready, 1)}, {row("a", DS::ready, 1), row("a", DS::failed, 1)})
                    .isEmpty());
}

TEST(ChangeDetection, Payments)
{
    const QList<Payment> before {pay("p", PS::pending, 10), pay("f", PS::failed, 20)};
    const QList<Payment> after {pay("n", PS::succeeded, 1), pay("p", PS::succeeded, 10),
        pay("f", PS::succeeded, 20), pay("late", PS::succeeded, 60), pay("q", PS::pending, 0)};
    EXPECT_EQ(ids(Payment::newlySucceeded(after, before)), (QStringList {"n", "p"}));
    EXPECT_EQ(ids(Payment::newlySucceeded(after, {})), (QStringList {"n", "p", "f", "late"}));
    // For success, matching is by id alone: the first previous payment with that id decides.
    const auto in
        = [](const char* account) { return pay("x", PS::succeeded, 5, QString::fromLatin1(account)); };
    EXPECT_EQ(ids(Payment::newlySucceeded(
                  {in("acct2")}, {pay("x", PS::pending, 5, QStringLiteral("acct1")), in("acct2")})),
        QStringList {"x"});

    // Not seen before and earlier than the newest previous payment: not news.
    EXPECT_TRUE(Payment::changed({pay("early", PS::failed, 30)}, before).isEmpty());
    EXPECT_TRUE(Payment::changed({pay("f", PS::failed, 20)}, before).isEmpty());
    EXPECT_EQ(ids(Payment::changed({pay("p", PS::failed, 10)}, before)), QStringList {"p"});
    EXPECT_EQ(ids(Payment::changed({pay("f", PS::disputed, 20)}, before)), QStringList {"f"});
    EXPECT_EQ(ids(Payment::changed({pay("fresh", PS::disputed, 1)}, before)), QStringList {"fresh"});
    EXPECT_TRUE(Payment::changed({pay("ok", PS::succeeded, 1), pay("r", PS::refunded, 1)}, before).isEmpty());
    // For problems the same id under another account is another payment; two absent accounts match.
    const QList<Payment> other {pay("x", PS::failed, 5, QStringLiteral("acct1"))};
    EXPECT_EQ(
        ids(Payment::changed({pay("x", PS::failed, 1, QStringLiteral("acct2"))}, other)), QStringList {"x"});
    EXPECT_TRUE(Payment::changed({pay("x", PS::failed, 1, QStringLiteral("acct1"))}, other).isEmpty());
    EXPECT_TRUE(Payment::changed({pay("y", PS::failed, 1)}, {pay("y", PS::failed, 1)}).isEmpty());
}

} // namespace
} // namespace brenvo
