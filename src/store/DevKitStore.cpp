#include "store/DevKitStore.h"

#include "app/core/PreferencesStore.h"
#include "app/core/SecretStore.h"
#include "http/JsonReader.h"
#include "http/ServiceFailure.h"
#include "model/AppConfig.h"
#include "model/KitText.h"
#include "model/Log.h"
#include "model/Scheduler.h"

#include <QLocale>

#include <algorithm>

namespace brenvo {

DevKitStore::DevKitStore(PreferencesStore& preferences, SecretStore& secrets, Scheduler& scheduler,
    bool usesMockData, Sources sources, QObject* parent)
    : QObject(parent)
    , m_preferences(preferences)
    , m_secrets(secrets)
    , m_scheduler(scheduler)
    , m_usesMockData(usesMockData)
    , m_sources(std::move(sources))
    , m_snapshot(usesMockData ? DevKitSnapshot::sample(scheduler.wallNow()) : DevKitSnapshot::empty())
{
    for (const auto service : KitService::allCases())
        m_tools.emplace(service, freshTool());
}

DevKitStore::~DevKitStore()
{
    // Polling tasks hold the store weakly; waking their sleeps lets them end.
    for (auto& [service, record] : m_tools)
        if (record.pollTask)
            record.pollTask->cancel();
}

DevKitStore::Tool DevKitStore::freshTool()
{
    Tool fresh;
    // Past every value a task may have noted, so that each of them sees its counter move.
    const quint64 next = ++m_lastGeneration;
    fresh.generation = fresh.paymentGeneration = fresh.plan.generation = fresh.api.generation = next;
    return fresh;
}

bool DevKitStore::accountWanted(const Ticket& ticket, KitService service, const QString& id) const
{
    if (!ticket.stillWanted())
        return false;
    if (tool(service).addingAccounts.contains(id))
        return true;
    const auto records = paymentAccountRecords(service);
    return std::any_of(records.begin(), records.end(),
        [&id](const PaymentAccountRecord& record) { return record.id == id; });
}

QDateTime DevKitStore::now() const
{
    return m_scheduler.wallNow();
}

bool DevKitStore::hasSource(KitService service) const
{
    if (service.isActivity())
        return m_sources.activity.value(service) != nullptr;
    if (service.isPayment())
        return m_sources.payments.value(service) != nullptr;
    return m_sources.usage.value(service) != nullptr || m_sources.spend.value(service) != nullptr;
}

// ----- the observable per-tool maps, read from the records -----

template <typename T> QMap<KitService, T> DevKitStore::collect(std::optional<T> Tool::*field) const
{
    QMap<KitService, T> result;
    for (const auto& [service, record] : m_tools)
        if (const auto& value = record.*field)
            result.insert(service, *value);
    return result;
}

QMap<KitService, KitConnection> DevKitStore::connections() const
{
    return collect(&Tool::connection);
}

QSet<KitService> DevKitStore::unseen() const
{
    QSet<KitService> result;
    for (const auto& [service, record] : m_tools)
        if (record.unseen)
            result.insert(service);
    return result;
}

QMap<KitService, QMap<QString, QImage>> DevKitStore::projectIcons() const
{
    QMap<KitService, QMap<QString, QImage>> result;
    for (const auto& [service, record] : m_tools)
        if (!record.projectIcons.isEmpty())
            result.insert(service, record.projectIcons);
    return result;
}

QMap<KitService, QImage> DevKitStore::accountIcons() const
{
    return collect(&Tool::accountIcon);
}

QMap<KitService, QString> DevKitStore::advice() const
{
    return collect(&Tool::advice);
}

QMap<KitService, KitConnection> DevKitStore::addFailures() const
{
    return collect(&Tool::addFailure);
}

QMap<KitService, KitConnection> DevKitStore::planConnections() const
{
    QMap<KitService, KitConnection> result;
    for (const auto& [service, record] : m_tools)
        if (record.plan.connection)
            result.insert(service, *record.plan.connection);
    return result;
}

QMap<KitService, KitConnection> DevKitStore::apiConnections() const
{
    QMap<KitService, KitConnection> result;
    for (const auto& [service, record] : m_tools)
        if (record.api.connection)
            result.insert(service, *record.api.connection);
    return result;
}

QMap<KitService, QList<KitProject>> DevKitStore::listedProjects() const
{
    return collect(&Tool::listedProjects);
}

QMap<QString, KitConnection> DevKitStore::accountConnections() const
{
    QMap<QString, KitConnection> result;
    for (const auto& [service, record] : m_tools)
        for (auto it = record.accounts.cbegin(); it != record.accounts.cend(); ++it)
            if (it->connection)
                result.insert(projectKey(service, it.key()), *it->connection);
    return result;
}

QMap<QString, PaymentAccountInfo> DevKitStore::accountInfo() const
{
    QMap<QString, PaymentAccountInfo> result;
    for (const auto& [service, record] : m_tools)
        for (auto it = record.accounts.cbegin(); it != record.accounts.cend(); ++it)
            if (it->info)
                result.insert(projectKey(service, it.key()), *it->info);
    return result;
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

void DevKitStore::setUnseen(KitService service, bool unseen)
{
    auto& record = tool(service);
    if (record.unseen == unseen)
        return;
    record.unseen = unseen;
    Q_EMIT unseenChanged();
}

void DevKitStore::setConnection(KitService service, const KitConnection& connection)
{
    auto& stored = tool(service).connection;
    if (stored == connection)
        return;
    stored = connection;
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
    moveOn(m_inspectionGeneration);
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
    auto& stored = tool(service).listedProjects;
    if (stored == projects)
        return;
    stored = projects;
    Q_EMIT listedProjectsChanged();
}

void DevKitStore::setAccountConnection(
    KitService service, const QString& id, std::optional<KitConnection> connection)
{
    auto& accounts = tool(service).accounts;
    if (accounts.value(id).connection == connection)
        return;
    accounts[id].connection = std::move(connection);
    Q_EMIT accountConnectionsChanged();
}

void DevKitStore::setAddFailure(KitService service, std::optional<KitConnection> failure)
{
    auto& stored = tool(service).addFailure;
    if (!failure && !stored)
        return;
    stored = std::move(failure);
    Q_EMIT addFailuresChanged();
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
        return tool(service).listedProjects.value_or(QList<KitProject>());
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
    return tool(service).connection.value_or(KitConnection::notConnected());
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
    if (!m_usesMockData && !connection(service).isConnected())
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
    const auto& accounts = tool(service).accounts;
    for (int i = 0; i < records.size(); ++i) {
        const auto& record = records.at(i);
        const Account account = accounts.value(record.id);
        QString name;
        if (record.name)
            name = *record.name;
        else if (account.info && account.info->name)
            name = *account.info->name;
        else if (records.size() == 1)
            name = service.serviceName() + QStringLiteral(" account");
        else
            name = QStringLiteral("Account ") + QString::number(i + 1);
        result.append(PaymentAccount {record.id, name,
            account.connection.value_or(KitConnection::connecting()), isHeld(service, record.id)});
    }
    return result;
}

void DevKitStore::markUnseen(KitService service)
{
    if (m_watching == service)
        return;
    setUnseen(service, true);
}

QString DevKitStore::projectKey(KitService service, const QString& id)
{
    return service.rawValue() + QLatin1Char('/') + id;
}

// ----- failures -----

QString DevKitStore::failureText(std::exception_ptr failure, KitService service)
{
    try {
        if (failure)
            std::rethrow_exception(failure);
    } catch (const ServiceFailure& error) {
        switch (error.kind()) {
        case ServiceFailure::Kind::refused:
            // A redirect comes back only when following it would have carried the token elsewhere.
            if (error.status() >= 300 && error.status() <= 399 && error.status() != 304)
                return redirectedText(service);
            return refusedText(service, error.status(), error.message());
        case ServiceFailure::Kind::explained:
            return error.message();
        case ServiceFailure::Kind::rejected:
            return rejectedText(service);
        }
    } catch (const UsageFailure& error) {
        return error.reason();
    } catch (const DecodingFailure&) {
        return undecodableText(service);
    } catch (...) {
    }
    return unreachableText(service);
}

KitConnection DevKitStore::log(std::exception_ptr failure, KitService service)
{
    QString sentence = failureText(failure, service);
    bool rejected = false;
    std::optional<QDateTime> retryAt;
    try {
        if (failure)
            std::rethrow_exception(failure);
    } catch (const ServiceFailure& error) {
        rejected = error.isRejected();
        retryAt = error.retryAt();
    } catch (...) {
    }
    const QDateTime wall = now();
    if (retryAt && *retryAt > wall) {
        // The service's request limit is spent: it is asked nothing before it resets. The pause is
        // kept on the monotonic clock; only the sentence names a time of day.
        const Duration remaining
            = std::min(Duration(wall.msecsTo(*retryAt)), Duration(std::chrono::hours(1)));
        tool(service).quietUntil = m_scheduler.now() + remaining;
        const QDateTime until = wall.addMSecs(remaining.count());
        sentence += QStringLiteral(" ") + appName() + QStringLiteral(" will try again at ")
            + QLocale().toString(until.toLocalTime().time(), QLocale::ShortFormat) + QStringLiteral(".");
    }
    qCCritical(logApp, "%s", qUtf8Printable(sentence));
    return rejected ? KitConnection::rejected() : KitConnection::failing(sentence);
}

KitConnection DevKitStore::unavailable(KitService service)
{
    const QString sentence = unavailableText(service);
    qCCritical(logApp, "%s", qUtf8Printable(sentence));
    return KitConnection::failing(sentence);
}

KitConnection DevKitStore::notSaved(KitService service)
{
    const QString sentence = notSavedText(service);
    qCCritical(logApp, "%s", qUtf8Printable(sentence));
    return KitConnection::failing(sentence);
}

KitConnection DevKitStore::keyringLocked(KitService service)
{
    return KitConnection::failing(lockedText(service));
}

bool DevKitStore::isHeldAfterRefusal(const QString& secretName)
{
    if (!m_secrets.isHeld(secretName))
        return false;
    qCWarning(logApp, "A token or key the user gave is used but not saved yet: the keyring is locked");
    Q_EMIT heldSecretsChanged();
    return true;
}

bool DevKitStore::isHeld(KitService service, const std::optional<QString>& accountID) const
{
    return m_secrets.isHeld(accountID ? accountSecretName(service, *accountID) : service.secretKey());
}

// A row or payment of this tool that is open goes, with the redeploy it waited for.
void DevKitStore::closeDetailsOf(KitService service)
{
    if (m_inspection && m_inspection->service == service) {
        openInspection(std::nullopt);
        m_awaitedRedeploy.reset();
    }
    if (m_inspectedPayment && m_inspectedPayment->service == service)
        setInspectedPayment(std::nullopt);
}

} // namespace brenvo
