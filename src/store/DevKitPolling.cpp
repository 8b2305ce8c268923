#include "store/DevKitStore.h"

#include "app/core/PreferencesStore.h"
#include "app/core/SecretStore.h"
#include "model/DetachedTask.h"
#include "model/KitText.h"
#include "model/Log.h"
#include "model/Scheduler.h"

#include <algorithm>
#include <cmath>

namespace brenvo {

namespace {

constexpr double claudePollSeconds = 5.0;
constexpr double longestBackoffSeconds = 15 * 60;
constexpr qint64 buildingLongestSeconds = 6 * 3600; // older "building" rows are stuck, not busy
// A refresh ends within its requests' deadlines; one joined waits no longer than this for it.
constexpr Duration joinLongest = std::chrono::hours(1);

} // namespace

bool DevKitStore::isConfigured(KitService service)
{
    if (!hasSource(service))
        return false; // nothing could answer for it
    if (service.isActivity())
        return m_secrets.secret(service.secretKey()).has_value();
    if (service.isPayment())
        return !paymentAccountRecords(service).isEmpty();
    // A disconnect still to be finished is retried on the tool's turns.
    const auto usage = m_sources.usage.value(service);
    if (usage && (usage->isConnected() || usage->isDisconnecting()))
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
        if (isConfigured(service)) {
            setConnection(service, KitConnection::connecting());
            startPolling(service, true);
        } else if (!service.isPayment() && hasSource(service)
            && m_secrets.lookupSecret(service.secretKey()).isUnreadable()) {
            // A keyring still locked at login: each turn reads the token again.
            startPolling(service, true);
        }
    }
}

void DevKitStore::secretsBecameReadable()
{
    if (!m_isRunning)
        return;
    // Whatever could not be read is asked again at once: a locked key is no failure to back off from.
    for (const auto service : KitService::allCases()) {
        const Tool& record = tool(service);
        if (record.pollTask
            && (record.secretUnreadable || connection(service).kind() == KitConnection::Kind::notConnected))
            runDetached(refresh(service), "A tool's refresh");
    }
    startNewlyConfigured();
}

void DevKitStore::startNewlyConfigured()
{
    // A legacy payment key that could not be read yet may make an account now.
    adoptSingleKeys();
    // A secret store may not tell a locked item from an absent one: whatever reads now counts.
    for (const auto service : KitService::allCases()) {
        if (m_isRunning && !tool(service).pollTask && isConfigured(service)) {
            setConnection(service, KitConnection::connecting());
            startPolling(service, true);
        }
    }
}

void DevKitStore::resumePolling(KitService service)
{
    if (!m_isRunning || tool(service).pollTask || !isConfigured(service))
        return;
    qCInfo(logApp, "Checking %s again", qUtf8Printable(service.serviceName()));
    auto& record = tool(service);
    record.pollTask = CancelToken();
    runDetached(poll(service, false, *record.pollTask), "A tool's polling");
}

void DevKitStore::stop()
{
    m_isRunning = false;
    for (auto& [service, record] : m_tools) {
        if (auto token = std::exchange(record.pollTask, std::nullopt))
            token->cancel();
    }
}

void DevKitStore::startPolling(KitService service, bool refreshFirst)
{
    auto& record = tool(service);
    if (!refreshFirst) {
        // The tool just answered the user: whatever pause its failures earned is over.
        record.quietUntil.reset();
        endBackOff(service);
    }
    if (!m_isRunning || record.pollTask)
        return;
    record.pollTask = CancelToken();
    runDetached(poll(service, refreshFirst, *record.pollTask), "A tool's polling");
}

void DevKitStore::endBackOff(KitService service)
{
    auto& record = tool(service);
    record.failedRefreshes = 0;
    if (auto sleep = std::exchange(record.pollSleep, std::nullopt))
        sleep->cancel();
}

bool DevKitStore::isBuildingLately(KitService service) const
{
    const QDateTime since = now().addSecs(-buildingLongestSeconds);
    const auto rows = deployments(service);
    return std::any_of(rows.begin(), rows.end(), [&since](const Deployment& row) {
        return row.state == Deployment::State::building && row.date.isValid() && row.date > since;
    });
}

double DevKitStore::pollInterval(KitService service) const
{
    if (service == KitService::claude)
        return claudePollSeconds;
    const double normal = m_preferences.sleepInterval(service);
    const Tool& record = tool(service);
    double interval = normal;
    if (record.failedRefreshes > 0) {
        // A failing service is asked less and less often, never faster than its normal pace.
        const double doubled = normal * std::exp2(std::min(record.failedRefreshes - 1, 16));
        interval = std::max(normal, std::min(doubled, longestBackoffSeconds));
    } else if (isBuildingLately(service)) {
        interval = std::min(normal, service == KitService::github ? 10.0 : 5.0);
    }
    if (record.quietUntil)
        interval = std::max(
            interval, static_cast<double>((*record.quietUntil - m_scheduler.now()).count()) / 1000.0);
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
        // A sleep of its own, so that a success elsewhere can wake the loop without ending it.
        CancelToken wake;
        const int link = token.onCancel([wake]() mutable { wake.cancel(); });
        tool(service).pollSleep = wake;
        const bool slept = co_await scheduler.sleep(seconds(pollInterval(service)), wake);
        if (!self || token.isCancelled())
            co_return;
        token.removeCallback(link);
        if (!slept)
            continue; // woken: sleep again at the pace now in force
        tool(service).pollSleep.reset();
        Q_EMIT pollingTurn();
        if (!self || token.isCancelled())
            co_return;
        startNewlyConfigured();
        co_await refresh(service);
        if (!self || token.isCancelled())
            co_return;
        if (!isConfigured(service) && !tool(service).secretUnreadable && !tool(service).plan.mayReturn) {
            // Started while its token could not be read, and none came, or the user disconnected
            // the reader: nothing to ask until something is connected again.
            tool(service).pollTask.reset();
            co_return;
        }
    }
}

QCoro::Task<> DevKitStore::refresh(KitService service)
{
    return runRefresh(service, false, &DevKitStore::refreshOnce);
}

DevKitStore::RefreshSlot::RefreshSlot(DevKitStore* store, KitService service, bool tryingToken)
    : m_store(store)
    , m_service(service)
{
    auto& record = store->tool(service);
    record.refreshing = m_done;
    record.tryingToken = tryingToken;
}

bool DevKitStore::RefreshSlot::isHeld() const
{
    return m_store && m_store->tool(m_service).refreshing == m_done;
}

void DevKitStore::RefreshSlot::release()
{
    if (isHeld()) {
        auto& record = m_store->tool(m_service);
        record.refreshing.reset();
        record.tryingToken = false;
    }
    m_done.cancel();
}

QCoro::Task<> DevKitStore::runRefresh(
    KitService service, bool anew, QCoro::Task<> (DevKitStore::*body)(KitService))
{
    QPointer<DevKitStore> self(this);
    if (const auto running = tool(service).refreshing) {
        if (anew)
            tool(service).refreshAgain = true;
        Scheduler& scheduler = m_scheduler;
        co_await scheduler.sleep(joinLongest, *running);
        co_return;
    }
    // Whoever joined goes on when this ends; also when it ends by an exception or with the store.
    RefreshSlot slot(this, service);
    do {
        tool(service).refreshAgain = false;
        co_await (this->*body)(service);
        if (!self)
            co_return;
    } while (slot.isHeld() && tool(service).refreshAgain);
    slot.release();
    resumePolling(service);
}

QCoro::Task<> DevKitStore::refreshOnce(KitService service)
{
    if (m_usesMockData || !m_preferences.enabledServices().contains(service))
        co_return;
    // A spent request limit: nothing is asked before the service said. Claude's turns read a local
    // reader that spaces its own probes.
    const auto quiet = tool(service).quietUntil;
    if (quiet && m_scheduler.now() < *quiet && service != KitService::claude)
        co_return;
    adoptSingleKeys();
    const Ticket ticket = this->ticket(service);
    if (service.isActivity()) {
        const SecretLookup token = m_secrets.lookupSecret(service.secretKey());
        tool(service).secretUnreadable = token.isUnreadable();
        // A locked keyring is said as such, not as a tool to add; rows already shown stay.
        if (token.isUnreadable() && !connection(service).isConnected()
            && connection(service) != keyringLocked(service)) {
            qCInfo(logApp, "%s", qUtf8Printable(lockedText(service)));
            setConnection(service, keyringLocked(service));
        } else if (token.isAbsent() && connection(service) == keyringLocked(service)) {
            setConnection(service, KitConnection::notConnected());
        }
        if (!token.isFound())
            co_return;
        std::exception_ptr failure;
        try {
            co_await refreshDeployments(service, token.value(), !connection(service).isConnected());
        } catch (...) {
            failure = std::current_exception();
        }
        if (failure && ticket.stillWanted())
            setConnection(service, log(failure, service));
    } else if (service.isPayment()) {
        co_await refreshPayments(service);
    } else {
        co_await refreshUsage(service);
    }
    if (!ticket.stillWanted())
        co_return;
    const auto kind = connection(service).kind();
    if (kind == KitConnection::Kind::failing || kind == KitConnection::Kind::rejected) {
        // A key the keyring keeps locked is no failure of the tool's to back off from.
        if (!tool(service).secretUnreadable)
            ++tool(service).failedRefreshes;
    } else if (tool(service).failedRefreshes > 0) {
        endBackOff(service); // a loop sleeping off earlier failures wakes to the normal pace
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
        runDetached(refresh(service), "A tool's refresh");
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
    setUnseen(*service, false);
    const auto usage = m_sources.usage.value(*service);
    if (m_isRunning && usage && usage->isConnected())
        runDetached(watchUsage(*service), "A usage check");
}

QCoro::Task<> DevKitStore::watchUsage(KitService service)
{
    QPointer<DevKitStore> self(this);
    const auto usage = m_sources.usage.value(service);
    if (!usage)
        co_return;
    co_await usage->askNow();
    if (!self)
        co_return;
    co_await runRefresh(service, false, &DevKitStore::refreshUsage);
}

double DevKitStore::claudeCheckInterval() const
{
    return m_preferences.checkInterval(KitService::claude);
}

} // namespace brenvo
