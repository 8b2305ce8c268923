#include "store/DevKitStore.h"

#include "app/core/PreferencesStore.h"
#include "app/core/SecretStore.h"
#include "http/JsonReader.h"
#include "http/ServiceFailure.h"
#include "model/AppConfig.h"
#include "model/Log.h"
#include "model/Scheduler.h"

#include <QUuid>

#include <algorithm>
#include <cmath>

namespace brenvo {

namespace {

// Thrown inside the store when a newer user action made a waiting task's result obsolete; the
// task's caller drops it silently.
struct StaleResult { };

constexpr int rowLimit = 3;
constexpr double flashSeconds = 2.6;
constexpr double redeployFollowUpSeconds = 4.0;
constexpr double claudePollSeconds = 5.0;
constexpr qint64 spendGateMs = 300 * 1000;

QCoro::Task<> guarded(QCoro::Task<> task)
{
    try {
        co_await std::move(task);
    } catch (const StaleResult&) {
    } catch (const std::exception& error) {
        qCWarning(logApp, "A background task of the tool store failed: %s", error.what());
    } catch (...) {
        qCWarning(logApp, "A background task of the tool store failed");
    }
}

void sortNewestFirst(QList<Payment>& payments)
{
    std::stable_sort(
        payments.begin(), payments.end(), [](const Payment& a, const Payment& b) { return a.date > b.date; });
}

std::optional<QString> trimmedOrNone(const std::optional<QString>& text)
{
    if (!text)
        return std::nullopt;
    const QString trimmed = text->trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
}

QString appName()
{
    const QString name = AppConfig::main().name;
    return name.isEmpty() ? QStringLiteral("App") : name;
}

} // namespace

DevKitStore::DevKitStore(PreferencesStore& preferences, SecretStore& secrets, Scheduler& scheduler,
    bool usesMockData, Sources sources, QObject* parent)
    : QObject(parent)
    , m_preferences(preferences)
    , m_secrets(secrets)
    , m_scheduler(scheduler)
    , m_usesMockData(usesMockData)
    , m_activity(std::move(sources.activity))
    , m_payments(std::move(sources.payments))
    , m_usage(std::move(sources.usage))
    , m_spend(std::move(sources.spend))
    , m_siteIcons(std::move(sources.siteIcons))
    , m_snapshot(usesMockData ? DevKitSnapshot::sample(scheduler.wallNow()) : DevKitSnapshot::empty())
{
}

DevKitStore::~DevKitStore()
{
    // Polling tasks hold the store weakly; waking their sleeps lets them end.
    for (auto token : std::as_const(m_pollTasks))
        token.cancel();
}

QDateTime DevKitStore::now() const
{
    return m_scheduler.wallNow();
}

void DevKitStore::detach(QCoro::Task<> task)
{
    guarded(std::move(task));
}

void DevKitStore::current(const QPointer<DevKitStore>& self, KitService service, quint64 generation)
{
    if (!self || self->m_generation.value(service) != generation)
        throw StaleResult();
}

void DevKitStore::accountCurrent(
    const QPointer<DevKitStore>& self, KitService service, const QString& id, quint64 generation)
{
    current(self, service, generation);
    if (self->m_addingAccounts.contains(projectKey(service, id)))
        return;
    const auto records = self->paymentAccountRecords(service);
    const bool recorded = std::any_of(records.begin(), records.end(),
        [&id](const PaymentAccountRecord& record) { return record.id == id; });
    if (!recorded)
        throw StaleResult();
}

bool DevKitStore::hasSource(KitService service) const
{
    if (service.isActivity())
        return m_activity.value(service) != nullptr;
    if (service.isPayment())
        return m_payments.value(service) != nullptr;
    return m_usage.value(service) != nullptr || m_spend.value(service) != nullptr;
}

// ----- setters of the observable state -----

void DevKitStore::insertInto(QSet<KitService>& set, KitService service, void (DevKitStore::*changed)())
{
    if (set.contains(service))
        return;
    set.insert(service);
    Q_EMIT(this->*changed)();
}

void DevKitStore::removeFrom(QSet<KitService>& set, KitService service, void (DevKitStore::*changed)())
{
    if (set.remove(service))
        Q_EMIT(this->*changed)();
}

void DevKitStore::setConnection(KitService service, const KitConnection& connection)
{
    if (m_connections.contains(service) && m_connections.value(service) == connection)
        return;
    m_connections.insert(service, connection);
    Q_EMIT connectionsChanged();
}

void DevKitStore::setInspection(std::optional<DeploymentInspection> inspection)
{
    if (m_inspection == inspection)
        return;
    m_inspection = std::move(inspection);
    Q_EMIT inspectionChanged();
}

void DevKitStore::openInspection(std::optional<DeploymentInspection> inspection)
{
    ++m_inspectionGeneration;
    setInspection(std::move(inspection));
}

void DevKitStore::setInspectedPayment(std::optional<PaymentInspection> payment)
{
    if (m_inspectedPayment == payment)
        return;
    m_inspectedPayment = std::move(payment);
    Q_EMIT inspectedPaymentChanged();
}

void DevKitStore::setPicking(std::optional<KitService> service)
{
    if (m_picking == service)
        return;
    m_picking = service;
    Q_EMIT pickingChanged();
}

void DevKitStore::setListedProjects(KitService service, const QList<KitProject>& projects)
{
    if (m_listedProjects.contains(service) && m_listedProjects.value(service) == projects)
        return;
    m_listedProjects.insert(service, projects);
    Q_EMIT listedProjectsChanged();
}

void DevKitStore::setPlanConnection(KitService service, const KitConnection& connection)
{
    if (m_planConnections.contains(service) && m_planConnections.value(service) == connection)
        return;
    m_planConnections.insert(service, connection);
    Q_EMIT planConnectionsChanged();
}

void DevKitStore::setAPIConnection(KitService service, const KitConnection& connection)
{
    if (m_apiConnections.contains(service) && m_apiConnections.value(service) == connection)
        return;
    m_apiConnections.insert(service, connection);
    Q_EMIT apiConnectionsChanged();
}

void DevKitStore::setAccountConnection(const QString& key, const KitConnection& connection)
{
    if (m_accountConnections.contains(key) && m_accountConnections.value(key) == connection)
        return;
    m_accountConnections.insert(key, connection);
    Q_EMIT accountConnectionsChanged();
}

void DevKitStore::removePlanConnectionIfConnected(KitService service)
{
    if (m_planConnections.contains(service) && m_planConnections.value(service).isConnected()) {
        m_planConnections.remove(service);
        Q_EMIT planConnectionsChanged();
    }
}

void DevKitStore::removeAPIConnectionIfConnected(KitService service)
{
    if (m_apiConnections.contains(service) && m_apiConnections.value(service).isConnected()) {
        m_apiConnections.remove(service);
        Q_EMIT apiConnectionsChanged();
    }
}

// ----- queries -----

QList<Deployment> DevKitStore::deployments(KitService service) const
{
    const QList<Deployment> rows = m_snapshot.deployments.value(service);
    if (!m_usesMockData)
        return rows;
    const auto picked = selectedProject(service);
    if (!picked)
        return rows;
    QList<Deployment> shown;
    for (const auto& row : rows)
        if (row.project == picked->id)
            shown.append(row);
    return shown;
}

QList<KitProject> DevKitStore::projects(KitService service) const
{
    QList<KitProject> result;
    if (service.isPayment()) {
        for (const auto& account : paymentAccounts(service))
            result.append(KitProject {account.id, account.name});
        return result;
    }
    if (!m_usesMockData)
        return m_listedProjects.value(service);
    if (service != KitService::github && service != KitService::gitlab)
        return result;
    QStringList names;
    for (const auto& row : m_snapshot.deployments.value(service))
        if (!names.contains(row.project))
            names.append(row.project);
    std::sort(names.begin(), names.end());
    for (const auto& name : std::as_const(names))
        result.append(KitProject {name, name});
    return result;
}

std::optional<KitProject> DevKitStore::selectedProject(KitService service) const
{
    const auto& picks = m_preferences.selectedProjects();
    const auto found = picks.constFind(service.rawValue());
    if (found == picks.constEnd())
        return std::nullopt;
    for (const auto& project : projects(service))
        if (project.id == found.value())
            return project;
    return std::nullopt;
}

std::optional<QString> DevKitStore::selectedProjectID(KitService service) const
{
    const auto project = selectedProject(service);
    if (!project)
        return std::nullopt;
    return project->id;
}

KitConnection DevKitStore::connection(KitService service) const
{
    if (m_usesMockData)
        return KitConnection::connected(QStringLiteral("demo"));
    return m_connections.value(service, KitConnection::notConnected());
}

QList<Payment> DevKitStore::payments(KitService service) const
{
    QList<Payment> shown = m_snapshot.payments.value(service);
    // Sample payments carry no account: filtering by the sample account would empty the card.
    if (!m_usesMockData) {
        if (const auto picked = selectedProject(service)) {
            shown.removeIf([&picked](const Payment& payment) { return payment.accountID != picked->id; });
        }
    }
    if (shown.size() > rowLimit)
        shown.resize(rowLimit);
    return shown;
}

std::optional<UsageReport> DevKitStore::usageReport(KitService service) const
{
    const auto found = m_snapshot.usage.constFind(service);
    if (found == m_snapshot.usage.constEnd())
        return std::nullopt;
    return found.value();
}

bool DevKitStore::isBuilding(KitService service) const
{
    if (!service.isActivity())
        return false;
    if (!m_usesMockData && !m_connections.value(service).isConnected())
        return false;
    const auto rows = deployments(service);
    return std::any_of(rows.begin(), rows.end(),
        [](const Deployment& row) { return row.state == Deployment::State::building; });
}

QList<KitService> DevKitStore::enabledServices() const
{
    QList<KitService> result;
    const auto& enabled = m_preferences.enabledServices();
    for (const auto service : KitService::allCases())
        if (enabled.contains(service))
            result.append(service);
    return result;
}

QList<PaymentAccount> DevKitStore::paymentAccounts(KitService service) const
{
    QList<PaymentAccount> result;
    if (m_usesMockData) {
        if (service.isPayment())
            result.append(PaymentAccount {
                QStringLiteral("demo"), QStringLiteral("Acme"), KitConnection::connected(std::nullopt)});
        return result;
    }
    const auto records = paymentAccountRecords(service);
    for (int i = 0; i < records.size(); ++i) {
        const auto& record = records.at(i);
        const QString key = projectKey(service, record.id);
        QString name;
        if (record.name)
            name = *record.name;
        else if (m_accountInfo.contains(key) && m_accountInfo.value(key).name)
            name = *m_accountInfo.value(key).name;
        else if (records.size() == 1)
            name = service.serviceName() + QStringLiteral(" account");
        else
            name = QStringLiteral("Account ") + QString::number(i + 1);
        result.append(
            PaymentAccount {record.id, name, m_accountConnections.value(key, KitConnection::connecting())});
    }
    return result;
}

void DevKitStore::markUnseen(KitService service)
{
    if (m_watching == service)
        return;
    insertInto(m_unseen, service, &DevKitStore::unseenChanged);
}

QString DevKitStore::projectKey(KitService service, const QString& id)
{
    return service.rawValue() + QLatin1Char('/') + id;
}

// ----- polling -----

bool DevKitStore::isConfigured(KitService service)
{
    if (!hasSource(service))
        return false; // nothing could answer for it
    if (service.isActivity())
        return m_secrets.secret(service.secretKey()).has_value();
    if (service.isPayment())
        return !paymentAccountRecords(service).isEmpty();
    const auto usage = m_usage.value(service);
    if (usage && usage->isConnected())
        return true;
    return m_secrets.secret(service.secretKey()).has_value();
}

void DevKitStore::start()
{
    if (m_usesMockData || m_isRunning)
        return;
    m_isRunning = true;
    adoptSingleKeys();
    for (const auto service : KitService::allCases()) {
        if (!isConfigured(service))
            continue;
        setConnection(service, KitConnection::connecting());
        if (m_isRunning && !m_pollTasks.contains(service))
            startPolling(service, true);
    }
}

void DevKitStore::stop()
{
    m_isRunning = false;
    const auto tasks = std::exchange(m_pollTasks, {});
    for (auto token : tasks)
        token.cancel();
}

void DevKitStore::startPolling(KitService service, bool refreshFirst)
{
    if (!m_isRunning || m_pollTasks.contains(service))
        return;
    CancelToken token;
    m_pollTasks.insert(service, token);
    detach(poll(service, refreshFirst, token));
}

double DevKitStore::pollInterval(KitService service) const
{
    if (service == KitService::claude)
        return claudePollSeconds;
    double interval = m_preferences.sleepInterval(service);
    const auto rows = deployments(service);
    const bool building = std::any_of(rows.begin(), rows.end(),
        [](const Deployment& row) { return row.state == Deployment::State::building; });
    if (building)
        interval = std::min(interval, service == KitService::github ? 10.0 : 5.0);
    return interval;
}

QCoro::Task<> DevKitStore::poll(KitService service, bool refreshFirst, CancelToken token)
{
    QPointer<DevKitStore> self(this);
    if (token.isCancelled())
        co_return;
    if (refreshFirst) {
        co_await refresh(service);
        if (!self || token.isCancelled())
            co_return;
    }
    for (;;) {
        Scheduler& scheduler = m_scheduler;
        co_await scheduler.sleep(seconds(pollInterval(service)), token);
        if (!self || token.isCancelled())
            co_return;
        co_await refresh(service);
        if (!self || token.isCancelled())
            co_return;
    }
}

QCoro::Task<> DevKitStore::refresh(KitService service)
{
    if (m_usesMockData || !m_preferences.enabledServices().contains(service))
        co_return;
    adoptSingleKeys();
    QPointer<DevKitStore> self(this);
    if (service.isActivity()) {
        const auto token = m_secrets.secret(service.secretKey());
        if (!token)
            co_return;
        const quint64 generation = m_generation.value(service);
        std::exception_ptr failure;
        try {
            co_await refreshDeployments(service, *token, !connection(service).isConnected());
        } catch (const StaleResult&) {
            co_return;
        } catch (...) {
            failure = std::current_exception();
        }
        if (!self || !failure || m_generation.value(service) != generation)
            co_return;
        setConnection(service, log(failure, service));
    } else if (service.isPayment()) {
        co_await refreshPayments(service);
    } else {
        co_await refreshUsage(service);
    }
}

void DevKitStore::setEnabled(bool enabled, KitService service)
{
    auto services = m_preferences.enabledServices();
    if (enabled)
        services.insert(service);
    else
        services.remove(service);
    m_preferences.setEnabledServices(services);
    if (enabled)
        detach(refresh(service));
}

void DevKitStore::setCheckInterval(double seconds, KitService service)
{
    auto intervals = m_preferences.checkIntervals();
    intervals.insert(service.rawValue(), seconds);
    m_preferences.setCheckIntervals(intervals);
}

void DevKitStore::watch(std::optional<KitService> service)
{
    m_watching = service;
    if (!service)
        return;
    removeFrom(m_unseen, *service, &DevKitStore::unseenChanged);
    const auto usage = m_usage.value(*service);
    if (m_isRunning && usage && usage->isConnected())
        detach(watchUsage(*service));
}

QCoro::Task<> DevKitStore::watchUsage(KitService service)
{
    QPointer<DevKitStore> self(this);
    const auto usage = m_usage.value(service);
    if (!usage)
        co_return;
    co_await usage->askNow();
    if (!self)
        co_return;
    co_await refreshUsage(service);
}

double DevKitStore::claudeCheckInterval() const
{
    return m_preferences.checkInterval(KitService::claude);
}

// ----- failures -----

QString DevKitStore::failureText(std::exception_ptr failure, KitService service)
{
    const QString name = service.serviceName();
    try {
        if (failure)
            std::rethrow_exception(failure);
    } catch (const ServiceFailure& error) {
        switch (error.kind()) {
        case ServiceFailure::Kind::refused:
            return name + QStringLiteral(" answered ") + QString::number(error.status())
                + QStringLiteral(": ") + error.message();
        case ServiceFailure::Kind::explained:
            return error.message();
        case ServiceFailure::Kind::rejected: {
            const bool isKey = service == KitService::stripe || service == KitService::claude
                || service == KitService::codex;
            return name + QStringLiteral(" did not accept the ")
                + (isKey ? QStringLiteral("key") : QStringLiteral("token")) + QStringLiteral(".");
        }
        }
    } catch (const UsageFailure& error) {
        return error.reason();
    } catch (const DecodingFailure&) {
        return name + QStringLiteral(" answered with something ") + appName()
            + QStringLiteral(" does not understand.");
    } catch (...) {
    }
    return name + QStringLiteral(" could not be reached. Check your internet connection.");
}

KitConnection DevKitStore::log(std::exception_ptr failure, KitService service)
{
    const QString sentence = failureText(failure, service);
    qCCritical(logApp, "%s", qUtf8Printable(sentence));
    try {
        if (failure)
            std::rethrow_exception(failure);
    } catch (const ServiceFailure& error) {
        if (error.isRejected())
            return KitConnection::rejected();
    } catch (...) {
    }
    return KitConnection::failing(sentence);
}

KitConnection DevKitStore::unavailable(KitService service)
{
    const QString sentence = appName() + QStringLiteral(" cannot connect to ") + service.serviceName()
        + QStringLiteral(" in this version.");
    qCCritical(logApp, "%s", qUtf8Printable(sentence));
    return KitConnection::failing(sentence);
}

KitConnection DevKitStore::notSaved(KitService service)
{
    const bool isKey = service.isPayment() || service.isUsage();
    const QString sentence = service.serviceName() + QStringLiteral(" accepted the ")
        + (isKey ? QStringLiteral("key") : QStringLiteral("token"))
        + QStringLiteral(", but it could not be saved in the keyring.");
    qCCritical(logApp, "%s", qUtf8Printable(sentence));
    return KitConnection::failing(sentence);
}

// ----- deployments and checks -----

QCoro::Task<> DevKitStore::refreshDeployments(KitService service, QString token, bool identify)
{
    QPointer<DevKitStore> self(this);
    const auto source = m_activity.value(service);
    if (!source)
        co_return;
    const quint64 generation = m_generation.value(service);

    if (identify) {
        QString name;
        try {
            name = co_await source->account(token);
        } catch (...) {
            current(self, service, generation);
            throw;
        }
        current(self, service, generation);
        m_accounts.insert(service, name);
    }
    if (identify || m_projectsUnlisted.contains(service)) {
        std::optional<QList<KitProject>> listed;
        try {
            listed = co_await source->projects(token);
        } catch (...) {
        }
        current(self, service, generation);
        setListedProjects(service, listed.value_or(QList<KitProject>()));
        // A failed listing would hide the stored pick for good: ask again until one succeeds.
        if (listed)
            m_projectsUnlisted.remove(service);
        else
            m_projectsUnlisted.insert(service);
    }

    const auto requested = selectedProjectID(service);
    QList<Deployment> rows;
    try {
        rows = co_await source->deployments(token, requested, rowLimit);
    } catch (...) {
        current(self, service, generation);
        throw;
    }
    current(self, service, generation);
    if (selectedProjectID(service) != requested)
        co_return; // rows of a project no longer picked

    const QList<Deployment> old = m_snapshot.deployments.value(service);
    const bool loaded = m_loadedOnce.contains(service);
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
    m_loadedOnce.insert(service);
    markConnected(service);
    const auto advice = source->advice();
    const std::optional<QString> stored
        = m_advice.contains(service) ? std::optional<QString>(m_advice.value(service)) : std::nullopt;
    if (advice != stored) {
        if (advice)
            m_advice.insert(service, *advice);
        else
            m_advice.remove(service);
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
        current(self, service, generation);
    }
    co_await loadIcons(service, rows, token);
    current(self, service, generation);
    if (identify && !m_accountIcons.contains(service)) {
        std::optional<QImage> icon;
        try {
            icon = co_await source->accountIcon(token);
        } catch (...) {
        }
        current(self, service, generation);
        if (icon && !m_accountIcons.contains(service)) {
            m_accountIcons.insert(service, *icon);
            Q_EMIT accountIconsChanged();
        }
    }
}

void DevKitStore::markConnected(KitService service)
{
    const auto account
        = m_accounts.contains(service) ? std::optional<QString>(m_accounts.value(service)) : std::nullopt;
    setConnection(service, KitConnection::connected(account));
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
    QPointer<DevKitStore> self(this);
    const auto source = m_activity.value(service);
    if (!source)
        co_return;
    const quint64 generation = m_generation.value(service);
    for (const Deployment& row : std::as_const(rows)) {
        const QString key = projectKey(service, row.project);
        if (m_iconsLookedFor.contains(key))
            continue;
        m_iconsLookedFor.insert(key);
        std::optional<QImage> icon;
        try {
            icon = co_await source->projectIcon(token, row);
        } catch (...) {
        }
        if (!self || m_generation.value(service) != generation)
            co_return;
        if (icon) {
            m_projectIcons[service].insert(row.project, *icon);
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
        detach(loadDetails());
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
    QPointer<DevKitStore> self(this);
    if (!m_inspection)
        co_return;
    const KitService service = m_inspection->service;
    const Deployment row = m_inspection->deployment;
    const quint64 generation = m_inspectionGeneration;
    std::optional<DeploymentDetails> details;
    if (m_usesMockData) {
        details = DeploymentDetails::sample(row, service);
    } else {
        const auto token = m_secrets.secret(service.secretKey());
        const auto source = m_activity.value(service);
        if (token && source) {
            try {
                details = co_await source->details(*token, row);
            } catch (...) {
                // The view shows no details; nothing to report.
            }
            if (!self)
                co_return;
        }
    }
    if (m_inspectionGeneration != generation || !m_inspection || m_inspection->service != service
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
    if (!m_isRunning || !m_activity.value(service))
        return;
    const auto token = m_secrets.secret(service.secretKey());
    if (token)
        detach(listProjects(service, *token));
}

QCoro::Task<> DevKitStore::listProjects(KitService service, QString token)
{
    QPointer<DevKitStore> self(this);
    const auto source = m_activity.value(service);
    if (!source)
        co_return;
    const quint64 generation = m_generation.value(service);
    QList<KitProject> listed;
    try {
        listed = co_await source->projects(token);
    } catch (...) {
        co_return; // the previous list stays
    }
    if (!self || m_generation.value(service) != generation)
        co_return;
    m_projectsUnlisted.remove(service);
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
    if (m_inspection && m_inspection->service == service) {
        openInspection(std::nullopt);
        m_awaitedRedeploy.reset();
    }
    if (m_inspectedPayment && m_inspectedPayment->service == service)
        setInspectedPayment(std::nullopt);
    if (!service.isActivity() || m_usesMockData)
        return;
    m_loadedOnce.remove(service);
    if (m_isRunning)
        detach(refresh(service));
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
    const auto source = m_activity.value(service);
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
    co_await refresh(service);
    if (!self || !m_isRunning)
        co_return;
    m_scheduler.after(seconds(redeployFollowUpSeconds), this, [this, service] { detach(refresh(service)); });
}

// ----- payments -----

QString DevKitStore::accountSecretName(KitService service, const QString& id)
{
    return service.secretKey() + QLatin1Char('.') + id;
}

QString DevKitStore::newAccountID()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).left(8).toLower();
}

QList<PaymentAccountRecord> DevKitStore::paymentAccountRecords(KitService service) const
{
    return m_preferences.paymentAccounts().value(service.rawValue());
}

QCoro::Task<QList<Payment>> DevKitStore::fetchAccount(KitService service, QString id, QString key)
{
    QPointer<DevKitStore> self(this);
    const auto source = m_payments.value(service);
    if (!source)
        co_return QList<Payment>();
    const QString accountKey = projectKey(service, id);
    const quint64 generation = m_generation.value(service);

    if (!m_accountInfo.contains(accountKey) || !m_accountConnections.value(accountKey).isConnected()) {
        PaymentAccountInfo info;
        try {
            info = co_await source->account(key);
        } catch (...) {
            accountCurrent(self, service, id, generation);
            throw;
        }
        accountCurrent(self, service, id, generation);
        m_accountInfo.insert(accountKey, info);
        Q_EMIT accountInfoChanged();
    }
    QList<Payment> fetched;
    try {
        fetched = co_await source->payments(key, m_accountInfo.value(accountKey), rowLimit);
    } catch (...) {
        accountCurrent(self, service, id, generation);
        throw;
    }
    accountCurrent(self, service, id, generation);
    if (!m_accountConnections.value(accountKey).isConnected())
        setAccountConnection(accountKey, KitConnection::connected(std::nullopt));
    for (auto& payment : fetched)
        payment.accountID = id;
    co_return fetched;
}

QCoro::Task<> DevKitStore::refreshPayments(KitService service)
{
    QPointer<DevKitStore> self(this);
    const auto records = paymentAccountRecords(service);
    if (records.isEmpty())
        co_return;
    const QList<Payment> old = m_snapshot.payments.value(service);
    // A merge over a list that an added or removed account, a disconnect or another merge has
    // changed meanwhile would undo that change: such a merge is dropped and the next poll redoes it.
    const quint64 generation = m_paymentGeneration.value(service);

    QList<Payment> gathered;
    for (const PaymentAccountRecord& record : records) {
        const auto key = m_secrets.secret(accountSecretName(service, record.id));
        std::exception_ptr failure;
        if (!key) {
            failure = std::make_exception_ptr(ServiceFailure::rejected());
        } else {
            try {
                gathered += co_await fetchAccount(service, record.id, *key);
            } catch (const StaleResult&) {
                co_return;
            } catch (...) {
                failure = std::current_exception();
            }
            if (!self)
                co_return;
        }
        if (m_paymentGeneration.value(service) != generation)
            co_return;
        if (failure) {
            setAccountConnection(projectKey(service, record.id), log(failure, service));
            for (const auto& payment : old)
                if (payment.accountID == record.id)
                    gathered.append(payment);
        }
    }
    sortNewestFirst(gathered);

    const bool loaded = m_loadedOnce.contains(service);
    QList<Payment> news;
    QList<Payment> problems;
    if (loaded) {
        news = Payment::newlySucceeded(gathered, old);
        problems = Payment::changed(gathered, old);
    }
    if (gathered != old || !loaded || !m_snapshot.payments.contains(service)) {
        m_snapshot.payments.insert(service, gathered);
        m_paymentGeneration[service] += 1;
        Q_EMIT snapshotChanged();
    }
    m_loadedOnce.insert(service);
    updatePaymentConnection(service);
    if (!news.isEmpty()) {
        markUnseen(service);
        celebrate(service, 0);
        m_announcement = KitAnnouncement::make(service, false);
        Q_EMIT announcementChanged();
    } else if (!problems.isEmpty()) {
        markUnseen(service);
        alert(service);
        m_announcement = KitAnnouncement::make(service, true);
        Q_EMIT announcementChanged();
    }
    if (m_inspectedPayment && m_inspectedPayment->service == service) {
        const Payment open = m_inspectedPayment->payment;
        const auto found = std::find_if(gathered.cbegin(), gathered.cend(), [&open](const Payment& payment) {
            return payment.id == open.id && payment.accountID == open.accountID;
        });
        if (found != gathered.cend() && *found != open)
            setInspectedPayment(PaymentInspection {service, *found});
    }
    co_await loadAccountIcons(service);
}

QCoro::Task<> DevKitStore::addPaymentAccount(
    KitService service, QString key, std::optional<QString> name, std::optional<QString> site)
{
    QPointer<DevKitStore> self(this);
    const QString trimmed = key.trimmed();
    if (trimmed.isEmpty() || m_usesMockData)
        co_return;
    if (!m_payments.value(service)) {
        const KitConnection failure = unavailable(service);
        m_addFailures.insert(service, failure);
        Q_EMIT addFailuresChanged();
        if (paymentAccountRecords(service).isEmpty())
            setConnection(service, failure);
        co_return;
    }
    const QString id = newAccountID();
    const QString accountKey = projectKey(service, id);
    const auto trimmedName = trimmedOrNone(name);
    const auto trimmedSite = trimmedOrNone(site);
    const int existing = paymentAccountRecords(service).size();

    if (m_addFailures.remove(service) > 0)
        Q_EMIT addFailuresChanged();
    if (existing == 0)
        setConnection(service, KitConnection::connecting());

    const quint64 generation = m_generation.value(service);
    m_addingAccounts.insert(accountKey);
    QList<Payment> fetched;
    std::exception_ptr failure;
    bool stale = false;
    try {
        fetched = co_await fetchAccount(service, id, trimmed);
    } catch (const StaleResult&) {
        stale = true;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    m_addingAccounts.remove(accountKey);

    const auto dropAccountState = [this, &accountKey] {
        if (m_accountConnections.remove(accountKey) > 0)
            Q_EMIT accountConnectionsChanged();
        if (m_accountInfo.remove(accountKey) > 0)
            Q_EMIT accountInfoChanged();
    };
    const auto fail = [this, service, existing](const KitConnection& connection) {
        m_addFailures.insert(service, connection);
        Q_EMIT addFailuresChanged();
        if (existing == 0)
            setConnection(service, connection);
    };

    if (stale || m_generation.value(service) != generation) {
        dropAccountState(); // the tool was disconnected meanwhile
        co_return;
    }
    if (failure) {
        dropAccountState();
        fail(log(failure, service));
        co_return;
    }
    if (!m_secrets.setSecret(trimmed, accountSecretName(service, id))) {
        dropAccountState();
        fail(notSaved(service));
        co_return;
    }
    auto accounts = m_preferences.paymentAccounts();
    accounts[service.rawValue()].append(PaymentAccountRecord {id, trimmedName, trimmedSite});
    m_preferences.setPaymentAccounts(accounts);
    qCInfo(logApp, "Connected an account to %s", qUtf8Printable(service.serviceName()));

    QList<Payment> merged = m_snapshot.payments.value(service) + fetched;
    sortNewestFirst(merged);
    m_snapshot.payments.insert(service, merged);
    m_paymentGeneration[service] += 1;
    Q_EMIT snapshotChanged();
    m_loadedOnce.insert(service);
    updatePaymentConnection(service);
    startPolling(service, false);
    celebrate(service, existing == 0 ? 1.0 : 0.0);
    co_await loadAccountIcons(service);
}

void DevKitStore::forgetAccount(KitService service, const QString& id)
{
    const QString key = projectKey(service, id);
    m_secrets.removeSecret(accountSecretName(service, id));
    if (m_accountConnections.remove(key) > 0)
        Q_EMIT accountConnectionsChanged();
    if (m_accountInfo.remove(key) > 0)
        Q_EMIT accountInfoChanged();
    if (m_projectIcons.contains(service) && m_projectIcons[service].remove(id) > 0)
        Q_EMIT projectIconsChanged();
    m_iconsLookedFor.remove(key);
}

void DevKitStore::removeAccount(KitService service, const QString& id)
{
    auto records = paymentAccountRecords(service);
    if (std::none_of(records.begin(), records.end(), [&id](const auto& record) { return record.id == id; }))
        return;
    forgetAccount(service, id);
    records.removeIf([&id](const PaymentAccountRecord& record) { return record.id == id; });
    auto accounts = m_preferences.paymentAccounts();
    accounts.insert(service.rawValue(), records);
    m_preferences.setPaymentAccounts(accounts);
    m_paymentGeneration[service] += 1;

    auto remaining = m_snapshot.payments.value(service);
    remaining.removeIf([&id](const Payment& payment) { return payment.accountID == id; });
    m_snapshot.payments.insert(service, remaining);
    Q_EMIT snapshotChanged();
    auto picks = m_preferences.selectedProjects();
    if (picks.contains(service.rawValue()) && picks.value(service.rawValue()) == id) {
        picks.remove(service.rawValue());
        m_preferences.setSelectedProjects(picks);
    }
    if (m_inspectedPayment && m_inspectedPayment->payment.accountID == id)
        setInspectedPayment(std::nullopt);
    if (records.isEmpty())
        disconnect(service);
    else
        updatePaymentConnection(service);
}

void DevKitStore::adoptSingleKeys()
{
    if (m_hasAdoptedSingleKeys)
        return;
    m_hasAdoptedSingleKeys = true;
    for (auto it = m_payments.cbegin(); it != m_payments.cend(); ++it) {
        const KitService service = it.key();
        const auto legacy = m_secrets.secret(service.secretKey());
        if (!legacy)
            continue;
        const QString id = newAccountID();
        // The legacy key stays where it is unless its new home took it.
        if (!m_secrets.setSecret(*legacy, accountSecretName(service, id)))
            continue;
        m_secrets.removeSecret(service.secretKey());
        auto accounts = m_preferences.paymentAccounts();
        accounts[service.rawValue()].append(PaymentAccountRecord {id, std::nullopt, std::nullopt});
        m_preferences.setPaymentAccounts(accounts);
    }
}

void DevKitStore::updatePaymentConnection(KitService service)
{
    const auto accounts = paymentAccounts(service);
    KitConnection wanted;
    if (accounts.isEmpty()) {
        wanted = KitConnection::notConnected();
    } else if (std::any_of(accounts.begin(), accounts.end(),
                   [](const PaymentAccount& account) { return account.connection.isConnected(); })) {
        std::optional<QString> name;
        if (accounts.size() == 1) {
            const auto info = m_accountInfo.constFind(projectKey(service, accounts.first().id));
            if (info != m_accountInfo.constEnd() && info->name)
                name = info->name;
            else
                name = paymentAccountRecords(service).value(0).name;
        }
        wanted = KitConnection::connected(name);
    } else {
        wanted = accounts.first().connection;
    }
    setConnection(service, wanted);
}

QCoro::Task<> DevKitStore::loadAccountIcons(KitService service)
{
    QPointer<DevKitStore> self(this);
    const auto icons = m_siteIcons;
    if (!icons)
        co_return;
    const quint64 generation = m_generation.value(service);
    const auto records = paymentAccountRecords(service);
    for (const PaymentAccountRecord& record : records) {
        const QString key = projectKey(service, record.id);
        if (m_iconsLookedFor.contains(key) || !m_accountConnections.value(key).isConnected())
            continue;
        m_iconsLookedFor.insert(key);
        const auto info = m_accountInfo.value(key);
        std::optional<QImage> image;
        if (record.site)
            image = co_await icons->icon(*record.site);
        if (!self)
            co_return;
        if (!image && info.iconURL)
            image = co_await icons->image(*info.iconURL);
        if (!self)
            co_return;
        if (!image && info.site)
            image = co_await icons->icon(*info.site);
        if (!self || m_generation.value(service) != generation)
            co_return;
        const auto latest = paymentAccountRecords(service);
        const bool stillThere = std::any_of(
            latest.begin(), latest.end(), [&record](const auto& other) { return other.id == record.id; });
        if (image && stillThere) {
            m_projectIcons[service].insert(record.id, *image);
            Q_EMIT projectIconsChanged();
        }
    }
}

// ----- usage and spend -----

QCoro::Task<> DevKitStore::refreshUsage(KitService service)
{
    QPointer<DevKitStore> self(this);
    const auto usage = m_usage.value(service);
    if (usage && usage->isConnected()) {
        const quint64 planGeneration = m_planGeneration.value(service);
        std::optional<UsageReport> report;
        std::exception_ptr failure;
        try {
            report = co_await usage->report();
        } catch (...) {
            failure = std::current_exception();
        }
        if (!self)
            co_return;
        // A plan half disconnected while its report was on the way stays disconnected.
        if (m_planGeneration.value(service) == planGeneration) {
            if (failure) {
                setPlanConnection(service, log(failure, service));
            } else {
                if (report)
                    applyReport(service, *report);
                setPlanConnection(service, KitConnection::connected(std::nullopt));
            }
        }
    } else {
        removePlanConnectionIfConnected(service);
    }

    const auto spend = m_spend.value(service);
    const auto key = spend ? m_secrets.secret(service.secretKey()) : std::nullopt;
    if (spend && key) {
        const QDateTime checkedNow = now();
        const auto checked = m_spendChecked.constFind(service);
        qint64 since = 0;
        if (checked != m_spendChecked.constEnd())
            since = checked->msecsTo(checkedNow);
        // A clock set back makes the difference negative: that counts as due too.
        const bool due = checked == m_spendChecked.constEnd() || since >= spendGateMs || since < 0;
        if (due) {
            m_spendChecked.insert(service, checkedNow);
            const quint64 apiGeneration = m_apiGeneration.value(service);
            QList<UsageSpend> figures;
            std::exception_ptr failure;
            try {
                figures = co_await spend->spend(*key, now());
            } catch (...) {
                failure = std::current_exception();
            }
            if (!self)
                co_return;
            if (m_apiGeneration.value(service) == apiGeneration) {
                if (failure) {
                    setAPIConnection(service, log(failure, service));
                } else {
                    if (!m_snapshot.spend.contains(service) || m_snapshot.spend.value(service) != figures) {
                        m_snapshot.spend.insert(service, figures);
                        Q_EMIT snapshotChanged();
                    }
                    setAPIConnection(service, KitConnection::connected(std::nullopt));
                }
            }
        }
    } else {
        removeAPIConnectionIfConnected(service);
    }
    updateUsageConnection(service);
}

void DevKitStore::applyReport(KitService service, const UsageReport& report)
{
    const auto old = usageReport(service);
    if (old && *old == report)
        return;
    m_snapshot.usage.insert(service, report);
    Q_EMIT snapshotChanged();
    if (old) {
        const QDateTime at = now();
        if (UsageReport::signal(old, at) != UsageReport::signal(report, at))
            markUnseen(service);
    }
    const auto names = [](const UsageReport& r) {
        QStringList list;
        for (const auto& meter : r.meters)
            list.append(meter.name);
        return list;
    };
    if (old && names(*old) == names(report) && old->plan == report.plan)
        return;
    QStringList meters;
    for (const auto& meter : report.meters) {
        const double percent = std::isfinite(meter.fraction) ? std::trunc(meter.fraction * 100.0) : 0.0;
        meters.append(
            meter.name + QLatin1Char(' ') + QString::number(static_cast<qint64>(percent)) + QLatin1Char('%'));
    }
    qCInfo(logApp, "%s reports %s on plan %s", qUtf8Printable(service.serviceName()),
        qUtf8Printable(meters.join(QStringLiteral(", "))),
        qUtf8Printable(report.plan.value_or(QStringLiteral("unnamed"))));
}

void DevKitStore::updateUsageConnection(KitService service)
{
    const KitConnection plan = m_planConnections.value(service, KitConnection::notConnected());
    const KitConnection api = m_apiConnections.value(service, KitConnection::notConnected());
    KitConnection wanted;
    if (plan.isConnected() || api.isConnected())
        wanted = KitConnection::connected(std::nullopt);
    else if (plan.kind() != KitConnection::Kind::notConnected)
        wanted = plan;
    else
        wanted = api;
    setConnection(service, wanted);
}

QCoro::Task<> DevKitStore::connectUsage(KitService service)
{
    QPointer<DevKitStore> self(this);
    if (m_usesMockData)
        co_return;
    const auto usage = m_usage.value(service);
    if (!usage) {
        setPlanConnection(service, unavailable(service));
        updateUsageConnection(service);
        co_return;
    }
    const KitConnection before = connection(service);
    const quint64 generation = m_planGeneration.value(service);
    setPlanConnection(service, KitConnection::connecting());
    updateUsageConnection(service);
    std::exception_ptr failure;
    try {
        co_await usage->connect();
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    if (m_planGeneration.value(service) != generation) {
        // The user disconnected while the source was being set up: undo what it set up.
        if (!failure)
            usage->disconnect();
        co_return;
    }
    if (failure) {
        setPlanConnection(service, log(failure, service));
        updateUsageConnection(service);
        co_return;
    }
    qCInfo(logApp, "Connected to %s", qUtf8Printable(service.serviceName()));
    co_await refreshUsage(service);
    if (!self || m_planGeneration.value(service) != generation)
        co_return;
    startPolling(service, false);
    if (!before.isConnected() && connection(service).isConnected())
        celebrate(service, 1.0);
}

QCoro::Task<> DevKitStore::connectAPIUsage(KitService service, QString key)
{
    QPointer<DevKitStore> self(this);
    if (key.isEmpty() || m_usesMockData)
        co_return;
    const auto spend = m_spend.value(service);
    if (!spend) {
        setAPIConnection(service, unavailable(service));
        updateUsageConnection(service);
        co_return;
    }
    const KitConnection before = connection(service);
    const quint64 generation = m_apiGeneration.value(service);
    setAPIConnection(service, KitConnection::connecting());
    updateUsageConnection(service);
    QList<UsageSpend> figures;
    std::exception_ptr failure;
    try {
        figures = co_await spend->spend(key, now());
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self || m_apiGeneration.value(service) != generation)
        co_return; // disconnected meanwhile: the key is not stored
    if (failure) {
        setAPIConnection(service, log(failure, service));
        updateUsageConnection(service);
        co_return;
    }
    if (!m_secrets.setSecret(key, service.secretKey())) {
        setAPIConnection(service, notSaved(service));
        updateUsageConnection(service);
        co_return;
    }
    m_snapshot.spend.insert(service, figures);
    Q_EMIT snapshotChanged();
    m_spendChecked.insert(service, now());
    setAPIConnection(service, KitConnection::connected(std::nullopt));
    qCInfo(logApp, "Connected to the API usage of %s", qUtf8Printable(service.serviceName()));
    updateUsageConnection(service);
    startPolling(service, false);
    if (!before.isConnected())
        celebrate(service, 1.0);
}

void DevKitStore::disconnectUsage(KitService service)
{
    m_planGeneration[service] += 1;
    if (const auto usage = m_usage.value(service))
        usage->disconnect();
    if (m_planConnections.remove(service) > 0)
        Q_EMIT planConnectionsChanged();
    if (m_snapshot.usage.remove(service) > 0)
        Q_EMIT snapshotChanged();
    updateUsageConnection(service);
}

void DevKitStore::disconnectAPIUsage(KitService service)
{
    m_apiGeneration[service] += 1;
    m_secrets.removeSecret(service.secretKey());
    if (m_apiConnections.remove(service) > 0)
        Q_EMIT apiConnectionsChanged();
    m_spendChecked.remove(service);
    if (m_snapshot.spend.remove(service) > 0)
        Q_EMIT snapshotChanged();
    updateUsageConnection(service);
}

// ----- connecting and disconnecting -----

QCoro::Task<> DevKitStore::connect(KitService service, QString key)
{
    QPointer<DevKitStore> self(this);
    if (service.isPayment()) {
        co_await addPaymentAccount(service, key, std::nullopt, std::nullopt);
        co_return;
    }
    const QString token = key.trimmed();
    if (service.isUsage()) {
        co_await connectAPIUsage(service, token);
        co_return;
    }
    if (token.isEmpty() || m_usesMockData)
        co_return;
    if (!m_activity.value(service)) {
        setConnection(service, unavailable(service));
        co_return;
    }
    const quint64 generation = m_generation.value(service);
    setConnection(service, KitConnection::connecting());
    std::exception_ptr failure;
    try {
        co_await refreshDeployments(service, token, true);
    } catch (const StaleResult&) {
        co_return;
    } catch (...) {
        failure = std::current_exception();
    }
    // A disconnect while the tool was being asked wins: nothing is stored or started.
    if (!self || m_generation.value(service) != generation)
        co_return;
    if (failure) {
        setConnection(service, log(failure, service));
        co_return;
    }
    if (!m_secrets.setSecret(token, service.secretKey())) {
        setConnection(service, notSaved(service));
        co_return;
    }
    qCInfo(logApp, "Connected to %s", qUtf8Printable(service.serviceName()));
    startPolling(service, false);
    celebrate(service, 1.0);
}

void DevKitStore::disconnect(KitService service)
{
    m_generation[service] += 1;
    m_paymentGeneration[service] += 1;
    m_planGeneration[service] += 1;
    m_apiGeneration[service] += 1;
    m_projectsUnlisted.remove(service);
    const QString prefix = service.rawValue() + QLatin1Char('/');
    m_addingAccounts.removeIf([&prefix](const QString& key) { return key.startsWith(prefix); });

    if (m_pollTasks.contains(service))
        m_pollTasks.take(service).cancel();
    m_secrets.removeSecret(service.secretKey());
    for (const auto& record : paymentAccountRecords(service))
        forgetAccount(service, record.id);
    auto accounts = m_preferences.paymentAccounts();
    accounts.remove(service.rawValue());
    m_preferences.setPaymentAccounts(accounts);
    auto picks = m_preferences.selectedProjects();
    picks.remove(service.rawValue());
    m_preferences.setSelectedProjects(picks);
    if (const auto usage = m_usage.value(service))
        usage->disconnect();

    if (m_planConnections.remove(service) > 0)
        Q_EMIT planConnectionsChanged();
    if (m_apiConnections.remove(service) > 0)
        Q_EMIT apiConnectionsChanged();
    m_spendChecked.remove(service);
    if (m_snapshot.spend.remove(service) > 0)
        Q_EMIT snapshotChanged();
    m_connections.insert(service, KitConnection::notConnected());
    Q_EMIT connectionsChanged();
    removeFrom(m_unseen, service, &DevKitStore::unseenChanged);
    if (m_addFailures.remove(service) > 0)
        Q_EMIT addFailuresChanged();
    m_accounts.remove(service);
    if (m_accountIcons.remove(service) > 0)
        Q_EMIT accountIconsChanged();
    if (m_advice.remove(service) > 0)
        Q_EMIT adviceChanged();
    if (m_listedProjects.remove(service) > 0)
        Q_EMIT listedProjectsChanged();
    m_loadedOnce.remove(service);
    const bool hadRows = m_snapshot.deployments.remove(service) > 0;
    const bool hadPayments = m_snapshot.payments.remove(service) > 0;
    const bool hadReport = m_snapshot.usage.remove(service) > 0;
    if (hadRows || hadPayments || hadReport)
        Q_EMIT snapshotChanged();
    if (m_projectIcons.remove(service) > 0)
        Q_EMIT projectIconsChanged();
    m_iconsLookedFor.removeIf([&prefix](const QString& key) { return key.startsWith(prefix); });
    if (m_picking == service)
        setPicking(std::nullopt);
    if (m_inspection && m_inspection->service == service) {
        openInspection(std::nullopt);
        m_awaitedRedeploy.reset();
    }
    if (m_inspectedPayment && m_inspectedPayment->service == service)
        setInspectedPayment(std::nullopt);
}

} // namespace brenvo
