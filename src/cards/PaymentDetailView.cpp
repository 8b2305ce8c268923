#include "cards/PaymentDetailView.h"

#include "cards/CardActions.h"
#include "cards/KitDetailHeader.h"
#include "cards/KitFont.h"
#include "cards/KitLine.h"
#include "cards/KitPalette.h"
#include "cards/KitRows.h"
#include "cards/OpenInBrowser.h"
#include "cards/PaymentAmount.h"
#include "model/KitText.h"
#include "model/Scheduler.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace brenvo {

PaymentDetailView::PaymentDetailView(PaymentInspection inspection, Scheduler& clock, QWidget* parent)
    : QWidget(parent)
    , m_inspection(std::move(inspection))
    , m_clock(clock)
    , m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_header = new KitDetailHeader(QString(), QString(), QString(), QColor());
    connect(m_header, &KitDetailHeader::goBack, this, &PaymentDetailView::goBack);
    m_layout->addWidget(m_header);
    m_layout->addSpacing(14);
    m_layout->addStretch(1);
    auto* actions = new QHBoxLayout();
    actions->setContentsMargins(0, 0, 0, 0);
    m_openButton = new KitTextButton(QStringLiteral("Open in ") + m_inspection.service.title());
    connect(m_openButton, &QAbstractButton::clicked, this, [this] {
        if (m_inspection.payment.url)
            openInBrowser(*m_inspection.payment.url);
    });
    actions->addWidget(m_openButton);
    actions->addStretch(1);
    m_layout->addLayout(actions);
    sync();
}

void PaymentDetailView::setInspection(PaymentInspection inspection)
{
    if (inspection == m_inspection)
        return;
    m_inspection = std::move(inspection);
    sync();
}

QString PaymentDetailView::stateWord(Payment::State state)
{
    switch (state) {
    case Payment::State::succeeded:
        return QStringLiteral("Paid");
    case Payment::State::pending:
        return QStringLiteral("Pending");
    case Payment::State::failed:
        return QStringLiteral("Failed");
    case Payment::State::refunded:
        return QStringLiteral("Refunded");
    case Payment::State::disputed:
        return QStringLiteral("Disputed");
    }
    return QString();
}

QColor PaymentDetailView::stateColour(Payment::State state)
{
    switch (state) {
    case Payment::State::succeeded:
        return KitPalette::green();
    case Payment::State::pending:
        return KitPalette::orange();
    case Payment::State::failed:
    case Payment::State::disputed:
        return KitPalette::red();
    case Payment::State::refunded:
        return KitPalette::gray();
    }
    return KitPalette::gray();
}

QString PaymentDetailView::title(const Payment& payment)
{
    for (const auto& candidate : {payment.customerName, payment.customerEmail, payment.description}) {
        if (candidate && !candidate->trimmed().isEmpty())
            return *candidate;
    }
    return QStringLiteral("Payment");
}

QList<std::pair<QString, QString>> PaymentDetailView::facts(const Payment& payment)
{
    QList<std::pair<QString, QString>> facts;
    const auto add = [&facts](const char* label, const std::optional<QString>& value) {
        if (value && !value->isEmpty())
            facts.append({QString::fromLatin1(label), *value});
    };
    add("Customer", payment.customerName);
    add("Email", payment.customerEmail);
    add("Country", payment.country);
    add("For", payment.description);
    add("Method", payment.method);
    add("Note", payment.note);
    add("Reference", payment.reference);
    return facts;
}

void PaymentDetailView::sync()
{
    const Payment& payment = m_inspection.payment;
    m_header->setTitle(title(payment));
    Scheduler& clock = m_clock;
    m_header->detailLine()->setLiveText(
        [payment, &clock] {
            return PaymentAmount::text(payment) + middleDot() + ageText(payment.date, clock.wallNow());
        },
        m_clock);
    m_header->setState(stateWord(payment.state), stateColour(payment.state));

    if (m_facts) {
        m_layout->removeWidget(m_facts);
        m_facts->hide();
        m_facts->deleteLater();
    }
    m_facts = new QWidget();
    auto* grid = new QGridLayout(m_facts);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(6);
    int row = 0;
    for (const auto& [label, value] : facts(payment)) {
        auto* name = new KitLine(label, kitFont(11), KitPalette::secondary());
        name->setKeepsWidth(true);
        grid->addWidget(name, row, 0, Qt::AlignLeft | Qt::AlignTop);
        if (label == QLatin1String("Note"))
            grid->addWidget(makeWrappingLabel(value, kitFont(11.5), QColor()), row, 1);
        else
            grid->addWidget(new KitLine(value, kitFont(11.5)), row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    // After the header and its spacing.
    m_layout->insertWidget(2, m_facts);
    m_openButton->setVisible(payment.url.has_value());
}

} // namespace brenvo
