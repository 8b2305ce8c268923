#include "app/core/HotKeyManager.h"
#include "app/core/MemoryDefaults.h"
#include "app/core/PreferencesStore.h"
#include "app/state/AppCommands.h"
#include "app/state/AppDelegate.h"
#include "settings/OnboardingView.h"
#include "settings/OnboardingWindowController.h"
#include "updates/UpdateManager.h"

#include "GraphTestSupport.h"
#include "support/FakeSecretStore.h"
#include "support/ManualScheduler.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace brenvo;

namespace {

class AppDelegateTest : public ::testing::Test {
protected:
    std::unique_ptr<AppDelegate> make(bool underTest = false)
    {
        return std::make_unique<AppDelegate>(
            test::graphConfig(), defaults, &secrets, test::graphLaunch(scheduler, log, underTest));
    }

    MemoryDefaults defaults;
    test::FakeSecretStore secrets;
    test::ManualScheduler scheduler;
    QStringList log;
};

} // namespace

TEST_F(AppDelegateTest, UnderATestHarnessLaunchingDoesNothingAtAll)
{
    PreferencesStore(defaults).setHasCompletedOnboarding(true);
    auto delegate = make(true);
    QSignalSpy step(delegate.get(), &AppDelegate::launchStepDone);
    delegate->applicationDidFinishLaunching();
    scheduler.advance(5.0);
    EXPECT_TRUE(delegate->appState().surfaces().empty());
    EXPECT_FALSE(delegate->appState().kit().isRunning());
    EXPECT_FALSE(delegate->appState().hotKeys().isRegistered());
    EXPECT_EQ(step.count(), 0);
    EXPECT_EQ(delegate->appState().preferences().lastSeenVersion(), std::nullopt);
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(AppDelegateTest, LaunchStartsPanelPollingShortcutThenWhatsNewAfterAQuarterSecond)
{
    PreferencesStore(defaults).setHasCompletedOnboarding(true);
    auto delegate = make();
    QSignalSpy step(delegate.get(), &AppDelegate::launchStepDone);
    delegate->applicationDidFinishLaunching();
    EXPECT_EQ(log, QStringList {"start Edge"});
    EXPECT_TRUE(delegate->appState().kit().isRunning());
    EXPECT_TRUE(delegate->appState().hotKeys().isRegistered());

    scheduler.advance(0.24);
    EXPECT_EQ(step.count(), 0);
    EXPECT_EQ(delegate->appState().preferences().lastSeenVersion(), std::nullopt);
    scheduler.advance(0.01);
    EXPECT_EQ(step.count(), 1);
    EXPECT_EQ(delegate->appState().preferences().lastSeenVersion(), QStringLiteral("2.3"));
    delegate->applicationWillTerminate();
}

TEST_F(AppDelegateTest, WithOnboardingNeverCompletedItShowsInsteadOfTheWhatsNewCheck)
{
    auto delegate = make();
    QSignalSpy step(delegate.get(), &AppDelegate::launchStepDone);
    delegate->applicationDidFinishLaunching();
    scheduler.advance(0.24);
    EXPECT_EQ(delegate->onboarding().window(), nullptr);
    scheduler.advance(0.01);
    EXPECT_EQ(step.count(), 1);
    ASSERT_NE(delegate->onboarding().window(), nullptr);
    EXPECT_TRUE(delegate->onboarding().window()->isVisible());
    EXPECT_EQ(delegate->appState().preferences().lastSeenVersion(), std::nullopt);
    delegate->applicationWillTerminate();
}

TEST_F(AppDelegateTest, ADelegateGoneBeforeTheLaunchStepEndsItQuietly)
{
    PreferencesStore(defaults).setHasCompletedOnboarding(true);
    auto delegate = make();
    delegate->applicationDidFinishLaunching();
    delegate.reset();
    scheduler.advance(1.0);
    EXPECT_FALSE(PreferencesStore(defaults).lastSeenVersion().has_value());
}

TEST_F(AppDelegateTest, TerminationStopsShortcutPollingAndSurfacesOnce)
{
    auto delegate = make();
    delegate->applicationDidFinishLaunching();
    delegate->applicationWillTerminate();
    EXPECT_FALSE(delegate->appState().hotKeys().isRegistered());
    EXPECT_FALSE(delegate->appState().kit().isRunning());
    EXPECT_TRUE(delegate->appState().surfaces().empty());
    delegate->applicationWillTerminate();
    EXPECT_EQ(log, (QStringList {"start Edge", "stop Edge"}));
}

TEST_F(AppDelegateTest, ReopenBringsThePanelOutWhenThereIsOneAndAlwaysAnswersTrue)
{
    auto delegate = make();
    EXPECT_TRUE(delegate->applicationShouldHandleReopen());
    EXPECT_TRUE(log.isEmpty());
    EXPECT_FALSE(delegate->applicationShouldTerminateAfterLastWindowClosed());
    delegate->applicationDidFinishLaunching();
    EXPECT_TRUE(delegate->applicationShouldHandleReopen());
    EXPECT_EQ(log, (QStringList {"start Edge", "bringOut Edge"}));
    delegate->applicationWillTerminate();
}

TEST(LaunchLine, NamesVersionAndBuildWithAFallbackName)
{
    AppConfig config;
    config.name = QStringLiteral("Brenvo");
    config.version = QStringLiteral("0.1.0");
    config.build = QStringLiteral("7");
    EXPECT_EQ(AppDelegate::launchLine(config), "Brenvo 0.1.0 (7) launched");
    config.name.clear();
    EXPECT_EQ(AppDelegate::launchLine(config), "App 0.1.0 (7) launched");
    EXPECT_EQ(AppCommands::showTitle(config), "Show App");
}

TEST_F(AppDelegateTest, TheCommandsCarryTheirTitlesKeysAndActions)
{
    auto delegate = make();
    AppState& state = delegate->appState();
    int quits = 0;
    AppCommands commands(state, [&]() { ++quits; });
    QStringList alerts;
    state.updates().setAlert([&](const QString& title, const QString&) { alerts.append(title); });

    EXPECT_EQ(commands.checkForUpdates()->text(), QString::fromUtf8("Check for Updates\u2026"));
    EXPECT_EQ(commands.showPanel()->text(), "Show Brenvo");
    EXPECT_EQ(commands.showPanel()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_0));
    EXPECT_EQ(commands.whatsNew()->text(), "What's New");
    EXPECT_EQ(commands.sendFeedback()->text(), QString::fromUtf8("Send Feedback\u2026"));
    EXPECT_EQ(commands.settings()->text(), QString::fromUtf8("Settings\u2026"));
    EXPECT_EQ(commands.quit()->text(), "Quit");

    QSignalSpy requested(&state, &AppState::settingsRequested);
    commands.showPanel()->trigger(); // no panel yet: nothing
    delegate->applicationDidFinishLaunching();
    commands.showPanel()->trigger();
    commands.checkForUpdates()->trigger();
    commands.settings()->trigger();
    commands.whatsNew()->trigger(); // no site: nothing opens, nothing throws
    commands.sendFeedback()->trigger(); // no support address: nothing
    commands.quit()->trigger();
    EXPECT_EQ(log, (QStringList {"start Edge", "bringOut Edge"}));
    EXPECT_EQ(alerts, QStringList {"Updates are not set up"});
    EXPECT_EQ(requested.count(), 1);
    EXPECT_EQ(quits, 1);

    QMenu tray;
    commands.fillTrayMenu(&tray);
    QStringList items;
    for (QAction* action : tray.actions())
        items.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(items.join('|'),
        QString::fromUtf8(
            "Show Brenvo|-|Settings\u2026|Check for Updates\u2026|-|What's New|Send Feedback\u2026|-|Quit"));

    QMenuBar bar;
    commands.fillMenuBar(&bar);
    QStringList menus;
    for (QAction* action : bar.actions())
        menus.append(action->text());
    EXPECT_EQ(menus, (QStringList {"Brenvo", "Window", "Help"}));
    delegate->applicationWillTerminate();
}

TEST_F(AppDelegateTest, TheSettingsWindowFollowsTheGraphsPageAndCarriesTheCommands)
{
    auto delegate = make();
    AppState& state = delegate->appState();
    EXPECT_EQ(delegate->settingsWindow(), nullptr);
    state.openSettings(SettingsPage::service(KitService::github));
    SettingsView* window = delegate->settingsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->page(), SettingsPage::service(KitService::github));
    QStringList menus;
    for (QAction* action : window->menuBar()->actions())
        menus.append(action->text());
    EXPECT_EQ(menus, (QStringList {"Brenvo", "Window", "Help"}));

    // A page picked in the window is the graph's; a page set on the graph shows in the window.
    Q_EMIT window->pageChosen(SettingsPage::about());
    EXPECT_EQ(state.settingsPage(), SettingsPage::about());
    state.setSettingsPage(SettingsPage::general());
    EXPECT_EQ(window->page(), SettingsPage::general());

    // Closed and asked for again: the same window comes back, at the page last set.
    window->close();
    state.openSettings();
    EXPECT_EQ(delegate->settingsWindow(), window);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(AppDelegateTest, TheSettingsContextActsThroughTheGraph)
{
    auto delegate = make();
    AppState& state = delegate->appState();
    SettingsContext context = state.settingsContext();
    EXPECT_EQ(context.kit, &state.kit());
    EXPECT_EQ(context.preferences, &state.preferences());
    EXPECT_EQ(context.loginItem, &state.loginItem());
    EXPECT_EQ(context.config, state.config());

    const HotKey f5 {96, 0};
    ASSERT_TRUE(context.setShortcut);
    EXPECT_TRUE(context.setShortcut(f5));
    EXPECT_EQ(state.preferences().hotKey(), f5);
    EXPECT_EQ(state.hotKeys().hotKey(), f5);
    QSignalSpy requested(&state, &AppState::settingsRequested);
    context.openSettings();
    EXPECT_EQ(requested.count(), 1);

    // Actions that outlive the graph do nothing.
    delegate.reset();
    EXPECT_FALSE(context.setShortcut(std::nullopt));
    context.suspendShortcut();
    context.openSettings();
}
