#pragma once

#include "http/JsonReader.h"
#include "usage/SpendReports.h"

namespace brenvo {

// The organisation's API cost and token use from the Anthropic Admin API, read with an admin key
// sent in "x-api-key": the daily cost report and the daily messages usage report.
class AnthropicAdminClient final : public AdminSpendClient<AnthropicAdminClient> {
public:
    using AdminSpendClient::AdminSpendClient;

    // "https://api.anthropic.com/v1".
    static QUrl defaultBaseURL();
    static SpendInterface reports(std::shared_ptr<HTTPClient> http, QUrl baseURL);

    // A result of organizations/cost_report: "amount" is a decimal text in cents.
    struct CostResult {
        double dollars = 0;
        static CostResult fromJson(const JsonObject& o);
    };
    // A result of organizations/usage_report/messages.
    struct UsageResult {
        qint64 tokens = 0; // uncached input, cache writes, cache reads and output
        static UsageResult fromJson(const JsonObject& o);
    };
    // A bucket's "starting_at", RFC 3339.
    static QDateTime bucketStart(const JsonObject& o);
    using CostPage = ReportPage<CostResult, &bucketStart>;
    using UsagePage = ReportPage<UsageResult, &bucketStart>;
    using UsageReportResponse = UsagePage;
};

} // namespace brenvo
