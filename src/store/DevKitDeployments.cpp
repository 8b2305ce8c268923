#include "store/DevKitStore.h"

#include "app/core/PreferencesStore.h"
#include "app/core/SecretStore.h"
#include "model/DetachedTask.h"
#include "model/Log.h"
#include "model/Scheduler.h"

#include <algorithm>

namespace brenvo {

namespace {

constexpr double flashSeconds = 2.6;
constexpr double redeployFollowUpSeconds = 4.0;

} // namespace

// ----- deployments and checks -----

QCoro::Task<> DevKitStore::refreshDeployments(KitService service, QString token, bool identify)
{
    const auto source = m_sources.activity.value(service);
    if (!source)
        co_return;
    // A failure of the tool is thrown on; the caller drops it when the ticket says so.
    const Ticket ticket = this->ticket(service);

    bool otherAccount = false; // a token of another account: its picture is not the one shown
    if (identify) {
        const QString name = co_await source->account(token);
        if (!ticket.stillWanted())
            co_return;
        otherAccount = tool(service).account && *tool(service).account != name;
        tool(service).account = name;
    }
    if (identify || tool(service).projectsUnlisted) {
        std::optional<QList<KitProject>> listed;
        try {
            listed = co_await source->projects(token);
        } catch (...) {
        }
        if (!ticket.stillWanted())
            co_return;
        setListedProjects(service, listed.value_or(QList<KitProject>()));
        // A failed listing would hide the stored pick for good: ask again until one succeeds.
        tool(service).projectsUnlisted = !listed;
    }

    const auto requested = selectedProjectID(service);
    const QList<Deployment> rows = co_await source->deployments(token, requested, rowLimit);
    if (!ticket.stillWanted() || selectedProjectID(service) != requested)
        co_return; // rows of a project no longer picked

    const QList<Deployment> old = m_snapshot.deployments.value(service);
    const bool loaded = tool(service).loadedOnce;
    QList<Deployment> newlyReady;
    QList<Deployment> settled;
    if (loaded) {
        newlyReady = Deployment::newlyReady(rows, old);
        settled = Deployment::settledChanges(rows, old);
    }
    if (rows != old || !loaded || !m_snapshot.deployments.contains(service)) {
        m_snapshot.deployments.insert(service, rows);
        Q_EMIT snapshotChanged();
    }
    tool(service).loadedOnce = true;
    markConnected(service);
    const auto advice = source->advice();
    if (advice != tool(service).advice) {
        tool(service).advice = advice;
        Q_EMIT adviceChanged();
    }
    if (!settled.isEmpty())
        markUnseen(service);
    if (!newlyReady.isEmpty()) {
        celebrate(service, 0);
    } else if (std::any_of(settled.begin(), settled.end(),
                   [](const Deployment& row) { return row.state == Deployment::State::failed; })) {
        alert(service);
    }

    if (m_inspection && m_inspection->service == service) {
        co_await reloadInspection(rows);
        if (!ticket.stillWanted())
            co_return;
    }
    co_await loadIcons(service, rows, token);
    if (!ticket.stillWanted())
        co_return;
    if (identify && (!tool(service).accountIcon || otherAccount)) {
        std::optional<QImage> icon;
        try {
            icon = co_await source->accountIcon(token);
        } catch (...) {
        }
        if (!ticket.stillWanted())
            co_return;
        if (otherAccount ? icon != tool(service).accountIcon : icon && !tool(service).accountIcon) {
            tool(service).accountIcon = icon;
            Q_EMIT accountIconsChanged();
        }
    }
}

void DevKitStore::markConnected(KitService service)
{
    setConnection(service, KitConnection::connected(tool(service).account));
}

void DevKitStore::celebrate(KitService service, double delaySeconds)
{
    removeFrom(m_alerting, service, &DevKitStore::alertingChanged);
    if (delaySeconds <= 0) {
        insertInto(m_celebrating, service, &DevKitStore::celebratingChanged);
        m_scheduler.after(seconds(flashSeconds), this,
            [this, service] { removeFrom(m_celebrating, service, &DevKitStore::celebratingChanged); });
        return;
    }
    m_scheduler.after(seconds(delaySeconds), this, [this, service] {
        insertInto(m_celebrating, service, &DevKitStore::celebratingChanged);
        m_scheduler.after(seconds(flashSeconds), this,
            [this, service] { removeFrom(m_celebrating, service, &DevKitStore::celebratingChanged); });
    });
}

void DevKitStore::alert(KitService service)
{
    removeFrom(m_celebrating, service, &DevKitStore::celebratingChanged);
    insertInto(m_alerting, service, &DevKitStore::alertingChanged);
    m_scheduler.after(seconds(flashSeconds), this,
        [this, service] { removeFrom(m_alerting, service, &DevKitStore::alertingChanged); });
}

QCoro::Task<> DevKitStore::loadIcons(KitService service, QList<Deployment> rows, QString token)
{
    const auto source = m_sources.activity.value(service);
    if (!source)
        co_return;
    const Ticket ticket = this->ticket(service);
    for (const Deployment& row : std::as_const(rows)) {
        auto& lookedFor = tool(service).iconsLookedFor;
        if (lookedFor.contains(row.project))
            continue;
        lookedFor.insert(row.project);
        std::optional<QImage> icon;
        try {
            icon = co_await source->projectIcon(token, row);
        } catch (...) {
        }
        if (!ticket.stillWanted())
            co_return;
        if (icon) {
            tool(service).projectIcons.insert(row.project, *icon);
            Q_EMIT projectIconsChanged();
        }
    }
}

// ----- inspection, picking, redeploy -----

void DevKitStore::inspect(const Deployment& deployment, KitService service)
{
    m_awaitedRedeploy.reset();
    setInspectedPayment(std::nullopt);
    setPicking(std::nullopt);
    openInspection(DeploymentInspection {
        service, deployment, std::nullopt, true, DeploymentInspection::Redeploy::idle()});
    if (m_isRunning || m_usesMockData)
        runDetached(loadDetails(), "A deployment's details");
}

void DevKitStore::inspect(const Payment& payment, KitService service)
{
    m_awaitedRedeploy.reset();
    if (m_inspection)
        openInspection(std::nullopt);
    setPicking(std::nullopt);
    setInspectedPayment(PaymentInspection {service, payment});
}

QCoro::Task<> DevKitStore::loadDetails()
{
    if (!m_inspection)
        co_return;
    const KitService service = m_inspection->service;
    const Deployment row = m_inspection->deployment;
    const Ticket ticket(this, &m_inspectionGeneration);
    std::optional<DeploymentDetails> details;
    if (m_usesMockData) {
        details = DeploymentDetails::sample(row, service);
    } else {
        const auto token = m_secrets.secret(service.secretKey());
        const auto source = m_sources.activity.value(service);
        if (token && source) {
            try {
                details = co_await source->details(*token, row);
            } catch (...) {
                // The view shows no details; nothing to report.
            }
        }
    }
    if (!ticket.stillWanted() || !m_inspection || m_inspection->service != service
        || m_inspection->deployment.id != row.id)
        co_return;
    auto updated = *m_inspection;
    updated.details = std::move(details);
    updated.isLoading = false;
    setInspection(std::move(updated));
}

QCoro::Task<> DevKitStore::reloadInspection(QList<Deployment> rows)
{
    QPointer<DevKitStore> self(this);
    if (m_awaitedRedeploy && m_inspection && m_inspection->deployment.id == m_awaitedRedeploy->from) {
        const QString awaitedID = m_awaitedRedeploy->id;
        const auto found = std::find_if(
            rows.cbegin(), rows.cend(), [&awaitedID](const Deployment& row) { return row.id == awaitedID; });
        if (found != rows.cend()) {
            m_awaitedRedeploy.reset();
            openInspection(DeploymentInspection {
                m_inspection->service, *found, std::nullopt, true, DeploymentInspection::Redeploy::idle()});
            co_await loadDetails();
            if (!self)
                co_return;
        }
    }
    if (!m_inspection)
        co_return;
    const QString openID = m_inspection->deployment.id;
    const auto same = std::find_if(
        rows.cbegin(), rows.cend(), [&openID](const Deployment& row) { return row.id == openID; });
    if (same == rows.cend() || *same == m_inspection->deployment)
        co_return;
    auto updated = *m_inspection;
    updated.deployment = *same;
    if (updated.redeploy.kind() == DeploymentInspection::Redeploy::Kind::started)
        updated.redeploy = DeploymentInspection::Redeploy::idle();
    openInspection(std::move(updated));
    co_await loadDetails();
}

void DevKitStore::pickProject(KitService service)
{
    setPicking(service);
    if (m_inspection)
        openInspection(std::nullopt);
    setInspectedPayment(std::nullopt);
    m_awaitedRedeploy.reset();
    if (!m_isRunning || !m_sources.activity.value(service))
        return;
    // While Connect tries a new token, its own read lists the projects.
    const auto token = m_secrets.secret(service.secretKey());
    if (token && !tool(service).tryingToken)
        runDetached(listProjects(service, *token), "A project listing");
}

QCoro::Task<> DevKitStore::listProjects(KitService service, QString token)
{
    const auto source = m_sources.activity.value(service);
    if (!source)
        co_return;
    const Ticket ticket = this->ticket(service);
    QList<KitProject> listed;
    try {
        listed = co_await source->projects(token);
    } catch (...) {
        co_return; // the previous list stays
    }
    if (!ticket.stillWanted())
        co_return;
    tool(service).projectsUnlisted = false;
    setListedProjects(service, listed);
}

void DevKitStore::select(std::optional<KitProject> project, KitService service)
{
    auto picks = m_preferences.selectedProjects();
    if (project)
        picks.insert(service.rawValue(), project->id);
    else
        picks.remove(service.rawValue());
    m_preferences.setSelectedProjects(picks);
    setPicking(std::nullopt);
    closeDetailsOf(service);
    if (!service.isActivity() || m_usesMockData)
        return;
    tool(service).loadedOnce = false;
    // A refresh under way reads the project picked before: it runs once more.
    if (m_isRunning)
        runDetached(runRefresh(service, true, &DevKitStore::refreshOnce), "A tool's refresh");
}

void DevKitStore::focus(std::optional<KitService> service)
{
    if (m_inspection) {
        if (!service || m_inspection->service != *service) {
            openInspection(std::nullopt);
            m_awaitedRedeploy.reset();
        }
    } else if (service) {
        m_awaitedRedeploy.reset();
    }
    if (m_inspectedPayment && (!service || m_inspectedPayment->service != *service))
        setInspectedPayment(std::nullopt);
    if (m_picking && (!service || *m_picking != *service))
        setPicking(std::nullopt);
}

QCoro::Task<> DevKitStore::redeploy()
{
    QPointer<DevKitStore> self(this);
    if (!m_inspection || m_inspection->redeploy.kind() == DeploymentInspection::Redeploy::Kind::starting)
        co_return;
    const KitService service = m_inspection->service;
    const Deployment row = m_inspection->deployment;
    auto starting = *m_inspection;
    starting.redeploy = DeploymentInspection::Redeploy::starting();
    setInspection(starting);

    const auto setState = [this, service, &row](DeploymentInspection::Redeploy state) {
        if (!m_inspection || m_inspection->service != service || m_inspection->deployment.id != row.id)
            return false;
        auto updated = *m_inspection;
        updated.redeploy = std::move(state);
        setInspection(std::move(updated));
        return true;
    };

    if (m_usesMockData) {
        setState(DeploymentInspection::Redeploy::started());
        m_awaitedRedeploy.reset();
        co_return;
    }
    const auto token = m_secrets.secret(service.secretKey());
    const auto source = m_sources.activity.value(service);
    if (!token || !source) {
        setState(DeploymentInspection::Redeploy::idle()); // nothing was asked
        co_return;
    }
    std::optional<QString> newID;
    std::exception_ptr failure;
    try {
        newID = co_await source->redeploy(*token, row);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    if (failure) {
        const QString sentence = failureText(failure, service);
        qCCritical(logApp, "Redeploy: %s", qUtf8Printable(sentence));
        if (setState(DeploymentInspection::Redeploy::failed(sentence)))
            m_awaitedRedeploy.reset();
        co_return;
    }
    qCInfo(
        logApp, "Started %s again on %s", qUtf8Printable(row.project), qUtf8Printable(service.serviceName()));
    if (setState(DeploymentInspection::Redeploy::started())) {
        if (newID)
            m_awaitedRedeploy = AwaitedRedeploy {row.id, *newID};
        else
            m_awaitedRedeploy.reset();
    }
    co_await runRefresh(service, true, &DevKitStore::refreshOnce);
    if (!self || !m_isRunning)
        co_return;
    m_scheduler.after(seconds(redeployFollowUpSeconds), this,
        [this, service] { runDetached(refresh(service), "A tool's refresh"); });
}

} // namespace brenvo
