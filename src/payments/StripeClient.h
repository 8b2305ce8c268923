#pragma once

#include "http/HTTPClient.h"
#include "model/PaymentSource.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <memory>

namespace brenvo {

namespace stripe {
struct Account;
struct Charge;
} // namespace stripe

// Stripe's charges as payments: a plain value with the transport and the base URL; the key travels
// with each call. A call copies what it needs, so it may outlive the value it was made on.
class StripeClient final : public PaymentSource {
public:
    static QUrl defaultBaseURL();

    explicit StripeClient(std::shared_ptr<HTTPClient> http, QUrl baseURL = defaultBaseURL());

    std::shared_ptr<HTTPClient> http;
    QUrl baseURL;

    // Throws only when the key is refused; any other failure gives an account with nothing known.
    QCoro::Task<PaymentAccountInfo> account(QString key) override;
    // The latest charges in Stripe's order; every failure is thrown.
    QCoro::Task<QList<Payment>> payments(QString key, PaymentAccountInfo account, int limit) override;

    static PaymentAccountInfo accountInfo(const stripe::Account& account);
    static Payment payment(const stripe::Charge& charge);
    static Payment::State state(const stripe::Charge& charge);
    // "Visa •••• 4242", "SEPA Direct Debit •••• 3000", "PayPal"; nothing when the charge names no method.
    static std::optional<QString> methodText(const stripe::Charge& charge);
};

} // namespace brenvo
