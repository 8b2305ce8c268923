#include "usage/OpenAIAdminClient.h"

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

namespace {

// One daily report over [from, window.dayEnd), in Unix seconds.
ServiceAPI::Query dailyQuery(const QDateTime& from, const SpendWindow& window)
{
    return {
        {u"start_time"_s, QString::number(from.toSecsSinceEpoch())},
        {u"end_time"_s, QString::number(window.dayEnd.toSecsSinceEpoch())},
        {u"bucket_width"_s, u"1d"_s},
        {u"limit"_s, QString::number(bucketsPerPage)},
    };
}

} // namespace

QUrl OpenAIAdminClient::defaultBaseURL()
{
    return QUrl(u"https://api.openai.com/v1"_s);
}

ServiceAPI OpenAIAdminClient::api() const
{
    ServiceAPI api;
    api.http = http;
    api.baseURL = baseURL;
    return api;
}

QCoro::Task<QList<UsageSpend>> OpenAIAdminClient::spend(QString key, QDateTime now)
{
    return spendWith(api(), std::move(key), std::move(now));
}

QCoro::Task<CostTotals> OpenAIAdminClient::costs(QString key, QDateTime now) const
{
    return costsWith(api(), std::move(key), SpendWindow::at(now));
}

QCoro::Task<std::optional<qint64>> OpenAIAdminClient::usageToday(QString key, QDateTime now) const
{
    return usageWith(api(), std::move(key), SpendWindow::at(now));
}

QCoro::Task<QList<UsageSpend>> OpenAIAdminClient::spendWith(ServiceAPI api, QString key, QDateTime now)
{
    const SpendWindow window = SpendWindow::at(now);
    const CostTotals cost = co_await costsWith(api, key, window);
    const std::optional<qint64> tokens = co_await usageWith(api, key, window);
    co_return spendRows(cost, tokens);
}

QCoro::Task<CostTotals> OpenAIAdminClient::costsWith(ServiceAPI api, QString key, SpendWindow window)
{
    const ServiceAPI::Query query = dailyQuery(window.monthStart, window);
    const auto pages = co_await readReport<Page<CostResult>>(
        api, u"organization/costs"_s, query, key, u"The OpenAI costs report"_s);
    if (pages.empty())
        throw DecodingFailure(DecodingFailure::Kind::valueNotFound, {}, u"expected a costs report"_s);
    CostTotals totals;
    for (const auto& page : pages) {
        for (const auto& bucket : page.data) {
            for (const auto& result : bucket.results)
                totals.add(bucket.start, result.dollars, window);
        }
    }
    co_return totals;
}

QCoro::Task<std::optional<qint64>> OpenAIAdminClient::usageWith(
    ServiceAPI api, QString key, SpendWindow window)
{
    const ServiceAPI::Query query = dailyQuery(window.dayStart, window);
    const auto pages = co_await readReport<Page<UsageResult>>(
        api, u"organization/usage/completions"_s, query, key, u"The OpenAI usage report"_s);
    if (pages.empty())
        co_return std::nullopt;
    qint64 tokens = 0;
    for (const auto& page : pages) {
        for (const auto& bucket : page.data) {
            if (!window.inDay(bucket.start))
                continue;
            for (const auto& result : bucket.results)
                tokens = addTokens(tokens, result.tokens, JsonValue({}, KeyStyle::asIs, u"data"_s));
        }
    }
    co_return tokens;
}

// ----- replies -----

QDateTime OpenAIAdminClient::bucketStart(const JsonObject& o)
{
    const qint64 seconds = o.required<qint64>("start_time");
    const QDateTime start = QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
    if (!start.isValid())
        o.member("start_time").fail("a time in Unix seconds");
    return start;
}

OpenAIAdminClient::CostResult OpenAIAdminClient::CostResult::fromJson(const JsonObject& o)
{
    const JsonObject amount = o.required<JsonObject>("amount");
    // Only US dollars can be added up into the dollar figures.
    if (const auto currency = amount.optional<QString>("currency");
        currency && currency->compare(u"usd"_s, Qt::CaseInsensitive) != 0)
        amount.member("currency").fail("usd");
    return {finiteAmount(amount.required<double>("value"), amount.member("value"))};
}

OpenAIAdminClient::UsageResult OpenAIAdminClient::UsageResult::fromJson(const JsonObject& o)
{
    // input_tokens already holds the cached input; audio is counted apart from text.
    qint64 tokens = 0;
    for (const char* name : {"input_tokens", "output_tokens", "input_audio_tokens", "output_audio_tokens"})
        tokens = addTokens(tokens, o.optional<qint64>(name, 0), o.member(name));
    return {tokens};
}

} // namespace brenvo
