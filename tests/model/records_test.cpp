#include "Printers.h"
#include "support/ModelBuilders.h"

#include "model/DevKitSnapshot.h"
#include "model/KitConnection.h"
#include "model/KitSignal.h"

#include <QHash>
#include <QSet>
#include <gtest/gtest.h>

#include <unordered_set>

namespace brenvo {
namespace {

using test::deployment;
using test::fixedNow;
using State = Deployment::State;

TEST(RecordEquality, EveryFieldOfADeploymentCounts)
{
    const Deployment base = deployment(QStringLiteral("dpl_1"), State::ready);
    EXPECT_EQ(base, deployment(QStringLiteral("dpl_1"), State::ready));

    const std::function<void(Deployment&)> changes[] = {
        [](Deployment& d) { d.scope = QStringLiteral("acme/site"); },
        [](Deployment& d) { d.stateNote = QStringLiteral("Timed out"); },
        [](Deployment& d) { d.stateNote = QString(); }, // present but empty differs from absent
        [](Deployment& d) { d.branch = QStringLiteral("main"); },
        [](Deployment& d) { d.url = QUrl(QStringLiteral("https://example.com/d/1")); },
        [](Deployment& d) { d.date = d.date.addMSecs(1); },
        [](Deployment& d) { d.state = State::failed; },
        [](Deployment& d) { d.target = QStringLiteral("production"); },
    };
    for (const auto& change : changes) {
        Deployment other = base;
        change(other);
        EXPECT_NE(base, other);
    }
    // The same instant in another time zone is the same date.
    Deployment shifted = base;
    shifted.date = base.date.toOffsetFromUtc(3600);
    EXPECT_EQ(base, shifted);
}

TEST(RecordEquality, InspectionsCompareDetailsAndRedeploy)
{
    using Redeploy = DeploymentInspection::Redeploy;
    const DeploymentInspection loading {KitService::github, deployment(QStringLiteral("r1"), State::failed),
        std::nullopt, true, Redeploy::idle()};
    DeploymentInspection loaded = loading;
    loaded.details = DeploymentDetails {};
    EXPECT_NE(loading, loaded);

    DeploymentInspection a = loading, b = loading;
    a.redeploy = Redeploy::failed(QStringLiteral("GitHub answered 500: Oops"));
    b.redeploy = Redeploy::failed(QStringLiteral("GitHub answered 502: Bad gateway"));
    EXPECT_NE(a, b);
    b.redeploy = a.redeploy;
    EXPECT_EQ(a, b);

    EXPECT_EQ(Redeploy(), Redeploy::idle());
    EXPECT_NE(Redeploy::starting(), Redeploy::started());
    EXPECT_NE(Redeploy::failed(QString()), Redeploy::idle());
    EXPECT_EQ(Redeploy::failed(QStringLiteral("x")).kind(), Redeploy::Kind::failed);
    EXPECT_TRUE(Redeploy::started().message().isEmpty());

    DeploymentDetails details;
    details.buildDuration = 42;
    DeploymentDetails other = details;
    other.checks.append(DeploymentCheck {QStringLiteral("1"), QStringLiteral("test"), State::ready, {}, {}});
    EXPECT_NE(details, other);
}

TEST(RecordEquality, OptionalNumbersAndTextsDistinguishAbsentFromEmpty)
{
    const UsageSpend none {
        QStringLiteral("today"), QStringLiteral("Today"), 3.42, QStringLiteral("USD"), std::nullopt};
    UsageSpend zero = none;
    zero.tokens = 0;
    EXPECT_NE(none, zero);

    PaymentAccountInfo absent;
    PaymentAccountInfo empty;
    empty.site = QString();
    EXPECT_NE(absent, empty);
    EXPECT_EQ(absent, PaymentAccountInfo {});

    EXPECT_EQ((KitProject {QStringLiteral("1"), QStringLiteral("a")}),
        (KitProject {QStringLiteral("1"), QStringLiteral("a")}));
    EXPECT_NE((KitProject {QStringLiteral("1"), QStringLiteral("a")}),
        (KitProject {QStringLiteral("1"), QStringLiteral("b")}));

    Payment p = test::payment(QStringLiteral("pay_1"), Payment::State::succeeded);
    Payment q = p;
    q.accountID = QStringLiteral("acct");
    EXPECT_NE(p, q);
    EXPECT_EQ((PaymentInspection {KitService::stripe, p}), (PaymentInspection {KitService::stripe, p}));
    EXPECT_NE((PaymentInspection {KitService::stripe, p}), (PaymentInspection {KitService::polar, p}));
}

TEST(RecordEquality, SnapshotsCompareMapsByKeyAndValue)
{
    const DevKitSnapshot built {{}, {}, {}, {}};
    EXPECT_EQ(DevKitSnapshot::empty(), built);
    EXPECT_EQ(&DevKitSnapshot::empty(), &DevKitSnapshot::empty());

    DevKitSnapshot answered;
    answered.deployments.insert(KitService::vercel, {});
    EXPECT_NE(answered, DevKitSnapshot::empty());

    DevKitSnapshot a = DevKitSnapshot::sample(fixedNow());
    DevKitSnapshot b = DevKitSnapshot::sample(fixedNow());
    EXPECT_EQ(a, b);
    b.usage[KitService::claude].meters[0].fraction = 0.63;
    EXPECT_NE(a, b);
    EXPECT_NE(DevKitSnapshot::sample(fixedNow()), DevKitSnapshot::sample(fixedNow().addSecs(1)));
}

TEST(RecordEquality, ConnectionsAndAnnouncements)
{
    using C = KitConnection;
    EXPECT_EQ(C(), C::notConnected());
    EXPECT_EQ(C::connected(std::nullopt), C::connected(std::nullopt));
    EXPECT_NE(C::connected(std::nullopt), C::connected(QString()));
    EXPECT_NE(C::connected(QStringLiteral("a")), C::connected(QStringLiteral("b")));
    EXPECT_EQ(C::connected(QStringLiteral("demo")).account(), QStringLiteral("demo"));
    EXPECT_NE(C::failing(QStringLiteral("x")), C::failing(QStringLiteral("y")));
    EXPECT_EQ(C::failing(QStringLiteral("x")).reason(), QStringLiteral("x"));
    EXPECT_EQ(C::failing(QStringLiteral("x")).account(), std::nullopt);
    EXPECT_NE(C::connecting(), C::rejected());
    EXPECT_TRUE(C::connected(std::nullopt).isConnected());
    EXPECT_FALSE(C::connecting().isConnected());

    const KitAnnouncement first = KitAnnouncement::make(KitService::stripe, false);
    const KitAnnouncement second = KitAnnouncement::make(KitService::stripe, false);
    EXPECT_NE(first, second); // a fresh id each time
    EXPECT_FALSE(first.id.isNull());
    KitAnnouncement copy = first;
    EXPECT_EQ(copy, first);
    copy.isProblem = true;
    EXPECT_NE(copy, first);
}

TEST(RecordEquality, StateEnumerationsAreHashable)
{
    QSet<KitSignal> signals {KitSignal::good, KitSignal::bad, KitSignal::good};
    EXPECT_EQ(signals.size(), 2);
    std::unordered_set<Deployment::State> states {State::ready, State::failed, State::ready};
    EXPECT_EQ(states.size(), 2u);
    QHash<Payment::State, int> counts;
    counts[Payment::State::pending] += 2;
    counts[Payment::State::pending] += 1;
    EXPECT_EQ(counts.value(Payment::State::pending), 3);
}

} // namespace
} // namespace brenvo
