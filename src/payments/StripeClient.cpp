#include "payments/StripeClient.h"

#include "http/ReplySupport.h"
#include "http/ServiceAPI.h"
#include "payments/PaymentReading.h"
#include "payments/StripeReplies.h"

#include <QHash>

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

namespace {

QCoro::Task<PaymentAccountInfo> readAccount(ServiceAPI api, QString key)
{
    auto reply = api.request<stripe::Account>(u"account"_s, ServiceAPI::Query(), key);
    const auto account = co_await std::move(reply);
    co_return StripeClient::accountInfo(account);
}

QCoro::Task<QList<Payment>> readCharges(ServiceAPI api, QString key, int limit)
{
    if (limit < 1)
        co_return QList<Payment> {};
    // Stripe lists at most 100 a page.
    const ServiceAPI::Query query {{u"limit"_s, QString::number(std::min(limit, 100))}};
    auto reply = keyless(api.request<stripe::ChargeList>(u"charges"_s, query, key), key);
    const auto list = co_await std::move(reply);
    QList<Payment> out;
    out.reserve(list.data.size());
    for (const stripe::Charge& charge : list.data)
        out.append(StripeClient::payment(charge));
    co_return firstOf(out, limit);
}

// How Stripe's words for card brands and payment method types are written.
QString methodWord(const QString& word)
{
    static const QHash<QString, QString> words {
        {u"visa"_s, u"Visa"_s},
        {u"mastercard"_s, u"Mastercard"_s},
        {u"amex"_s, u"American Express"_s},
        {u"american_express"_s, u"American Express"_s},
        {u"discover"_s, u"Discover"_s},
        {u"diners"_s, u"Diners Club"_s},
        {u"jcb"_s, u"JCB"_s},
        {u"unionpay"_s, u"UnionPay"_s},
        {u"cartes_bancaires"_s, u"Cartes Bancaires"_s},
        {u"eftpos_au"_s, u"eftpos"_s},
        {u"interac"_s, u"Interac"_s},
        {u"unknown"_s, u"Card"_s},
        {u"card"_s, u"Card"_s},
        {u"card_present"_s, u"Card"_s},
        {u"sepa_debit"_s, u"SEPA Direct Debit"_s},
        {u"bacs_debit"_s, u"Bacs Direct Debit"_s},
        {u"au_becs_debit"_s, u"BECS Direct Debit"_s},
        {u"acss_debit"_s, u"Pre-authorised debit"_s},
        {u"us_bank_account"_s, u"Bank account"_s},
        {u"paypal"_s, u"PayPal"_s},
        {u"cashapp"_s, u"Cash App Pay"_s},
        {u"afterpay_clearpay"_s, u"Afterpay"_s},
        {u"ideal"_s, u"iDEAL"_s},
        {u"sofort"_s, u"Sofort"_s},
        {u"link"_s, u"Link"_s},
    };
    return words.value(word.toLower(), capitalised(spaced(word)));
}

} // namespace

QUrl StripeClient::defaultBaseURL()
{
    return QUrl(u"https://api.stripe.com/v1"_s);
}

StripeClient::StripeClient(std::shared_ptr<HTTPClient> http, QUrl baseURL)
    : http(std::move(http))
    , baseURL(std::move(baseURL))
{
}

QCoro::Task<PaymentAccountInfo> StripeClient::account(QString key)
{
    return unlessRefused(readAccount(paymentAPI(http, baseURL), std::move(key)), "Stripe account");
}

QCoro::Task<QList<Payment>> StripeClient::payments(QString key, PaymentAccountInfo, int limit)
{
    return readCharges(paymentAPI(http, baseURL), std::move(key), limit);
}

PaymentAccountInfo StripeClient::accountInfo(const stripe::Account& account)
{
    PaymentAccountInfo info;
    info.name = nonEmpty(account.displayName);
    if (!info.name)
        info.name = nonEmpty(account.businessName);
    info.site = siteText(account.businessURL);
    return info;
}

Payment::State StripeClient::state(const stripe::Charge& charge)
{
    if (charge.status == u"failed")
        return Payment::State::failed;
    if (charge.status != u"succeeded")
        return Payment::State::pending; // "pending", or a state this version does not know
    if (charge.disputed)
        return Payment::State::disputed;
    if (charge.refunded)
        return Payment::State::refunded;
    return Payment::State::succeeded;
}

std::optional<QString> StripeClient::methodText(const stripe::Charge& charge)
{
    const auto type = nonEmpty(charge.methodType);
    if (!type)
        return std::nullopt;
    const auto brand = nonEmpty(charge.methodBrand);
    QString text = methodWord(brand.value_or(*type));
    if (const auto last4 = nonEmpty(charge.methodLast4))
        text += u" \u2022\u2022\u2022\u2022 "_s + *last4;
    return text;
}

Payment StripeClient::payment(const stripe::Charge& charge)
{
    Payment p;
    p.id = charge.id;
    p.amount = charge.amount;
    p.currency = currencyCode(charge.currency);
    p.state = state(charge);
    p.date = charge.created;
    p.customerName = nonEmpty(charge.billingName);
    p.customerEmail = nonEmpty(charge.billingEmail);
    if (!p.customerEmail)
        p.customerEmail = nonEmpty(charge.receiptEmail);
    // Where the buyer gave no address, the card's country is the best guess there is.
    auto country = nonEmpty(charge.billingCountry);
    if (!country)
        country = nonEmpty(charge.methodCountry);
    if (country)
        p.country = country->toUpper();
    p.description = nonEmpty(charge.description);
    p.method = methodText(charge);
    if (p.state == Payment::State::failed) {
        p.note = nonEmpty(charge.failureMessage);
        if (!p.note)
            p.note = nonEmpty(charge.sellerMessage);
    } else if (p.state == Payment::State::succeeded && charge.amountRefunded > 0) {
        p.note = u"Partially refunded"_s;
    }
    p.reference = nonEmpty(charge.receiptNumber);
    // The dashboard shows a payment under its intent when it has one; test-mode ones live under /test.
    const QString dashboard
        = charge.livemode ? u"https://dashboard.stripe.com"_s : u"https://dashboard.stripe.com/test"_s;
    p.url = dashboardLink(dashboard, {u"payments"_s, nonEmpty(charge.paymentIntent).value_or(charge.id)});
    return p;
}

} // namespace brenvo
