// The text of `claude -p /usage` without windows: only the cost summary means that the account has
// no plan limits; a subscriber's answer without them is a fetch that failed this time.
#include "support/QtPrinters.h"
#include "support/RunTask.h"
#include "usage/ClaudeUsageFile.h"

#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

using namespace brenvo;
using namespace brenvo::test;
using namespace Qt::Literals::StringLiterals;

namespace {

// What claude 2.1 prints: the subscriber's line, then its windows when it could fetch them.
const QString subscriber = u"You are currently using your subscription to power your Claude Code usage\n"_s;
const QString overages = u"You are currently using your overages to power your Claude Code usage. We will "
                         "automatically switch you back to your subscription rate limits when they reset\n"
                         "Last 24h · 12 requests · 2 sessions\n  40% of your usage was at >150k context\n"_s;
const QString costSummary = u"Total cost:            $0.0000\nTotal duration (API):  0s\n"_s;

QCoro::Task<ClaudeAccount> signedIn()
{
    co_return ClaudeAccount {true, u"claude.ai"_s, u"robin@example.com"_s, {}, u"max"_s};
}

QCoro::Task<QString> printed(std::shared_ptr<QString> text)
{
    co_return QString(*text);
}

} // namespace

TEST(ClaudeProbeAnswers, OnlyTheCostSummaryMeansNoPlanLimits)
{
    QTemporaryDir root;
    ClaudeUsageFile file;
    QDateTime clock(QDate(2026, 12, 7), QTime(14, 0), QTimeZone::utc());
    auto text
        = std::make_shared<QString>(subscriber + u"Current session: 18% used · resets 3:59pm (UTC)\n"_s);
    file.claudeDirectory = root.filePath(u".claude"_s);
    file.directory = root.filePath(u"Brenvo"_s);
    file.now = [&clock] { return clock; };
    file.refreshEvery = [] { return 600.0; };
    file.askAccount = [] { return signedIn(); };
    file.ask = [text] { return printed(text); };
    ASSERT_EQ(runTask(file.report()).value().meters.size(), 1);

    const auto momentary = UsageFailure::momentary(claude_sentences::notReadNow());
    const struct {
        QString printed;
        UsageFailure failure;
    } cases[] = {
        {subscriber, momentary},
        {overages, momentary},
        {costSummary, UsageFailure(claude_sentences::noPlanLimits())},
        // A window in a shape it cannot read is a new format, not a failed fetch.
        {subscriber + u"Current session: 18 % used (resets soon)"_s,
            UsageFailure(claude_sentences::unexpected())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.printed.toStdString());
        *text = c.printed;
        clock = clock.addSecs(600);
        for (int turn = 0; turn < 2; ++turn) { // the ask, then a turn before the next one
            try {
                runTask(file.report());
                ADD_FAILURE() << "no failure";
            } catch (const UsageFailure& failure) {
                EXPECT_EQ(failure, c.failure) << failure.what();
            }
            clock = clock.addSecs(5);
        }
    }
}
