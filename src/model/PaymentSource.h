#pragma once

#include "model/Payment.h"

#include <QCoroTask>
#include <QList>
#include <QString>

namespace brenvo {

// A payment tool as the store sees it; the key travels with each call.
class PaymentSource {
public:
    virtual ~PaymentSource() = default;

    virtual QCoro::Task<PaymentAccountInfo> account(QString key) = 0;
    // At most limit payments; a conformer may ignore the account.
    virtual QCoro::Task<QList<Payment>> payments(QString key, PaymentAccountInfo account, int limit) = 0;
};

} // namespace brenvo
