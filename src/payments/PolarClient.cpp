#include "payments/PolarClient.h"

#include "http/ReplySupport.h"
#include "http/ServiceAPI.h"
#include "payments/PaymentReading.h"
#include "payments/PolarReplies.h"

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

namespace {

QCoro::Task<PaymentAccountInfo> readOrganization(ServiceAPI api, QString key)
{
    const ServiceAPI::Query query {{u"limit"_s, u"1"_s}};
    auto reply = api.request<polar::OrganizationList>(u"organizations/"_s, query, key);
    const auto list = co_await std::move(reply);
    co_return list.items.isEmpty() ? PaymentAccountInfo {} : PolarClient::accountInfo(list.items.first());
}

QCoro::Task<QList<Payment>> readOrders(ServiceAPI api, QString key, std::optional<QString> handle, int limit)
{
    if (limit < 1)
        co_return QList<Payment> {};
    // Polar lists at most 100 a page.
    const ServiceAPI::Query query {
        {u"limit"_s, QString::number(std::min(limit, 100))}, {u"sorting"_s, u"-created_at"_s}};
    auto reply = keyless(api.request<polar::OrderList>(u"orders/"_s, query, key), key);
    const auto list = co_await std::move(reply);
    QList<Payment> out;
    out.reserve(list.items.size());
    for (const polar::Order& order : list.items)
        out.append(PolarClient::payment(order, handle));
    co_return firstOf(out, limit);
}

std::optional<QString> reasonNote(const std::optional<QString>& reason)
{
    if (reason == u"subscription_cycle")
        return u"Renewal"_s;
    if (reason == u"subscription_create")
        return u"New subscription"_s;
    if (reason == u"subscription_update")
        return u"Subscription change"_s;
    return std::nullopt;
}

} // namespace

QUrl PolarClient::defaultBaseURL()
{
    return QUrl(u"https://api.polar.sh/v1"_s);
}

PolarClient::PolarClient(std::shared_ptr<HTTPClient> http, QUrl baseURL)
    : http(std::move(http))
    , baseURL(std::move(baseURL))
{
}

QCoro::Task<PaymentAccountInfo> PolarClient::account(QString key)
{
    return unlessRefused(readOrganization(paymentAPI(http, baseURL), std::move(key)), "Polar organization");
}

QCoro::Task<QList<Payment>> PolarClient::payments(QString key, PaymentAccountInfo account, int limit)
{
    return readOrders(paymentAPI(http, baseURL), std::move(key), account.handle, limit);
}

PaymentAccountInfo PolarClient::accountInfo(const polar::Organization& organization)
{
    PaymentAccountInfo info;
    info.name = nonEmpty(organization.name);
    info.site = siteText(organization.website);
    if (const auto avatar = nonEmpty(organization.avatarURL))
        info.iconURL = webAddress(*avatar);
    info.handle = nonEmpty(organization.slug);
    return info;
}

Payment::State PolarClient::state(const polar::Order& order)
{
    if (!order.status)
        return order.paid ? Payment::State::succeeded : Payment::State::pending;
    if (order.status == u"paid" || order.status == u"partially_refunded")
        return Payment::State::succeeded;
    if (order.status == u"refunded")
        return Payment::State::refunded;
    return Payment::State::pending; // "pending", or a state this version does not know
}

Payment PolarClient::payment(const polar::Order& order, const std::optional<QString>& handle)
{
    Payment p;
    p.id = order.id;
    p.amount = order.amount;
    p.currency = currencyCode(order.currency);
    p.state = state(order);
    p.date = order.createdAt;
    p.customerName = nonEmpty(order.customerName);
    p.customerEmail = nonEmpty(order.customerEmail);
    if (order.country)
        p.country = order.country->toUpper();
    p.description = nonEmpty(order.description);
    if (!p.description)
        p.description = nonEmpty(order.productName);
    p.note = order.status == u"partially_refunded" ? std::optional(u"Partially refunded"_s)
                                                   : reasonNote(order.billingReason);
    p.reference = nonEmpty(order.invoiceNumber);
    if (const auto slug = nonEmpty(handle))
        p.url = dashboardLink(u"https://polar.sh/dashboard"_s, {*slug, u"orders"_s, order.id});
    return p;
}

} // namespace brenvo
