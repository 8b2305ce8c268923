#include "store/DevKitStore.h"

#include "app/core/SecretStore.h"
#include "model/Log.h"

#include <cmath>

namespace brenvo {

namespace {

constexpr qint64 spendGateMs = 300 * 1000;

} // namespace

QCoro::Task<> DevKitStore::refreshUsage(KitService service)
{
    QPointer<DevKitStore> self(this);
    const auto usage = m_sources.usage.value(service);
    if (usage && usage->isDisconnecting()) {
        // The disconnect the user asked for is finished as soon as it can be; said until then.
        const auto notUndone = usage->disconnect();
        setHalf(service, &Tool::plan,
            notUndone ? std::optional(KitConnection::failing(*notUndone)) : std::nullopt);
        if (m_snapshot.usage.remove(service) > 0)
            Q_EMIT snapshotChanged();
    } else if (usage && usage->isConnected()) {
        tool(service).plan.mayReturn = true;
        // A plan half disconnected while its report was on the way stays disconnected.
        const Ticket plan(this, &tool(service).plan.generation);
        std::optional<UsageReport> report;
        std::exception_ptr failure;
        try {
            report = co_await usage->report();
        } catch (...) {
            failure = std::current_exception();
        }
        if (!self)
            co_return;
        if (plan.stillWanted()) {
            if (failure) {
                failPlan(service, failure);
            } else {
                if (report)
                    applyReport(service, *report);
                const auto before = tool(service).plan.connection;
                if (before
                    && (before->kind() == KitConnection::Kind::failing
                        || before->kind() == KitConnection::Kind::rejected))
                    qCInfo(logApp, "%s reports its plan limits again", qUtf8Printable(service.serviceName()));
                setHalf(service, &Tool::plan, KitConnection::connected(std::nullopt));
            }
        }
    } else if (const auto half = tool(service).plan.connection; half && half->isConnected()) {
        setHalf(service, &Tool::plan, std::nullopt);
    }

    const auto spend = m_sources.spend.value(service);
    const SecretLookup lookup = spend ? m_secrets.lookupSecret(service.secretKey()) : SecretLookup::absent();
    const auto key = lookup.isFound() ? std::optional(lookup.value()) : std::nullopt;
    const auto apiHalf = tool(service).api.connection;
    if (spend)
        tool(service).secretUnreadable = lookup.isUnreadable();
    if (lookup.isUnreadable()) {
        // The admin key is locked away: said so, its figures (if any) kept.
        if (!apiHalf || (!apiHalf->isConnected() && *apiHalf != keyringLocked(service)))
            setHalf(service, &Tool::api, keyringLocked(service));
    } else if (spend && key) {
        const QDateTime checkedNow = now();
        const auto checked = tool(service).spendChecked;
        const qint64 since = checked ? checked->msecsTo(checkedNow) : 0;
        // A clock set back makes the difference negative: that counts as due too.
        const bool due = !checked || since >= spendGateMs || since < 0;
        if (due) {
            tool(service).spendChecked = checkedNow;
            const Ticket api(this, &tool(service).api.generation);
            QList<UsageSpend> figures;
            std::exception_ptr failure;
            try {
                figures = co_await spend->spend(*key, now());
            } catch (...) {
                failure = std::current_exception();
            }
            if (!self)
                co_return;
            if (api.stillWanted()) {
                if (failure) {
                    setHalf(service, &Tool::api, log(failure, service));
                } else {
                    if (!m_snapshot.spend.contains(service) || m_snapshot.spend.value(service) != figures) {
                        m_snapshot.spend.insert(service, figures);
                        Q_EMIT snapshotChanged();
                    }
                    setHalf(service, &Tool::api, KitConnection::connected(std::nullopt));
                }
            }
        }
    } else if (apiHalf && (apiHalf->isConnected() || *apiHalf == keyringLocked(service))) {
        setHalf(service, &Tool::api, std::nullopt);
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

// A plan half that keeps failing alike is said once, not on every turn. A tool that only could not
// fetch its limits this time keeps its last report, and the tool stays connected beside the sentence.
void DevKitStore::failPlan(KitService service, std::exception_ptr failure)
{
    bool momentary = false;
    try {
        std::rethrow_exception(failure);
    } catch (const UsageFailure& error) {
        momentary = error.isMomentary();
    } catch (...) {
    }
    const bool keepsReport = momentary && usageReport(service).has_value();
    const UsageHalf& half = tool(service).plan;
    const auto connection = half.connection;
    if (connection && connection->kind() == KitConnection::Kind::failing
        && connection->reason() == failureText(failure, service) && half.keepsReport == keepsReport)
        return;
    setHalf(service, &Tool::plan, log(failure, service), keepsReport);
}

void DevKitStore::setHalf(
    KitService service, UsageHalf Tool::*half, std::optional<KitConnection> connection, bool keepsReport)
{
    auto& record = tool(service).*half;
    auto& stored = record.connection;
    if (stored == connection && record.keepsReport == keepsReport)
        return;
    record.keepsReport = keepsReport;
    stored = std::move(connection);
    if (half == &Tool::plan)
        Q_EMIT planConnectionsChanged();
    else
        Q_EMIT apiConnectionsChanged();
}

void DevKitStore::updateUsageConnection(KitService service)
{
    const KitConnection plan = tool(service).plan.connection.value_or(KitConnection::notConnected());
    const KitConnection api = tool(service).api.connection.value_or(KitConnection::notConnected());
    const bool planWorks = plan.isConnected() || (tool(service).plan.keepsReport && usageReport(service));
    KitConnection wanted;
    if (planWorks || api.isConnected())
        wanted = KitConnection::connected(std::nullopt);
    else if (plan.kind() != KitConnection::Kind::notConnected)
        wanted = plan;
    else
        wanted = api;
    setConnection(service, wanted);
}

std::optional<std::pair<DevKitStore::Ticket, KitConnection>> DevKitStore::beginHalf(
    KitService service, UsageHalf Tool::*half, bool hasSource)
{
    if (!hasSource) {
        failHalf(service, half, unavailable(service));
        return std::nullopt;
    }
    const KitConnection before = connection(service);
    const Ticket ticket(this, &(tool(service).*half).generation);
    setHalf(service, half, KitConnection::connecting());
    updateUsageConnection(service);
    return std::pair {ticket, before};
}

void DevKitStore::failHalf(KitService service, UsageHalf Tool::*half, const KitConnection& failure)
{
    setHalf(service, half, failure);
    updateUsageConnection(service);
}

void DevKitStore::finishHalf(KitService service, const KitConnection& before)
{
    startPolling(service, false);
    if (!before.isConnected() && connection(service).isConnected())
        celebrate(service, 1.0);
}

QCoro::Task<> DevKitStore::connectUsage(KitService service)
{
    QPointer<DevKitStore> self(this);
    if (m_usesMockData)
        co_return;
    const auto usage = m_sources.usage.value(service);
    const auto begun = beginHalf(service, &Tool::plan, usage != nullptr);
    if (!begun)
        co_return;
    const auto& [ticket, before] = *begun;
    std::exception_ptr failure;
    try {
        co_await usage->connect();
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    if (!ticket.stillWanted()) {
        // The user disconnected while the source was being set up: undo what it set up.
        if (!failure)
            usage->disconnect();
        co_return;
    }
    if (failure) {
        failHalf(service, &Tool::plan, log(failure, service));
        co_return;
    }
    qCInfo(logApp, "Connected to %s", qUtf8Printable(service.serviceName()));
    co_await refreshUsage(service);
    if (ticket.stillWanted())
        finishHalf(service, before);
}

QCoro::Task<> DevKitStore::connectAPIUsage(KitService service, QString key)
{
    if (key.isEmpty() || m_usesMockData)
        co_return;
    const auto spend = m_sources.spend.value(service);
    const auto begun = beginHalf(service, &Tool::api, spend != nullptr);
    if (!begun)
        co_return;
    const auto& [ticket, before] = *begun;
    QList<UsageSpend> figures;
    std::exception_ptr failure;
    try {
        figures = co_await spend->spend(key, now());
    } catch (...) {
        failure = std::current_exception();
    }
    if (!ticket.stillWanted())
        co_return; // disconnected meanwhile: the key is not stored
    if (failure) {
        failHalf(service, &Tool::api, log(failure, service));
        co_return;
    }
    if (!m_secrets.setSecret(key, service.secretKey()) && !isHeldAfterRefusal(service.secretKey())) {
        failHalf(service, &Tool::api, notSaved(service));
        co_return;
    }
    m_snapshot.spend.insert(service, figures);
    Q_EMIT snapshotChanged();
    tool(service).spendChecked = now();
    setHalf(service, &Tool::api, KitConnection::connected(std::nullopt));
    qCInfo(logApp, "Connected to the API usage of %s", qUtf8Printable(service.serviceName()));
    updateUsageConnection(service);
    finishHalf(service, before);
}

void DevKitStore::disconnectUsage(KitService service)
{
    moveOn(tool(service).plan.generation);
    tool(service).plan.mayReturn = false;
    std::optional<QString> notUndone;
    if (const auto usage = m_sources.usage.value(service))
        notUndone = usage->disconnect();
    if (notUndone)
        qCWarning(logApp, "%s: %s", qUtf8Printable(service.serviceName()), qUtf8Printable(*notUndone));
    setHalf(
        service, &Tool::plan, notUndone ? std::optional(KitConnection::failing(*notUndone)) : std::nullopt);
    if (m_snapshot.usage.remove(service) > 0)
        Q_EMIT snapshotChanged();
    updateUsageConnection(service);
    if (notUndone)
        resumePolling(service);
}

void DevKitStore::disconnectAPIUsage(KitService service)
{
    moveOn(tool(service).api.generation);
    m_secrets.removeSecret(service.secretKey());
    setHalf(service, &Tool::api, std::nullopt);
    tool(service).spendChecked.reset();
    if (m_snapshot.spend.remove(service) > 0)
        Q_EMIT snapshotChanged();
    updateUsageConnection(service);
}

} // namespace brenvo
