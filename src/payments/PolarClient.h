#pragma once

#include "http/HTTPClient.h"
#include "model/PaymentSource.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <memory>

namespace brenvo {

namespace polar {
struct Organization;
struct Order;
} // namespace polar

// Polar's orders as payments: a plain value with the transport and the base URL; the key travels
// with each call. A call copies what it needs, so it may outlive the value it was made on.
class PolarClient final : public PaymentSource {
public:
    static QUrl defaultBaseURL();

    explicit PolarClient(std::shared_ptr<HTTPClient> http, QUrl baseURL = defaultBaseURL());

    std::shared_ptr<HTTPClient> http;
    QUrl baseURL;

    // The key's organization. Throws only when the key is refused; any other failure, or no
    // organization, gives an account with nothing known.
    QCoro::Task<PaymentAccountInfo> account(QString key) override;
    // The latest orders, newest first; the account's handle makes their dashboard links. Every
    // failure is thrown.
    QCoro::Task<QList<Payment>> payments(QString key, PaymentAccountInfo account, int limit) override;

    static PaymentAccountInfo accountInfo(const polar::Organization& organization);
    static Payment payment(const polar::Order& order, const std::optional<QString>& handle);
    static Payment::State state(const polar::Order& order);
};

} // namespace brenvo
