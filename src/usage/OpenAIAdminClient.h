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

// The organisation's API cost and token use from the OpenAI administration API, read with an admin
// key as a bearer token. Cost comes from the daily costs report, tokens from the daily completions
// usage report. Every call copies what it needs, so a call outlives the client it was made on.
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
    // The cost of today and of the month so far.
    QCoro::Task<CostTotals> costs(QString key, QDateTime now) const;
    // Every token of today's completions; nothing when the report is a null reply.
    QCoro::Task<std::optional<qint64>> usageToday(QString key, QDateTime now) const;

    // GET organization/costs: amounts in dollars.
    struct CostResult {
        double dollars = 0;
        static CostResult fromJson(const JsonObject& o);
    };

    // GET organization/usage/completions.
    struct UsageResult {
        qint64 tokens = 0; // text and audio, input (cached included) and output
        static UsageResult fromJson(const JsonObject& o);
    };

    // One page of daily buckets of either report.
    template <typename Result> struct Page {
        struct Bucket {
            QDateTime start;
            QList<Result> results;
            static Bucket fromJson(const JsonObject& o)
            {
                return {bucketStart(o), o.optional("results", QList<Result>())};
            }
        };
        QList<Bucket> data;
        bool hasMore = false;
        std::optional<QString> nextPage;
        static Page fromJson(const JsonObject& o)
        {
            return {o.required<QList<Bucket>>("data"), o.optional("has_more", false),
                o.optional<QString>("next_page")};
        }
    };

private:
    // A bucket's "start_time" in Unix seconds.
    static QDateTime bucketStart(const JsonObject& o);
    ServiceAPI api() const;
    static QCoro::Task<QList<UsageSpend>> spendWith(ServiceAPI api, QString key, QDateTime now);
    static QCoro::Task<CostTotals> costsWith(ServiceAPI api, QString key, SpendWindow window);
    static QCoro::Task<std::optional<qint64>> usageWith(ServiceAPI api, QString key, SpendWindow window);
};

} // namespace brenvo
