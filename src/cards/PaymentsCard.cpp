#include "cards/PaymentsCard.h"

#include "app/core/PreferencesStore.h"
#include "cards/CardActions.h"
#include "cards/KitCard.h"
#include "cards/KitDetailHeader.h"
#include "cards/KitFont.h"
#include "cards/KitIndicators.h"
#include "cards/KitLine.h"
#include "cards/KitPalette.h"
#include "cards/KitRows.h"
#include "cards/PaymentAmount.h"
#include "cards/PaymentDetailView.h"
#include "model/KitText.h"
#include "store/DevKitStore.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace brenvo {

PaymentsCard::PaymentsCard(KitService service, DevKitStore& kit, Scheduler& clock, QWidget* parent)
    : KitFacedCard(service, kit, parent)
    , m_clock(clock)
{
    const auto resync = [this] { sync(); };
    connect(&kit, &DevKitStore::inspectedPaymentChanged, this, resync);
    connect(&kit, &DevKitStore::pickingChanged, this, resync);
    connect(&kit, &DevKitStore::snapshotChanged, this, resync);
    connect(&kit, &DevKitStore::accountConnectionsChanged, this, resync);
    connect(&kit, &DevKitStore::accountInfoChanged, this, resync);
    connect(&kit, &DevKitStore::projectIconsChanged, this, resync);
    connect(&kit.preferences(), &PreferencesStore::checkIntervalsChanged, this, resync);
    connect(&kit.preferences(), &PreferencesStore::selectedProjectsChanged, this, resync);
    connect(&kit.preferences(), &PreferencesStore::paymentAccountsChanged, this, resync);
    sync();
}

QString PaymentsCard::title(KitService service, const DevKitStore& kit)
{
    if (const auto picked = kit.selectedProject(service))
        return picked->name;
    return service.section();
}

QString PaymentsCard::emptyNote(KitService service)
{
    return QStringLiteral("No ") + service.section().toLower() + QStringLiteral(" yet.");
}

QStringList PaymentsCard::failures(KitService service, const DevKitStore& kit)
{
    const QList<PaymentAccount> accounts = kit.paymentAccounts(service);
    const auto picked = kit.selectedProject(service);
    QStringList sentences;
    for (const PaymentAccount& account : accounts) {
        if (picked && picked->id != account.id)
            continue;
        QString sentence;
        if (account.connection.kind() == KitConnection::Kind::failing)
            sentence = account.connection.reason();
        else if (account.connection.kind() == KitConnection::Kind::rejected)
            sentence = rejectedText(service);
        else
            continue;
        sentences << (accounts.size() > 1 ? account.name + QStringLiteral(": ") + sentence : sentence);
    }
    return sentences;
}

PaymentDetailView* PaymentsCard::detailView() const
{
    return qobject_cast<PaymentDetailView*>(page());
}

void PaymentsCard::sync()
{
    const auto& open = m_kit.inspectedPayment();
    if (open && open->service == service()) {
        PaymentDetailView* shown = detailView();
        if (shown && shown->inspection().payment.id == open->payment.id
            && shown->inspection().payment.accountID == open->payment.accountID) {
            shown->setInspection(*open);
            return;
        }
        auto* detail = new PaymentDetailView(*open, m_clock);
        connect(detail, &PaymentDetailView::goBack, this, [this] { closeOpenFaces(m_kit); });
        showPage(detail);
        return;
    }
    if (showPickerWhilePicking())
        return;
    if (showList())
        m_shown.reset();
    syncList();
}

void PaymentsCard::syncList()
{
    QImage icon;
    if (const auto picked = m_kit.selectedProject(service()))
        icon = m_kit.projectIcons().value(service()).value(picked->id);
    list()->setHeader(
        listHeader(title(service(), m_kit), intervalText(m_kit.preferences(), service()), icon));

    const QList<Payment> payments = m_kit.payments(service());
    const QStringList sentences = failures(service(), m_kit);
    const std::pair<QList<Payment>, QStringList> shown {payments, sentences};
    if (m_shown && *m_shown == shown)
        return;
    m_shown = shown;

    if (payments.isEmpty() && sentences.isEmpty()) {
        setListContent(new KitCenteredNote(emptyNote(service())), nullptr);
        return;
    }
    auto* content = new QWidget();
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    for (const QString& sentence : sentences)
        column->addWidget(makeWrappingLabel(sentence, kitFont(11), KitPalette::red()));
    KitRows* stack = nullptr;
    if (payments.isEmpty()) {
        column->addWidget(new KitCenteredNote(emptyNote(service())), 1);
    } else {
        stack = new KitRows(10);
        for (const Payment& payment : payments)
            stack->addRow(makeRow(payment));
        column->addWidget(stack);
        column->addStretch(1);
    }
    setListContent(content, stack);
}

QWidget* PaymentsCard::makeRow(const Payment& payment)
{
    const QColor colour = PaymentDetailView::stateColour(payment.state);
    const QString title = PaymentDetailView::title(payment);
    QString second;
    if (payment.description && *payment.description != title)
        second = *payment.description;
    else if (payment.method)
        second = *payment.method;

    auto* trailing = new QVBoxLayout();
    trailing->setContentsMargins(0, 0, 0, 0);
    trailing->setSpacing(2);
    trailing->addWidget(new PaymentAmount(payment, kitFont(12.5, QFont::Medium)), 0, Qt::AlignRight);
    auto* stateLine = new QHBoxLayout();
    stateLine->setContentsMargins(0, 0, 0, 0);
    stateLine->setSpacing(5);
    auto* word = new KitLine(PaymentDetailView::stateWord(payment.state), kitFont(11, QFont::Medium), colour);
    word->setKeepsWidth(true);
    stateLine->addWidget(word);
    stateLine->addWidget(new AgeLabel(payment.date, m_clock));
    trailing->addLayout(stateLine);
    trailing->setAlignment(stateLine, Qt::AlignRight);
    trailing->addStretch(1);

    const Payment opened = payment;
    auto* button = new KitRowButton(
        rowLabel(colour, title, second, trailing), [this, opened] { m_kit.inspect(opened, service()); });
    button->setAccessibleName(title);
    return button;
}

} // namespace brenvo
