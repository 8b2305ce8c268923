#pragma once

#include "http/JsonReader.h"
#include "usage/SpendReports.h"

namespace brenvo {

// The organisation's API cost and token use from the OpenAI administration API, read with an admin
// key as a bearer token: the daily costs report and the daily completions usage report.
class OpenAIAdminClient final : public AdminSpendClient<OpenAIAdminClient> {
public:
    using AdminSpendClient::AdminSpendClient;

    // "https://api.openai.com/v1".
    static QUrl defaultBaseURL();
    static SpendInterface reports(std::shared_ptr<HTTPClient> http, QUrl baseURL);

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
    using CostPage = Page<CostResult>;
    using UsagePage = Page<UsageResult>;
};

} // namespace brenvo
