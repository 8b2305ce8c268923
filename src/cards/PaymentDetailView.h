#pragma once

#include "model/Payment.h"

#include <QColor>
#include <QDateTime>
#include <QWidget>

#include <optional>

class QVBoxLayout;

namespace brenvo {

class KitDetailHeader;
class KitTextButton;
class Scheduler;

// The page of one opened payment: who paid, how, and a link to it on the tool's dashboard.
class PaymentDetailView : public QWidget {
    Q_OBJECT
public:
    PaymentDetailView(PaymentInspection inspection, Scheduler& clock, QWidget* parent = nullptr);

    const PaymentInspection& inspection() const { return m_inspection; }
    void setInspection(PaymentInspection inspection);

    // The payment's state as a word and a colour, read like the tile's signal: succeeded green,
    // pending orange, failed and disputed red, refunded gray.
    static QString stateWord(Payment::State state);
    static QColor stateColour(Payment::State state);
    // The customer's name, else the e-mail address, else what was bought, else "Payment".
    static QString title(const Payment& payment);
    // The facts shown, as label and value, the absent ones left out.
    static QList<std::pair<QString, QString>> facts(const Payment& payment);

    KitDetailHeader* header() const { return m_header; }
    KitTextButton* openButton() const { return m_openButton; }

Q_SIGNALS:
    void goBack();

private:
    void sync();

    PaymentInspection m_inspection;
    Scheduler& m_clock;
    KitDetailHeader* m_header;
    QWidget* m_facts = nullptr;
    QVBoxLayout* m_layout;
    KitTextButton* m_openButton;
};

} // namespace brenvo
