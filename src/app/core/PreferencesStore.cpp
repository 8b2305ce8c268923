#include "app/core/PreferencesStore.h"

#include <QVariantList>
#include <QVariantMap>

#include <algorithm>
#include <cmath>
#include <limits>

namespace brenvo {

namespace {

// Integers, and doubles without a fraction; booleans and texts are not integers.
std::optional<qint64> integerOf(const QVariant& value)
{
    if (value.typeId() == QMetaType::LongLong)
        return value.toLongLong();
    if (value.typeId() == QMetaType::Double) {
        const double d = value.toDouble();
        if (std::isfinite(d) && std::trunc(d) == d && std::abs(d) < 9.2e18)
            return static_cast<qint64>(d);
    }
    return std::nullopt;
}

bool isNumber(const QVariant& value)
{
    return value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Double;
}

bool isText(const QVariant& value)
{
    return value.typeId() == QMetaType::QString;
}

// A dictionary converted whole: none when it is no dictionary or any value is of another kind.
template <typename T>
std::optional<QMap<QString, T>> typedMap(const QVariant& value, bool (*accepts)(const QVariant&))
{
    if (value.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariantMap map = value.toMap();
    QMap<QString, T> typed;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (!accepts(it.value()))
            return std::nullopt;
        typed.insert(it.key(), it.value().value<T>());
    }
    return typed;
}

template <typename T> QVariantMap variantMap(const QMap<QString, T>& map)
{
    QVariantMap out;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        out.insert(it.key(), it.value());
    return out;
}

// Tools named by an array of raw values; other entries are skipped. None when it is no array.
std::optional<QSet<KitService>> servicesOf(const QVariant& value)
{
    if (value.typeId() != QMetaType::QVariantList)
        return std::nullopt;
    QSet<KitService> services;
    for (const QVariant& item : value.toList()) {
        if (item.typeId() != QMetaType::QString)
            continue;
        if (const auto service = KitService::fromRaw(item.toString()))
            services.insert(*service);
    }
    return services;
}

QVariant storedServices(const QSet<KitService>& services)
{
    return QVariant(PreferencesStore::serviceIDs(services));
}

} // namespace

PreferencesStore::PreferencesStore(Defaults& defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
{
    load();
}

void PreferencesStore::load()
{
    const Defaults& d = m_defaults;
    m_hasCompletedOnboarding = d.boolValue(hasCompletedOnboardingKey);
    m_tucksAway = d.boolValue(tucksAwayKey);
    m_lastSeenVersion = d.stringValue(lastSeenVersionKey);

    m_edgeTrigger = d.object(edgeTriggerKey) == QVariant(rawValue(EdgeTrigger::click)) ? EdgeTrigger::click
                                                                                       : EdgeTrigger::hover;
    m_edgeSide
        = d.object(edgeSideKey) == QVariant(rawValue(EdgeSide::left)) ? EdgeSide::left : EdgeSide::right;

    const QVariant hotKey = d.object(hotKeyKey);
    m_hotKey = hotKey.typeId() == QMetaType::QVariantMap ? HotKey::fromStoredForm(hotKey.toMap())
                                                         : HotKey::defaultShortcut();

    const auto display = typedMap<QString>(d.object(edgeDisplayKey), isText);
    m_edgeDisplay = display ? EdgeDisplay::fromDictionary(*display) : std::nullopt;

    // Any int is kept as stored; beyond an int's range the nearest int means the same.
    const auto limit = integerOf(d.object(panelLimitKey));
    m_panelLimit = limit ? static_cast<int>(std::clamp<qint64>(
                       *limit, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()))
                         : defaultPanelLimit;

    m_enabledServices = servicesOf(d.object(enabledServicesKey)).value_or(defaultEnabledServices());
    m_linkedServices = servicesOf(d.object(linkedServicesKey)).value_or(QSet<KitService>());

    m_checkIntervals
        = typedMap<double>(d.object(checkIntervalsKey), isNumber).value_or(QMap<QString, double>());
    m_selectedProjects
        = typedMap<QString>(d.object(selectedProjectsKey), isText).value_or(QMap<QString, QString>());

    const QVariant accounts = d.object(paymentAccountsKey);
    m_paymentAccounts = {};
    if (accounts.typeId() == QMetaType::QByteArray || accounts.typeId() == QMetaType::QString)
        m_paymentAccounts = decodePaymentAccounts(accounts.toByteArray()).value_or(PaymentAccounts());
}

// Every assignment writes; only a real change is announced.
template <typename T, typename Write>
void PreferencesStore::assign(T& field, T value, void (PreferencesStore::*signal)(), Write write)
{
    const bool changed = !(field == value);
    field = std::move(value);
    write();
    if (changed)
        Q_EMIT(this->*signal)();
}

void PreferencesStore::setHasCompletedOnboarding(bool value)
{
    assign(m_hasCompletedOnboarding, std::move(value), &PreferencesStore::hasCompletedOnboardingChanged,
        [this] { m_defaults.setObject(hasCompletedOnboardingKey, m_hasCompletedOnboarding); });
}

void PreferencesStore::setLastSeenVersion(std::optional<QString> value)
{
    assign(m_lastSeenVersion, std::move(value), &PreferencesStore::lastSeenVersionChanged, [this] {
        m_lastSeenVersion ? m_defaults.setObject(lastSeenVersionKey, *m_lastSeenVersion)
                          : m_defaults.remove(lastSeenVersionKey);
    });
}

void PreferencesStore::setEdgeTrigger(EdgeTrigger value)
{
    assign(m_edgeTrigger, std::move(value), &PreferencesStore::edgeTriggerChanged,
        [this] { m_defaults.setObject(edgeTriggerKey, rawValue(m_edgeTrigger)); });
}

void PreferencesStore::setTucksAway(bool value)
{
    assign(m_tucksAway, std::move(value), &PreferencesStore::tucksAwayChanged,
        [this] { m_defaults.setObject(tucksAwayKey, m_tucksAway); });
}

void PreferencesStore::setHotKey(std::optional<HotKey> value)
{
    // No shortcut is the empty dictionary, not a removal: a removed key brings the default back.
    assign(m_hotKey, std::move(value), &PreferencesStore::hotKeyChanged,
        [this] { m_defaults.setObject(hotKeyKey, m_hotKey ? m_hotKey->storedForm() : QVariantMap()); });
}

void PreferencesStore::setEdgeSide(EdgeSide value)
{
    assign(m_edgeSide, std::move(value), &PreferencesStore::edgeSideChanged,
        [this] { m_defaults.setObject(edgeSideKey, rawValue(m_edgeSide)); });
}

void PreferencesStore::setEdgeDisplay(std::optional<EdgeDisplay> value)
{
    assign(m_edgeDisplay, std::move(value), &PreferencesStore::edgeDisplayChanged, [this] {
        if (m_edgeDisplay)
            m_defaults.setObject(edgeDisplayKey, variantMap(m_edgeDisplay->dictionary()));
        else
            m_defaults.remove(edgeDisplayKey);
    });
}

void PreferencesStore::setPanelLimit(int value)
{
    assign(m_panelLimit, std::move(value), &PreferencesStore::panelLimitChanged,
        [this] { m_defaults.setObject(panelLimitKey, m_panelLimit); });
}

void PreferencesStore::setEnabledServices(QSet<KitService> value)
{
    assign(m_enabledServices, std::move(value), &PreferencesStore::enabledServicesChanged,
        [this] { m_defaults.setObject(enabledServicesKey, storedServices(m_enabledServices)); });
}

void PreferencesStore::setCheckIntervals(QMap<QString, double> value)
{
    assign(m_checkIntervals, std::move(value), &PreferencesStore::checkIntervalsChanged,
        [this] { m_defaults.setObject(checkIntervalsKey, variantMap(m_checkIntervals)); });
}

void PreferencesStore::setLinkedServices(QSet<KitService> value)
{
    assign(m_linkedServices, std::move(value), &PreferencesStore::linkedServicesChanged,
        [this] { m_defaults.setObject(linkedServicesKey, storedServices(m_linkedServices)); });
}

void PreferencesStore::setSelectedProjects(QMap<QString, QString> value)
{
    assign(m_selectedProjects, std::move(value), &PreferencesStore::selectedProjectsChanged,
        [this] { m_defaults.setObject(selectedProjectsKey, variantMap(m_selectedProjects)); });
}

void PreferencesStore::setPaymentAccounts(PaymentAccounts value)
{
    assign(m_paymentAccounts, std::move(value), &PreferencesStore::paymentAccountsChanged,
        [this] { m_defaults.setObject(paymentAccountsKey, encodePaymentAccounts(m_paymentAccounts)); });
}

double PreferencesStore::checkInterval(KitService service) const
{
    const auto it = m_checkIntervals.constFind(service.rawValue());
    return it != m_checkIntervals.cend() ? *it : defaultCheckInterval(service);
}

double PreferencesStore::sleepInterval(KitService service) const
{
    const double chosen = checkInterval(service);
    const double usable = std::isfinite(chosen) && chosen > 0 ? chosen : defaultCheckInterval(service);
    return std::clamp(usable, shortestSleep, longestSleep);
}

double PreferencesStore::defaultCheckInterval(KitService service)
{
    switch (service) {
    case KitService::claude:
        return 600;
    case KitService::codex:
        return 60;
    default:
        return 30;
    }
}

QStringList PreferencesStore::serviceIDs(const QSet<KitService>& services)
{
    QStringList ids;
    for (const KitService service : services)
        ids.append(service.rawValue());
    ids.sort();
    return ids;
}

const QSet<KitService>& PreferencesStore::defaultEnabledServices()
{
    static const QSet<KitService> services {
        KitService::vercel, KitService::github, KitService::stripe, KitService::claude};
    return services;
}

} // namespace brenvo
