#pragma once

#include "model/KitService.h"

#include <QDateTime>
#include <QHashFunctions>
#include <QList>
#include <QLocale>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <optional>

namespace brenvo {

// One payment, charge or order of a payment tool.
struct Payment {
    enum class State : std::uint8_t { succeeded, pending, failed, refunded, disputed };

    QString id;
    std::optional<QString> accountID;
    qint64 amount = 0; // in the currency's minor unit: 2900 "USD" is 29.00 dollars
    QString currency; // ISO 4217
    State state = State::succeeded;
    QDateTime date;
    std::optional<QString> customerName;
    std::optional<QString> customerEmail;
    std::optional<QString> country;
    std::optional<QString> description;
    std::optional<QString> method;
    std::optional<QString> note;
    std::optional<QString> reference;
    std::optional<QUrl> url;

    bool operator==(const Payment&) const = default;

    // The amount as money in the locale's currency format ("$29.00" in en_US).
    QString amountText(const QLocale& locale) const;
    QString amountText(const QString& localeName) const;

    // Change detection between a tool's previous and new payments; sub-lists of the new ones.
    static QList<Payment> newlySucceeded(const QList<Payment>& payments, const QList<Payment>& since);
    static QList<Payment> changed(const QList<Payment>& payments, const QList<Payment>& since);

    // The three payments of the sample data, newest first, dated back from now.
    static QList<Payment> samples(const QDateTime& now);
};

inline size_t qHash(Payment::State state, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(state), seed);
}

// The payment open in the payment detail view.
struct PaymentInspection {
    KitService service = KitService::stripe;
    Payment payment;

    bool operator==(const PaymentInspection&) const = default;
};

// What a payment tool says of the account behind a key.
struct PaymentAccountInfo {
    std::optional<QString> name;
    std::optional<QString> site;
    std::optional<QUrl> iconURL;
    std::optional<QString> handle;

    bool operator==(const PaymentAccountInfo&) const = default;
};

} // namespace brenvo
