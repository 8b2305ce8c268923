#include "payments/PolarReplies.h"

#include "http/ReplySupport.h"
#include "http/ServiceAPI.h"

namespace brenvo::polar {

namespace {

std::optional<QString> addressCountry(const JsonObject& holder)
{
    const auto address = holder.optional<JsonObject>("billing_address");
    return address ? nonEmpty(address->optional<QString>("country")) : std::nullopt;
}

} // namespace

Organization Organization::fromJson(const JsonObject& o)
{
    return {o.optional<QString>("name"), o.optional<QString>("slug"), o.optional<QString>("avatar_url"),
        o.optional<QString>("website")};
}

OrganizationList OrganizationList::fromJson(const JsonObject& o)
{
    return {o.required<QList<Organization>>("items")};
}

Order Order::fromJson(const JsonObject& o)
{
    Order order;
    order.id = o.required<QString>("id");
    const auto created = ServiceAPI::date(o.required<QString>("created_at"));
    if (!created)
        o.member("created_at").fail("an RFC 3339 date");
    order.createdAt = *created;
    order.status = o.optional<QString>("status");
    order.paid = o.optional<bool>("paid", false);
    if (const auto total = o.optional<qint64>("total_amount"))
        order.amount = *total;
    else
        order.amount = o.required<qint64>("amount");
    order.currency = o.required<QString>("currency");
    order.country = addressCountry(o);
    if (const auto customer = o.optional<JsonObject>("customer")) {
        order.customerName = customer->optional<QString>("name");
        order.customerEmail = customer->optional<QString>("email");
        if (!order.country)
            order.country = addressCountry(*customer);
    }
    order.description = o.optional<QString>("description");
    if (const auto product = o.optional<JsonObject>("product"))
        order.productName = product->optional<QString>("name");
    order.billingReason = o.optional<QString>("billing_reason");
    order.invoiceNumber = o.optional<QString>("invoice_number");
    return order;
}

OrderList OrderList::fromJson(const JsonObject& o)
{
    return {o.required<QList<Order>>("items")};
}

} // namespace brenvo::polar
