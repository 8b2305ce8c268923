#pragma once

// The JSON records in which the Stripe API answers, read with their keys exactly as sent. Only the
// members the Stripe client uses are read; the others may be anything.

#include "http/JsonReader.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace brenvo::stripe {

// GET /v1/account
struct Account {
    std::optional<QString> displayName; // settings.dashboard.display_name
    std::optional<QString> businessName; // business_profile.name
    std::optional<QString> businessURL; // business_profile.url
    static Account fromJson(const JsonObject& o);
};

// One charge of GET /v1/charges.
struct Charge {
    QString id;
    qint64 amount = 0;
    qint64 amountRefunded = 0;
    QString currency;
    QString status;
    QDateTime created;
    bool refunded = false;
    bool disputed = false;
    bool livemode = true;
    std::optional<QString> paymentIntent;
    std::optional<QString> billingName;
    std::optional<QString> billingEmail;
    std::optional<QString> billingCountry;
    std::optional<QString> receiptEmail;
    std::optional<QString> receiptNumber;
    std::optional<QString> description;
    std::optional<QString> failureMessage;
    std::optional<QString> sellerMessage; // outcome.seller_message
    // payment_method_details: its type, and of the object named by it the brand, last four
    // digits and country where it has them. Read leniently: its shape differs by type.
    std::optional<QString> methodType;
    std::optional<QString> methodBrand;
    std::optional<QString> methodLast4;
    std::optional<QString> methodCountry;
    static Charge fromJson(const JsonObject& o);
};

struct ChargeList {
    QList<Charge> data;
    static ChargeList fromJson(const JsonObject& o);
};

} // namespace brenvo::stripe
