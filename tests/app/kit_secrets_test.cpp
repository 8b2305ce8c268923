#include "app/core/KitSecrets.h"
#include "support/FakeSecretStore.h"
#include "support/MessageRecorder.h"
#include "support/QtPrinting.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace brenvo;
using brenvo::test::FakeSecretStore;
using brenvo::test::MessageRecorder;

namespace {

const QString notSaved
    = QStringLiteral("The kit's keys could not be saved: the keychain item is not readable");

QJsonObject storedKeys(const FakeSecretStore& base)
{
    return QJsonDocument::fromJson(base.items.value(KitSecrets::itemKey).toUtf8()).object();
}

QString json(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace

TEST(KitSecrets, LooksForAMissingKeyOnceAndThenAsksNothing)
{
    FakeSecretStore base;
    KitSecrets secrets(base);
    EXPECT_EQ(secrets.secret(QStringLiteral("kit.github")), std::nullopt);
    EXPECT_EQ(base.calls, (QStringList {"lookup kit.keys", "secret kit.github"}));
    base.calls.clear();
    EXPECT_EQ(secrets.secret(QStringLiteral("kit.github")), std::nullopt);
    EXPECT_EQ(secrets.lookupSecret(QStringLiteral("kit.github")), SecretLookup::absent());
    EXPECT_TRUE(base.calls.isEmpty());
}

TEST(KitSecrets, AdoptsATokenKeptAsAnItemOfItsOwnOnlyAfterSavingIt)
{
    FakeSecretStore base;
    base.items.insert(QStringLiteral("kit.vercel"), QStringLiteral("test-token-vercel"));
    KitSecrets secrets(base);
    EXPECT_EQ(secrets.secret(QStringLiteral("kit.vercel")), QStringLiteral("test-token-vercel"));
    EXPECT_EQ(base.calls,
        (QStringList {"lookup kit.keys", "secret kit.vercel", "set kit.keys", "remove kit.vercel"}));
    EXPECT_FALSE(base.items.contains(QStringLiteral("kit.vercel")));
    EXPECT_EQ(
        storedKeys(base).value(QStringLiteral("kit.vercel")).toString(), QStringLiteral("test-token-vercel"));

    // A refused write keeps the single item: it is the only copy that outlives this run.
    FakeSecretStore refusing;
    refusing.items.insert(QStringLiteral("kit.gitlab"), QStringLiteral("test-token-gitlab"));
    refusing.refuseWrites = true;
    KitSecrets other(refusing);
    EXPECT_EQ(other.secret(QStringLiteral("kit.gitlab")), QStringLiteral("test-token-gitlab"));
    EXPECT_TRUE(refusing.items.contains(QStringLiteral("kit.gitlab")));
    EXPECT_FALSE(refusing.calls.contains(QStringLiteral("remove kit.gitlab")));
}

TEST(KitSecrets, KeepsEveryTokenInOneItemAndRemovesSingleItemsWithoutRewriting)
{
    FakeSecretStore base;
    base.items.insert(QStringLiteral("kit.gitlab"), QStringLiteral("test-token-gitlab"));
    KitSecrets secrets(base);
    EXPECT_TRUE(secrets.setSecret(QStringLiteral("test-token-a"), QStringLiteral("kit.github")));
    EXPECT_TRUE(secrets.setSecret(QStringLiteral("test-token-b"), QStringLiteral("kit.stripe.acct_1")));
    EXPECT_EQ(storedKeys(base),
        (QJsonObject {{"kit.github", "test-token-a"}, {"kit.stripe.acct_1", "test-token-b"}}));
    EXPECT_FALSE(base.calls.contains(QStringLiteral("secret kit.github"))); // setting adopts nothing

    base.calls.clear();
    secrets.removeSecret(QStringLiteral("kit.gitlab"));
    EXPECT_EQ(base.calls, (QStringList {"remove kit.gitlab"}));
    EXPECT_FALSE(base.items.contains(QStringLiteral("kit.gitlab")));

    base.calls.clear();
    secrets.removeSecret(QStringLiteral("kit.github"));
    EXPECT_EQ(base.calls, (QStringList {"set kit.keys", "remove kit.github"}));
    EXPECT_EQ(storedKeys(base), (QJsonObject {{"kit.stripe.acct_1", "test-token-b"}}));
    base.calls.clear();
    secrets.removeSecret(QStringLiteral("kit.github")); // the single item is deleted once per run
    EXPECT_TRUE(base.calls.isEmpty());
}

TEST(KitSecrets, WhileTheItemIsUnreadableKeepsChangesAndMergesThemWhenItReadsAgain)
{
    FakeSecretStore base;
    base.items.insert(KitSecrets::itemKey,
        json({{"kit.github", "test-token-old"}, {"kit.vercel", "test-token-vercel"},
            {"kit.polar", "test-token-p"}}));
    base.items.insert(QStringLiteral("kit.cloudflare"), QStringLiteral("test-token-cf"));
    base.unreadable.insert(KitSecrets::itemKey);
    KitSecrets secrets(base);
    MessageRecorder log;

    EXPECT_FALSE(secrets.setSecret(QStringLiteral("test-token-new"), QStringLiteral("kit.github")));
    EXPECT_TRUE(log.contains(notSaved));
    EXPECT_EQ(secrets.secret(QStringLiteral("kit.github")), QStringLiteral("test-token-new"));
    EXPECT_EQ(secrets.lookupSecret(QStringLiteral("kit.vercel")), SecretLookup::absent()); // never unreadable
    // A single item is served from memory and left in place.
    EXPECT_EQ(secrets.secret(QStringLiteral("kit.cloudflare")), QStringLiteral("test-token-cf"));
    EXPECT_TRUE(base.items.contains(QStringLiteral("kit.cloudflare")));
    // Removed while unreadable: must not come back with the merge.
    secrets.removeSecret(QStringLiteral("kit.polar"));
    EXPECT_TRUE(secrets.isDenied());
    EXPECT_FALSE(log.all().contains(QStringLiteral("test-token")));

    base.unreadable.clear();
    EXPECT_EQ(secrets.secret(QStringLiteral("kit.vercel")), QStringLiteral("test-token-vercel"));
    EXPECT_FALSE(secrets.isDenied());
    EXPECT_EQ(secrets.secret(QStringLiteral("kit.github")), QStringLiteral("test-token-new"));
    EXPECT_EQ(secrets.secret(QStringLiteral("kit.polar")), std::nullopt);
    // What changed in memory is saved with the merge, so the next launch has it too.
    EXPECT_EQ(storedKeys(base),
        (QJsonObject {{"kit.github", "test-token-new"}, {"kit.vercel", "test-token-vercel"},
            {"kit.cloudflare", "test-token-cf"}}));
    EXPECT_FALSE(base.items.contains(QStringLiteral("kit.cloudflare")));
}

TEST(KitSecrets, ReadsAnItemWithAStrayMemberAndKeepsThatMember)
{
    FakeSecretStore base;
    base.items.insert(KitSecrets::itemKey, QStringLiteral(R"({"kit.github":"test-token-a","kit.odd":5})"));
    KitSecrets secrets(base);
    EXPECT_EQ(secrets.secret(QStringLiteral("kit.github")), QStringLiteral("test-token-a"));
    EXPECT_EQ(secrets.secret(QStringLiteral("kit.odd")), std::nullopt);
    EXPECT_TRUE(secrets.setSecret(QStringLiteral("test-token-b"), QStringLiteral("kit.gitlab")));
    EXPECT_EQ(storedKeys(base),
        (QJsonObject {{"kit.github", "test-token-a"}, {"kit.gitlab", "test-token-b"}, {"kit.odd", 5}}));
}

TEST(KitSecrets, NeverWritesOverAnItemThatIsNoJsonObject)
{
    for (const QString& content :
        {QStringLiteral("not json"), QStringLiteral("[\"kit.github\"]"), QString()}) {
        FakeSecretStore base;
        base.items.insert(KitSecrets::itemKey, content);
        KitSecrets secrets(base);
        MessageRecorder log;
        EXPECT_FALSE(secrets.setSecret(QStringLiteral("test-token-a"), QStringLiteral("kit.github")))
            << content.toStdString();
        secrets.removeSecret(QStringLiteral("kit.vercel"));
        EXPECT_EQ(base.items.value(KitSecrets::itemKey), content);
        EXPECT_TRUE(log.contains(notSaved));
        EXPECT_EQ(secrets.secret(QStringLiteral("kit.github")), QStringLiteral("test-token-a"));
    }
}

TEST(KitSecrets, KeepsATokenForTheRunWhenTheStoreRefusesTheWriteAndSavesItLater)
{
    FakeSecretStore base;
    base.refuseWrites = true;
    KitSecrets secrets(base);
    MessageRecorder log;
    EXPECT_FALSE(secrets.setSecret(QStringLiteral("test-token-a"), QStringLiteral("kit.github")));
    EXPECT_TRUE(log.contains(QStringLiteral("The kit's keys could not be saved")));
    EXPECT_EQ(secrets.secret(QStringLiteral("kit.github")), QStringLiteral("test-token-a"));

    base.refuseWrites = false;
    EXPECT_TRUE(secrets.setSecret(QStringLiteral("test-token-b"), QStringLiteral("kit.gitlab")));
    EXPECT_EQ(
        storedKeys(base), (QJsonObject {{"kit.github", "test-token-a"}, {"kit.gitlab", "test-token-b"}}));
}
