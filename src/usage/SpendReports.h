#pragma once

// What the two organisation admin clients share: the UTC day and month a spend figure covers, the
// daily report pages, a bounded walk over them, and the reading of the two rows.

#include "http/HTTPClient.h"
#include "http/JsonReader.h"
#include "http/ServiceAPI.h"
#include "http/ServiceFailure.h"
#include "model/SpendSource.h"
#include "model/Usage.h"

#include <QCoroTask>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace brenvo {

// The calendar of one spend ask, in UTC whatever the user's zone: the admin reports bucket days
// from midnight UTC.
struct SpendWindow {
    QDateTime monthStart; // the first of the month, 00:00
    QDateTime dayStart; // today, 00:00
    QDateTime dayEnd; // tomorrow, 00:00: the exclusive end of both periods

    static SpendWindow at(const QDateTime& now);

    bool inDay(const QDateTime& t) const { return t >= dayStart && t < dayEnd; }
    bool inMonth(const QDateTime& t) const { return t >= monthStart && t < dayEnd; }

    bool operator==(const SpendWindow&) const = default;
};

// Cost of the day and of the month so far, in US dollars.
struct CostTotals {
    double today = 0;
    double month = 0;

    // Counts one amount of a daily bucket that starts at bucketStart; a bucket outside the month
    // (a server that answers more than was asked) counts nowhere.
    void add(const QDateTime& bucketStart, double dollars, const SpendWindow& window);
};

// The two rows the usage card shows: "today" with its tokens and "month" without.
QList<UsageSpend> spendRows(const CostTotals& cost, std::optional<qint64> tokensToday);

// A sum of token counts that fails the reply (at where) instead of wrapping around.
qint64 addTokens(qint64 total, qint64 more, const QString& where);

// A reply's amount that must be a finite number.
double finiteAmount(double value, const JsonValue& where);

// Pages read before a report that keeps saying there is more is given up. A month of daily buckets
// fits in one page at the limit the clients ask for.
inline constexpr int maxReportPages = 5;
// Buckets asked for per page: a whole month.
inline constexpr int bucketsPerPage = 31;

// One page of an admin report of daily buckets. Start reads the first instant of a bucket; a
// Result has `dollars` (cost reports) or `tokens` (usage reports).
template <typename Result, QDateTime (*Start)(const JsonObject&)> struct ReportPage {
    struct Bucket {
        QDateTime start;
        QList<Result> results;
        static Bucket fromJson(const JsonObject& o)
        {
            return {Start(o), o.optional("results", QList<Result>())};
        }
    };
    QList<Bucket> data;
    bool hasMore = false;
    std::optional<QString> nextPage;
    static ReportPage fromJson(const JsonObject& o)
    {
        return {o.required<QList<Bucket>>("data"), o.optional("has_more", false),
            o.optional<QString>("next_page")};
    }
};

// Reads a paginated report from its first page, passing each next cursor as "page". A null reply
// ends the walk (no page). A report that still has more after maxReportPages, or says it has more
// without a cursor, fails with a sentence naming it: a partial sum would be a wrong figure.
template <typename Page>
QCoro::Task<std::vector<Page>> readReport(
    ServiceAPI api, QString path, ServiceAPI::Query query, QString key, QString report)
{
    std::vector<Page> pages;
    for (int n = 0; n < maxReportPages; ++n) {
        std::optional<Page> page = co_await api.request<std::optional<Page>>(path, query, key);
        if (!page)
            co_return pages;
        const bool more = page->hasMore;
        const std::optional<QString> cursor = page->nextPage;
        pages.push_back(std::move(*page));
        if (!more)
            co_return pages;
        if (!cursor || cursor->isEmpty())
            throw ServiceFailure::explained(
                report + QStringLiteral(" said it had more but gave no next page."));
        query.insert(QStringLiteral("page"), *cursor);
    }
    throw ServiceFailure::explained(
        report + QStringLiteral(" did not end after %1 pages.").arg(maxReportPages));
}

// Where an admin interface keeps its two daily reports and how it asks for a range of days.
struct SpendInterface {
    ServiceAPI api;
    QString costPath;
    QString costReport; // names the report in a failure sentence
    QString usagePath;
    QString usageReport;
    ServiceAPI::Query (*range)(const QDateTime& from, const QDateTime& to);
};

// The cost of the month so far and of today, then today's tokens: the two rows. A null cost reply
// fails; a null usage reply leaves the tokens unknown.
template <typename CostPage, typename UsagePage>
QCoro::Task<QList<UsageSpend>> readSpend(SpendInterface where, QString key, QDateTime now)
{
    const SpendWindow window = SpendWindow::at(now);
    const ServiceAPI::Query month = where.range(window.monthStart, window.dayEnd);
    const auto costPages
        = co_await readReport<CostPage>(where.api, where.costPath, month, key, where.costReport);
    if (costPages.empty())
        throw DecodingFailure(
            DecodingFailure::Kind::valueNotFound, {}, QStringLiteral("expected a cost report"));
    CostTotals cost;
    for (const auto& page : costPages) {
        for (const auto& bucket : page.data) {
            for (const auto& result : bucket.results)
                cost.add(bucket.start, result.dollars, window);
        }
    }

    const ServiceAPI::Query today = where.range(window.dayStart, window.dayEnd);
    const auto usagePages
        = co_await readReport<UsagePage>(where.api, where.usagePath, today, key, where.usageReport);
    std::optional<qint64> tokens;
    if (!usagePages.empty())
        tokens = 0;
    for (const auto& page : usagePages) {
        for (const auto& bucket : page.data) {
            if (!window.inDay(bucket.start))
                continue;
            for (const auto& result : bucket.results)
                tokens = addTokens(*tokens, result.tokens, QStringLiteral("data"));
        }
    }
    co_return spendRows(cost, tokens);
}

// An admin spend client: a plain value with the transport and the base URL, never a key. Client
// gives defaultBaseURL(), reports(http, baseURL) and its CostPage and UsagePage types. A call copies
// what it needs, so it outlives the client it was made on.
template <typename Client> class AdminSpendClient : public SpendSource {
public:
    explicit AdminSpendClient(std::shared_ptr<HTTPClient> http, QUrl baseURL = Client::defaultBaseURL())
        : http(std::move(http))
        , baseURL(std::move(baseURL))
    {
    }

    std::shared_ptr<HTTPClient> http;
    QUrl baseURL;

    // "today" (cost and tokens) and "month" (cost) in US dollars. 401 gives ServiceFailure::rejected.
    QCoro::Task<QList<UsageSpend>> spend(QString key, QDateTime now) override
    {
        return readSpend<typename Client::CostPage, typename Client::UsagePage>(
            Client::reports(http, baseURL), std::move(key), std::move(now));
    }
};

} // namespace brenvo
