#pragma once

#include "model/KitService.h"
#include "model/Payment.h"
#include "store/PaymentAccount.h"

#include <QWidget>

#include <optional>

namespace brenvo {

class DevKitStore;
class KitCard;
class KitFaceStack;
class KitProjectPicker;
class KitRows;
class PaymentDetailView;
class Scheduler;

// The card of a payment tool (Stripe, Polar): the newest payments of all its accounts or of the
// picked one, the sentences of failing accounts, the account picker, and the page of an opened
// payment.
class PaymentsCard : public QWidget {
    Q_OBJECT
public:
    enum class Face { list, picker, detail };

    PaymentsCard(KitService service, DevKitStore& kit, Scheduler& clock, QWidget* parent = nullptr);

    KitService service() const { return m_service; }

    // The section word, or the picked account's name.
    static QString title(KitService service, const DevKitStore& kit);
    // One sentence per failing account (of the picked one only when an account is picked); an
    // account's name leads it when the tool has several.
    static QStringList failures(KitService service, const DevKitStore& kit);
    // "No payments yet." or "No sales yet."
    static QString emptyNote(KitService service);

    Face face() const { return m_face; }
    KitFaceStack* faces() const { return m_faces; }
    KitCard* list() const { return m_list; }
    KitRows* rows() const { return m_rows; }
    PaymentDetailView* detailView() const { return m_detail; }
    KitProjectPicker* picker() const { return m_picker; }

    void sync();

private:
    void showList();
    void syncList();
    QWidget* makeRow(const Payment& payment);

    KitService m_service;
    DevKitStore& m_kit;
    Scheduler& m_clock;
    KitFaceStack* m_faces;
    Face m_face = Face::list;
    KitCard* m_list = nullptr;
    KitRows* m_rows = nullptr;
    PaymentDetailView* m_detail = nullptr;
    KitProjectPicker* m_picker = nullptr;
    std::optional<std::pair<QList<Payment>, QStringList>> m_shown;
};

} // namespace brenvo
