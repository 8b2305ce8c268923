#include "usage/AnthropicAdminClient.h"

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

namespace {

QString rfc3339(const QDateTime& t)
{
    return t.toUTC().toString(Qt::ISODate);
}

QDateTime bucketStart(const JsonObject& o)
{
    const auto start = ServiceAPI::date(o.required<QString>("starting_at"));
    if (!start)
        o.member("starting_at").fail("an RFC 3339 time");
    return *start;
}

// One daily report over [from, window.dayEnd).
ServiceAPI::Query dailyQuery(const QDateTime& from, const SpendWindow& window)
{
    return {
        {u"starting_at"_s, rfc3339(from)},
        {u"ending_at"_s, rfc3339(window.dayEnd)},
        {u"bucket_width"_s, u"1d"_s},
        {u"limit"_s, QString::number(bucketsPerPage)},
    };
}

} // namespace

QUrl AnthropicAdminClient::defaultBaseURL()
{
    return QUrl(u"https://api.anthropic.com/v1"_s);
}

ServiceAPI AnthropicAdminClient::api() const
{
    ServiceAPI api;
    api.http = http;
    api.baseURL = baseURL;
    api.keyHeader = u"x-api-key"_s;
    api.headers = {{u"anthropic-version"_s, u"2023-06-01"_s}};
    return api;
}

QCoro::Task<QList<UsageSpend>> AnthropicAdminClient::spend(QString key, QDateTime now)
{
    return spendWith(api(), std::move(key), std::move(now));
}

QCoro::Task<CostTotals> AnthropicAdminClient::costs(QString key, QDateTime now) const
{
    return costsWith(api(), std::move(key), SpendWindow::at(now));
}

QCoro::Task<std::optional<qint64>> AnthropicAdminClient::usageToday(QString key, QDateTime now) const
{
    return usageWith(api(), std::move(key), SpendWindow::at(now));
}

QCoro::Task<QList<UsageSpend>> AnthropicAdminClient::spendWith(ServiceAPI api, QString key, QDateTime now)
{
    const SpendWindow window = SpendWindow::at(now);
    const CostTotals cost = co_await costsWith(api, key, window);
    const std::optional<qint64> tokens = co_await usageWith(api, key, window);
    co_return spendRows(cost, tokens);
}

QCoro::Task<CostTotals> AnthropicAdminClient::costsWith(ServiceAPI api, QString key, SpendWindow window)
{
    const ServiceAPI::Query query = dailyQuery(window.monthStart, window);
    const auto pages = co_await readReport<CostReport>(
        api, u"organizations/cost_report"_s, query, key, u"The Anthropic cost report"_s);
    if (pages.empty())
        throw DecodingFailure(DecodingFailure::Kind::valueNotFound, {}, u"expected a cost report"_s);
    CostTotals totals;
    for (const auto& page : pages) {
        for (const auto& bucket : page.data) {
            for (const auto& result : bucket.results)
                totals.add(bucket.startingAt, result.cents / 100.0, window);
        }
    }
    co_return totals;
}

QCoro::Task<std::optional<qint64>> AnthropicAdminClient::usageWith(
    ServiceAPI api, QString key, SpendWindow window)
{
    const ServiceAPI::Query query = dailyQuery(window.dayStart, window);
    const auto pages = co_await readReport<UsageReportResponse>(
        api, u"organizations/usage_report/messages"_s, query, key, u"The Anthropic usage report"_s);
    if (pages.empty())
        co_return std::nullopt;
    qint64 tokens = 0;
    for (const auto& page : pages) {
        for (const auto& bucket : page.data) {
            if (!window.inDay(bucket.startingAt))
                continue;
            for (const auto& result : bucket.results)
                tokens = addTokens(tokens, result.tokens, JsonValue({}, KeyStyle::asIs, u"data"_s));
        }
    }
    co_return tokens;
}

// ----- replies -----

AnthropicAdminClient::CostReport::Result AnthropicAdminClient::CostReport::Result::fromJson(
    const JsonObject& o)
{
    // Only US dollars can be added up into the dollar figures.
    if (const auto currency = o.optional<QString>("currency");
        currency && currency->compare(u"USD"_s, Qt::CaseInsensitive) != 0)
        o.member("currency").fail("USD");
    const QString text = o.required<QString>("amount");
    bool ok = false;
    const double cents = text.toDouble(&ok);
    if (!ok)
        o.member("amount").fail("a decimal amount");
    return {finiteAmount(cents, o.member("amount"))};
}

AnthropicAdminClient::CostReport::Bucket AnthropicAdminClient::CostReport::Bucket::fromJson(
    const JsonObject& o)
{
    return {bucketStart(o), o.optional("results", QList<Result>())};
}

AnthropicAdminClient::CostReport AnthropicAdminClient::CostReport::fromJson(const JsonObject& o)
{
    return {
        o.required<QList<Bucket>>("data"), o.optional("has_more", false), o.optional<QString>("next_page")};
}

AnthropicAdminClient::UsageReportResponse::Result AnthropicAdminClient::UsageReportResponse::Result::fromJson(
    const JsonObject& o)
{
    qint64 tokens = 0;
    for (const char* name : {"uncached_input_tokens", "cache_read_input_tokens", "output_tokens"})
        tokens = addTokens(tokens, o.optional<qint64>(name, 0), o.member(name));
    if (const auto creation = o.optional<JsonObject>("cache_creation")) {
        for (const char* name : {"ephemeral_5m_input_tokens", "ephemeral_1h_input_tokens"})
            tokens = addTokens(tokens, creation->optional<qint64>(name, 0), creation->member(name));
    }
    return {tokens};
}

AnthropicAdminClient::UsageReportResponse::Bucket AnthropicAdminClient::UsageReportResponse::Bucket::fromJson(
    const JsonObject& o)
{
    return {bucketStart(o), o.optional("results", QList<Result>())};
}

AnthropicAdminClient::UsageReportResponse AnthropicAdminClient::UsageReportResponse::fromJson(
    const JsonObject& o)
{
    return {
        o.required<QList<Bucket>>("data"), o.optional("has_more", false), o.optional<QString>("next_page")};
}

} // namespace brenvo
