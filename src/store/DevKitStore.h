#pragma once

#include "app/core/PaymentAccountRecord.h"
#include "model/ActivitySource.h"
#include "model/CancelToken.h"
#include "model/Deployment.h"
#include "model/DevKitSnapshot.h"
#include "model/KitConnection.h"
#include "model/KitService.h"
#include "model/Payment.h"
#include "model/PaymentSource.h"
#include "model/SpendSource.h"
#include "model/Usage.h"
#include "model/UsageSource.h"
#include "store/PaymentAccount.h"
#include "store/SiteIconSource.h"

#include <QCoroTask>
#include <QDateTime>
#include <QImage>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <exception>
#include <memory>
#include <optional>

namespace brenvo {

class PreferencesStore;
class Scheduler;
class SecretStore;

// The one store of everything the panel, the cards and the settings window show about the tools,
// and the engine that keeps it current: one polling task per configured tool, the merge of what
// the tools answer, connection states, flashes, unseen marks and announcements, and the user's
// actions. Main thread only. Every observable property has its own change signal, emitted when a
// whole assignment changes the value and on every change in place (one key, one member).
class DevKitStore : public QObject {
    Q_OBJECT

public:
    using ActivitySources = QMap<KitService, std::shared_ptr<ActivitySource>>;
    using PaymentSources = QMap<KitService, std::shared_ptr<PaymentSource>>;
    using UsageSources = QMap<KitService, std::shared_ptr<UsageSource>>;
    using SpendSources = QMap<KitService, std::shared_ptr<SpendSource>>;

    // The tools' implementations. A tool without an entry has nothing to answer with: it is never
    // polled and connecting it fails with a sentence that says so.
    struct Sources {
        ActivitySources activity;
        PaymentSources payments;
        UsageSources usage;
        SpendSources spend;
        std::shared_ptr<SiteIconSource> siteIcons; // may be null: no account icons
    };

    // After a successful redeploy: the row started again and the new run the tool reported.
    struct AwaitedRedeploy {
        QString from;
        QString id;
        bool operator==(const AwaitedRedeploy&) const = default;
    };

    // The preferences, secrets and scheduler must outlive the store. With usesMockData the store
    // shows the sample snapshot, reports every tool connected to "demo" and never polls.
    DevKitStore(PreferencesStore& preferences, SecretStore& secrets, Scheduler& scheduler, bool usesMockData,
        Sources sources, QObject* parent = nullptr);
    ~DevKitStore() override;

    // The application's own wiring of every tool. Without a usage map the store builds its own
    // local readers. Contacts no tool.
    static std::unique_ptr<DevKitStore> create(PreferencesStore& preferences, SecretStore& secrets,
        Scheduler& scheduler, bool usesMockData, std::optional<UsageSources> usage = std::nullopt,
        QObject* parent = nullptr);
    static Sources standardSources(
        PreferencesStore& preferences, Scheduler& scheduler, std::optional<UsageSources> usage);

    // QObject's own connect and disconnect stay usable beside the tool actions of the same names.
    using QObject::connect;
    using QObject::disconnect;

    // Observable state.
    const DevKitSnapshot& snapshot() const { return m_snapshot; }
    const QMap<KitService, KitConnection>& connections() const { return m_connections; }
    const QSet<KitService>& celebrating() const { return m_celebrating; }
    const QSet<KitService>& alerting() const { return m_alerting; }
    const QSet<KitService>& unseen() const { return m_unseen; }
    const std::optional<KitAnnouncement>& announcement() const { return m_announcement; }
    // Per tool: the icon of each project (by the rows' project text) or payment account (by id).
    const QMap<KitService, QMap<QString, QImage>>& projectIcons() const { return m_projectIcons; }
    const QMap<KitService, QImage>& accountIcons() const { return m_accountIcons; }
    const QMap<KitService, QString>& advice() const { return m_advice; }
    const std::optional<DeploymentInspection>& inspection() const { return m_inspection; }
    const std::optional<PaymentInspection>& inspectedPayment() const { return m_inspectedPayment; }
    const std::optional<KitService>& picking() const { return m_picking; }
    const QMap<KitService, KitConnection>& addFailures() const { return m_addFailures; }
    const QMap<KitService, KitConnection>& planConnections() const { return m_planConnections; }
    const QMap<KitService, KitConnection>& apiConnections() const { return m_apiConnections; }
    const QMap<KitService, QList<KitProject>>& listedProjects() const { return m_listedProjects; }
    // Per payment account, keyed by projectKey() of its tool and id.
    const QMap<QString, KitConnection>& accountConnections() const { return m_accountConnections; }
    const QMap<QString, PaymentAccountInfo>& accountInfo() const { return m_accountInfo; }

    // Plain state (not observed).
    PreferencesStore& preferences() const { return m_preferences; }
    bool usesMockData() const { return m_usesMockData; }
    bool isRunning() const { return m_isRunning; }
    const std::optional<KitService>& watching() const { return m_watching; }
    bool isPolling(KitService service) const { return m_pollTasks.contains(service); }
    const QSet<KitService>& loadedOnce() const { return m_loadedOnce; }
    const QSet<QString>& iconsLookedFor() const { return m_iconsLookedFor; }
    const QMap<KitService, QString>& accounts() const { return m_accounts; }
    const QMap<KitService, QDateTime>& spendChecked() const { return m_spendChecked; }
    const std::optional<AwaitedRedeploy>& awaitedRedeploy() const { return m_awaitedRedeploy; }
    bool hasAdoptedSingleKeys() const { return m_hasAdoptedSingleKeys; }
    bool hasSource(KitService service) const;
    // A local reader of the tool's plan limits is wired (Claude Code's status line, codex).
    bool readsPlanLimits(KitService service) const { return m_usage.value(service) != nullptr; }

    // Queries.
    QList<Deployment> deployments(KitService service) const;
    QList<KitProject> projects(KitService service) const;
    std::optional<KitProject> selectedProject(KitService service) const;
    KitConnection connection(KitService service) const;
    // At most three, newest first; only the picked account's when one is picked.
    QList<Payment> payments(KitService service) const;
    std::optional<UsageReport> usageReport(KitService service) const;
    // A deployment tool that is connected (or shows sample data) with a row building.
    bool isBuilding(KitService service) const;
    // The enabled tools in declaration order.
    QList<KitService> enabledServices() const;
    QList<PaymentAccount> paymentAccounts(KitService service) const;
    void markUnseen(KitService service);
    // The tool's raw value, "/" and the id.
    static QString projectKey(KitService service, const QString& id);

    // Polling.
    void start();
    void stop();
    void startPolling(KitService service, bool refreshFirst);
    QCoro::Task<> poll(KitService service, bool refreshFirst, CancelToken token);
    QCoro::Task<> refresh(KitService service);
    void setEnabled(bool enabled, KitService service);
    void setCheckInterval(double seconds, KitService service);
    void watch(std::optional<KitService> service);
    // What the Claude reader is given to space its own probes.
    double claudeCheckInterval() const;
    // The sleep of the tool's loop now, in seconds.
    double pollInterval(KitService service) const;

    // Failures: the sentence a card shows, and the logged state to store.
    static QString failureText(std::exception_ptr failure, KitService service);
    KitConnection log(std::exception_ptr failure, KitService service);

    // Deployments and checks.
    QCoro::Task<> refreshDeployments(KitService service, QString token, bool identify);
    void markConnected(KitService service);
    void celebrate(KitService service, double delaySeconds);
    void alert(KitService service);
    QCoro::Task<> loadIcons(KitService service, QList<Deployment> rows, QString token);

    // Inspection, picking, redeploy.
    void inspect(const Deployment& deployment, KitService service);
    void inspect(const Payment& payment, KitService service);
    void pickProject(KitService service);
    void select(std::optional<KitProject> project, KitService service);
    void focus(std::optional<KitService> service);
    QCoro::Task<> redeploy();
    QCoro::Task<> reloadInspection(QList<Deployment> rows);
    QCoro::Task<> loadDetails();

    // Payments and payment accounts.
    QCoro::Task<> refreshPayments(KitService service);
    QCoro::Task<QList<Payment>> fetchAccount(KitService service, QString id, QString key);
    QCoro::Task<> addPaymentAccount(
        KitService service, QString key, std::optional<QString> name, std::optional<QString> site);
    void removeAccount(KitService service, const QString& id);
    void forgetAccount(KitService service, const QString& id);
    void adoptSingleKeys();
    QList<PaymentAccountRecord> paymentAccountRecords(KitService service) const;
    void updatePaymentConnection(KitService service);
    QCoro::Task<> loadAccountIcons(KitService service);

    // Usage limits and API spend.
    QCoro::Task<> refreshUsage(KitService service);
    QCoro::Task<> connectUsage(KitService service);
    QCoro::Task<> connectAPIUsage(KitService service, QString key);
    void disconnectUsage(KitService service);
    void disconnectAPIUsage(KitService service);
    void updateUsageConnection(KitService service);

    // Connecting and disconnecting a whole tool.
    QCoro::Task<> connect(KitService service, QString key);
    void disconnect(KitService service);

Q_SIGNALS:
    void snapshotChanged();
    void connectionsChanged();
    void celebratingChanged();
    void alertingChanged();
    void unseenChanged();
    void announcementChanged();
    void projectIconsChanged();
    void accountIconsChanged();
    void adviceChanged();
    void inspectionChanged();
    void inspectedPaymentChanged();
    void pickingChanged();
    void addFailuresChanged();
    void planConnectionsChanged();
    void apiConnectionsChanged();
    void listedProjectsChanged();
    void accountConnectionsChanged();
    void accountInfoChanged();

private:
    static void current(const QPointer<DevKitStore>& self, KitService service, quint64 generation);
    static void accountCurrent(
        const QPointer<DevKitStore>& self, KitService service, const QString& id, quint64 generation);
    void detach(QCoro::Task<> task);
    QDateTime now() const;
    bool isConfigured(KitService service);
    KitConnection unavailable(KitService service);
    KitConnection notSaved(KitService service);
    std::optional<QString> selectedProjectID(KitService service) const;
    QCoro::Task<> listProjects(KitService service, QString token);
    QCoro::Task<> watchUsage(KitService service);
    void applyReport(KitService service, const UsageReport& report);
    static QString accountSecretName(KitService service, const QString& id);
    static QString newAccountID();

    void setConnection(KitService service, const KitConnection& connection);
    void setInspection(std::optional<DeploymentInspection> inspection);
    void openInspection(std::optional<DeploymentInspection> inspection);
    void setInspectedPayment(std::optional<PaymentInspection> payment);
    void setPicking(std::optional<KitService> service);
    void setListedProjects(KitService service, const QList<KitProject>& projects);
    void setPlanConnection(KitService service, const KitConnection& connection);
    void setAPIConnection(KitService service, const KitConnection& connection);
    void setAccountConnection(const QString& key, const KitConnection& connection);
    void removePlanConnectionIfConnected(KitService service);
    void removeAPIConnectionIfConnected(KitService service);
    void insertInto(QSet<KitService>& set, KitService service, void (DevKitStore::*changed)());
    void removeFrom(QSet<KitService>& set, KitService service, void (DevKitStore::*changed)());

    PreferencesStore& m_preferences;
    SecretStore& m_secrets;
    Scheduler& m_scheduler;
    const bool m_usesMockData;
    ActivitySources m_activity;
    PaymentSources m_payments;
    UsageSources m_usage;
    SpendSources m_spend;
    std::shared_ptr<SiteIconSource> m_siteIcons;

    DevKitSnapshot m_snapshot;
    QMap<KitService, KitConnection> m_connections;
    QSet<KitService> m_celebrating;
    QSet<KitService> m_alerting;
    QSet<KitService> m_unseen;
    std::optional<KitAnnouncement> m_announcement;
    QMap<KitService, QMap<QString, QImage>> m_projectIcons;
    QMap<KitService, QImage> m_accountIcons;
    QMap<KitService, QString> m_advice;
    std::optional<DeploymentInspection> m_inspection;
    std::optional<PaymentInspection> m_inspectedPayment;
    std::optional<KitService> m_picking;
    QMap<KitService, KitConnection> m_addFailures;
    QMap<KitService, KitConnection> m_planConnections;
    QMap<KitService, KitConnection> m_apiConnections;
    QMap<KitService, QList<KitProject>> m_listedProjects;
    QMap<QString, KitConnection> m_accountConnections;
    QMap<QString, PaymentAccountInfo> m_accountInfo;

    QMap<KitService, QDateTime> m_spendChecked;
    QMap<KitService, QString> m_accounts;
    QSet<KitService> m_loadedOnce;
    QSet<QString> m_iconsLookedFor;
    std::optional<AwaitedRedeploy> m_awaitedRedeploy;
    QMap<KitService, CancelToken> m_pollTasks;
    bool m_isRunning = false;
    bool m_hasAdoptedSingleKeys = false;
    std::optional<KitService> m_watching;

    // A later user action wins over a task still waiting: each task notes the counter it depends on
    // before it waits and drops its results when the counter moved.
    QMap<KitService, quint64> m_generation; // disconnecting the tool
    QMap<KitService, quint64> m_paymentGeneration; // the accounts or the merged list changed
    QMap<KitService, quint64> m_planGeneration; // the plan half was disconnected
    QMap<KitService, quint64> m_apiGeneration; // the API half was disconnected
    quint64 m_inspectionGeneration = 0; // another view, or another load of the same one
    QSet<KitService> m_projectsUnlisted; // the last project listing failed: ask again
    QSet<QString> m_addingAccounts; // account keys being tried, not yet recorded
};

} // namespace brenvo
