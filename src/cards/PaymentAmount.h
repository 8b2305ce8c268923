#pragma once

#include "cards/KitLine.h"
#include "model/Payment.h"

#include <QLocale>

namespace brenvo {

// A payment's amount as money in the user's locale ("$29.00" in en_US).
class PaymentAmount : public KitLine {
    Q_OBJECT
public:
    PaymentAmount(const Payment& payment, const QFont& font, const QColor& colour = QColor(),
        QWidget* parent = nullptr);

    void setPayment(const Payment& payment);

    static QString text(const Payment& payment, const QLocale& locale = QLocale::system());
};

} // namespace brenvo
