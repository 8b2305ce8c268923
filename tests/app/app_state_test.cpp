#include "ai/AIService.h"
#include "ai/AISettings.h"
#include "app/core/HotKeyManager.h"
#include "app/core/KitSecrets.h"
#include "app/core/MemoryDefaults.h"
#include "app/core/PreferencesStore.h"
#include "app/state/AppState.h"
#include "app/state/EdgePanelSurface.h"
#include "edge/EdgeController.h"
#include "edge/EdgeSurface.h"
#include "updates/UpdateManager.h"

#include "GraphTestSupport.h"
#include "support/FakeHTTPClient.h"
#include "support/FakeSecretStore.h"
#include "support/ManualScheduler.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace brenvo;

namespace {

class AppStateTest : public ::testing::Test {
protected:
    std::unique_ptr<AppState> make(bool mockData = false, AppConfig config = test::graphConfig())
    {
        AppState::Launch launch = test::graphLaunch(scheduler, surfaceLog, true, mockData);
        launch.http = http;
        return std::make_unique<AppState>(std::move(config), defaults, &secrets, std::move(launch));
    }

    MemoryDefaults defaults;
    test::FakeSecretStore secrets;
    test::ManualScheduler scheduler;
    std::shared_ptr<test::FakeHTTPClient> http = std::make_shared<test::FakeHTTPClient>();
    QStringList surfaceLog;
};

} // namespace

TEST(LaunchSwitches, TheHarnessIsFoundByTheNamePrefixOnly)
{
    EXPECT_TRUE(AppState::namesTestHarness({"HOME", "XCTestConfigurationFilePath"}));
    EXPECT_TRUE(AppState::namesTestHarness({"XCTest"}));
    EXPECT_FALSE(AppState::namesTestHarness({"HOME", "MY_XCTest", "xctestRun", "XCTEST", "XCtest"}));
    EXPECT_FALSE(AppState::namesTestHarness({}));
}

TEST(LaunchSwitches, SampleDataNeedsTheExactArgumentAnywhere)
{
    EXPECT_TRUE(AppState::asksForMockData({"brenvo", "-mockData"}));
    EXPECT_TRUE(AppState::asksForMockData({"brenvo", "-x", "-mockData", "YES"}));
    for (const char* near :
        {"--mockData", "mockData", "-mockdata", "-MockData", "-mockData=YES", " -mockData"})
        EXPECT_FALSE(AppState::asksForMockData({"brenvo", near})) << near;
}

TEST_F(AppStateTest, TheGraphIsBuiltOverTheGivenStoresAndContactsNothing)
{
    auto state = make();
    EXPECT_EQ(&state->secrets(), &secrets);
    EXPECT_EQ(state->settingsPage(), SettingsPage::general());
    EXPECT_EQ(state->ai().mode(), AIMode::off);
    EXPECT_FALSE(state->kit().usesMockData());
    EXPECT_FALSE(state->kit().isRunning());
    EXPECT_FALSE(state->hotKeys().isRegistered());
    EXPECT_TRUE(state->surfaces().empty());
    EXPECT_TRUE(http->requests.empty());
    // Reading the graph touched no secret; writing nothing either.
    EXPECT_TRUE(secrets.calls.isEmpty()) << secrets.calls.join(", ").toStdString();
    EXPECT_TRUE(defaults.keys().isEmpty()) << defaults.keys().join(", ").toStdString();
}

TEST_F(AppStateTest, ToolTokensGoToTheSharedItemAndTheAIKeyToItsOwn)
{
    auto state = make();
    ASSERT_TRUE(
        state->kitSecrets().setSecret("test-token-not-real", KitService(KitService::github).secretKey()));
    ASSERT_TRUE(state->aiSettings().setAPIKey("test-ai-key-not-real"));
    EXPECT_TRUE(secrets.items.contains(KitSecrets::itemKey));
    EXPECT_FALSE(secrets.items.contains(KitService(KitService::github).secretKey()));
    EXPECT_EQ(secrets.items.value(AISettings::apiKeyItem), "test-ai-key-not-real");
    EXPECT_FALSE(secrets.items.value(KitSecrets::itemKey).contains("test-ai-key"));
}

TEST_F(AppStateTest, SampleDataModeFillsTheStoreAndNeverPolls)
{
    auto state = make(true);
    EXPECT_TRUE(state->kit().usesMockData());
    EXPECT_FALSE(state->kit().snapshot().deployments.isEmpty());
    state->kit().start();
    EXPECT_FALSE(state->kit().isRunning());
    EXPECT_EQ(scheduler.pendingCount(), 0);
}

TEST_F(AppStateTest, UpdatesNeverStartUnderTestEvenWithAKey)
{
    AppConfig config = test::graphConfig();
    config.sparklePublicKey = QStringLiteral("test-key-not-real");
    auto state = make(false, config);
    EXPECT_FALSE(state->updates().wantsUpdater());
    EXPECT_FALSE(state->updates().isUpdaterRunning());
}

TEST_F(AppStateTest, TheStoredShortcutIsTheManagersAndSettingItStoresOnlyWhatIsInForce)
{
    const HotKey stored {49, HotKey::option | HotKey::shift};
    PreferencesStore(defaults).setHotKey(stored);
    auto state = make();
    EXPECT_EQ(state->hotKeys().hotKey(), stored);

    // Before the manager starts every shortcut is accepted, and none clears it.
    const HotKey f5 {96, 0};
    EXPECT_TRUE(state->setShortcut(f5));
    EXPECT_EQ(state->preferences().hotKey(), f5);
    EXPECT_TRUE(state->setShortcut(std::nullopt));
    EXPECT_EQ(state->preferences().hotKey(), std::nullopt);
    EXPECT_EQ(PreferencesStore(defaults).hotKey(), std::nullopt);

    // Started without a display to grab on, nothing can be registered: the stored one stays.
    EXPECT_TRUE(state->setShortcut(stored));
    state->hotKeys().start();
    QSignalSpy changed(&state->preferences(), &PreferencesStore::hotKeyChanged);
    EXPECT_FALSE(state->setShortcut(f5));
    EXPECT_EQ(state->preferences().hotKey(), stored);
    EXPECT_EQ(state->hotKeys().hotKey(), stored);
    EXPECT_EQ(changed.count(), 0);
    state->hotKeys().stop();
}

TEST_F(AppStateTest, TheSettingsPageNotifiesOnlyOnARealChange)
{
    auto state = make();
    QSignalSpy changed(state.get(), &AppState::settingsPageChanged);
    QSignalSpy requested(state.get(), &AppState::settingsRequested);
    state->setSettingsPage(SettingsPage::general());
    EXPECT_EQ(changed.count(), 0);
    state->setSettingsPage(SettingsPage::service(KitService::github));
    state->setSettingsPage(SettingsPage::service(KitService::github));
    EXPECT_EQ(changed.count(), 1);
    state->setSettingsPage(SettingsPage::service(KitService::gitlab));
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(requested.count(), 0);

    // Asking for the window without a page keeps the page last shown.
    state->openSettings();
    EXPECT_EQ(state->settingsPage(), SettingsPage::service(KitService::gitlab));
    state->openSettings(SettingsPage::about());
    EXPECT_EQ(state->settingsPage(), SettingsPage::about());
    EXPECT_EQ(requested.count(), 2);
    EXPECT_EQ(changed.count(), 3);
}

TEST(SettingsPageEquality, ToolPagesCompareByToolOtherPagesByKindAlone)
{
    EXPECT_EQ(SettingsPage::service(KitService::stripe), SettingsPage::service(KitService::stripe));
    EXPECT_NE(SettingsPage::service(KitService::stripe), SettingsPage::service(KitService::polar));
    EXPECT_NE(SettingsPage::service(KitService::vercel), SettingsPage::general());
    EXPECT_NE(SettingsPage::ai(), SettingsPage::about());
    EXPECT_EQ(SettingsPage(), SettingsPage::general());
}

TEST_F(AppStateTest, SurfacesStartOnceStopInOrderAndStartFreshAfterwards)
{
    auto state = make();
    // Nothing to toggle or bring out before a surface exists.
    state->hotKeyPressed();
    state->bringOut();
    EXPECT_TRUE(surfaceLog.isEmpty());

    state->startSurfaces();
    state->startSurfaces();
    ASSERT_EQ(state->surfaces().size(), 1u);
    EXPECT_EQ(state->surfaces().front()->name(), "Edge");
    EXPECT_EQ(surfaceLog, QStringList {"start Edge"});

    state->hotKeyPressed();
    state->bringOut();
    state->stopSurfaces();
    EXPECT_TRUE(state->surfaces().empty());
    state->hotKeyPressed();
    state->startSurfaces();
    EXPECT_EQ(
        surfaceLog, (QStringList {"start Edge", "toggle Edge", "bringOut Edge", "stop Edge", "start Edge"}));
    state.reset();
    EXPECT_EQ(surfaceLog.last(), "stop Edge");
}

TEST_F(AppStateTest, ThePanelSurfaceTogglesTuckAwayAndOpensSettingsAtATool)
{
    auto state = make(true);
    EdgePanelSurface surface(QStringLiteral("Edge"));
    surface.toggle();
    surface.bringOut();
    EXPECT_FALSE(state->preferences().tucksAway());

    surface.start(*state);
    ASSERT_NE(surface.edge(), nullptr);
    EdgeController* controller = surface.edge()->controller();
    ASSERT_NE(controller, nullptr);
    EXPECT_TRUE(controller->isInstalled());

    surface.toggle();
    EXPECT_TRUE(state->preferences().tucksAway());
    EXPECT_TRUE(PreferencesStore(defaults).tucksAway());
    surface.toggle();
    EXPECT_FALSE(state->preferences().tucksAway());

    QSignalSpy requested(state.get(), &AppState::settingsRequested);
    ASSERT_TRUE(controller->showSettings());
    controller->showSettings()(KitService::polar);
    EXPECT_EQ(state->settingsPage(), SettingsPage::service(KitService::polar));
    controller->showSettings()(std::nullopt);
    EXPECT_EQ(state->settingsPage(), SettingsPage::service(KitService::polar));
    EXPECT_EQ(requested.count(), 2);

    surface.stop();
    EXPECT_EQ(surface.edge(), nullptr);
    surface.toggle();
    EXPECT_FALSE(state->preferences().tucksAway());
}
