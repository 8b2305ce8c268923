#include "usage/AnthropicAdminClient.h"

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

namespace {

ServiceAPI::Query dailyRange(const QDateTime& from, const QDateTime& to)
{
    return {
        {u"starting_at"_s, from.toUTC().toString(Qt::ISODate)},
        {u"ending_at"_s, to.toUTC().toString(Qt::ISODate)},
        {u"bucket_width"_s, u"1d"_s},
        {u"limit"_s, QString::number(bucketsPerPage)},
    };
}

} // namespace

QUrl AnthropicAdminClient::defaultBaseURL()
{
    return QUrl(u"https://api.anthropic.com/v1"_s);
}

SpendInterface AnthropicAdminClient::reports(std::shared_ptr<HTTPClient> http, QUrl baseURL)
{
    ServiceAPI api;
    api.http = std::move(http);
    api.baseURL = std::move(baseURL);
    api.keyHeader = u"x-api-key"_s;
    api.headers = {{u"anthropic-version"_s, u"2023-06-01"_s}};
    return {api, u"organizations/cost_report"_s, u"The Anthropic cost report"_s,
        u"organizations/usage_report/messages"_s, u"The Anthropic usage report"_s, &dailyRange};
}

QDateTime AnthropicAdminClient::bucketStart(const JsonObject& o)
{
    const auto start = ServiceAPI::date(o.required<QString>("starting_at"));
    if (!start)
        o.member("starting_at").fail("an RFC 3339 time");
    return *start;
}

AnthropicAdminClient::CostResult AnthropicAdminClient::CostResult::fromJson(const JsonObject& o)
{
    // Only US dollars add up into the dollar figures.
    const auto currency = o.optional<QString>("currency");
    if (currency && currency->compare(u"USD"_s, Qt::CaseInsensitive) != 0)
        o.member("currency").fail("USD");
    bool ok = false;
    const double cents = o.required<QString>("amount").toDouble(&ok);
    if (!ok)
        o.member("amount").fail("a decimal amount");
    return {finiteAmount(cents, o.member("amount")) / 100};
}

AnthropicAdminClient::UsageResult AnthropicAdminClient::UsageResult::fromJson(const JsonObject& o)
{
    qint64 tokens = 0;
    for (const char* name : {"uncached_input_tokens", "cache_read_input_tokens", "output_tokens"})
        tokens = addTokens(tokens, o.optional<qint64>(name, 0), o.path());
    if (const auto creation = o.optional<JsonObject>("cache_creation")) {
        for (const char* name : {"ephemeral_5m_input_tokens", "ephemeral_1h_input_tokens"})
            tokens = addTokens(tokens, creation->optional<qint64>(name, 0), creation->path());
    }
    return {tokens};
}

} // namespace brenvo
