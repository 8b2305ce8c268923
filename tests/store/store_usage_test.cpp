// The plan half of a usage tool when its reader fails: once said, and a failed fetch of a signed-in
// tool keeps its last meters on the card.
#include "StoreFixture.h"

using namespace brenvo;
using namespace brenvo::test;

namespace {

const QString notReadNow
    = u"Claude Code could not read the plan limits just now. Brenvo will ask again at the next check."_s;
const QString noPlan = u"Claude Code reports no plan limits for this account."_s;

class PlanFailures : public StoreTest {
protected:
    void SetUp() override
    {
        buildEnabled();
        claudeUsage->connected = true;
    }
    UsageReport report(double five) const
    {
        return {{{u"five_hour"_s, u"5-hour limit"_s, five, ago(-3600)}}, u"Max"_s, ago(0), std::nullopt};
    }
    C plan() const { return store->planConnections().value(claudeKit); }
    void turn(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            finish(store->refreshUsage(claudeKit));
    }
};

TEST_F(PlanFailures, AFailedFetchKeepsTheMetersAndIsSaidOnceUntilItEnds)
{
    LogLines log;
    // With nothing to show, a failed fetch is a failure like any other.
    claudeUsage->reportError = fail(UsageFailure::momentary(notReadNow));
    turn();
    EXPECT_EQ(conn(claudeKit), C::failing(notReadNow));
    claudeUsage->reportError = nullptr;
    const UsageReport read = report(0.4);
    claudeUsage->answer = read;
    turn();
    log.clear();

    claudeUsage->reportError = fail(UsageFailure::momentary(notReadNow));
    turn(3); // three turns of 5 s
    EXPECT_EQ(conn(claudeKit), connected()); // the card with its meters, not the connect card
    EXPECT_EQ(store->usageReport(claudeKit), read); // as read, with the time it was read
    EXPECT_EQ(plan(), C::failing(notReadNow)); // said on the card beside the meters
    EXPECT_EQ(log.errors(), QStringList {notReadNow});

    claudeUsage->reportError = nullptr;
    claudeUsage->answer = report(0.5);
    turn(2);
    EXPECT_EQ(plan(), connected());
    EXPECT_EQ(log.info().filter(u"again"_s), QStringList {u"Claude reports its plan limits again"_s});

    // A sign-in without plan limits is the account's answer: the tool is not connected.
    claudeUsage->reportError = fail(UsageFailure(noPlan));
    turn(3);
    EXPECT_EQ(conn(claudeKit), C::failing(noPlan));
    EXPECT_EQ(log.errors(), (QStringList {notReadNow, noPlan}));
    // and a failed fetch after it is said once more, the meters still standing.
    claudeUsage->reportError = fail(UsageFailure::momentary(notReadNow));
    turn(2);
    EXPECT_EQ(conn(claudeKit), connected());
    EXPECT_EQ(log.errors(), (QStringList {notReadNow, noPlan, notReadNow}));
}

} // namespace
