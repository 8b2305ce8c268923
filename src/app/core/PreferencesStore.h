#pragma once

#include "app/core/Defaults.h"
#include "app/core/PaymentAccountRecord.h"
#include "model/EdgePlacement.h"
#include "model/HotKey.h"
#include "model/KitService.h"

#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace brenvo {

// The user's settings of the panel and the tools, kept in the defaults domain. Every property is
// read from its key once, at construction; every assignment writes its key at once, whether or not
// the value changed, and emits the property's change signal only when it did. Main thread only.
class PreferencesStore : public QObject {
    Q_OBJECT

public:
    static inline const QString hasCompletedOnboardingKey = QStringLiteral("hasCompletedOnboarding");
    static inline const QString lastSeenVersionKey = QStringLiteral("lastSeenVersion");
    static inline const QString edgeTriggerKey = QStringLiteral("edgeTrigger");
    static inline const QString tucksAwayKey = QStringLiteral("tucksAway");
    static inline const QString hotKeyKey = QStringLiteral("hotKey");
    static inline const QString edgeSideKey = QStringLiteral("edgeSide");
    static inline const QString edgeDisplayKey = QStringLiteral("edgeDisplay");
    static inline const QString panelLimitKey = QStringLiteral("panelLimit");
    static inline const QString enabledServicesKey = QStringLiteral("enabledServices");
    static inline const QString checkIntervalsKey = QStringLiteral("checkIntervals");
    static inline const QString linkedServicesKey = QStringLiteral("linkedServices");
    static inline const QString selectedProjectsKey = QStringLiteral("selectedProjects");
    static inline const QString paymentAccountsKey = QStringLiteral("paymentAccounts");

    static constexpr int defaultPanelLimit = 4;
    // Bounds of sleepInterval(): never a busy loop, never a day-long hang.
    static constexpr double shortestSleep = 1.0;
    static constexpr double longestSleep = 24.0 * 60 * 60;

    // Reads every key; writes nothing. The domain must outlive the store.
    explicit PreferencesStore(Defaults& defaults, QObject* parent = nullptr);

    Defaults& defaults() const { return m_defaults; }

    bool hasCompletedOnboarding() const { return m_hasCompletedOnboarding; }
    void setHasCompletedOnboarding(bool value);

    // The version whose release notes were last handled.
    const std::optional<QString>& lastSeenVersion() const { return m_lastSeenVersion; }
    void setLastSeenVersion(std::optional<QString> value);

    EdgeTrigger edgeTrigger() const { return m_edgeTrigger; }
    void setEdgeTrigger(EdgeTrigger value);

    bool tucksAway() const { return m_tucksAway; }
    void setTucksAway(bool value);

    // None: no global shortcut.
    const std::optional<HotKey>& hotKey() const { return m_hotKey; }
    void setHotKey(std::optional<HotKey> value);

    EdgeSide edgeSide() const { return m_edgeSide; }
    void setEdgeSide(EdgeSide value);

    // None: the first screen.
    const std::optional<EdgeDisplay>& edgeDisplay() const { return m_edgeDisplay; }
    void setEdgeDisplay(std::optional<EdgeDisplay> value);

    // Tool tiles before the rest fold under "more"; stored as given, 0 or less meaning no limit.
    int panelLimit() const { return m_panelLimit; }
    void setPanelLimit(int value);

    const QSet<KitService>& enabledServices() const { return m_enabledServices; }
    void setEnabledServices(QSet<KitService> value);

    // Seconds per tool raw value, stored as given (no bound).
    const QMap<QString, double>& checkIntervals() const { return m_checkIntervals; }
    void setCheckIntervals(QMap<QString, double> value);

    // Usage tools connected locally, without a key.
    const QSet<KitService>& linkedServices() const { return m_linkedServices; }
    void setLinkedServices(QSet<KitService> value);

    // The project or account picked per tool.
    const QMap<QString, QString>& selectedProjects() const { return m_selectedProjects; }
    void setSelectedProjects(QMap<QString, QString> value);

    const PaymentAccounts& paymentAccounts() const { return m_paymentAccounts; }
    void setPaymentAccounts(PaymentAccounts value);

    // The chosen interval in seconds, unchanged; else 600 for claude, 60 for codex, 30 for the rest.
    double checkInterval(KitService service) const;
    // checkInterval() made safe to sleep on: a stored value that is not a positive number gives
    // the tool's default, and the result lies between one second and one day.
    double sleepInterval(KitService service) const;
    static double defaultCheckInterval(KitService service);

    // Raw values in ascending text order: the stored form of a set of tools.
    static QStringList serviceIDs(const QSet<KitService>& services);
    // vercel, github, stripe, claude.
    static const QSet<KitService>& defaultEnabledServices();

Q_SIGNALS:
    void hasCompletedOnboardingChanged();
    void lastSeenVersionChanged();
    void edgeTriggerChanged();
    void tucksAwayChanged();
    void hotKeyChanged();
    void edgeSideChanged();
    void edgeDisplayChanged();
    void panelLimitChanged();
    void enabledServicesChanged();
    void checkIntervalsChanged();
    void linkedServicesChanged();
    void selectedProjectsChanged();
    void paymentAccountsChanged();

private:
    void load();
    template <typename T, typename Write>
    void assign(T& field, T value, void (PreferencesStore::*signal)(), Write write);

    Defaults& m_defaults;
    bool m_hasCompletedOnboarding = false;
    std::optional<QString> m_lastSeenVersion;
    EdgeTrigger m_edgeTrigger = EdgeTrigger::hover;
    bool m_tucksAway = false;
    std::optional<HotKey> m_hotKey;
    EdgeSide m_edgeSide = EdgeSide::right;
    std::optional<EdgeDisplay> m_edgeDisplay;
    int m_panelLimit = defaultPanelLimit;
    QSet<KitService> m_enabledServices;
    QMap<QString, double> m_checkIntervals;
    QSet<KitService> m_linkedServices;
    QMap<QString, QString> m_selectedProjects;
    PaymentAccounts m_paymentAccounts;
};

} // namespace brenvo
