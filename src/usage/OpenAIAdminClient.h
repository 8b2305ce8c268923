#pragma once

#include "http/HTTPClient.h"
#include "http/JsonReader.h"
#include "model/SpendSource.h"
#include "usage/SpendReports.h"

#include <QUrl>

#include <memory>

namespace brenvo {

// The organisation's API cost and token use from the OpenAI administration API, read with an admin
// key as a bearer token: the daily costs report and the daily completions usage report. A call
// copies what it needs, so it outlives the client it was made on.
class OpenAIAdminClient final : public SpendSource {
public:
    // "https://api.openai.com/v1".
    static QUrl defaultBaseURL();

    explicit OpenAIAdminClient(std::shared_ptr<HTTPClient> http, QUrl baseURL = defaultBaseURL())
        : http(std::move(http))
        , baseURL(std::move(baseURL))
    {
    }

    std::shared_ptr<HTTPClient> http;
    QUrl baseURL;

    // "today" (cost and tokens) and "month" (cost) in US dollars. 401 gives ServiceFailure::rejected.
    QCoro::Task<QList<UsageSpend>> spend(QString key, QDateTime now) override;

    // A result of organization/costs: "amount" holds a "value" in dollars.
    struct CostResult {
        double dollars = 0;
        static CostResult fromJson(const JsonObject& o);
    };
    // A result of organization/usage/completions.
    struct UsageResult {
        qint64 tokens = 0; // text and audio, input (cached included) and output
        static UsageResult fromJson(const JsonObject& o);
    };
    // A bucket's "start_time", Unix seconds.
    static QDateTime bucketStart(const JsonObject& o);
    template <typename Result> using Page = ReportPage<Result, &bucketStart>;

private:
    SpendInterface reports() const;
};

} // namespace brenvo
