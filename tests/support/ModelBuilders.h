#pragma once

// Short builders of the panel's records for tests: only the fields a test cares about are named.
#include "model/Deployment.h"
#include "model/Payment.h"
#include "model/Usage.h"

#include <QDateTime>
#include <QTimeZone>

namespace brenvo::test {

// A fixed instant to date records from: 2026-03-14 12:00:00 UTC.
inline QDateTime fixedNow()
{
    return QDateTime(QDate(2026, 3, 14), QTime(12, 0), Qt::UTC);
}

inline Deployment deployment(const QString& id, Deployment::State state, const QDateTime& date = fixedNow())
{
    Deployment d;
    d.id = id;
    d.project = QStringLiteral("dashboard");
    d.message = QStringLiteral("Ship it");
    d.state = state;
    d.date = date;
    return d;
}

inline Payment payment(const QString& id, Payment::State state, const QDateTime& date = fixedNow(),
    std::optional<QString> accountID = std::nullopt)
{
    Payment p;
    p.id = id;
    p.accountID = std::move(accountID);
    p.amount = 2900;
    p.currency = QStringLiteral("USD");
    p.state = state;
    p.date = date;
    return p;
}

inline UsageMeter meter(const QString& id, double fraction, std::optional<QDateTime> resetsAt = std::nullopt)
{
    return UsageMeter {id, id, fraction, std::move(resetsAt)};
}

} // namespace brenvo::test
