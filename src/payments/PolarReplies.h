#pragma once

// The JSON records in which the Polar API answers, read with their keys exactly as sent. Only the
// members the Polar client uses are read; the others may be anything.

#include "http/JsonReader.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace brenvo::polar {

// One organization of GET /v1/organizations/.
struct Organization {
    std::optional<QString> name;
    std::optional<QString> slug;
    std::optional<QString> avatarURL; // avatar_url
    std::optional<QString> website;
    static Organization fromJson(const JsonObject& o);
};

struct OrganizationList {
    QList<Organization> items;
    static OrganizationList fromJson(const JsonObject& o);
};

// One order of GET /v1/orders/.
struct Order {
    QString id;
    QDateTime createdAt;
    std::optional<QString> status; // older replies carry only "paid"
    bool paid = false;
    qint64 amount = 0; // total_amount, or the older amount
    QString currency;
    std::optional<QString> customerName;
    std::optional<QString> customerEmail;
    std::optional<QString> country; // of the order's billing address, else the customer's
    std::optional<QString> description;
    std::optional<QString> productName;
    std::optional<QString> billingReason;
    std::optional<QString> invoiceNumber;
    static Order fromJson(const JsonObject& o);
};

struct OrderList {
    QList<Order> items;
    static OrderList fromJson(const JsonObject& o);
};

} // namespace brenvo::polar
