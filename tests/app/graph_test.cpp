#include "ai/AISettings.h"
#include "app/core/HotKeyManager.h"
#include "app/core/KitSecrets.h"
#include "app/core/MemoryDefaults.h"
#include "app/core/PreferencesStore.h"
#include "app/core/SecretServiceWatcher.h"
#include "app/state/AppCommands.h"
#include "app/state/AppDelegate.h"
#include "app/state/DevKitWiring.h"
#include "app/state/EdgePanelSurface.h"
#include "model/KitText.h"
#include "usage/ClaudeUsageFile.h"

#include "edge/EdgeController.h"
#include "edge/EdgeSurface.h"
#include "settings/OnboardingView.h"
#include "settings/OnboardingWindowController.h"
#include "updates/FeedbackWindowController.h"
#include "updates/UpdateManager.h"
#include "updates/WhatsNewController.h"
#include <QDir>

#include "support/FakeHTTPClient.h"
#include "support/FakeSecretStore.h"
#include "support/FakeToolSources.h"
#include "support/ManualScheduler.h"

#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace brenvo;
using namespace Qt::Literals::StringLiterals;

namespace {

// A surface that records what the graph asks of it ("start Edge", "toggle Edge", ...).
class RecordingSurface final : public Surface {
public:
    explicit RecordingSurface(QStringList& log)
        : m_log(log)
    {
    }
    QString name() const override { return "Edge"; }
    void start(AppState&) override { m_log.append("start Edge"); }
    void stop() override { m_log.append("stop Edge"); }
    void toggle() override { m_log.append("toggle Edge"); }
    void bringOut() override { m_log.append("bringOut Edge"); }

private:
    QStringList& m_log;
};

QStringList texts(const QList<QAction*>& actions)
{
    QStringList out;
    for (QAction* action : actions)
        out.append(action->isSeparator() ? "-" : action->text());
    return out;
}

// The object graph on fakes: no network, no local usage readers, recording surfaces.
class Graph : public ::testing::Test {
protected:
    AppState::Launch launch(bool underTest, bool mockData = false)
    {
        AppState::Launch launch;
        launch.usesMockData = mockData;
        launch.isRunningTests = underTest;
        launch.scheduler = &scheduler;
        launch.usage = DevKitStore::UsageSources {};
        launch.http = http;
        launch.makeSurface
            = [this](AppState&, const QString&) { return std::make_unique<RecordingSurface>(log); };
        return launch;
    }
    std::unique_ptr<AppState> state(bool mockData = false)
    {
        return std::make_unique<AppState>(config, defaults, &secrets, launch(true, mockData));
    }
    std::unique_ptr<AppDelegate> delegate(bool underTest = false)
    {
        return std::make_unique<AppDelegate>(config, defaults, &secrets, launch(underTest));
    }

    AppConfig config {"Brenvo", "dev.brenvo.Test", "2.3", "45", {}, {}, {}, {}};
    MemoryDefaults defaults;
    test::FakeSecretStore secrets;
    test::ManualScheduler scheduler;
    std::shared_ptr<test::FakeHTTPClient> http = std::make_shared<test::FakeHTTPClient>();
    QStringList log;
};

} // namespace

TEST(LaunchSwitches, TheHarnessIsFoundByTheNamePrefixAndSampleDataByTheExactArgument)
{
    EXPECT_TRUE(AppState::namesTestHarness({"HOME", "XCTestConfigurationFilePath"}));
    EXPECT_FALSE(AppState::namesTestHarness({"HOME", "MY_XCTest", "xctestRun", "XCTEST", "XCtest"}));
    EXPECT_TRUE(AppState::asksForMockData({"brenvo", "-x", "-mockData", "YES"}));
    for (const char* near :
        {"--mockData", "mockData", "-mockdata", "-MockData", "-mockData=YES", " -mockData"})
        EXPECT_FALSE(AppState::asksForMockData({"brenvo", near})) << near;
}

TEST_F(Graph, TheApplicationsWiringHasEveryToolContactsNobodyAndReadsClaudeAtTheIntervalOfTheMoment)
{
    PreferencesStore preferences {defaults};
    const auto claude = std::make_shared<test::FakeUsageSource>();
    auto wired = makeDevKitStore(preferences, secrets, scheduler, false, http,
        DevKitStore::UsageSources {{KitService::claude, claude}});
    for (auto s : KitService::allCases())
        EXPECT_TRUE(wired->hasSource(s)) << s.rawValue().toStdString();
    EXPECT_EQ(claude->reports + claude->connects, 0);
    EXPECT_EQ(wired->snapshot(), DevKitSnapshot::empty());
    // Without a given map the store reads Codex's plan limits itself.
    EXPECT_TRUE(
        makeDevKitStore(preferences, secrets, scheduler, false, http)->readsPlanLimits(KitService::codex));

    // The own Claude reader asks at the check interval of the moment.
    const auto own = std::dynamic_pointer_cast<ClaudeUsageFile>(
        standardSources(preferences, scheduler, http, std::nullopt).usage.value(KitService::claude));
    ASSERT_TRUE(own);
    EXPECT_EQ(own->claudeDirectory, QDir::homePath() + u"/.claude"_s);
    EXPECT_TRUE(own->directory.endsWith(u"/Brenvo"_s));
    EXPECT_EQ(own->refreshEvery(), 600);
    preferences.setCheckIntervals({{u"claude"_s, 300}});
    EXPECT_EQ(own->refreshEvery(), 300);
}

TEST_F(Graph, IsBuiltOverTheGivenStoresAndContactsNothingNotEvenTheUpdaterWithAKey)
{
    config.sparklePublicKey = "test-key-not-real";
    auto graph = state();
    EXPECT_FALSE(
        graph->kit().isRunning() || graph->hotKeys().isRegistered() || graph->updates().wantsUpdater());
    EXPECT_TRUE(http->requests.empty());
    // Reading the graph touched no secret; writing nothing either.
    EXPECT_TRUE(secrets.calls.isEmpty()) << secrets.calls.join(", ").toStdString();
    EXPECT_TRUE(defaults.keys().isEmpty()) << defaults.keys().join(", ").toStdString();

    // Tool tokens go to the shared item, the AI key to its own.
    const QString github = KitService(KitService::github).secretKey();
    ASSERT_TRUE(graph->kitSecrets().setSecret("test-token-not-real", github));
    ASSERT_TRUE(graph->aiSettings().setAPIKey("test-ai-key-not-real"));
    EXPECT_EQ(secrets.items.value(AISettings::apiKeyItem), "test-ai-key-not-real");
    const QString shared = secrets.items.value(KitSecrets::itemKey);
    EXPECT_TRUE(!secrets.items.contains(github) && shared.contains("test-token-not-real")
        && !shared.contains("test-ai-key"));
}

TEST_F(Graph, AKeyringLockedAtLaunchIsAskedToUnlockOnceAndTheStoreHearsWhenItOpens)
{
    const QString github = KitService(KitService::github).secretKey();
    secrets.items.insert(KitSecrets::itemKey, R"({")" + github + R"(":"test-token-not-real"})");
    secrets.unreadable.insert(KitSecrets::itemKey);
    auto graph = state();
    graph->kit().start();
    graph->watchSecretsIfUnreadable();
    const auto turns = [&graph]() {
        for (int turn = 0; turn < 8; ++turn) {
            Q_EMIT graph->kit().pollingTurn();
            Q_EMIT graph->secretWatcher().mayHaveBecomeReadable();
        }
    };
    turns();
    EXPECT_EQ(secrets.calls.count("unlock"), 1);
    secrets.answerUnlock(SecretStore::UnlockAnswer::dismissed);
    turns();
    EXPECT_EQ(secrets.calls.count("unlock"), 1);

    // Opened some other way: the next signal reads it, and the store is told once that read is over.
    secrets.unreadable.clear();
    const KitConnection locked = KitConnection::failing(lockedText(KitService::github));
    Q_EMIT graph->secretWatcher().mayHaveBecomeReadable();
    EXPECT_EQ(graph->kit().connection(KitService::github), locked);
    QCoreApplication::processEvents();
    EXPECT_NE(graph->kit().connection(KitService::github), locked);
}

TEST_F(Graph, SampleDataModeFillsTheStoreAndNeverPolls)
{
    auto graph = state(true);
    graph->kit().start();
    EXPECT_FALSE(graph->kit().snapshot().deployments.isEmpty() || graph->kit().isRunning());
    EXPECT_EQ(scheduler.pendingCount(), 0);
}

TEST_F(Graph, ThePanelSurfaceTogglesTuckAwayAndOpensSettingsAtATool)
{
    auto graph = state(true);
    EdgePanelSurface surface("Edge");
    surface.toggle(); // not started: nothing
    surface.start(*graph);
    ASSERT_NE(surface.edge(), nullptr);
    EdgeController* controller = surface.edge()->controller();
    ASSERT_TRUE(controller && controller->isInstalled());
    surface.toggle();
    EXPECT_TRUE(PreferencesStore(defaults).tucksAway());
    surface.toggle();
    EXPECT_FALSE(graph->preferences().tucksAway());

    QSignalSpy requested(graph.get(), &AppState::settingsRequested);
    controller->showSettings()(KitService::polar);
    controller->showSettings()(std::nullopt);
    EXPECT_EQ(graph->settingsPage(), SettingsPage::service(KitService::polar));
    EXPECT_EQ(requested.count(), 2);
    surface.stop();
    EXPECT_EQ(surface.edge(), nullptr);
    surface.toggle(); // stopped: nothing
    EXPECT_FALSE(graph->preferences().tucksAway());
}

TEST_F(Graph, LaunchStartsPanelThenPollingAndShortcutAfterItsPaintThenOnboardingOrWhatsNewAfterAQuarterSecond)
{
    auto app = delegate();
    QSignalSpy step(app.get(), &AppDelegate::launchStepDone);
    app->applicationDidFinishLaunching();
    EXPECT_EQ(log, QStringList {"start Edge"});
    // Polling reads the secrets: not before the panel's first paint (a second at most).
    EXPECT_FALSE(app->appState().kit().isRunning());
    scheduler.advance(0.24);
    EXPECT_TRUE(step.count() == 0 && app->onboarding().window() == nullptr);
    scheduler.advance(0.01);
    EXPECT_EQ(step.count(), 1);
    ASSERT_NE(app->onboarding().window(), nullptr);
    EXPECT_TRUE(app->onboarding().window()->isVisible());
    EXPECT_EQ(app->appState().preferences().lastSeenVersion(), std::nullopt); // no check besides onboarding
    scheduler.advance(0.75);
    EXPECT_TRUE(app->appState().kit().isRunning());
    EXPECT_TRUE(app->appState().hotKeys().isRegistered());
    app->applicationWillTerminate();

    // Onboarding done: a delegate gone before the launch step ends it quietly; else the version is recorded.
    PreferencesStore(defaults).setHasCompletedOnboarding(true);
    app = delegate();
    app->applicationDidFinishLaunching();
    app.reset();
    scheduler.advance(1.0);
    EXPECT_FALSE(PreferencesStore(defaults).lastSeenVersion().has_value());
    app = delegate();
    app->applicationDidFinishLaunching();
    scheduler.advance(0.25);
    EXPECT_EQ(app->appState().preferences().lastSeenVersion(), "2.3");
    app->applicationWillTerminate();
}

TEST_F(Graph, SurfacesStartOnceReopenBringsThePanelOutAndTerminationStopsEverythingOnce)
{
    auto app = delegate();
    AppState& graph = app->appState();
    // Nothing to toggle or bring out before a surface exists.
    EXPECT_TRUE(app->applicationShouldHandleReopen());
    graph.hotKeyPressed();
    EXPECT_FALSE(app->applicationShouldTerminateAfterLastWindowClosed());
    app->applicationDidFinishLaunching();
    graph.startSurfaces();
    ASSERT_EQ(graph.surfaces().size(), 1u);
    EXPECT_TRUE(app->applicationShouldHandleReopen());
    graph.hotKeyPressed();
    app->applicationWillTerminate();
    app->applicationWillTerminate();
    EXPECT_FALSE(graph.hotKeys().isRegistered() || graph.kit().isRunning() || !graph.surfaces().empty());
    graph.startSurfaces();
    EXPECT_EQ(log, (QStringList {"start Edge", "bringOut Edge", "toggle Edge", "stop Edge", "start Edge"}));
    app.reset();
    EXPECT_EQ(log.last(), "stop Edge");
}

TEST_F(Graph, TheCommandsCarryTheirTitlesKeysAndActions)
{
    AppConfig unnamed = config;
    unnamed.name.clear();
    EXPECT_EQ(AppDelegate::launchLine(config), "Brenvo 2.3 (45) launched");
    EXPECT_EQ(AppDelegate::launchLine(unnamed), "App 2.3 (45) launched");

    auto app = delegate();
    AppState& graph = app->appState();
    int quits = 0;
    AppCommands commands(graph, [&]() { ++quits; });
    QStringList alerts;
    const auto alert = [&](const QString& title, const QString&) { alerts.append(title); };
    graph.updates().setAlert(alert);
    graph.whatsNew().setAlert(alert);
    graph.feedbackWindow().setAlert(alert);
    EXPECT_EQ(commands.showPanel()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_0));
    QSignalSpy requested(&graph, &AppState::settingsRequested);
    commands.showPanel()->trigger(); // no panel yet: nothing
    app->applicationDidFinishLaunching();
    for (QAction* action : {commands.showPanel(), commands.checkForUpdates(), commands.settings(),
             commands.whatsNew(), commands.sendFeedback(), commands.quit()})
        action->trigger();
    EXPECT_EQ(log, (QStringList {"start Edge", "bringOut Edge"}));
    // No updater, no site, no support address: each command says why it does nothing.
    EXPECT_EQ(alerts,
        (QStringList {"Updates are not set up", "Release notes are not set up", "Feedback is not set up"}));
    EXPECT_TRUE(requested.count() == 1 && quits == 1);
    EXPECT_EQ(graph.settingsPage(), SettingsPage::general());
    commands.about()->trigger();
    EXPECT_EQ(requested.count(), 2);
    EXPECT_EQ(graph.settingsPage(), SettingsPage::about());

    QMenu tray;
    commands.fillTrayMenu(&tray);
    EXPECT_EQ(texts(tray.actions()).join('|'),
        QString::fromUtf8("Show Brenvo|-|Settings…|Check for Updates…|-|What's New|Send Feedback…|-|Quit"));
    app->applicationWillTerminate();
}

TEST_F(Graph, TheSettingsWindowFollowsTheGraphsPageAndItsContextOutlivesTheGraphHarmlessly)
{
    auto app = delegate();
    AppState& graph = app->appState();
    EXPECT_EQ(app->settingsWindow(), nullptr);
    graph.openSettings(SettingsPage::service(KitService::github));
    SettingsView* window = app->settingsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->page(), SettingsPage::service(KitService::github));
    const QList<QAction*> menus = window->menuBar()->actions();
    EXPECT_EQ(texts(menus), (QStringList {"Brenvo", "Window", "Help"}));
    // The application-info item comes first, the update check right after it.
    EXPECT_EQ(texts(menus.at(0)->menu()->actions()).join('|'),
        QString::fromUtf8("About Brenvo|Check for Updates…|-|Settings…|-|Quit"));
    EXPECT_EQ(texts(menus.at(2)->menu()->actions()).join('|'), "What's New|Send Feedback…");
    menus.at(0)->menu()->actions().at(0)->trigger();
    EXPECT_EQ(window->page(), SettingsPage::about());
    graph.setSettingsPage(SettingsPage::service(KitService::github));
    // A page picked in the window is the graph's; a page set on the graph shows in the window.
    Q_EMIT window->pageChosen(SettingsPage::about());
    EXPECT_EQ(graph.settingsPage(), SettingsPage::about());
    graph.setSettingsPage(SettingsPage::general());
    EXPECT_EQ(window->page(), SettingsPage::general());
    // Closed and asked for again: the same window comes back, at the page last set.
    window->close();
    graph.openSettings();
    EXPECT_TRUE(app->settingsWindow() == window && window->isVisible());
    EXPECT_EQ(window->page(), SettingsPage::general());

    // The window's actions go through the graph and do nothing once it is gone.
    SettingsContext context = graph.settingsContext();
    EXPECT_TRUE(context.setShortcut(HotKey {96, 0}));
    EXPECT_EQ(graph.preferences().hotKey(), (HotKey {96, 0}));
    app.reset();
    EXPECT_FALSE(context.setShortcut(std::nullopt));
    context.suspendShortcut();
    context.openSettings();
}
