// The text of `claude -p /usage` without windows: only the cost summary means that the account has
// no plan limits; a subscriber's answer without them is a fetch that failed this time.
#include "support/ManualScheduler.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"
#include "usage/ClaudeUsageFile.h"
#include "usage/ToolAccount.h"

#include <QDir>
#include <QFile>
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

// The real program signed in as a subscriber (with a made-up token, so that the fetch of the limits
// fails) prints only its subscriber's line. Asked twice, it records one folder among its projects.
TEST(ClaudeProbeAnswers, TheRealProgramsFailedFetchIsMomentary)
{
    const QString tools = QStringLiteral(BRENVO_TOOLS_DIR "/node_modules/.bin");
    if (!QFileInfo(tools + u"/claude"_s).isExecutable())
        GTEST_SKIP() << "scripts/setup has not installed claude";
    QTemporaryDir home;
    QDir().mkpath(home.filePath(u".claude"_s));
    QFile credentials(home.filePath(u".claude/.credentials.json"_s));
    ASSERT_TRUE(credentials.open(QIODevice::WriteOnly));
    credentials.write(R"({"claudeAiOauth": {"accessToken": "test-access-not-real", "refreshToken": )"
                      R"("test-refresh-not-real", "expiresAt": 4102444800000, "scopes": ["user:inference", )"
                      R"("user:profile"], "subscriptionType": "max"}})");
    credentials.close();

    ManualScheduler scheduler;
    auto tool = std::make_shared<ToolAccount>(
        u"claude"_s, scheduler, ToolAccount::Places {tools, {}, home.path(), {}});
    tool->environment = {{u"HOME"_s, home.path()}};
    tool->runtimeFolder = home.path();
    ClaudeUsageFile file;
    QDateTime clock(QDate(2026, 12, 7), QTime(14, 0), QTimeZone::utc());
    file.claudeDirectory = home.filePath(u".claude"_s);
    file.directory = home.filePath(u"Brenvo"_s);
    file.now = [&clock] { return clock; };
    file.refreshEvery = [] { return 600.0; };
    file.askAccount = ClaudeUsageFile::accountAsker(tool);
    file.ask = ClaudeUsageFile::limitsProbe(tool);
    for (int ask = 0; ask < 2; ++ask) {
        clock = clock.addSecs(600);
        try {
            runTask(file.report(), std::chrono::seconds(60));
            ADD_FAILURE() << "no failure";
        } catch (const UsageFailure& failure) {
            EXPECT_EQ(failure, UsageFailure::momentary(claude_sentences::notReadNow())) << failure.what();
        }
    }
    EXPECT_EQ(
        QDir(home.filePath(u".claude/projects"_s)).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
}
