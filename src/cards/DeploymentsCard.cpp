#include "cards/DeploymentsCard.h"

#include "app/core/PreferencesStore.h"
#include "cards/CardActions.h"
#include "cards/DeploymentDetailView.h"
#include "cards/KitCard.h"
#include "cards/KitDetailHeader.h"
#include "cards/KitFont.h"
#include "cards/KitIndicators.h"
#include "cards/KitLine.h"
#include "cards/KitPalette.h"
#include "cards/KitRows.h"
#include "model/DetachedTask.h"
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
    : KitFacedCard(service, kit, parent)
    , m_clock(clock)
{
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
    if (open && open->service == service())
        return open;
    return std::nullopt;
}

DeploymentDetailView* DeploymentsCard::detailView() const
{
    return qobject_cast<DeploymentDetailView*>(page());
}

void DeploymentsCard::sync()
{
    if (const auto open = inspection()) {
        if (DeploymentDetailView* shown = detailView();
            shown && shown->inspection().deployment.id == open->deployment.id) {
            shown->setInspection(*open);
            return;
        }
        // A new row makes a new page: its redeploy button starts unarmed.
        auto* detail = new DeploymentDetailView(*open, m_clock);
        connect(detail, &DeploymentDetailView::goBack, this, [this] { closeOpenFaces(m_kit); });
        connect(detail, &DeploymentDetailView::redeploy, this,
            [this] { runDetached(m_kit.redeploy(), "A redeploy"); });
        showPage(detail);
        return;
    }
    if (showPickerWhilePicking())
        return;
    if (showList())
        m_shownRows.reset();
    syncList();
}

void DeploymentsCard::syncList()
{
    const Header h = header(service(), m_kit);
    list()->setHeader(listHeader(h.title, h.detail, h.icon));

    const QList<Deployment> rows = m_kit.deployments(service());
    const std::pair<QList<Deployment>, bool> shown {rows, h.spansProjects};
    if (m_shownRows && *m_shownRows == shown)
        return;
    m_shownRows = shown;
    if (rows.isEmpty()) {
        setListContent(new KitCenteredNote(
                           QStringLiteral("No ") + service().section().toLower() + QStringLiteral(" yet.")),
            nullptr);
        return;
    }
    auto* stack = new KitRows(10);
    for (const Deployment& row : rows)
        stack->addRow(makeRow(row, h.spansProjects));
    setListContent(stack, stack);
}

QWidget* DeploymentsCard::makeRow(const Deployment& row, bool spansProjects)
{
    const QColor colour = DeploymentDetailView::stateColour(row.state);
    auto* trailing = new QVBoxLayout();
    trailing->setContentsMargins(0, 0, 0, 0);
    trailing->setSpacing(2);
    auto* state = new KitLine(row.stateWord(service()), kitFont(11, QFont::Medium), colour);
    state->setKeepsWidth(true);
    state->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    trailing->addWidget(state, 0, Qt::AlignRight);
    trailing->addWidget(new AgeLabel(row.date, m_clock), 0, Qt::AlignRight);
    trailing->addStretch(1);

    const Deployment opened = row;
    auto* button = new KitRowButton(rowLabel(colour, rowTitle(row), secondLine(row, spansProjects), trailing),
        [this, opened] { m_kit.inspect(opened, service()); });
    button->setAccessibleName(rowTitle(row));
    return button;
}

} // namespace brenvo
