#include "usage/OpenAIAdminClient.h"

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

namespace {

ServiceAPI::Query dailyRange(const QDateTime& from, const QDateTime& to)
{
    return {
        {u"start_time"_s, QString::number(from.toSecsSinceEpoch())},
        {u"end_time"_s, QString::number(to.toSecsSinceEpoch())},
        {u"bucket_width"_s, u"1d"_s},
        {u"limit"_s, QString::number(bucketsPerPage)},
    };
}

} // namespace

QUrl OpenAIAdminClient::defaultBaseURL()
{
    return QUrl(u"https://api.openai.com/v1"_s);
}

SpendInterface OpenAIAdminClient::reports(std::shared_ptr<HTTPClient> http, QUrl baseURL)
{
    ServiceAPI api;
    api.http = std::move(http);
    api.baseURL = std::move(baseURL);
    return {api, u"organization/costs"_s, u"The OpenAI costs report"_s, u"organization/usage/completions"_s,
        u"The OpenAI usage report"_s, &dailyRange};
}

QDateTime OpenAIAdminClient::bucketStart(const JsonObject& o)
{
    const QDateTime start = QDateTime::fromSecsSinceEpoch(o.required<qint64>("start_time"), Qt::UTC);
    if (!start.isValid())
        o.member("start_time").fail("a time in Unix seconds");
    return start;
}

OpenAIAdminClient::CostResult OpenAIAdminClient::CostResult::fromJson(const JsonObject& o)
{
    const JsonObject amount = o.required<JsonObject>("amount");
    // Only US dollars add up into the dollar figures.
    const auto currency = amount.optional<QString>("currency");
    if (currency && currency->compare(u"usd"_s, Qt::CaseInsensitive) != 0)
        amount.member("currency").fail("usd");
    return {finiteAmount(amount.required<double>("value"), amount.member("value"))};
}

OpenAIAdminClient::UsageResult OpenAIAdminClient::UsageResult::fromJson(const JsonObject& o)
{
    // input_tokens already holds the cached input; audio is counted apart from text.
    qint64 tokens = 0;
    for (const char* name : {"input_tokens", "output_tokens", "input_audio_tokens", "output_audio_tokens"})
        tokens = addTokens(tokens, o.optional<qint64>(name, 0), o.path());
    return {tokens};
}

} // namespace brenvo
