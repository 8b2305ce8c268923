// The two admin spend clients through the real transport against the loopback server.
#include "sources/SourcesTestKit.h"
#include "usage/AnthropicAdminClient.h"
#include "usage/OpenAIAdminClient.h"

#include <QJsonArray>
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

QByteArray document(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

using Buckets = QList<std::pair<QDateTime, double>>;

// Replies in the shape each interface sends: a page of daily buckets with one result each.
QByteArray anthropicPage(
    const QList<QJsonObject>& results, const QList<QDateTime>& days, bool hasMore, const QJsonValue& next)
{
    QJsonArray data;
    for (qsizetype i = 0; i < days.size(); ++i) {
        data.append(QJsonObject {{"starting_at", days[i].toString(Qt::ISODate)},
            {"ending_at", days[i].addDays(1).toString(Qt::ISODate)}, {"results", QJsonArray {results[i]}}});
    }
    return document({{"data", data}, {"has_more", hasMore}, {"next_page", next}});
}

QByteArray openAIPage(
    const QList<QJsonObject>& results, const QList<QDateTime>& days, bool hasMore, const QJsonValue& next)
{
    QJsonArray data;
    for (qsizetype i = 0; i < days.size(); ++i) {
        data.append(QJsonObject {{"object", "bucket"}, {"start_time", days[i].toSecsSinceEpoch()},
            {"end_time", days[i].addDays(1).toSecsSinceEpoch()}, {"results", QJsonArray {results[i]}}});
    }
    return document({{"object", "page"}, {"data", data}, {"has_more", hasMore}, {"next_page", next}});
}

// What differs between the two interfaces; the rest of their behaviour is the same.
struct Flavour {
    const char* name;
    QByteArray costPath;
    QByteArray usagePath;
    const char* fixtures;
    const char* costPages[2];
    const char* usageFile;
    const char* startParam;
    std::shared_ptr<SpendSource> (*make)(std::shared_ptr<HTTPClient>, QUrl);
    QString (*timeText)(const QDateTime&);
    QJsonObject (*cost)(double dollars, const char* currency);
    QJsonObject (*tokens)(qint64 input);
    QByteArray (*page)(const QList<QJsonObject>&, const QList<QDateTime>&, bool, const QJsonValue&);
    // A refused key as the interface words it.
    QByteArray refusal;
    // The wire at 2025-03-14 15:20 UTC: both queries, the key's header and its prefix, a header
    // every request carries (empty when none), the address of the real interface.
    QByteArray costQuery;
    QByteArray usageQuery;
    QByteArray keyHeader;
    QByteArray keyPrefix;
    std::pair<QByteArray, QByteArray> fixedHeader;
    QUrl (*defaultBase)();
    const char* realBase;
};

const Flavour anthropic {
    "Anthropic",
    "/v1/organizations/cost_report",
    "/v1/organizations/usage_report/messages",
    "usage/fixtures/anthropic/",
    {"cost_report_page1.json", "cost_report_page2.json"},
    "usage_messages.json",
    "starting_at",
    [](std::shared_ptr<HTTPClient> http, QUrl base) -> std::shared_ptr<SpendSource> {
        return std::make_shared<AnthropicAdminClient>(std::move(http), std::move(base));
    },
    [](const QDateTime& t) { return t.toString(Qt::ISODate); },
    [](double dollars, const char* currency) {
        return QJsonObject {{"currency", currency}, {"amount", QString::number(dollars * 100, 'f', 4)},
            {"workspace_id", QJsonValue::Null}};
    },
    [](qint64 input) {
        return QJsonObject {{"uncached_input_tokens", input}, {"cache_read_input_tokens", 0},
            {"output_tokens", 0}, {"cache_creation", QJsonValue::Null}};
    },
    anthropicPage,
    R"({"type":"error","error":{"type":"authentication_error","message":"invalid x-api-key"}})",
    "bucket_width=1d&ending_at=2025-03-15T00:00:00Z&limit=31&starting_at=2025-03-01T00:00:00Z",
    "bucket_width=1d&ending_at=2025-03-15T00:00:00Z&limit=31&starting_at=2025-03-14T00:00:00Z",
    "x-api-key",
    "",
    {"anthropic-version", "2023-06-01"},
    &AnthropicAdminClient::defaultBaseURL,
    "https://api.anthropic.com/v1",
};

const Flavour openAI {
    "OpenAI",
    "/v1/organization/costs",
    "/v1/organization/usage/completions",
    "usage/fixtures/openai/",
    {"costs_page1.json", "costs_page2.json"},
    "usage_completions.json",
    "start_time",
    [](std::shared_ptr<HTTPClient> http, QUrl base) -> std::shared_ptr<SpendSource> {
        return std::make_shared<OpenAIAdminClient>(std::move(http), std::move(base));
    },
    [](const QDateTime& t) { return QString::number(t.toSecsSinceEpoch()); },
    [](double dollars, const char* currency) {
        return QJsonObject {{"object", "organization.costs.result"},
            {"amount", QJsonObject {{"value", dollars}, {"currency", currency}}},
            {"project_id", QJsonValue::Null}};
    },
    [](qint64 input) {
        return QJsonObject {{"object", "organization.usage.completions.result"}, {"input_tokens", input},
            {"output_tokens", 0}, {"input_cached_tokens", 0}, {"num_model_requests", 1}};
    },
    openAIPage,
    R"({"error":{"message":"Invalid authorization header","type":"invalid_request_error","param":null,"code":null}})",
    "bucket_width=1d&end_time=1741996800&limit=31&start_time=1740787200",
    "bucket_width=1d&end_time=1741996800&limit=31&start_time=1741910400",
    "Authorization",
    "Bearer ",
    {},
    &OpenAIAdminClient::defaultBaseURL,
    "https://api.openai.com/v1",
};

void expectRows(const QList<UsageSpend>& rows, double today, std::optional<qint64> tokens, double month)
{
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].id, u"today"_s);
    EXPECT_EQ(rows[0].name, u"Today"_s);
    EXPECT_NEAR(rows[0].amount, today, 1e-9);
    EXPECT_EQ(rows[0].currency, u"USD"_s);
    EXPECT_EQ(rows[0].tokens, tokens);
    EXPECT_EQ(rows[1].id, u"month"_s);
    EXPECT_EQ(rows[1].name, u"This month"_s);
    EXPECT_NEAR(rows[1].amount, month, 1e-9);
    EXPECT_EQ(rows[1].currency, u"USD"_s);
    EXPECT_EQ(rows[1].tokens, std::nullopt);
}

class SpendClients : public ::testing::TestWithParam<const Flavour*> {
protected:
    const Flavour& f = *GetParam();
    LoopbackServer server;
    std::shared_ptr<NetworkHTTPClient> http = std::make_shared<NetworkHTTPClient>();
    std::shared_ptr<SpendSource> client = f.make(http, server.url(u"/v1"_s));

    QByteArray fixture(const char* name) const
    {
        return LoopbackServer::fixture(QString::fromLatin1(f.fixtures) + QString::fromLatin1(name));
    }

    QCoro::Task<QList<UsageSpend>> spend(const QDateTime& now) { return client->spend(adminKey, now); }

    // One page of cost buckets and one of token buckets, each with a result per day.
    void serve(const Buckets& costs, const QList<std::pair<QDateTime, qint64>>& tokens)
    {
        QList<QJsonObject> costResults, tokenResults;
        QList<QDateTime> costDays, tokenDays;
        for (const auto& [day, dollars] : costs) {
            costDays.append(day);
            costResults.append(f.cost(dollars, "USD"));
        }
        for (const auto& [day, count] : tokens) {
            tokenDays.append(day);
            tokenResults.append(f.tokens(count));
        }
        server.route("GET", f.costPath, 200, f.page(costResults, costDays, false, QJsonValue::Null));
        server.route("GET", f.usagePath, 200, f.page(tokenResults, tokenDays, false, QJsonValue::Null));
    }

    void serveFixtures()
    {
        server.enqueue("GET", f.costPath, CannedReply::json(200, fixture(f.costPages[0])));
        server.route("GET", f.costPath, 200, fixture(f.costPages[1]));
        server.route("GET", f.usagePath, 200, fixture(f.usageFile));
    }
};

TEST_P(SpendClients, SumsEveryBucketOfEveryPageIntoTodayAndTheMonth)
{
    serveFixtures();
    const auto rows = runTask(spend(utc("2025-03-14T15:20:00Z")));
    // Month: 13 + 3 + 2.4225 over two pages; today: the two results of the 14th; tokens of every
    // kind the interface counts.
    expectRows(rows, 2.4225, 5240, 18.4225);

    const auto costs = server.requests("GET", f.costPath);
    ASSERT_EQ(costs.size(), 2u);
    auto first = queryOf(costs[0]);
    auto second = queryOf(costs[1]);
    EXPECT_FALSE(first.contains(u"page"_s));
    EXPECT_TRUE(second.contains(u"page"_s));
    // The cursor is passed back as the server gave it, with the rest of the question unchanged.
    EXPECT_EQ(second.take(u"page"_s),
        QJsonDocument::fromJson(fixture(f.costPages[0])).object().value("next_page").toString());
    EXPECT_EQ(first, second);
    EXPECT_EQ(server.requests("GET", f.usagePath).size(), 1u);
}

TEST_P(SpendClients, TodayAndTheMonthAreUTCDays)
{
    const QDateTime march31 = utc("2025-03-31T00:00:00Z");
    const QDateTime april1 = utc("2025-04-01T00:00:00Z");
    // Both days answered, as a server might beyond the range asked.
    serve({{march31, 7}, {april1, 2}}, {{march31, 999}, {april1, 50}});

    // 00:30 UTC on the first, given in a zone where it is still the 31st: day and month are both
    // the first alone.
    const QDateTime halfPastMidnight(QDate(2025, 3, 31), QTime(20, 30), QTimeZone(-4 * 3600));
    expectRows(runTask(spend(halfPastMidnight)), 2, 50, 2);
    auto cost = queryOf(server.requests("GET", f.costPath).back());
    auto usage = queryOf(server.requests("GET", f.usagePath).back());
    EXPECT_EQ(cost.value(QString::fromLatin1(f.startParam)), f.timeText(april1));
    EXPECT_EQ(usage.value(QString::fromLatin1(f.startParam)), f.timeText(april1));
    EXPECT_EQ(cost.value(u"bucket_width"_s), u"1d"_s);

    // The last second of March: the 31st is today and March the month; April counts nowhere.
    expectRows(runTask(spend(utc("2025-03-31T23:59:59Z"))), 7, 999, 7);
    cost = queryOf(server.requests("GET", f.costPath).back());
    usage = queryOf(server.requests("GET", f.usagePath).back());
    EXPECT_EQ(cost.value(QString::fromLatin1(f.startParam)), f.timeText(utc("2025-03-01T00:00:00Z")));
    EXPECT_EQ(usage.value(QString::fromLatin1(f.startParam)), f.timeText(march31));
}

TEST_P(SpendClients, ARefusedKeyIsRejectedFromEitherReport)
{
    const QDateTime now = utc("2025-03-14T15:20:00Z");
    server.route("GET", f.costPath, 401, f.refusal);
    auto failure = failureOf<ServiceFailure>(spend(now));
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->isRejected());
    EXPECT_EQ(server.count(f.usagePath), 0);

    serve({{now, 1}}, {});
    server.route("GET", f.usagePath, 401, f.refusal);
    failure = failureOf<ServiceFailure>(spend(now));
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->isRejected());
}

TEST_P(SpendClients, OtherFailuresAreThrownNotShownAsZero)
{
    const QDateTime now = utc("2025-03-14T15:20:00Z");
    serve({{now, 1}}, {{now, 10}});

    server.enqueue("GET", f.costPath,
        CannedReply::json(500, R"({"error":{"type":"api_error","message":"Internal server error"}})"));
    const auto refused = failureOf<ServiceFailure>(spend(now));
    ASSERT_TRUE(refused);
    EXPECT_EQ(*refused, ServiceFailure::refused(500, u"Internal server error"_s));

    // Every connection dropped: the transport may retry a kept-alive one once.
    server.route("GET", f.costPath, CannedReply::dropped());
    const auto dropped = failureOf<TransportFailure>(spend(now));
    ASSERT_TRUE(dropped);
    EXPECT_EQ(dropped->kind(), TransportFailure::Kind::connectionLost);
    serve({{now, 1}}, {{now, 10}});

    server.enqueue("GET", f.usagePath, CannedReply::dropped(true));
    EXPECT_TRUE(failureOf<TransportFailure>(spend(now)));

    // Replies that cannot be read: not JSON, no cost report at all, a result without its amount,
    // and an amount in another currency, which cannot be added to dollars.
    const QList<QByteArray> unreadable {
        "<html>Bad gateway</html>",
        "null",
        f.page({QJsonObject {{"currency", "USD"}}}, {now}, false, QJsonValue::Null),
        f.page({f.cost(1, "EUR")}, {now}, false, QJsonValue::Null),
    };
    for (const auto& body : unreadable) {
        server.enqueue("GET", f.costPath, CannedReply::json(200, body));
        EXPECT_TRUE(failureOf<DecodingFailure>(spend(now))) << body.toStdString();
    }
    server.enqueue("GET", f.usagePath, CannedReply::json(200, R"({"data":[{"results":[]}]})"));
    EXPECT_TRUE(failureOf<DecodingFailure>(spend(now)));

    // A null usage reply is no token count, not a failure: the cost still shows.
    server.enqueue("GET", f.usagePath, CannedReply::json(200, "null"));
    expectRows(runTask(spend(now)), 1, std::nullopt, 1);
}

TEST_P(SpendClients, AReportThatNeverEndsIsGivenUp)
{
    const QDateTime now = utc("2025-03-14T15:20:00Z");
    serve({}, {{now, 10}});
    int served = 0;
    server.handle("GET", f.costPath, [this, now, &served](const RecordedRequest&) {
        const QString cursor = u"page_%1"_s.arg(++served);
        return CannedReply::json(200, f.page({f.cost(1, "USD")}, {now}, true, cursor));
    });
    const auto endless = failureOf<ServiceFailure>(spend(now));
    ASSERT_TRUE(endless);
    EXPECT_TRUE(endless->isExplained());
    EXPECT_EQ(server.count(f.costPath), maxReportPages);
    EXPECT_EQ(server.count(f.usagePath), 0);

    // More promised without a cursor to ask for it: the figure would be short.
    server.clearRequests();
    server.route("GET", f.costPath, 200, f.page({f.cost(1, "USD")}, {now}, true, QJsonValue::Null));
    const auto stuck = failureOf<ServiceFailure>(spend(now));
    ASSERT_TRUE(stuck);
    EXPECT_TRUE(stuck->isExplained());
    EXPECT_EQ(server.count(f.costPath), 1);
}

TEST_P(SpendClients, AsksTheDailyReportsWithTheKeyOnlyInItsHeader)
{
    server.route("GET", f.costPath, 200, fixture(f.costPages[1]));
    server.route("GET", f.usagePath, 200, fixture(f.usageFile));
    runTask(spend(utc("2025-03-14T15:20:00Z")));

    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[0].path, f.costPath);
    EXPECT_EQ(server.requests()[0].query, f.costQuery);
    EXPECT_EQ(server.requests()[1].path, f.usagePath);
    EXPECT_EQ(server.requests()[1].query, f.usageQuery);
    for (const auto& request : server.requests()) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_TRUE(request.body.isEmpty());
        EXPECT_EQ(request.header(f.keyHeader), f.keyPrefix + adminKey.toUtf8());
        if (!f.fixedHeader.first.isEmpty()) {
            EXPECT_EQ(request.header(f.fixedHeader.first), f.fixedHeader.second);
        }
        int carriers = 0;
        for (const auto& [name, value] : request.headers) {
            if (value.contains(adminKey.toUtf8()))
                ++carriers;
        }
        EXPECT_EQ(carriers, 1);
        EXPECT_FALSE(request.target.contains(adminKey.toUtf8()));
    }
    EXPECT_EQ(f.defaultBase(), QUrl(QString::fromLatin1(f.realBase)));
}

INSTANTIATE_TEST_SUITE_P(Admin, SpendClients, ::testing::Values(&anthropic, &openAI),
    [](const ::testing::TestParamInfo<const Flavour*>& info) { return std::string(info.param->name); });

TEST(AnthropicAdmin, AmountsAreDecimalTextsInCents)
{
    using Result = AnthropicAdminClient::CostResult;
    auto dollars = [](const char* amount) {
        return Result::fromJson(JsonObject(QJsonObject {{"currency", "USD"}, {"amount", amount}})).dollars;
    };
    EXPECT_DOUBLE_EQ(dollars("123.45"), 1.2345);
    EXPECT_DOUBLE_EQ(dollars("0"), 0);
    EXPECT_THROW(dollars("12,50"), DecodingFailure);
    EXPECT_THROW(dollars(""), DecodingFailure);
    EXPECT_THROW(
        Result::fromJson(JsonObject(QJsonObject {{"currency", "USD"}, {"amount", 123.45}})), DecodingFailure);
}

} // namespace
