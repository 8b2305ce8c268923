#include "cards/DeploymentDetailView.h"

#include "cards/ButtonStyles.h"
#include "cards/DeploymentDetailPieces.h"
#include "cards/KitDetailHeader.h"
#include "cards/KitFont.h"
#include "cards/KitIndicators.h"
#include "cards/KitLine.h"
#include "cards/KitPalette.h"
#include "cards/KitRows.h"
#include "cards/KitScrollArea.h"
#include "cards/OpenInBrowser.h"
#include "model/KitText.h"
#include "model/Scheduler.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <cmath>

namespace brenvo {

namespace {

const QString dot = QStringLiteral(" \u00B7 ");

QWidget* column(int spacing, QMargins margins = {})
{
    auto* w = new QWidget();
    auto* layout = new QVBoxLayout(w);
    layout->setContentsMargins(margins);
    layout->setSpacing(spacing);
    return w;
}

} // namespace

DeploymentDetailView::DeploymentDetailView(DeploymentInspection inspection, Scheduler& clock, QWidget* parent)
    : QWidget(parent)
    , m_inspection(std::move(inspection))
    , m_clock(clock)
    , m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);

    m_header = new KitDetailHeader(QString(), QString(), QString(), QColor());
    connect(m_header, &KitDetailHeader::goBack, this, &DeploymentDetailView::goBack);
    m_layout->addWidget(m_header);

    m_actions = new QWidget();
    m_actionsLayout = new QVBoxLayout(m_actions);
    m_actionsLayout->setContentsMargins(0, 0, 0, 0);
    m_actionsLayout->setSpacing(6);
    m_failureMessage = makeWrappingLabel(QString(), kitFont(11), KitPalette::red());
    m_actionsLayout->addWidget(m_failureMessage);
    m_actionRow = new QHBoxLayout();
    m_actionRow->setContentsMargins(0, 0, 0, 0);
    m_actionRow->setSpacing(8);
    m_openButton = new KitTextButton(QStringLiteral("Open in ") + m_inspection.service.title());
    connect(m_openButton, &QAbstractButton::clicked, this, [this] {
        if (m_inspection.deployment.url)
            openInBrowser(*m_inspection.deployment.url);
    });
    m_actionRow->addWidget(m_openButton);
    m_actionRow->addStretch(1);
    m_actionsLayout->addLayout(m_actionRow);
    m_layout->addWidget(m_actions);

    syncHeader();
    syncMiddle();
    syncActions();
}

void DeploymentDetailView::setInspection(DeploymentInspection inspection)
{
    if (inspection == m_inspection)
        return;
    m_inspection = std::move(inspection);
    syncHeader();
    syncMiddle();
    syncActions();
}

QString DeploymentDetailView::title(const Deployment& deployment)
{
    return deployment.message.isEmpty() ? deployment.shortID() : deployment.message;
}

QString DeploymentDetailView::detail(const Deployment& deployment, const QDateTime& now)
{
    const QString subtitle = deployment.subtitle();
    const QString age = ageText(deployment.date, now);
    if (subtitle.isEmpty())
        return age;
    return subtitle + dot + age;
}

QColor DeploymentDetailView::stateColour(Deployment::State state)
{
    switch (state) {
    case Deployment::State::ready:
        return KitPalette::green();
    case Deployment::State::building:
        return KitPalette::orange();
    case Deployment::State::failed:
        return KitPalette::red();
    case Deployment::State::canceled:
        return KitPalette::gray();
    }
    return KitPalette::gray();
}

bool DeploymentDetailView::canRedeploy(const DeploymentInspection& inspection)
{
    if (inspection.details)
        return inspection.details->canRedeploy;
    return inspection.service == KitService::vercel;
}

bool DeploymentDetailView::offersRedeploy(const DeploymentInspection& inspection)
{
    const auto kind = inspection.redeploy.kind();
    if (kind != DeploymentInspection::Redeploy::Kind::idle
        && kind != DeploymentInspection::Redeploy::Kind::failed)
        return false;
    return inspection.deployment.state != Deployment::State::building && canRedeploy(inspection);
}

std::optional<QUrl> DeploymentDetailView::liveURL(const DeploymentDetails& details)
{
    if (details.domains.isEmpty())
        return std::nullopt;
    const QUrl url(QStringLiteral("https://") + details.domains.first(), QUrl::StrictMode);
    if (!isWebAddress(url))
        return std::nullopt;
    return url;
}

std::optional<QString> DeploymentDetailView::buildLine(const DeploymentDetails& details)
{
    QStringList parts;
    if (const auto duration = elapsedText(details.buildDuration))
        parts << QStringLiteral("Built in ") + *duration;
    if (details.creator)
        parts << QStringLiteral("by ") + *details.creator;
    if (parts.isEmpty())
        return std::nullopt;
    return parts.join(u' ');
}

std::optional<QString> DeploymentDetailView::statusSentence(const DeploymentInspection& inspection)
{
    if (!inspection.details)
        return inspection.service.title() + QStringLiteral(" did not give its details.");
    switch (inspection.deployment.state) {
    case Deployment::State::building:
        return buildingSentence(inspection.service);
    case Deployment::State::canceled:
        if (inspection.deployment.stateNote)
            return *inspection.deployment.stateNote + u'.';
        return QStringLiteral("This was canceled.");
    case Deployment::State::ready:
    case Deployment::State::failed:
        break;
    }
    return std::nullopt;
}

void DeploymentDetailView::syncHeader()
{
    const Deployment& row = m_inspection.deployment;
    m_header->setTitle(title(row));
    Scheduler& clock = m_clock;
    m_header->detailLine()->setLiveText([row, &clock] { return detail(row, clock.wallNow()); }, m_clock);
    m_header->setState(row.stateWord(m_inspection.service), stateColour(row.state));
}

QWidget* DeploymentDetailView::buildChecksContent()
{
    const DeploymentDetails& details = *m_inspection.details;
    QWidget* content = column(8);
    auto* layout = static_cast<QVBoxLayout*>(content->layout());
    if (details.errorMessage)
        layout->addWidget(
            makeWrappingLabel(*details.errorMessage, kitFont(11.5, QFont::Medium), KitPalette::red()));
    if (const auto live = liveURL(details))
        layout->addWidget(new LiveLink(details.domains.first(), *live));
    auto* rows = new KitRows(8);
    for (const DeploymentCheck& check : details.checks) {
        auto* line = new QWidget();
        auto* row = new QHBoxLayout(line);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(8);
        row->addWidget(new SignalDot(stateColour(check.state), 6), 0, Qt::AlignVCenter);
        auto* texts = new KitPairLine();
        texts->setGap(6);
        texts->setLeading(check.name, kitFont(11.5, QFont::Medium), QColor());
        texts->setTrailing(check.note.value_or(checkWord(check.state, m_inspection.service)), kitFont(11),
            check.state == Deployment::State::failed ? KitPalette::red() : KitPalette::secondary());
        row->addWidget(texts, 1);
        if (check.url) {
            const QUrl url = *check.url;
            rows->addRow(new KitRowButton(line, [url] { openInBrowser(url); }));
        } else {
            // As high as a row with a link: the same half spacing above and below.
            line->layout()->setContentsMargins(0, 4, 0, 4);
            rows->addRow(line);
        }
    }
    layout->addWidget(rows);
    layout->addStretch(1);
    return content;
}

QWidget* DeploymentDetailView::buildStatus()
{
    const DeploymentInspection& in = m_inspection;
    if (const auto sentence = statusSentence(in))
        return makeWrappingLabel(*sentence, kitFont(11.5), KitPalette::secondary());
    const DeploymentDetails& details = *in.details;
    if (in.deployment.state == Deployment::State::failed)
        return new FailureBox(details);
    QWidget* notes = column(6);
    auto* layout = static_cast<QVBoxLayout*>(notes->layout());
    if (const auto live = liveURL(details))
        layout->addWidget(new LiveLink(details.domains.first(), *live));
    if (const auto build = buildLine(details)) {
        auto* line = new KitLine(*build, kitFont(11.5), KitPalette::secondary());
        line->setElideMode(Qt::ElideMiddle);
        layout->addWidget(line);
    }
    if (details.summary)
        layout->addWidget(makeWrappingLabel(*details.summary, kitFont(11.5), KitPalette::secondary()));
    return notes;
}

void DeploymentDetailView::syncMiddle()
{
    const MiddleInputs inputs {m_inspection.isLoading, m_inspection.details, m_inspection.deployment.state,
        m_inspection.deployment.stateNote};
    if (m_middleInputs && *m_middleInputs == inputs)
        return;
    m_middleInputs = inputs;

    Middle next = Middle::status;
    if (m_inspection.isLoading)
        next = Middle::loading;
    else if (m_inspection.details && !m_inspection.details->checks.isEmpty())
        next = Middle::checks;

    if (next == Middle::checks && m_middle == Middle::checks && m_checksArea) {
        // The same list with new checks: the scroll area, and where it stands, are kept.
        const int position = m_checksArea->verticalScrollBar()->value();
        QWidget* old = m_checksArea->takeWidget();
        if (old)
            old->deleteLater();
        m_checksArea->setWidget(buildChecksContent());
        m_checksArea->widget()->setAutoFillBackground(false);
        m_checksArea->widget()->adjustSize();
        m_checksArea->verticalScrollBar()->setValue(position);
        return;
    }

    if (m_middleWidget) {
        m_layout->removeWidget(m_middleWidget);
        m_middleWidget->hide();
        m_middleWidget->deleteLater();
    }
    m_checksArea = nullptr;
    m_middle = next;
    switch (next) {
    case Middle::loading: {
        auto* box = new QWidget();
        auto* layout = new QVBoxLayout(box);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(new Spinner(), 0, Qt::AlignCenter);
        box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        m_middleWidget = box;
        break;
    }
    case Middle::checks: {
        auto* box = new QWidget();
        auto* layout = new QVBoxLayout(box);
        layout->setContentsMargins(0, 12, 0, 10);
        m_checksArea = new KitScrollArea(buildChecksContent());
        layout->addWidget(m_checksArea);
        box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        m_middleWidget = box;
        break;
    }
    case Middle::status: {
        auto* box = new QWidget();
        auto* layout = new QVBoxLayout(box);
        layout->setContentsMargins(0, 14, 0, 0);
        layout->setSpacing(0);
        layout->addWidget(buildStatus());
        layout->addSpacing(12);
        layout->addStretch(1);
        m_middleWidget = box;
        break;
    }
    }
    m_layout->insertWidget(1, m_middleWidget, 1);
}

void DeploymentDetailView::syncActions()
{
    const bool failed = m_inspection.redeploy.kind() == DeploymentInspection::Redeploy::Kind::failed;
    static_cast<KitClampedText*>(m_failureMessage)->setFullText(m_inspection.redeploy.message());
    m_failureMessage->setVisible(failed);
    m_openButton->setVisible(m_inspection.deployment.url.has_value());
    syncRedeployControl();
}

void DeploymentDetailView::syncRedeployControl()
{
    const auto kind = m_inspection.redeploy.kind();
    const bool offered = offersRedeploy(m_inspection);
    const std::tuple<int, bool, bool> inputs {int(kind), offered, m_isAskingToRedeploy};
    if (m_controlInputs && *m_controlInputs == inputs)
        return;
    m_controlInputs = inputs;
    for (QWidget* old : {static_cast<QWidget*>(m_redeployButton), static_cast<QWidget*>(m_redeployNote)}) {
        if (old) {
            m_actionRow->removeWidget(old);
            old->hide();
            old->deleteLater();
        }
    }
    m_redeployButton = nullptr;
    m_redeployNote = nullptr;
    const KitService service = m_inspection.service;
    if (kind == DeploymentInspection::Redeploy::Kind::started) {
        m_redeployNote
            = new KitLine(redeployStartedText(service), kitFont(11.5, QFont::Medium), KitPalette::green());
    } else if (kind == DeploymentInspection::Redeploy::Kind::starting) {
        m_redeployNote
            = new KitLine(QStringLiteral("Starting") + QChar(0x2026), kitFont(11.5), KitPalette::secondary());
    } else if (offered) {
        m_redeployButton
            = new QPushButton(m_isAskingToRedeploy ? confirmTitle(service) : redeployTitle(service));
        KitButtonStyle::apply(m_redeployButton,
            m_isAskingToRedeploy ? KitButtonStyle::Kind::confirming : KitButtonStyle::Kind::prominent);
        connect(m_redeployButton, &QPushButton::clicked, this, [this] {
            if (m_isAskingToRedeploy)
                confirmRedeploy();
            else
                askToRedeploy();
        });
    }
    if (m_redeployNote) {
        m_redeployNote->setKeepsWidth(true);
        m_actionRow->addWidget(m_redeployNote);
    }
    if (m_redeployButton)
        m_actionRow->addWidget(m_redeployButton);
}

void DeploymentDetailView::setAsking(bool asking)
{
    if (asking == m_isAskingToRedeploy)
        return;
    m_isAskingToRedeploy = asking;
    // Each change of the flag cancels the pending lapse and starts a new one when armed.
    const quint64 generation = ++m_lapseGeneration;
    if (asking) {
        QPointer<DeploymentDetailView> self(this);
        m_clock.after(seconds(confirmationSeconds), this, [self, generation] {
            if (self && self->m_lapseGeneration == generation)
                self->setAsking(false);
        });
    }
    syncRedeployControl();
}

void DeploymentDetailView::askToRedeploy()
{
    setAsking(true);
}

void DeploymentDetailView::confirmRedeploy()
{
    setAsking(false);
    Q_EMIT redeploy();
}

} // namespace brenvo
