#include "store/DevKitStore.h"

#include "app/core/PreferencesStore.h"
#include "app/core/SecretStore.h"
#include "http/ServiceFailure.h"
#include "model/Log.h"

#include <QUuid>

#include <algorithm>

namespace brenvo {

namespace {

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

} // namespace

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

QCoro::Task<std::optional<QList<Payment>>> DevKitStore::fetchAccount(
    KitService service, QString id, QString key)
{
    const auto source = m_sources.payments.value(service);
    if (!source)
        co_return QList<Payment>();
    // A failure of the tool is thrown on; the caller drops it when its own ticket says so.
    const Ticket ticket = this->ticket(service);

    const Account known = tool(service).accounts.value(id);
    if (!known.info || !known.connection || !known.connection->isConnected()) {
        const PaymentAccountInfo info = co_await source->account(key);
        if (!accountWanted(ticket, service, id))
            co_return std::nullopt;
        tool(service).accounts[id].info = info;
        Q_EMIT accountInfoChanged();
    }
    const auto info = tool(service).accounts.value(id).info.value_or(PaymentAccountInfo());
    QList<Payment> fetched = co_await source->payments(key, info, rowLimit);
    if (!accountWanted(ticket, service, id))
        co_return std::nullopt;
    const auto connection = tool(service).accounts.value(id).connection;
    if (!connection || !connection->isConnected())
        setAccountConnection(service, id, KitConnection::connected(std::nullopt));
    for (auto& payment : fetched)
        payment.accountID = id;
    co_return fetched;
}

QCoro::Task<> DevKitStore::refreshPayments(KitService service)
{
    const auto records = paymentAccountRecords(service);
    if (records.isEmpty())
        co_return;
    const QList<Payment> old = m_snapshot.payments.value(service);
    // A merge over a list that an added or removed account, a disconnect or another merge has
    // changed meanwhile would undo that change: such a merge is dropped and the next poll redoes it.
    const Ticket ticket(this, &tool(service).paymentGeneration);

    QList<Payment> gathered;
    const auto keepOld = [&gathered, &old](const QString& id) {
        for (const auto& payment : old)
            if (payment.accountID == id)
                gathered.append(payment);
    };
    bool unreadable = false;
    for (const PaymentAccountRecord& record : records) {
        const SecretLookup key = m_secrets.lookupSecret(accountSecretName(service, record.id));
        if (key.isUnreadable()) {
            // A locked keyring refused nothing: the account keeps its rows, and a state it had from a
            // fetch, until it reads; one that has none says why nothing is asked.
            unreadable = true;
            const auto state = tool(service).accounts.value(record.id).connection;
            if (!state || (!state->isConnected() && *state != keyringLocked(service)))
                setAccountConnection(service, record.id, keyringLocked(service));
            keepOld(record.id);
            continue;
        }
        std::exception_ptr failure;
        if (!key.isFound()) {
            failure = std::make_exception_ptr(ServiceFailure::rejected());
        } else {
            std::optional<QList<Payment>> fetched;
            try {
                fetched = co_await fetchAccount(service, record.id, key.value());
            } catch (...) {
                failure = std::current_exception();
            }
            if (!ticket.stillWanted() || (!failure && !fetched))
                co_return;
            if (fetched)
                gathered += *fetched;
        }
        if (failure) {
            setAccountConnection(service, record.id, log(failure, service));
            keepOld(record.id);
        }
    }
    sortNewestFirst(gathered);
    tool(service).secretUnreadable = unreadable;

    const bool loaded = tool(service).loadedOnce;
    QList<Payment> news;
    QList<Payment> problems;
    if (loaded) {
        news = Payment::newlySucceeded(gathered, old);
        problems = Payment::changed(gathered, old);
    }
    if (gathered != old || !loaded || !m_snapshot.payments.contains(service)) {
        m_snapshot.payments.insert(service, gathered);
        moveOn(tool(service).paymentGeneration);
        Q_EMIT snapshotChanged();
    }
    // An account not read yet has no baseline: once it reads, all its payments would count as news.
    tool(service).loadedOnce = loaded || !unreadable;
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
    const QString trimmed = key.trimmed();
    if (trimmed.isEmpty() || m_usesMockData)
        co_return;
    if (!m_sources.payments.value(service)) {
        const KitConnection failure = unavailable(service);
        setAddFailure(service, failure);
        if (paymentAccountRecords(service).isEmpty())
            setConnection(service, failure);
        co_return;
    }
    const QString id = newAccountID();
    const auto trimmedName = trimmedOrNone(name);
    const auto trimmedSite = trimmedOrNone(site);
    const int existing = paymentAccountRecords(service).size();

    setAddFailure(service, std::nullopt);
    if (existing == 0)
        setConnection(service, KitConnection::connecting());

    const Ticket ticket = this->ticket(service);
    tool(service).addingAccounts.insert(id);
    std::optional<QList<Payment>> fetched;
    std::exception_ptr failure;
    try {
        fetched = co_await fetchAccount(service, id, trimmed);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!ticket.stillWanted()) {
        // The tool was disconnected meanwhile, which forgot the account too.
        co_return;
    }
    tool(service).addingAccounts.remove(id);

    const auto fail = [this, service, id, existing](const KitConnection& connection) {
        const Account tried = tool(service).accounts.take(id);
        if (tried.connection)
            Q_EMIT accountConnectionsChanged();
        if (tried.info)
            Q_EMIT accountInfoChanged();
        if (paymentAccountRecords(service).isEmpty()) {
            if (existing == 0) {
                setConnection(service, connection); // the tool's first account: the tool shows why
            } else if (tool(service).addingAccounts.isEmpty()) {
                // The last account was removed while this one was tried: the tool goes as that
                // removal meant, and the failure shows only where the add was made.
                disconnect(service);
            }
        }
        setAddFailure(service, connection);
    };
    if (failure) {
        fail(log(failure, service));
        co_return;
    }
    // A keyring locked since launch: the key is used for this run and saved once it opens.
    if (!m_secrets.setSecret(trimmed, accountSecretName(service, id))
        && !isHeldAfterRefusal(accountSecretName(service, id))) {
        fail(notSaved(service));
        co_return;
    }
    auto accounts = m_preferences.paymentAccounts();
    accounts[service.rawValue()].append(PaymentAccountRecord {id, trimmedName, trimmedSite});
    m_preferences.setPaymentAccounts(accounts);
    qCInfo(logApp, "Connected an account to %s", qUtf8Printable(service.serviceName()));

    QList<Payment> merged = m_snapshot.payments.value(service) + fetched.value_or(QList<Payment>());
    sortNewestFirst(merged);
    m_snapshot.payments.insert(service, merged);
    moveOn(tool(service).paymentGeneration);
    Q_EMIT snapshotChanged();
    tool(service).loadedOnce = true;
    updatePaymentConnection(service);
    startPolling(service, false);
    celebrate(service, existing == 0 ? 1.0 : 0.0);
    co_await loadAccountIcons(service);
}

void DevKitStore::forgetAccount(KitService service, const QString& id)
{
    auto& record = tool(service);
    m_secrets.removeSecret(accountSecretName(service, id));
    const Account account = record.accounts.take(id);
    if (account.connection)
        Q_EMIT accountConnectionsChanged();
    if (account.info)
        Q_EMIT accountInfoChanged();
    if (record.projectIcons.remove(id) > 0)
        Q_EMIT projectIconsChanged();
    record.iconsLookedFor.remove(id);
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
    moveOn(tool(service).paymentGeneration);

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
    if (!records.isEmpty()) {
        updatePaymentConnection(service);
    } else if (tool(service).addingAccounts.isEmpty()) {
        disconnect(service);
    } else {
        // Only an explicit disconnect drops an account being added: the tool waits for it.
        if (auto task = std::exchange(tool(service).pollTask, std::nullopt))
            task->cancel();
        setConnection(service, KitConnection::connecting());
    }
}

void DevKitStore::adoptSingleKeys()
{
    if (m_hasAdoptedSingleKeys && m_legacyUnreadable.isEmpty())
        return;
    // Once per run and tool; a legacy key that could not be read is looked for again later.
    const bool first = !std::exchange(m_hasAdoptedSingleKeys, true);
    const QSet<KitService> again = std::exchange(m_legacyUnreadable, {});
    for (auto it = m_sources.payments.cbegin(); it != m_sources.payments.cend(); ++it) {
        const KitService service = it.key();
        if (!first && !again.contains(service))
            continue;
        const SecretLookup legacy = m_secrets.lookupSecret(service.secretKey());
        if (legacy.isUnreadable())
            m_legacyUnreadable.insert(service);
        if (!legacy.isFound())
            continue;
        const QString id = newAccountID();
        // The legacy key stays where it is unless its new home took it.
        if (!m_secrets.setSecret(legacy.value(), accountSecretName(service, id)))
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
            const auto info = tool(service).accounts.value(accounts.first().id).info;
            if (info && info->name)
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
    const auto icons = m_sources.siteIcons;
    if (!icons)
        co_return;
    const Ticket ticket = this->ticket(service);
    const auto records = paymentAccountRecords(service);
    for (const PaymentAccountRecord& record : records) {
        const Account account = tool(service).accounts.value(record.id);
        if (tool(service).iconsLookedFor.contains(record.id) || !account.connection
            || !account.connection->isConnected())
            continue;
        tool(service).iconsLookedFor.insert(record.id);
        const auto info = account.info.value_or(PaymentAccountInfo());
        std::optional<QImage> image;
        if (record.site)
            image = co_await icons->icon(*record.site);
        if (!ticket.stillWanted())
            co_return;
        if (!image && info.iconURL)
            image = co_await icons->image(*info.iconURL);
        if (!ticket.stillWanted())
            co_return;
        if (!image && info.site)
            image = co_await icons->icon(*info.site);
        if (!ticket.stillWanted())
            co_return;
        const auto latest = paymentAccountRecords(service);
        const bool stillThere = std::any_of(
            latest.begin(), latest.end(), [&record](const auto& other) { return other.id == record.id; });
        if (image && stillThere) {
            tool(service).projectIcons.insert(record.id, *image);
            Q_EMIT projectIconsChanged();
        }
    }
}

} // namespace brenvo
