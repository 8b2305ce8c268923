#pragma once

#include "http/HTTPClient.h"
#include "http/JsonReader.h"
#include "http/ServiceAPI.h"
#include "model/SpendSource.h"
#include "usage/SpendReports.h"

#include <QCoroTask>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

namespace brenvo {

// The organisation's API cost and token use from the Anthropic Admin API, read with an admin key
// sent in "x-api-key". Cost comes from the daily cost report, tokens from the daily messages usage
// report. Every call copies what it needs, so a call outlives the client it was made on.
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
    // The cost of today and of the month so far.
    QCoro::Task<CostTotals> costs(QString key, QDateTime now) const;
    // Every token of today's messages; nothing when the report is a null reply.
    QCoro::Task<std::optional<qint64>> usageToday(QString key, QDateTime now) const;

    // GET organizations/cost_report. Amounts are decimal strings in cents.
    struct CostReport {
        struct Result {
            double cents = 0;
            static Result fromJson(const JsonObject& o);
        };
        struct Bucket {
            QDateTime startingAt;
            QList<Result> results;
            static Bucket fromJson(const JsonObject& o);
        };
        QList<Bucket> data;
        bool hasMore = false;
        std::optional<QString> nextPage;
        static CostReport fromJson(const JsonObject& o);
    };

    // GET organizations/usage_report/messages.
    struct UsageReportResponse {
        struct Result {
            qint64 tokens = 0; // uncached input, cache writes, cache reads and output
            static Result fromJson(const JsonObject& o);
        };
        struct Bucket {
            QDateTime startingAt;
            QList<Result> results;
            static Bucket fromJson(const JsonObject& o);
        };
        QList<Bucket> data;
        bool hasMore = false;
        std::optional<QString> nextPage;
        static UsageReportResponse fromJson(const JsonObject& o);
    };

private:
    ServiceAPI api() const;
    static QCoro::Task<QList<UsageSpend>> spendWith(ServiceAPI api, QString key, QDateTime now);
    static QCoro::Task<CostTotals> costsWith(ServiceAPI api, QString key, SpendWindow window);
    static QCoro::Task<std::optional<qint64>> usageWith(ServiceAPI api, QString key, SpendWindow window);
};

} // namespace brenvo
