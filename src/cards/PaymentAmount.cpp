#include "cards/PaymentAmount.h"

namespace brenvo {

PaymentAmount::PaymentAmount(const Payment& payment, const QFont& font, const QColor& colour, QWidget* parent)
    : KitLine(text(payment), font, colour, parent)
{
    setKeepsWidth(true);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void PaymentAmount::setPayment(const Payment& payment)
{
    setText(text(payment));
}

QString PaymentAmount::text(const Payment& payment, const QLocale& locale)
{
    return payment.amountText(locale);
}

} // namespace brenvo
