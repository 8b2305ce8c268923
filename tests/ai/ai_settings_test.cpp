#include "ai/AISettings.h"
#include "app/core/MemoryDefaults.h"

#include "support/FakeSecretStore.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace brenvo;

namespace {

class AISettingsTest : public ::testing::Test {
protected:
    MemoryDefaults defaults;
    test::FakeSecretStore secrets;
};

} // namespace

TEST_F(AISettingsTest, EachChoiceIsWrittenAtOnceReadBackByANewObjectAndNotifiesOnlyOnARealChange)
{
    {
        AISettings settings(defaults, secrets);
        EXPECT_EQ(settings.provider(), AIProvider::anthropic);
        QSignalSpy provider(&settings, &AISettings::providerChanged);
        QSignalSpy model(&settings, &AISettings::openAIModelChanged);
        settings.setProvider(AIProvider::anthropic);
        EXPECT_TRUE(
            provider.count() == 0 && defaults.contains(AISettings::providerKey)); // written all the same
        settings.setProvider(AIProvider::openAICompatible);
        settings.setAnthropicModel("model-a");
        settings.setOpenAIModel("model-b");
        settings.setOpenAIModel("model-b");
        settings.setOpenAIBaseURL("https://llm.example.test/v1");
        EXPECT_EQ(model.count(), 1);
    }
    EXPECT_EQ(defaults.object(AISettings::providerKey).toString(), "openai");
    AISettings again(defaults, secrets);
    EXPECT_EQ(again.provider(), AIProvider::openAICompatible);
    EXPECT_TRUE(again.anthropicModel() == "model-a" && again.openAIModel() == "model-b");
    EXPECT_EQ(again.openAIBaseURL(), "https://llm.example.test/v1");
    EXPECT_EQ(defaults.keys().size(), 4);
    // An unknown or wrongly typed value reads as the default.
    defaults.setObject(AISettings::providerKey, QStringLiteral("gemini"));
    defaults.setObject(AISettings::openAIModelKey, QVariantList {1, 2});
    AISettings odd(defaults, secrets);
    EXPECT_TRUE(odd.provider() == AIProvider::anthropic && odd.openAIModel().isEmpty());
}

TEST_F(AISettingsTest, TheKeyLivesInItsOwnItemAndAnUnreadableStoreGivesNone)
{
    AISettings settings(defaults, secrets);
    EXPECT_EQ(settings.apiKey(), std::nullopt);
    EXPECT_TRUE(settings.setAPIKey("  test-ai-key-not-real \n"));
    EXPECT_TRUE(secrets.items.value(AISettings::apiKeyItem) == "test-ai-key-not-real"
        && settings.apiKey() == QStringLiteral("test-ai-key-not-real"));
    EXPECT_TRUE(defaults.keys().isEmpty()); // never in the settings file

    secrets.unreadable.insert(AISettings::apiKeyItem);
    EXPECT_EQ(settings.apiKey(), std::nullopt);
    secrets.unreadable.clear();

    // A refused write keeps the old key and says so; blank removes it.
    secrets.refuseWrites = true;
    EXPECT_FALSE(settings.setAPIKey("test-other-key-not-real"));
    EXPECT_EQ(settings.apiKey(), QStringLiteral("test-ai-key-not-real"));
    secrets.refuseWrites = false;
    secrets.unreadable.insert(AISettings::apiKeyItem); // locked: a removal that did not happen says so
    EXPECT_FALSE(settings.setAPIKey("   "));
    secrets.unreadable.clear();
    EXPECT_TRUE(settings.setAPIKey("   "));
    EXPECT_FALSE(secrets.items.contains(AISettings::apiKeyItem));
}
