// The two admin spend clients through the real transport against the loopback server.
#include "sources/SourcesTestKit.h"
#include "usage/AnthropicAdminClient.h"
#include "usage/OpenAIAdminClient.h"

#include <QTimeZone>

#include <gtest/gtest.h>

using namespace brenvo;
using namespace brenvo::test;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString adminKey = u"test-admin-key-not-real"_s;

QDateTime utc(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate).toUTC();
}

// What differs between the two interfaces. Their fixtures share names: the same figures in each
// interface's own shape.
struct Flavour {
    const char* name;
    const char* fixtures;
    std::shared_ptr<SpendSource> (*make)(std::shared_ptr<HTTPClient>, QUrl);
    QByteArray costPath;
    QByteArray usagePath;
    // The wire at 2025-03-14 15:20 UTC: both queries, the key's header and its prefix, a header
    // every request carries (empty when none).
    QByteArray costQuery;
    QByteArray usageQuery;
    QByteArray keyHeader;
    QByteArray keyPrefix;
    std::pair<QByteArray, QByteArray> fixedHeader;
    const char* startParam;
    QString (*timeText)(const QDateTime&);
    QByteArray refusal; // a refused key as the interface words it
};

const Flavour anthropic {"Anthropic", "usage/fixtures/anthropic/",
    [](std::shared_ptr<HTTPClient> http, QUrl base) -> std::shared_ptr<SpendSource> {
        return std::make_shared<AnthropicAdminClient>(std::move(http), std::move(base));
    },
    "/v1/organizations/cost_report", "/v1/organizations/usage_report/messages",
    "bucket_width=1d&ending_at=2025-03-15T00:00:00Z&limit=31&starting_at=2025-03-01T00:00:00Z",
    "bucket_width=1d&ending_at=2025-03-15T00:00:00Z&limit=31&starting_at=2025-03-14T00:00:00Z", "x-api-key",
    "", {"anthropic-version", "2023-06-01"}, "starting_at",
    [](const QDateTime& t) { return t.toString(Qt::ISODate); },
    R"({"type":"error","error":{"type":"authentication_error","message":"invalid x-api-key"}})"};

const Flavour openAI {"OpenAI", "usage/fixtures/openai/",
    [](std::shared_ptr<HTTPClient> http, QUrl base) -> std::shared_ptr<SpendSource> {
        return std::make_shared<OpenAIAdminClient>(std::move(http), std::move(base));
    },
    "/v1/organization/costs", "/v1/organization/usage/completions",
    "bucket_width=1d&end_time=1741996800&limit=31&start_time=1740787200",
    "bucket_width=1d&end_time=1741996800&limit=31&start_time=1741910400", "Authorization", "Bearer ", {},
    "start_time", [](const QDateTime& t) { return QString::number(t.toSecsSinceEpoch()); },
    R"({"error":{"message":"Invalid authorization header","type":"invalid_request_error","code":null}})"};

void expectRows(const QList<UsageSpend>& rows, double today, std::optional<qint64> tokens, double month)
{
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0], (UsageSpend {u"today"_s, u"Today"_s, rows[0].amount, u"USD"_s, tokens}));
    EXPECT_NEAR(rows[0].amount, today, 1e-9);
    EXPECT_EQ(rows[1], (UsageSpend {u"month"_s, u"This month"_s, rows[1].amount, u"USD"_s, std::nullopt}));
    EXPECT_NEAR(rows[1].amount, month, 1e-9);
}

class SpendClients : public ::testing::TestWithParam<const Flavour*> {
protected:
    const Flavour& f = *GetParam();
    LoopbackServer server;
    std::shared_ptr<SpendSource> client = f.make(std::make_shared<NetworkHTTPClient>(), server.url(u"/v1"_s));
    const QDateTime now = utc("2025-03-14T15:20:00Z");

    QByteArray fixture(const char* name) const
    {
        return LoopbackServer::fixture(QString::fromLatin1(f.fixtures) + QString::fromLatin1(name));
    }
    CannedReply reply(const char* name) const { return CannedReply::json(200, fixture(name)); }
    void serve(const char* cost, const char* usage)
    {
        server.route("GET", f.costPath, reply(cost));
        server.route("GET", f.usagePath, reply(usage));
    }
    QCoro::Task<QList<UsageSpend>> spend(const QDateTime& at) { return client->spend(adminKey, at); }
    QString sent(const QByteArray& path, const char* param)
    {
        return queryOf(server.requests("GET", path).back()).value(QString::fromLatin1(param));
    }
};

TEST_P(SpendClients, AsksTheDailyReportsWithTheKeyOnlyInItsHeader)
{
    serve("cost_page2.json", "usage.json");
    runTask(spend(now));

    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[0].path + '?' + server.requests()[0].query, f.costPath + '?' + f.costQuery);
    EXPECT_EQ(server.requests()[1].path + '?' + server.requests()[1].query, f.usagePath + '?' + f.usageQuery);
    for (const auto& request : server.requests()) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.header(f.keyHeader), f.keyPrefix + adminKey.toUtf8());
        if (!f.fixedHeader.first.isEmpty()) {
            EXPECT_EQ(request.header(f.fixedHeader.first), f.fixedHeader.second);
        }
        int carriers = 0;
        for (const auto& [name, value] : request.headers)
            carriers += value.contains(adminKey.toUtf8()) ? 1 : 0;
        EXPECT_EQ(carriers, 1);
        EXPECT_FALSE(request.target.contains(adminKey.toUtf8()));
    }
}

TEST_P(SpendClients, SumsEveryBucketOfEveryPageIntoTodayAndTheMonth)
{
    server.enqueue("GET", f.costPath, reply("cost_page1.json"));
    serve("cost_page2.json", "usage.json");
    // Month: 13 + 3 over the first page and 2.4225 on the second; today: the two results of the
    // 14th; tokens of every kind the interface counts.
    expectRows(runTask(spend(now)), 2.4225, 5240, 18.4225);

    const auto costs = server.requests("GET", f.costPath);
    ASSERT_EQ(costs.size(), 2u);
    auto first = queryOf(costs[0]);
    auto second = queryOf(costs[1]);
    // The cursor goes back as the server gave it, with the rest of the question unchanged.
    EXPECT_EQ(second.take(u"page"_s),
        QJsonDocument::fromJson(fixture("cost_page1.json")).object().value("next_page").toString());
    EXPECT_EQ(first, second);
}

TEST_P(SpendClients, TodayAndTheMonthAreUTCDays)
{
    // Buckets of March 31 and April 1 in both replies, as a server might send beyond the range.
    serve("cost_boundary.json", "usage_boundary.json");
    const QDateTime april1 = utc("2025-04-01T00:00:00Z");

    // 00:30 UTC on the first, given in a zone where it is still the 31st: day and month are both
    // April 1 alone.
    const QDateTime halfPastMidnight(QDate(2025, 3, 31), QTime(20, 30), QTimeZone(-4 * 3600));
    expectRows(runTask(spend(halfPastMidnight)), 2, 50, 2);
    EXPECT_EQ(sent(f.costPath, f.startParam), f.timeText(april1));
    EXPECT_EQ(sent(f.usagePath, f.startParam), f.timeText(april1));

    // The last second of March: the 31st is today and March the month; April counts nowhere.
    expectRows(runTask(spend(utc("2025-03-31T23:59:59Z"))), 7, 999, 7);
    EXPECT_EQ(sent(f.costPath, f.startParam), f.timeText(utc("2025-03-01T00:00:00Z")));
    EXPECT_EQ(sent(f.usagePath, f.startParam), f.timeText(utc("2025-03-31T00:00:00Z")));
}

TEST_P(SpendClients, FailuresAreThrownNotShownAsZero)
{
    serve("cost_today.json", "usage.json");
    // A refused key is rejected from either report.
    server.enqueue("GET", f.costPath, CannedReply::json(401, f.refusal));
    EXPECT_TRUE(failureOf<ServiceFailure>(spend(now)).value_or(ServiceFailure::refused(0, {})).isRejected());
    EXPECT_EQ(server.count(f.usagePath), 0);
    server.enqueue("GET", f.usagePath, CannedReply::json(401, f.refusal));
    EXPECT_TRUE(failureOf<ServiceFailure>(spend(now)).value_or(ServiceFailure::refused(0, {})).isRejected());

    server.enqueue("GET", f.costPath,
        CannedReply::json(500, R"({"error":{"type":"api_error","message":"Internal server error"}})"));
    EXPECT_EQ(
        failureOf<ServiceFailure>(spend(now)), ServiceFailure::refused(500, u"Internal server error"_s));

    server.enqueue("GET", f.usagePath, CannedReply::dropped(true));
    EXPECT_TRUE(failureOf<TransportFailure>(spend(now)));

    // Replies that cannot be read: not JSON, no report at all, a result without its amount, an
    // amount in another currency (it cannot be added to dollars), a bucket without its day.
    for (const QByteArray& body : {QByteArray("<html>Bad gateway</html>"), QByteArray("null"),
             fixture("cost_no_amount.json"), fixture("cost_euro.json")}) {
        server.enqueue("GET", f.costPath, CannedReply::json(200, body));
        EXPECT_TRUE(failureOf<DecodingFailure>(spend(now))) << body.toStdString();
    }
    server.enqueue("GET", f.usagePath, CannedReply::json(200, R"({"data":[{"results":[]}]})"));
    EXPECT_TRUE(failureOf<DecodingFailure>(spend(now)));

    // A null usage reply is no token count, not a failure: the cost still shows.
    server.enqueue("GET", f.usagePath, CannedReply::json(200, "null"));
    expectRows(runTask(spend(now)), 1, std::nullopt, 1);

    // Every connection dropped (the transport may retry a kept-alive one once).
    server.route("GET", f.costPath, CannedReply::dropped());
    EXPECT_EQ(failureOf<TransportFailure>(spend(now))
                  .value_or(TransportFailure(TransportFailure::Kind::timedOut))
                  .kind(),
        TransportFailure::Kind::connectionLost);
}

TEST_P(SpendClients, AReportThatNeverEndsIsGivenUp)
{
    serve("cost_endless.json", "usage.json");
    EXPECT_TRUE(failureOf<ServiceFailure>(spend(now)).value_or(ServiceFailure::rejected()).isExplained());
    EXPECT_EQ(server.count(f.costPath), maxReportPages);
    EXPECT_EQ(server.count(f.usagePath), 0);

    // More promised without a cursor to ask for it: the figure would be short.
    server.clearRequests();
    server.route("GET", f.costPath, reply("cost_no_cursor.json"));
    EXPECT_TRUE(failureOf<ServiceFailure>(spend(now)).value_or(ServiceFailure::rejected()).isExplained());
    EXPECT_EQ(server.count(f.costPath), 1);
}

TEST(AdminClients, DefaultToTheRealInterfaces)
{
    EXPECT_EQ(AnthropicAdminClient(nullptr).baseURL, QUrl(u"https://api.anthropic.com/v1"_s));
    EXPECT_EQ(OpenAIAdminClient(nullptr).baseURL, QUrl(u"https://api.openai.com/v1"_s));
}

INSTANTIATE_TEST_SUITE_P(Admin, SpendClients, ::testing::Values(&anthropic, &openAI),
    [](const ::testing::TestParamInfo<const Flavour*>& info) { return std::string(info.param->name); });

} // namespace
