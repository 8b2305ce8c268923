#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"

#include "model/DevKitSnapshot.h"
#include "model/KitConnection.h"

#include <gtest/gtest.h>

namespace brenvo {
namespace {

using test::fixedNow;

// The store compares records to tell news from a rewrite: absent, empty and shifted values matter.
TEST(RecordEquality, AbsentEmptyAndTheSameInstant)
{
    const Deployment base = test::deployment(QStringLiteral("dpl_1"), Deployment::State::ready);
    Deployment other = base;
    other.stateNote = QString(); // present but empty differs from absent
    EXPECT_NE(base, other);
    other = base;
    other.date = base.date.toOffsetFromUtc(3600); // the same instant in another zone
    EXPECT_EQ(base, other);
    other.date = base.date.addMSecs(1);
    EXPECT_NE(base, other);

    UsageSpend none {QStringLiteral("today"), QStringLiteral("Today"), 3.42, QStringLiteral("USD"), {}};
    UsageSpend zero = none;
    zero.tokens = 0;
    EXPECT_NE(none, zero);
    EXPECT_NE(KitConnection::connected(std::nullopt), KitConnection::connected(QString()));
    EXPECT_NE(DeploymentInspection::Redeploy::failed(QString()), DeploymentInspection::Redeploy::idle());

    DevKitSnapshot answered;
    answered.deployments.insert(KitService::vercel, {});
    EXPECT_NE(answered, DevKitSnapshot::empty());
    EXPECT_NE(DevKitSnapshot::sample(fixedNow()), DevKitSnapshot::sample(fixedNow().addSecs(1)));
}

TEST(RecordEquality, EachAnnouncementIsNew)
{
    const KitAnnouncement first = KitAnnouncement::make(KitService::stripe, false);
    EXPECT_NE(first, KitAnnouncement::make(KitService::stripe, false));
    EXPECT_FALSE(first.id.isNull());
    KitAnnouncement copy = first;
    EXPECT_EQ(copy, first);
    copy.isProblem = true;
    EXPECT_NE(copy, first);
}

} // namespace
} // namespace brenvo
