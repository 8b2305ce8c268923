#include "usage/SpendReports.h"

#include <cmath>

namespace brenvo {

SpendWindow SpendWindow::at(const QDateTime& now)
{
    const QDate day = now.toUTC().date();
    SpendWindow window;
    window.dayStart = QDateTime(day, QTime(0, 0), Qt::UTC);
    window.dayEnd = window.dayStart.addDays(1);
    window.monthStart = QDateTime(QDate(day.year(), day.month(), 1), QTime(0, 0), Qt::UTC);
    return window;
}

void CostTotals::add(const QDateTime& bucketStart, double dollars, const SpendWindow& window)
{
    if (window.inMonth(bucketStart))
        month += dollars;
    if (window.inDay(bucketStart))
        today += dollars;
}

QList<UsageSpend> spendRows(const CostTotals& cost, std::optional<qint64> tokensToday)
{
    const QString usd = QStringLiteral("USD");
    return {
        UsageSpend {QStringLiteral("today"), QStringLiteral("Today"), cost.today, usd, tokensToday},
        UsageSpend {QStringLiteral("month"), QStringLiteral("This month"), cost.month, usd, std::nullopt},
    };
}

qint64 addTokens(qint64 total, qint64 more, const QString& where)
{
    qint64 sum = 0;
    if (__builtin_add_overflow(total, more, &sum))
        throw DecodingFailure(DecodingFailure::Kind::dataCorrupted, where,
            QStringLiteral("expected a token count that fits in 64 bits"));
    return sum;
}

double finiteAmount(double value, const JsonValue& where)
{
    if (!std::isfinite(value))
        where.fail("a finite amount");
    return value;
}

} // namespace brenvo
