#pragma once

#include "model/KitService.h"
#include "model/KitSignal.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>

#include <exception>
#include <optional>
#include <string>

namespace brenvo {

// One limit window of a usage tool.
struct UsageMeter {
    QString id;
    QString name;
    double fraction = 0; // share used: 0.62 is 62 %; not clamped
    std::optional<QDateTime> resetsAt;

    bool operator==(const UsageMeter&) const = default;

    // "62%"; empty for a fraction that is not a finite number.
    QString percentText() const;
    // "resets in 1h 48m"; nothing when there is no future reset.
    std::optional<QString> resetText(const QDateTime& now) const;
};

// The plan limits of a usage tool at one moment.
struct UsageReport {
    QList<UsageMeter> meters;
    std::optional<QString> plan;
    QDateTime asOf;
    std::optional<QString> account;

    bool operator==(const UsageReport&) const = default;

    // The same report with every window whose reset time has come counted as unused.
    UsageReport rolledOver(const QDateTime& at) const;
    // The tile colour of a report (none at all is good).
    static KitSignal signal(const std::optional<UsageReport>& report, const QDateTime& at);
};

// One API-spend figure of a usage tool's organisation.
struct UsageSpend {
    QString id;
    QString name;
    double amount = 0; // whole currency units
    QString currency;
    std::optional<qint64> tokens;

    bool operator==(const UsageSpend&) const = default;

    // The amount as money in a locale, as a payment's amount is written ("$1.24" in en_US).
    QString amountText(const QLocale& locale) const;
    // "1.2M tokens"; nothing when the tool gave no count.
    std::optional<QString> tokensText() const;
};

// A failure of a usage reader that already carries the sentence to show.
class UsageFailure : public std::exception {
public:
    explicit UsageFailure(QString reason)
        : m_reason(std::move(reason))
        , m_what(m_reason.toStdString())
    {
    }

    // A failure of one ask that says nothing of the account (the tool could not fetch the limits
    // this time): the last report still stands beside the sentence.
    static UsageFailure momentary(QString reason)
    {
        UsageFailure failure(std::move(reason));
        failure.m_momentary = true;
        return failure;
    }

    const QString& reason() const { return m_reason; }
    bool isMomentary() const { return m_momentary; }
    const char* what() const noexcept override { return m_what.c_str(); }

    bool operator==(const UsageFailure& other) const
    {
        return m_reason == other.m_reason && m_momentary == other.m_momentary;
    }

private:
    QString m_reason;
    std::string m_what;
    bool m_momentary = false;
};

} // namespace brenvo
