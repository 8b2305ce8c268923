#include "app/state/AppState.h"

#include "ai/AIService.h"
#include "ai/AISettings.h"
#include "app/core/HotKeyManager.h"
#include "app/core/KeychainStore.h"
#include "app/core/KitSecrets.h"
#include "app/core/LoginItemManager.h"
#include "app/core/PreferencesStore.h"
#include "app/core/SecretServiceWatcher.h"
#include "app/state/DevKitWiring.h"
#include "app/state/EdgePanelSurface.h"
#include "http/NetworkHTTPClient.h"
#include "model/Log.h"
#include "model/Scheduler.h"
#include "updates/FeedbackWindowController.h"
#include "updates/UpdateManager.h"
#include "updates/UrlOpener.h"
#include "updates/WhatsNewController.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProcessEnvironment>

namespace brenvo {

bool AppState::namesTestHarness(const QStringList& environmentNames)
{
    for (const QString& name : environmentNames) {
        if (name.startsWith(QStringLiteral("XCTest")))
            return true;
    }
    return false;
}

bool AppState::asksForMockData(const QStringList& arguments)
{
    return arguments.contains(QStringLiteral("-mockData"));
}

bool AppState::isRunningTests()
{
    static const bool value = namesTestHarness(QProcessEnvironment::systemEnvironment().keys());
    return value;
}

bool AppState::usesMockData()
{
    // Read once: the arguments cannot change under a running graph.
    static const bool value = asksForMockData(QCoreApplication::arguments());
    return value;
}

AppState::Launch AppState::Launch::fromProcess()
{
    Launch launch;
    launch.usesMockData = AppState::usesMockData();
    launch.isRunningTests = AppState::isRunningTests();
    return launch;
}

AppState::AppState(AppConfig config, Defaults& defaults, SecretStore* secrets, Launch launch, QObject* parent)
    : QObject(parent)
    , m_launch(std::move(launch))
    , m_config(std::move(config))
{
    if (m_launch.scheduler) {
        m_scheduler = m_launch.scheduler;
    } else {
        m_ownScheduler = std::make_unique<TimerScheduler>();
        m_scheduler = m_ownScheduler.get();
    }

    m_loginItem = std::make_unique<LoginItemManager>(m_config.bundleID, m_config.name);
    m_settingsPage = SettingsPage::general();
    m_feedbackWindow = std::make_unique<FeedbackWindowController>();
    if (secrets) {
        m_secrets = secrets;
    } else {
        m_ownSecrets = std::make_unique<KeychainStore>(m_config.bundleID + QStringLiteral(".secrets"));
        m_secrets = m_ownSecrets.get();
    }
    m_preferences = std::make_unique<PreferencesStore>(defaults);
    m_http = m_launch.http ? m_launch.http : std::make_shared<NetworkHTTPClient>();
    m_updates = std::make_unique<UpdateManager>(m_config, !m_launch.isRunningTests);
    m_kitSecrets = std::make_unique<KitSecrets>(*m_secrets, &defaults);
    m_secretWatcher = std::make_unique<SecretServiceWatcher>();
    // Reads never prompt: the watcher's signals and the polling turns only look again.
    connect(m_secretWatcher.get(), &SecretServiceWatcher::mayHaveBecomeReadable, m_kitSecrets.get(),
        &KitSecrets::reload);
    m_kit = makeDevKitStore(*m_preferences, *m_kitSecrets, *m_scheduler, m_launch.usesMockData, m_http,
        std::move(m_launch.usage));
    // Keys that could not be read are looked for again on each polling turn; free once they read.
    connect(m_kit.get(), &DevKitStore::pollingTurn, this, [this]() {
        if (!m_kitSecrets->isReadable())
            m_kitSecrets->reload();
    });
    // Queued: the keys turn readable inside a read or a write of the store's own.
    connect(
        m_kitSecrets.get(), &KitSecrets::becameReadable, this,
        [this]() {
            qCInfo(logApp, "The kit's keys are readable now");
            m_kit->secretsBecameReadable();
        },
        Qt::QueuedConnection);
    // A save or removal that the keyring refused, however it came to be locked, is finished once it
    // opens: the watcher says when.
    connect(
        m_kitSecrets.get(), &KitSecrets::pendingWritesChanged, this,
        [this]() {
            if (m_kitSecrets->hasPendingWrites() && !m_launch.usesMockData)
                m_secretWatcher->start();
            Q_EMIT m_kit->heldSecretsChanged();
        },
        Qt::QueuedConnection);
    m_launch.usage.reset();
    m_hotKeys = std::make_unique<HotKeyManager>(m_preferences->hotKey());
    m_whatsNew = std::make_unique<WhatsNewController>(m_config, *m_preferences, m_http);
    m_aiSettings = std::make_unique<AISettings>(defaults, *m_secrets);
    m_ai = std::make_unique<AIService>(*m_aiSettings, m_config);

    QPointer<AppState> weak(this);
    m_hotKeys->setOnActivate([weak]() {
        if (weak)
            weak->hotKeyPressed();
    });
}

AppState::~AppState()
{
    // Panels first: they read the store and the settings to the end.
    stopSurfaces();
}

void AppState::watchSecretsIfUnreadable()
{
    if (m_launch.usesMockData)
        return;
    const bool readable = m_kitSecrets->reload();
    if (readable && !m_kitSecrets->hasPendingWrites())
        return;
    m_secretWatcher->start();
    if (!readable)
        m_kitSecrets->askToUnlockOnce();
}

void AppState::setSettingsPage(SettingsPage page)
{
    if (page == m_settingsPage)
        return;
    m_settingsPage = page;
    Q_EMIT settingsPageChanged();
}

void AppState::startSurfaces()
{
    if (!m_surfaces.empty())
        return;
    const QString name = QStringLiteral("Edge");
    m_surfaces.push_back(
        m_launch.makeSurface ? m_launch.makeSurface(*this, name) : std::make_unique<EdgePanelSurface>(name));
    for (const auto& surface : m_surfaces)
        surface->start(*this);
}

void AppState::stopSurfaces()
{
    for (const auto& surface : m_surfaces)
        surface->stop();
    m_surfaces.clear();
}

void AppState::hotKeyPressed()
{
    if (!m_surfaces.empty())
        m_surfaces.front()->toggle();
}

void AppState::bringOut()
{
    if (!m_surfaces.empty())
        m_surfaces.front()->bringOut();
}

bool AppState::setShortcut(std::optional<HotKey> hotKey)
{
    if (!m_hotKeys->registerHotKey(hotKey))
        return false;
    m_preferences->setHotKey(hotKey);
    return true;
}

QCoro::Task<> AppState::showWhatsNew()
{
    QPointer<WhatsNewController> whatsNew(m_whatsNew.get());
    co_await whatsNew->show();
}

SettingsContext AppState::settingsContext()
{
    SettingsContext context;
    context.config = m_config;
    context.kit = m_kit.get();
    context.preferences = m_preferences.get();
    context.loginItem = m_loginItem.get();
    QPointer<AppState> weak(this);
    context.setShortcut = [weak](std::optional<HotKey> hotKey) { return weak && weak->setShortcut(hotKey); };
    context.suspendShortcut = [weak]() {
        if (weak)
            weak->hotKeys().suspend();
    };
    context.resumeShortcut = [weak]() {
        if (weak)
            weak->hotKeys().resume();
    };
    context.openUrl = desktopOpener();
    context.hasPlanLimits
        = [weak](KitService service) { return weak && weak->m_kit->readsPlanLimits(service); };
    context.openSettings = [weak]() {
        if (weak)
            weak->openSettings();
    };
    return context;
}

void AppState::openSettings(std::optional<SettingsPage> page)
{
    if (page)
        setSettingsPage(*page);
    Q_EMIT settingsRequested();
}

} // namespace brenvo
