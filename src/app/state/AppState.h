#pragma once

#include "model/AppConfig.h"
#include "model/HotKey.h"
#include "settings/SettingsContext.h"
#include "settings/SettingsPage.h"
#include "store/DevKitStore.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace brenvo {

class AIService;
class AISettings;
class AppState;
class Defaults;
class FeedbackWindowController;
class HTTPClient;
class HotKeyManager;
class KitSecrets;
class LoginItemManager;
class PreferencesStore;
class Scheduler;
class SecretServiceWatcher;
class SecretStore;
class UpdateManager;
class WhatsNewController;

// A screen surface that holds one panel for the life of the process.
class Surface {
public:
    virtual ~Surface() = default;

    virtual QString name() const = 0;
    // Gives the surface its controller and installs the panel.
    virtual void start(AppState& appState) = 0;
    // Uninstalls the panel and drops the controller.
    virtual void stop() = 0;
    // Tucks the panel away or brings it back; nothing without a controller.
    virtual void toggle() = 0;
    // Slides the panel out; nothing without a controller.
    virtual void bringOut() = 0;
};

// The object graph: owns every long-lived object of the process and is handed to every window.
// Main thread only.
class AppState : public QObject {
    Q_OBJECT

public:
    using SurfaceFactory = std::function<std::unique_ptr<Surface>(AppState& appState, const QString& name)>;

    // What the process decides before the graph is built. fromProcess() reads the real switches;
    // tests build their own.
    struct Launch {
        bool usesMockData = false;
        bool isRunningTests = false;
        // Null: the graph keeps a scheduler on real timers.
        Scheduler* scheduler = nullptr;
        // None: the store builds the application's own local usage readers.
        std::optional<DevKitStore::UsageSources> usage;
        // Empty: the edge panel.
        SurfaceFactory makeSurface;
        // Null: a transport on the network. Whichever it is, it is the one transport of the
        // process: the tools, the What's New page and whoever asks the graph share it.
        std::shared_ptr<HTTPClient> http;

        static Launch fromProcess();
    };

    // Builds the graph in a fixed order and contacts nothing. secrets: the base secret store, or
    // null for the desktop's Secret Service under the bundle identifier and ".secrets". The
    // defaults domain and an injected store must outlive the graph.
    AppState(AppConfig config, Defaults& defaults, SecretStore* secrets = nullptr,
        Launch launch = Launch::fromProcess(), QObject* parent = nullptr);
    ~AppState() override;

    // An environment variable whose name starts with "XCTest" (the name, not the value).
    static bool isRunningTests();
    // The exact argument "-mockData" at any position.
    static bool usesMockData();
    static bool namesTestHarness(const QStringList& environmentNames);
    static bool asksForMockData(const QStringList& arguments);

    const AppConfig& config() const { return m_config; }
    PreferencesStore& preferences() const { return *m_preferences; }
    LoginItemManager& loginItem() const { return *m_loginItem; }
    UpdateManager& updates() const { return *m_updates; }
    DevKitStore& kit() const { return *m_kit; }
    HotKeyManager& hotKeys() const { return *m_hotKeys; }
    WhatsNewController& whatsNew() const { return *m_whatsNew; }
    AISettings& aiSettings() const { return *m_aiSettings; }
    AIService& ai() const { return *m_ai; }
    // The base secret store (never the tool store's).
    SecretStore& secrets() const { return *m_secrets; }
    KitSecrets& kitSecrets() const { return *m_kitSecrets; }
    // Says when the Secret Service appears or unlocks; the tool store's secrets are read again
    // then (before any later listener runs). Watching only once `watchSecretsIfUnreadable()` found
    // them unreadable.
    SecretServiceWatcher& secretWatcher() const { return *m_secretWatcher; }
    void watchSecretsIfUnreadable();
    const std::shared_ptr<HTTPClient>& http() const { return m_http; }
    FeedbackWindowController& feedbackWindow() const { return *m_feedbackWindow; }
    Scheduler& scheduler() const { return *m_scheduler; }
    bool isMockData() const { return m_launch.usesMockData; }
    bool isUnderTest() const { return m_launch.isRunningTests; }

    // The page the settings window shows; setting it opens nothing.
    const SettingsPage& settingsPage() const { return m_settingsPage; }
    void setSettingsPage(SettingsPage page);

    const std::vector<std::unique_ptr<Surface>>& surfaces() const { return m_surfaces; }
    // One surface named "Edge", started; nothing when surfaces exist already.
    void startSurfaces();
    // Stops every surface and empties the list.
    void stopSurfaces();
    // The global shortcut: toggles the first surface.
    void hotKeyPressed();
    // Slides out the first surface's panel (reopen, the "Show" command).
    void bringOut();

    // Registers the shortcut (none clears it) and stores it when it is in force. False when it
    // could not be registered: the previous one stays registered and stored.
    bool setShortcut(std::optional<HotKey> hotKey);

    QCoro::Task<> showWhatsNew();
    // What the settings window and onboarding work with: this graph's members and actions.
    SettingsContext settingsContext();
    // Asks for the settings window, at the given page when one is given.
    void openSettings(std::optional<SettingsPage> page = std::nullopt);

Q_SIGNALS:
    void settingsPageChanged();
    // Whoever owns the settings window opens it (and brings it to the front).
    void settingsRequested();

private:
    Launch m_launch;
    AppConfig m_config;
    std::unique_ptr<Scheduler> m_ownScheduler;
    Scheduler* m_scheduler = nullptr;
    std::unique_ptr<LoginItemManager> m_loginItem;
    SettingsPage m_settingsPage;
    std::unique_ptr<FeedbackWindowController> m_feedbackWindow;
    std::unique_ptr<SecretStore> m_ownSecrets;
    SecretStore* m_secrets = nullptr;
    std::unique_ptr<PreferencesStore> m_preferences;
    std::shared_ptr<HTTPClient> m_http;
    std::unique_ptr<UpdateManager> m_updates;
    std::unique_ptr<KitSecrets> m_kitSecrets;
    std::unique_ptr<SecretServiceWatcher> m_secretWatcher;
    std::unique_ptr<DevKitStore> m_kit;
    std::unique_ptr<HotKeyManager> m_hotKeys;
    std::unique_ptr<WhatsNewController> m_whatsNew;
    std::unique_ptr<AISettings> m_aiSettings;
    std::unique_ptr<AIService> m_ai;
    // Last: surfaces reach into everything above.
    std::vector<std::unique_ptr<Surface>> m_surfaces;
};

} // namespace brenvo
