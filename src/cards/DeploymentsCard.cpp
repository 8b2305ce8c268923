#include "cards/DeploymentsCard.h"

#include "app/core/PreferencesStore.h"
#include "cards/CardActions.h"
#include "cards/DeploymentDetailView.h"
#include "cards/KitCard.h"
#include "cards/KitDetailHeader.h"
#include "cards/KitFaceStack.h"
#include "cards/KitFont.h"
#include "cards/KitIndicators.h"
#include "cards/KitLine.h"
#include "cards/KitPalette.h"
#include "cards/KitProjectPicker.h"
#include "cards/KitRows.h"
#include "store/DevKitStore.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace brenvo {

namespace {

QString projectNoun(KitService service)
{
    return service == KitService::github ? QStringLiteral("repositories") : QStringLiteral("projects");
}

// The last part of a name split on "/", empty parts dropped; the whole name when nothing is left.
QString lastComponent(const QString& name)
{
    const QStringList parts = name.split(u'/', Qt::SkipEmptyParts);
    return parts.isEmpty() ? name : parts.last();
}

QImage projectIcon(const DevKitStore& kit, KitService service, const QString& project)
{
    return kit.projectIcons().value(service).value(project);
}

} // namespace

DeploymentsCard::DeploymentsCard(KitService service, DevKitStore& kit, Scheduler& clock, QWidget* parent)
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
    connect(&kit, &DevKitStore::inspectionChanged, this, resync);
    connect(&kit, &DevKitStore::pickingChanged, this, resync);
    connect(&kit, &DevKitStore::snapshotChanged, this, resync);
    connect(&kit, &DevKitStore::connectionsChanged, this, resync);
    connect(&kit, &DevKitStore::listedProjectsChanged, this, resync);
    connect(&kit, &DevKitStore::projectIconsChanged, this, resync);
    connect(&kit, &DevKitStore::accountIconsChanged, this, resync);
    connect(&kit.preferences(), &PreferencesStore::checkIntervalsChanged, this, resync);
    connect(&kit.preferences(), &PreferencesStore::selectedProjectsChanged, this, resync);
    sync();
}

QStringList DeploymentsCard::projectNames(const QList<Deployment>& rows)
{
    QStringList names;
    for (const Deployment& row : rows) {
        if (!names.contains(row.project))
            names << row.project;
    }
    return names;
}

DeploymentsCard::Header DeploymentsCard::header(KitService service, const DevKitStore& kit)
{
    const QString interval = intervalText(kit.preferences(), service);
    const QString section = service.section();
    if (kit.projects(service).isEmpty()) {
        const QStringList names = projectNames(kit.deployments(service));
        if (names.size() == 1)
            return {names.first(), interval + middleDot() + section, projectIcon(kit, service, names.first()),
                false};
        if (names.isEmpty())
            return {section, interval, QImage(), true};
        return {section, interval + middleDot() + QString::number(names.size()) + u' ' + projectNoun(service),
            QImage(), true};
    }
    if (const auto picked = kit.selectedProject(service)) {
        const QString title = lastComponent(picked->name);
        return {title, interval + middleDot() + section, projectIcon(kit, service, title), false};
    }
    const auto account = kit.connection(service).account();
    return {account.value_or(section), interval + middleDot() + QStringLiteral("All ") + projectNoun(service),
        kit.accountIcons().value(service), true};
}

QString DeploymentsCard::rowTitle(const Deployment& row)
{
    return row.message.isEmpty() ? row.shortID() : row.message;
}

QString DeploymentsCard::secondLine(const Deployment& row, bool spansProjects)
{
    QStringList parts;
    if (spansProjects)
        parts << row.project;
    const QString subtitle = row.subtitle();
    if (!subtitle.isEmpty())
        parts << subtitle;
    return parts.join(middleDot());
}

std::optional<DeploymentInspection> DeploymentsCard::inspection() const
{
    const auto& open = m_kit.inspection();
    if (open && open->service == m_service)
        return open;
    return std::nullopt;
}

void DeploymentsCard::sync()
{
    if (const auto open = inspection()) {
        if (m_face == Face::detail && m_detail
            && m_detail->inspection().deployment.id == open->deployment.id) {
            m_detail->setInspection(*open);
            return;
        }
        // A new row makes a new page: its redeploy button starts unarmed.
        auto* detail = new DeploymentDetailView(*open, m_clock);
        connect(detail, &DeploymentDetailView::goBack, this, [this] { closeOpenFaces(m_kit); });
        connect(detail, &DeploymentDetailView::redeploy, this, [this] { runDetached(m_kit.redeploy()); });
        m_detail = detail;
        m_picker = nullptr;
        m_list = nullptr;
        m_rows = nullptr;
        m_face = Face::detail;
        m_faces->setFace(detail, KitFaceStack::slide);
        return;
    }
    if (m_kit.picking() == m_service) {
        if (m_face == Face::picker && m_picker)
            return; // the picker follows the store by itself
        m_picker = new KitProjectPicker(m_service, m_kit);
        m_detail = nullptr;
        m_list = nullptr;
        m_rows = nullptr;
        m_face = Face::picker;
        m_faces->setFace(m_picker, KitFaceStack::slide);
        return;
    }
    if (m_face != Face::list || !m_list)
        showList();
    syncList();
}

void DeploymentsCard::showList()
{
    m_detail = nullptr;
    m_picker = nullptr;
    m_shownRows.reset();
    m_list = new KitCard(m_service, KitCard::Header {}, nullptr);
    m_rows = nullptr;
    m_face = Face::list;
    m_faces->setFace(m_list, -KitFaceStack::slide);
}

void DeploymentsCard::syncList()
{
    const Header h = header(m_service, m_kit);
    KitCard::Header frame;
    frame.title = h.title;
    frame.detail = h.detail;
    frame.icon = h.icon;
    frame.source = m_service.title();
    frame.dividesHeader = true;
    if (!m_kit.projects(m_service).isEmpty())
        frame.choose = [this] { m_kit.pickProject(m_service); };
    m_list->setHeader(frame);

    const QList<Deployment> rows = m_kit.deployments(m_service);
    const std::pair<QList<Deployment>, bool> shown {rows, h.spansProjects};
    if (m_shownRows && *m_shownRows == shown)
        return;
    m_shownRows = shown;
    if (rows.isEmpty()) {
        m_rows = nullptr;
        m_list->setContent(new KitCenteredNote(
            QStringLiteral("No ") + m_service.section().toLower() + QStringLiteral(" yet.")));
        return;
    }
    if (!m_rows) {
        m_rows = new KitRows(10);
        m_list->setContent(m_rows);
    }
    m_rows->clear();
    for (const Deployment& row : rows)
        m_rows->addRow(makeRow(row, h.spansProjects));
}

QWidget* DeploymentsCard::makeRow(const Deployment& row, bool spansProjects)
{
    const QColor colour = DeploymentDetailView::stateColour(row.state);
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
    texts->addWidget(new KitLine(rowTitle(row), kitFont(12.5, QFont::Medium)));
    texts->addWidget(new KitLine(secondLine(row, spansProjects), kitFont(11), KitPalette::secondary()));
    line->addLayout(texts, 1);
    line->addSpacing(8);

    auto* trailing = new QVBoxLayout();
    trailing->setContentsMargins(0, 0, 0, 0);
    trailing->setSpacing(2);
    auto* state = new KitLine(row.stateWord(m_service), kitFont(11, QFont::Medium), colour);
    state->setKeepsWidth(true);
    state->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    trailing->addWidget(state, 0, Qt::AlignRight);
    trailing->addWidget(new AgeLabel(row.date, m_clock), 0, Qt::AlignRight);
    trailing->addStretch(1);
    line->addLayout(trailing);

    const Deployment opened = row;
    auto* button = new KitRowButton(label, [this, opened] { m_kit.inspect(opened, m_service); });
    button->setAccessibleName(rowTitle(row));
    return button;
}

} // namespace brenvo
