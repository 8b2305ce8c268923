#include "cards/PaymentsCard.h"

#include "app/core/PreferencesStore.h"
#include "cards/CardActions.h"
#include "cards/KitCard.h"
#include "cards/KitDetailHeader.h"
#include "cards/KitFaceStack.h"
#include "cards/KitFont.h"
#include "cards/KitIndicators.h"
#include "cards/KitLine.h"
#include "cards/KitPalette.h"
#include "cards/KitProjectPicker.h"
#include "cards/KitRows.h"
#include "cards/PaymentAmount.h"
#include "cards/PaymentDetailView.h"
#include "http/ServiceFailure.h"
#include "store/DevKitStore.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace brenvo {

PaymentsCard::PaymentsCard(KitService service, DevKitStore& kit, Scheduler& clock, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_kit(kit)
    , m_clock(clock)
    , m_faces(new KitFaceStack(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_faces);
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
            sentence = DevKitStore::failureText(std::make_exception_ptr(ServiceFailure::rejected()), service);
        else
            continue;
        sentences << (accounts.size() > 1 ? account.name + QStringLiteral(": ") + sentence : sentence);
    }
    return sentences;
}

void PaymentsCard::sync()
{
    const auto& open = m_kit.inspectedPayment();
    if (open && open->service == m_service) {
        if (m_face == Face::detail && m_detail && m_detail->inspection().payment.id == open->payment.id
            && m_detail->inspection().payment.accountID == open->payment.accountID) {
            m_detail->setInspection(*open);
            return;
        }
        m_detail = new PaymentDetailView(*open, m_clock);
        connect(m_detail, &PaymentDetailView::goBack, this, [this] { closeOpenFaces(m_kit); });
        m_list = nullptr;
        m_rows = nullptr;
        m_picker = nullptr;
        m_face = Face::detail;
        m_faces->setFace(m_detail, KitFaceStack::slide);
        return;
    }
    if (m_kit.picking() == m_service) {
        if (m_face == Face::picker && m_picker)
            return;
        m_picker = new KitProjectPicker(m_service, m_kit);
        m_list = nullptr;
        m_rows = nullptr;
        m_detail = nullptr;
        m_face = Face::picker;
        m_faces->setFace(m_picker, KitFaceStack::slide);
        return;
    }
    if (m_face != Face::list || !m_list)
        showList();
    syncList();
}

void PaymentsCard::showList()
{
    m_detail = nullptr;
    m_picker = nullptr;
    m_shown.reset();
    m_list = new KitCard(m_service, KitCard::Header {}, nullptr);
    m_rows = nullptr;
    m_face = Face::list;
    m_faces->setFace(m_list, -KitFaceStack::slide);
}

void PaymentsCard::syncList()
{
    KitCard::Header frame;
    frame.title = title(m_service, m_kit);
    frame.detail = intervalText(m_kit.preferences(), m_service);
    if (const auto picked = m_kit.selectedProject(m_service))
        frame.icon = m_kit.projectIcons().value(m_service).value(picked->id);
    frame.source = m_service.title();
    frame.dividesHeader = true;
    if (!m_kit.projects(m_service).isEmpty())
        frame.choose = [this] { m_kit.pickProject(m_service); };
    m_list->setHeader(frame);

    const QList<Payment> payments = m_kit.payments(m_service);
    const QStringList sentences = failures(m_service, m_kit);
    const std::pair<QList<Payment>, QStringList> shown {payments, sentences};
    if (m_shown && *m_shown == shown)
        return;
    m_shown = shown;

    if (payments.isEmpty() && sentences.isEmpty()) {
        m_rows = nullptr;
        m_list->setContent(new KitCenteredNote(emptyNote(m_service)));
        return;
    }
    auto* content = new QWidget();
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    for (const QString& sentence : sentences)
        column->addWidget(makeWrappingLabel(sentence, kitFont(11), KitPalette::red()));
    if (payments.isEmpty()) {
        m_rows = nullptr;
        column->addWidget(new KitCenteredNote(emptyNote(m_service)), 1);
    } else {
        m_rows = new KitRows(10);
        for (const Payment& payment : payments)
            m_rows->addRow(makeRow(payment));
        column->addWidget(m_rows);
        column->addStretch(1);
    }
    m_list->setContent(content);
}

QWidget* PaymentsCard::makeRow(const Payment& payment)
{
    const QColor colour = PaymentDetailView::stateColour(payment.state);
    auto* label = new QWidget();
    auto* line = new QHBoxLayout(label);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(9);
    auto* dotBox = new QVBoxLayout();
    dotBox->setContentsMargins(0, 5, 0, 0);
    dotBox->addWidget(new SignalDot(colour, 6));
    dotBox->addStretch(1);
    line->addLayout(dotBox);

    auto* texts = new QVBoxLayout();
    texts->setContentsMargins(0, 0, 0, 0);
    texts->setSpacing(2);
    const QString title = PaymentDetailView::title(payment);
    texts->addWidget(new KitLine(title, kitFont(12.5, QFont::Medium)));
    QStringList second;
    if (payment.description && *payment.description != title)
        second << *payment.description;
    else if (payment.method)
        second << *payment.method;
    texts->addWidget(new KitLine(second.join(middleDot()), kitFont(11), KitPalette::secondary()));
    line->addLayout(texts, 1);
    line->addSpacing(8);

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
    line->addLayout(trailing);

    const Payment opened = payment;
    auto* button = new KitRowButton(label, [this, opened] { m_kit.inspect(opened, m_service); });
    button->setAccessibleName(title);
    return button;
}

} // namespace brenvo
