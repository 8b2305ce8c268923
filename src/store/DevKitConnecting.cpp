#include "store/DevKitStore.h"

#include "app/core/PreferencesStore.h"
#include "app/core/SecretStore.h"
#include "model/DetachedTask.h"
#include "model/Log.h"

namespace brenvo {

QCoro::Task<> DevKitStore::connect(KitService service, QString key)
{
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
    if (!m_sources.activity.value(service)) {
        setConnection(service, unavailable(service));
        co_return;
    }
    // A refresh still reading with the token before must not put its rows over the new one's, and
    // none may start with it meanwhile: Connect's read holds the tool's refresh slot.
    moveOn(tool(service).generation);
    const Ticket ticket = this->ticket(service);
    RefreshSlot slot(this, service, true);
    tool(service).refreshAgain = false;
    setConnection(service, KitConnection::connecting());
    std::exception_ptr failure;
    try {
        co_await refreshDeployments(service, token, true);
    } catch (...) {
        failure = std::current_exception();
    }
    // A disconnect while the tool was being asked wins: nothing is stored or started.
    if (!ticket.stillWanted())
        co_return;
    if (failure) {
        setConnection(service, log(failure, service));
        co_return;
    }
    if (!m_secrets.setSecret(token, service.secretKey()) && !isHeldAfterRefusal(service.secretKey())) {
        setConnection(service, notSaved(service));
        co_return;
    }
    qCInfo(logApp, "Connected to %s", qUtf8Printable(service.serviceName()));
    startPolling(service, false);
    celebrate(service, 1.0);
    // A project picked meanwhile was not what the read asked for.
    const bool again = slot.isHeld() && tool(service).refreshAgain;
    slot.release();
    if (again)
        runDetached(refresh(service), "A tool's refresh");
}

void DevKitStore::disconnect(KitService service)
{
    m_secrets.removeSecret(service.secretKey());
    for (const auto& record : paymentAccountRecords(service))
        forgetAccount(service, record.id);
    auto accounts = m_preferences.paymentAccounts();
    accounts.remove(service.rawValue());
    m_preferences.setPaymentAccounts(accounts);
    auto picks = m_preferences.selectedProjects();
    picks.remove(service.rawValue());
    m_preferences.setSelectedProjects(picks);
    std::optional<QString> notUndone;
    if (const auto usage = m_sources.usage.value(service))
        notUndone = usage->disconnect();

    // Forgetting the tool: a fresh record, which also moves every counter a waiting task noted.
    Tool forgotten = std::exchange(tool(service), freshTool());
    if (forgotten.pollTask)
        forgotten.pollTask->cancel();
    tool(service).connection = KitConnection::notConnected();
    if (notUndone) {
        // What the reader set up stays: say so where the user disconnected, and finish the
        // disconnect on the tool's turns as soon as it can be done.
        qCWarning(logApp, "%s: %s", qUtf8Printable(service.serviceName()), qUtf8Printable(*notUndone));
        tool(service).plan.connection = KitConnection::failing(*notUndone);
        resumePolling(service);
    }
    Q_EMIT connectionsChanged();
    if (forgotten.plan.connection || notUndone)
        Q_EMIT planConnectionsChanged();
    if (forgotten.api.connection)
        Q_EMIT apiConnectionsChanged();
    if (forgotten.unseen)
        Q_EMIT unseenChanged();
    if (forgotten.addFailure)
        Q_EMIT addFailuresChanged();
    if (forgotten.accountIcon)
        Q_EMIT accountIconsChanged();
    if (forgotten.advice)
        Q_EMIT adviceChanged();
    if (forgotten.listedProjects)
        Q_EMIT listedProjectsChanged();
    if (!forgotten.projectIcons.isEmpty())
        Q_EMIT projectIconsChanged();
    const bool hadRows = m_snapshot.deployments.remove(service) > 0;
    const bool hadPayments = m_snapshot.payments.remove(service) > 0;
    const bool hadReport = m_snapshot.usage.remove(service) > 0;
    const bool hadSpend = m_snapshot.spend.remove(service) > 0;
    if (hadRows || hadPayments || hadReport || hadSpend)
        Q_EMIT snapshotChanged();

    if (m_picking == service)
        setPicking(std::nullopt);
    closeDetailsOf(service);
}

} // namespace brenvo
