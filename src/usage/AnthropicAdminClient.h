#pragma once

#include "http/HTTPClient.h"
#include "http/JsonReader.h"
#include "model/SpendSource.h"
#include "usage/SpendReports.h"

#include <QUrl>

#include <memory>

namespace brenvo {

// The organisation's API cost and token use from the Anthropic Admin API, read with an admin key
// sent in "x-api-key": the daily cost report and the daily messages usage report. A call copies
// what it needs, so it outlives the client it was made on.
class AnthropicAdminClient final : public SpendSource {
public:
    // "https://api.anthropic.com/v1".
    static QUrl defaultBaseURL();

    explicit AnthropicAdminClient(std::shared_ptr<HTTPClient> http, QUrl baseURL = defaultBaseURL())
        : http(std::move(http))
        , baseURL(std::move(baseURL))
    {
    }

    std::shared_ptr<HTTPClient> http;
    QUrl baseURL;

    // "today" (cost and tokens) and "month" (cost) in US dollars. 401 gives ServiceFailure::rejected.
    QCoro::Task<QList<UsageSpend>> spend(QString key, QDateTime now) override;

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
    using CostReport = ReportPage<CostResult, &bucketStart>;
    using UsageReportResponse = ReportPage<UsageResult, &bucketStart>;

private:
    SpendInterface reports() const;
};

} // namespace brenvo
