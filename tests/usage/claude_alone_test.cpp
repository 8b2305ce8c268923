// Claude Code's status line with the store polling it: what it does when the line comes and goes.
#include "ClaudeHome.h"
#include "app/core/MemoryDefaults.h"
#include "app/core/PreferencesStore.h"
#include "store/DevKitStore.h"
#include "support/FakeSecretStore.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

using namespace brenvo;
using namespace brenvo::test;

namespace {

TEST(ClaudeAlone, ALineRewrittenAwayForAMomentIsReadAgainAndOneTheUserDisconnectedIsNot)
{
    Home home;
    *home.usageText = u"Current session: 18% used · resets Dec 7, 3:59pm (Europe/Paris)"_s;
    writeAll(home.settings(), realShaped);
    ASSERT_EQ(failureOf(home.file->connect()), QString());
    const QByteArray connected = readAll(home.settings());
    MemoryDefaults defaults;
    PreferencesStore preferences(defaults);
    preferences.setEnabledServices({KitService::claude});
    FakeSecretStore secrets;
    ManualScheduler scheduler;
    DevKitStore store(
        preferences, secrets, scheduler, false, {{}, {}, {{KitService::claude, home.file}}, {}, nullptr});
    const auto plan = [&] { return store.planConnections().value(KitService::claude); };
    store.start();
    scheduler.runPending();
    ASSERT_TRUE(plan().isConnected());

    // A settings sync writes the file without the line for a few seconds, then puts it back.
    writeAll(home.settings(), "{\n  \"model\": \"opus\"\n}\n");
    scheduler.advance(12);
    EXPECT_FALSE(plan().isConnected());
    writeAll(home.settings(), connected);
    scheduler.advance(5);
    EXPECT_TRUE(plan().isConnected() && store.usageReport(KitService::claude));

    // Put back by something else after the user disconnected, the line is left alone.
    store.disconnect(KitService::claude);
    EXPECT_EQ(readAll(home.settings()), realShaped);
    writeAll(home.settings(), connected);
    scheduler.advance(600);
    EXPECT_FALSE(store.isPolling(KitService::claude) || store.planConnections().contains(KitService::claude));
}

} // namespace
