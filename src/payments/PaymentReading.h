#pragma once

#include "http/HTTPClient.h"
#include "http/ServiceAPI.h"
#include "http/ServiceFailure.h"
#include "model/Payment.h"

#include <QCoroTask>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <exception>
#include <memory>
#include <optional>

namespace brenvo {

// Helpers that the Stripe and Polar clients share.

// The request value of both tools: the bearer key, keys as sent.
ServiceAPI paymentAPI(std::shared_ptr<HTTPClient> http, QUrl baseURL);

// A website as a payment tool gives it, when it names a web host: "example.com" and
// "https://example.com/shop" stay as written; another scheme, a user part or no host drops it.
std::optional<QString> siteText(const std::optional<QString>& text);

// An address on a tool's dashboard: base followed by each segment, percent-encoded.
std::optional<QUrl> dashboardLink(const QString& base, const QStringList& segments);

// Three letters of ISO 4217 as they are written: a reply's "usd" is "USD".
QString currencyCode(const QString& text);

// The text with every occurrence of key cut out, for messages a server may have echoed it in.
QString withoutKey(QString text, const QString& key);

// The first limit payments (none for a limit below one).
QList<Payment> firstOf(QList<Payment> payments, int limit);

// The account that lookup finds; a refused key is thrown, any other failure is logged under what
// (a literal) and gives an account with nothing known.
QCoro::Task<PaymentAccountInfo> unlessRefused(QCoro::Task<PaymentAccountInfo> lookup, const char* what);

// Awaits task; a refusal comes out with key cut from its message, every other failure unchanged.
template <typename T> QCoro::Task<T> keyless(QCoro::Task<T> task, QString key)
{
    try {
        co_return co_await std::move(task);
    } catch (const ServiceFailure& failure) {
        if (!failure.isRefused())
            throw;
        throw ServiceFailure::refused(failure.status(), withoutKey(failure.message(), key));
    }
}

} // namespace brenvo
