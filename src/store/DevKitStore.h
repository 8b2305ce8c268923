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
#include "model/Scheduler.h"
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
#include <map>
#include <memory>
#include <optional>
#include <utility>

namespace brenvo {

class PreferencesStore;
class SecretStore;

namespace test {
class StoreTest;
}

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

    // QObject's own connect and disconnect stay usable beside the tool actions of the same names.
    using QObject::connect;
    using QObject::disconnect;

    // Observable state. The per-tool maps are read from the tools' records: a tool appears in one
    // when its record holds that value.
    const DevKitSnapshot& snapshot() const { return m_snapshot; }
    QMap<KitService, KitConnection> connections() const;
    const QSet<KitService>& celebrating() const { return m_celebrating; }
    const QSet<KitService>& alerting() const { return m_alerting; }
    QSet<KitService> unseen() const;
    const std::optional<KitAnnouncement>& announcement() const { return m_announcement; }
    // Per tool: the icon of each project (by the rows' project text) or payment account (by id).
    QMap<KitService, QMap<QString, QImage>> projectIcons() const;
    QMap<KitService, QImage> accountIcons() const;
    QMap<KitService, QString> advice() const;
    const std::optional<DeploymentInspection>& inspection() const { return m_inspection; }
    const std::optional<PaymentInspection>& inspectedPayment() const { return m_inspectedPayment; }
    const std::optional<KitService>& picking() const { return m_picking; }
    QMap<KitService, KitConnection> addFailures() const;
    QMap<KitService, KitConnection> planConnections() const;
    QMap<KitService, KitConnection> apiConnections() const;
    QMap<KitService, QList<KitProject>> listedProjects() const;
    // Per payment account, keyed by the tool's raw value, "/" and the account's id.
    QMap<QString, KitConnection> accountConnections() const;
    QMap<QString, PaymentAccountInfo> accountInfo() const;

    // Plain state (not observed).
    PreferencesStore& preferences() const { return m_preferences; }
    bool usesMockData() const { return m_usesMockData; }
    bool isRunning() const { return m_isRunning; }
    bool isPolling(KitService service) const { return tool(service).pollTask.has_value(); }
    const std::optional<AwaitedRedeploy>& awaitedRedeploy() const { return m_awaitedRedeploy; }
    bool hasSource(KitService service) const;
    // A local reader of the tool's plan limits is wired (Claude Code's status line, codex).
    bool readsPlanLimits(KitService service) const { return m_sources.usage.value(service) != nullptr; }

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
    // The tool's token or key (an account's, given its id) that the user gave is used, but the
    // keyring has not taken it yet. Told by heldSecretsChanged.
    bool isHeld(KitService service, const std::optional<QString>& accountID = std::nullopt) const;

    // Polling.
    void start();
    void stop();
    // One refresh of a tool at a time: asked for while one runs, it waits for that one to end.
    QCoro::Task<> refresh(KitService service);
    void setEnabled(bool enabled, KitService service);
    void setCheckInterval(double seconds, KitService service);
    void watch(std::optional<KitService> service);
    // The keyring appeared or unlocked: tools whose secret could not be read start on their own.
    void secretsBecameReadable();
    // What the Claude reader is given to space its own probes.
    double claudeCheckInterval() const;
    // The sleep of the tool's loop now, in seconds.
    double pollInterval(KitService service) const;

    // Failures: the sentence a card shows, and the logged state to store.
    static QString failureText(std::exception_ptr failure, KitService service);
    KitConnection log(std::exception_ptr failure, KitService service);

    // Inspection, picking, redeploy.
    void inspect(const Deployment& deployment, KitService service);
    void inspect(const Payment& payment, KitService service);
    void pickProject(KitService service);
    void select(std::optional<KitProject> project, KitService service);
    void focus(std::optional<KitService> service);
    QCoro::Task<> redeploy();

    // Payments and payment accounts.
    QCoro::Task<> refreshPayments(KitService service);
    QCoro::Task<> addPaymentAccount(
        KitService service, QString key, std::optional<QString> name, std::optional<QString> site);
    void removeAccount(KitService service, const QString& id);
    void adoptSingleKeys();

    // Usage limits and API spend: the plan half (a local reader) and the API half (an admin key).
    QCoro::Task<> refreshUsage(KitService service);
    QCoro::Task<> connectUsage(KitService service);
    QCoro::Task<> connectAPIUsage(KitService service, QString key);
    void disconnectUsage(KitService service);
    void disconnectAPIUsage(KitService service);

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
    // A tool's loop woke: secrets that could not be read may be read again.
    void pollingTurn();
    // isHeld() may answer otherwise.
    void heldSecretsChanged();

private:
    friend class test::StoreTest;

    // What the store knows of one payment account of a tool.
    struct Account {
        std::optional<KitConnection> connection;
        std::optional<PaymentAccountInfo> info;
    };

    // One half of a usage tool: the plan limits or the API spend.
    struct UsageHalf {
        std::optional<KitConnection> connection;
        quint64 generation = 0; // moved on when the half is disconnected
        bool keepsReport = false; // failing for now, its last report still shown: it counts as working
        // The reader read as connected since the user last disconnected the half: when it stops
        // reading so without the user (a settings sync), it may come back on its own.
        bool mayReturn = false;
    };

    // Everything the store holds about one tool. Forgetting the tool replaces its record with a fresh
    // one, so whatever is added here is forgotten with the rest. The tool's rows, payments, report
    // and spend are in the published snapshot; the flashes run out on their own.
    struct Tool {
        std::optional<KitConnection> connection;
        std::optional<KitConnection> addFailure; // the last payment account that could not be added
        bool unseen = false;
        std::optional<QString> account; // the name the tool gave for its token
        std::optional<QImage> accountIcon;
        std::optional<QString> advice;
        std::optional<QList<KitProject>> listedProjects;
        bool projectsUnlisted = false; // the last listing failed: ask again
        QMap<QString, QImage> projectIcons; // by project, or by payment account id
        QSet<QString> iconsLookedFor; // the same keys, each looked for once
        QMap<QString, Account> accounts; // payment accounts by id
        QSet<QString> addingAccounts; // ids being tried, not yet recorded
        UsageHalf plan;
        UsageHalf api;
        bool loadedOnce = false;

        // Polling: the loop's task while it runs, and when spend was last asked.
        std::optional<CancelToken> pollTask;
        std::optional<CancelToken> pollSleep; // the loop's sleep in progress; cancelling it wakes the loop
        std::optional<QDateTime> spendChecked;
        int failedRefreshes = 0; // in a row; each one doubles the wait
        // The service said its request limit is spent until then, on the scheduler's monotonic clock:
        // a clock set back must not silence a tool for as long.
        std::optional<Duration> quietUntil;
        bool secretUnreadable = false; // the last refresh could not read the tool's token or a key
        // The refresh under way, which ends by cancelling it; asked again meanwhile: run once more.
        std::optional<CancelToken> refreshing;
        bool refreshAgain = false;
        // The refresh under way is Connect's, reading with a token not stored yet.
        bool tryingToken = false;

        // A later user action wins over a task still waiting: each task notes the counter it
        // depends on before it waits and drops its results when the counter moved.
        quint64 generation = 0; // the tool was forgotten
        quint64 paymentGeneration = 0; // the accounts or the merged list changed
    };

    // What a task notes before a wait: after it, the result is still wanted only while the store
    // lives and the noted counter has not moved. The one check of every store task.
    class Ticket {
    public:
        Ticket(DevKitStore* store, const quint64* counter)
            : m_store(store)
            , m_counter(counter)
            , m_noted(*counter)
        {
        }
        bool stillWanted() const { return m_store && *m_counter == m_noted; }

    private:
        QPointer<DevKitStore> m_store;
        const quint64* m_counter; // in a record, which lives as long as the store
        quint64 m_noted;
    };

    // The tool's one refresh slot, held while this lives: refreshes asked for meanwhile join it.
    // Taking it over from a refresh under way leaves that one to end alone.
    class RefreshSlot {
    public:
        RefreshSlot(DevKitStore* store, KitService service, bool tryingToken = false);
        ~RefreshSlot() { release(); }
        RefreshSlot(const RefreshSlot&) = delete;
        RefreshSlot& operator=(const RefreshSlot&) = delete;
        // Still the tool's refresh under way.
        bool isHeld() const;
        // Those who joined go on.
        void release();

    private:
        QPointer<DevKitStore> m_store;
        KitService m_service;
        CancelToken m_done;
    };

    static constexpr int rowLimit = 3;

    const Tool& tool(KitService service) const { return m_tools.at(service); }
    Tool& tool(KitService service) { return m_tools.at(service); }
    Tool freshTool();
    void moveOn(quint64& counter) { counter = ++m_lastGeneration; }
    Ticket ticket(KitService service) { return Ticket(this, &tool(service).generation); }
    bool accountWanted(const Ticket& ticket, KitService service, const QString& id) const;
    template <typename T> QMap<KitService, T> collect(std::optional<T> Tool::*field) const;

    QDateTime now() const;
    static QString projectKey(KitService service, const QString& id);
    bool isConfigured(KitService service);
    KitConnection unavailable(KitService service);
    KitConnection notSaved(KitService service);
    KitConnection keyringLocked(KitService service);
    // After a save the secret store refused: whether it holds the secret for the run meanwhile.
    bool isHeldAfterRefusal(const QString& secretName);
    std::optional<QString> selectedProjectID(KitService service) const;

    // Starts the tool's loop when none runs. refreshFirst false means the caller has just succeeded
    // with the tool: a back-off or request-limit pause ends, and a loop already sleeping wakes to
    // sleep one normal interval from now.
    void startPolling(KitService service, bool refreshFirst);
    void endBackOff(KitService service);
    bool isBuildingLately(KitService service) const;
    void startNewlyConfigured();
    // A tool whose loop ended starts it again once it reads as configured.
    void resumePolling(KitService service);
    QCoro::Task<> poll(KitService service, bool refreshFirst, CancelToken token);
    // `body` alone, or joined to the refresh of the tool under way; `anew` when the caller changed
    // something that a refresh under way did not see: that one then runs once more.
    QCoro::Task<> runRefresh(KitService service, bool anew, QCoro::Task<> (DevKitStore::*body)(KitService));
    QCoro::Task<> refreshOnce(KitService service);
    QCoro::Task<> watchUsage(KitService service);

    QCoro::Task<> refreshDeployments(KitService service, QString token, bool identify);
    QCoro::Task<> listProjects(KitService service, QString token);
    QCoro::Task<> loadIcons(KitService service, QList<Deployment> rows, QString token);
    void markConnected(KitService service);
    void celebrate(KitService service, double delaySeconds);
    void alert(KitService service);
    QCoro::Task<> reloadInspection(QList<Deployment> rows);
    QCoro::Task<> loadDetails();

    // Nothing when the account's result is no longer wanted; throws what the tool threw.
    QCoro::Task<std::optional<QList<Payment>>> fetchAccount(KitService service, QString id, QString key);
    void forgetAccount(KitService service, const QString& id);
    QList<PaymentAccountRecord> paymentAccountRecords(KitService service) const;
    void updatePaymentConnection(KitService service);
    QCoro::Task<> loadAccountIcons(KitService service);
    static QString accountSecretName(KitService service, const QString& id);
    static QString newAccountID();

    // The steps both halves of a usage tool connect by. beginHalf sets the half connecting and
    // notes its ticket and what the tool showed before; nothing (the half failing) without a source.
    std::optional<std::pair<Ticket, KitConnection>> beginHalf(
        KitService service, UsageHalf Tool::*half, bool hasSource);
    void failHalf(KitService service, UsageHalf Tool::*half, const KitConnection& failure);
    void finishHalf(KitService service, const KitConnection& before);
    void setHalf(KitService service, UsageHalf Tool::*half, std::optional<KitConnection> connection,
        bool keepsReport = false);
    void failPlan(KitService service, std::exception_ptr failure);
    void applyReport(KitService service, const UsageReport& report);
    void updateUsageConnection(KitService service);

    void setConnection(KitService service, const KitConnection& connection);
    void setInspection(std::optional<DeploymentInspection> inspection);
    void openInspection(std::optional<DeploymentInspection> inspection);
    void closeDetailsOf(KitService service);
    void setInspectedPayment(std::optional<PaymentInspection> payment);
    void setPicking(std::optional<KitService> service);
    void setListedProjects(KitService service, const QList<KitProject>& projects);
    void setAccountConnection(KitService service, const QString& id, std::optional<KitConnection> connection);
    void setAddFailure(KitService service, std::optional<KitConnection> failure);
    void setUnseen(KitService service, bool unseen);
    void insertInto(QSet<KitService>& set, KitService service, void (DevKitStore::*changed)());
    void removeFrom(QSet<KitService>& set, KitService service, void (DevKitStore::*changed)());

    PreferencesStore& m_preferences;
    SecretStore& m_secrets;
    Scheduler& m_scheduler;
    const bool m_usesMockData;
    const Sources m_sources;

    std::map<KitService, Tool> m_tools; // one per tool, always; never erased (tickets point in)
    quint64 m_lastGeneration = 0; // every counter moves on to the next value of this one

    DevKitSnapshot m_snapshot;
    QSet<KitService> m_celebrating;
    QSet<KitService> m_alerting;
    std::optional<KitAnnouncement> m_announcement;
    std::optional<DeploymentInspection> m_inspection;
    std::optional<PaymentInspection> m_inspectedPayment;
    std::optional<KitService> m_picking;
    std::optional<AwaitedRedeploy> m_awaitedRedeploy;
    quint64 m_inspectionGeneration = 0; // another view, or another load of the same one
    bool m_isRunning = false;
    bool m_hasAdoptedSingleKeys = false;
    QSet<KitService> m_legacyUnreadable; // payment tools whose legacy key could not be read yet
    std::optional<KitService> m_watching;
};

} // namespace brenvo
