#pragma once

#include "cards/KitFacedCard.h"
#include "model/Payment.h"

#include <optional>

namespace brenvo {

class PaymentDetailView;
class Scheduler;

// The card of a payment tool (Stripe, Polar): the newest payments of all its accounts or of the
// picked one, the sentences of failing accounts, the account picker, and the page of an opened
// payment.
class PaymentsCard : public KitFacedCard {
    Q_OBJECT
public:
    PaymentsCard(KitService service, DevKitStore& kit, Scheduler& clock, QWidget* parent = nullptr);

    // The section word, or the picked account's name.
    static QString title(KitService service, const DevKitStore& kit);
    // One sentence per failing account (of the picked one only when an account is picked); an
    // account's name leads it when the tool has several.
    static QStringList failures(KitService service, const DevKitStore& kit);
    // "No payments yet." or "No sales yet."
    static QString emptyNote(KitService service);

    PaymentDetailView* detailView() const;

    void sync() override;

private:
    void syncList();
    QWidget* makeRow(const Payment& payment);

    Scheduler& m_clock;
    std::optional<std::pair<QList<Payment>, QStringList>> m_shown;
};

} // namespace brenvo
