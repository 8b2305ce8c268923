#include "payments/StripeReplies.h"

#include "http/ReplySupport.h"

namespace brenvo::stripe {

Account Account::fromJson(const JsonObject& o)
{
    Account account;
    if (const auto settings = o.optional<JsonObject>("settings")) {
        if (const auto dashboard = settings->optional<JsonObject>("dashboard"))
            account.displayName = dashboard->optional<QString>("display_name");
    }
    if (const auto profile = o.optional<JsonObject>("business_profile")) {
        account.businessName = profile->optional<QString>("name");
        account.businessURL = profile->optional<QString>("url");
    }
    return account;
}

Charge Charge::fromJson(const JsonObject& o)
{
    Charge charge;
    charge.id = o.required<QString>("id");
    charge.amount = o.required<qint64>("amount");
    charge.amountRefunded = o.optional<qint64>("amount_refunded", 0);
    charge.currency = o.required<QString>("currency");
    charge.status = o.required<QString>("status");
    const qint64 created = o.required<qint64>("created");
    // Seconds since 1970; beyond what a date holds the reply is not one Stripe sends.
    constexpr qint64 limit = 8'640'000'000'000LL;
    charge.created
        = created > -limit && created < limit ? QDateTime::fromSecsSinceEpoch(created, Qt::UTC) : QDateTime();
    if (!charge.created.isValid())
        o.member("created").fail("a time in seconds since 1970");
    charge.refunded = o.optional<bool>("refunded", false);
    charge.disputed = o.optional<bool>("disputed", false);
    charge.livemode = o.optional<bool>("livemode", true);
    charge.paymentIntent = o.optional<QString>("payment_intent");
    if (const auto billing = o.optional<JsonObject>("billing_details")) {
        charge.billingName = billing->optional<QString>("name");
        charge.billingEmail = billing->optional<QString>("email");
        if (const auto address = billing->optional<JsonObject>("address"))
            charge.billingCountry = address->optional<QString>("country");
    }
    charge.receiptEmail = o.optional<QString>("receipt_email");
    charge.receiptNumber = o.optional<QString>("receipt_number");
    charge.description = o.optional<QString>("description");
    charge.failureMessage = o.optional<QString>("failure_message");
    if (const auto outcome = o.optional<JsonObject>("outcome"))
        charge.sellerMessage = outcome->optional<QString>("seller_message");
    if (const auto details = lenientMember<JsonObject>(o, "payment_method_details")) {
        charge.methodType = lenientMember<QString>(*details, "type");
        if (charge.methodType && !charge.methodType->isEmpty()) {
            const QByteArray key = charge.methodType->toUtf8();
            if (const auto method = lenientMember<JsonObject>(*details, key.constData())) {
                charge.methodBrand = lenientMember<QString>(*method, "brand");
                charge.methodLast4 = lenientMember<QString>(*method, "last4");
                charge.methodCountry = lenientMember<QString>(*method, "country");
            }
        }
    }
    return charge;
}

ChargeList ChargeList::fromJson(const JsonObject& o)
{
    return {o.required<QList<Charge>>("data")};
}

} // namespace brenvo::stripe
