#include "app/core/KitSecrets.h"
#include "app/core/MemoryDefaults.h"
#include "support/FakeSecretStore.h"
#include "support/MessageRecorder.h"
#include "support/QtPrinting.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace brenvo;
using brenvo::test::FakeSecretStore;
using brenvo::test::MessageRecorder;

namespace {

const QString notSaved = "The kit's keys could not be saved: the keychain item is not readable";

QJsonObject storedKeys(const FakeSecretStore& base)
{
    return QJsonDocument::fromJson(base.items.value(KitSecrets::itemKey).toUtf8()).object();
}

} // namespace

TEST(KitSecrets, KeepsEveryTokenInOneItemAsksForAMissingKeyOnceAndRemovesSingleItemsWithoutRewriting)
{
    FakeSecretStore base;
    base.items.insert("kit.gitlab", "test-token-gitlab");
    KitSecrets secrets(base);
    EXPECT_EQ(secrets.secret("kit.github"), std::nullopt);
    EXPECT_EQ(base.calls, (QStringList {"lookup kit.keys", "secret kit.github"}));
    base.calls.clear();
    EXPECT_TRUE(secrets.lookupSecret("kit.github") == SecretLookup::absent() && base.calls.isEmpty());

    EXPECT_TRUE(secrets.setSecret("test-token-a", "kit.vercel"));
    EXPECT_TRUE(secrets.setSecret("test-token-b", "kit.stripe.acct_1"));
    EXPECT_EQ(storedKeys(base),
        (QJsonObject {{"kit.vercel", "test-token-a"}, {"kit.stripe.acct_1", "test-token-b"}}));
    EXPECT_FALSE(base.calls.contains("secret kit.vercel")); // setting adopts nothing
    base.calls.clear();
    secrets.removeSecret("kit.gitlab");
    EXPECT_TRUE(base.calls == QStringList {"remove kit.gitlab"} && !base.items.contains("kit.gitlab"));
    base.calls.clear();
    secrets.removeSecret("kit.vercel");
    EXPECT_EQ(base.calls, (QStringList {"set kit.keys", "remove kit.vercel"}));
    EXPECT_EQ(storedKeys(base), (QJsonObject {{"kit.stripe.acct_1", "test-token-b"}}));
    base.calls.clear();
    secrets.removeSecret("kit.vercel"); // the single item is deleted once per run
    EXPECT_TRUE(base.calls.isEmpty());
}

TEST(KitSecrets, AdoptsATokenKeptAsAnItemOfItsOwnOnlyAfterSavingItAndKeepsTokensTheStoreRefused)
{
    FakeSecretStore base;
    base.items.insert("kit.vercel", "test-token-vercel");
    KitSecrets secrets(base);
    EXPECT_EQ(secrets.secret("kit.vercel"), "test-token-vercel");
    EXPECT_EQ(base.calls,
        (QStringList {"lookup kit.keys", "secret kit.vercel", "set kit.keys", "remove kit.vercel"}));
    EXPECT_TRUE(!base.items.contains("kit.vercel")
        && storedKeys(base).value("kit.vercel").toString() == "test-token-vercel");

    // A refused write keeps the single item: it is the only copy that outlives this run.
    FakeSecretStore refusing;
    refusing.items.insert("kit.gitlab", "test-token-gitlab");
    refusing.refuseWrites = true;
    KitSecrets other(refusing);
    MessageRecorder log;
    EXPECT_EQ(other.secret("kit.gitlab"), "test-token-gitlab");
    EXPECT_TRUE(refusing.items.contains("kit.gitlab") && !refusing.calls.contains("remove kit.gitlab"));
    // A token set meanwhile is kept for the run and saved with the next write that succeeds.
    EXPECT_FALSE(other.setSecret("test-token-a", "kit.github"));
    EXPECT_TRUE(log.contains("The kit's keys could not be saved"));
    EXPECT_EQ(other.secret("kit.github"), "test-token-a");
    refusing.refuseWrites = false;
    EXPECT_TRUE(other.setSecret("test-token-b", "kit.stripe"));
    EXPECT_EQ(storedKeys(refusing),
        (QJsonObject {{"kit.github", "test-token-a"}, {"kit.gitlab", "test-token-gitlab"},
            {"kit.stripe", "test-token-b"}}));
}

TEST(KitSecrets, WhileTheItemIsUnreadableKeepsChangesAndMergesThemWhenItReadsAgain)
{
    FakeSecretStore base;
    base.items.insert(KitSecrets::itemKey,
        R"({"kit.github":"test-token-old","kit.vercel":"test-token-vercel","kit.polar":"test-token-p"})");
    base.items.insert("kit.cloudflare", "test-token-cf");
    base.unreadable.insert(KitSecrets::itemKey);
    KitSecrets secrets(base);
    MessageRecorder log;

    EXPECT_FALSE(secrets.setSecret("test-token-new", "kit.github"));
    EXPECT_TRUE(log.contains(notSaved));
    EXPECT_EQ(secrets.secret("kit.github"), "test-token-new");
    // The locked item may hold it: that is no missing key (a payment account would read as refused).
    EXPECT_EQ(secrets.lookupSecret("kit.vercel"), SecretLookup::unreadable());
    EXPECT_EQ(secrets.lookupSecret("kit.github"), SecretLookup::found("test-token-new"));
    // A single item is served from memory and left in place.
    EXPECT_TRUE(secrets.secret("kit.cloudflare") == "test-token-cf" && base.items.contains("kit.cloudflare"));
    // Removed while unreadable: must not come back with the merge.
    secrets.removeSecret("kit.polar");
    EXPECT_EQ(secrets.lookupSecret("kit.polar"), SecretLookup::absent());
    EXPECT_TRUE(secrets.isDenied() && !log.all().contains("test-token"));

    base.unreadable.clear();
    EXPECT_EQ(secrets.secret("kit.vercel"), std::nullopt); // read once: memory until reloaded
    EXPECT_TRUE(secrets.reload());
    EXPECT_TRUE(secrets.secret("kit.vercel") == "test-token-vercel" && !secrets.isDenied());
    EXPECT_TRUE(secrets.secret("kit.github") == "test-token-new" && !secrets.secret("kit.polar"));
    // What changed in memory is saved with the merge, so the next launch has it too.
    EXPECT_EQ(storedKeys(base),
        (QJsonObject {{"kit.github", "test-token-new"}, {"kit.vercel", "test-token-vercel"},
            {"kit.cloudflare", "test-token-cf"}}));
    EXPECT_FALSE(base.items.contains("kit.cloudflare"));
}

TEST(KitSecrets, KeepsAStrayMemberAndReplacesAnItemThatIsNoJsonObjectOnlyOnceItsTextIsKept)
{
    FakeSecretStore base;
    base.items.insert(KitSecrets::itemKey, R"({"kit.github":"test-token-a","kit.odd":5})");
    KitSecrets secrets(base);
    EXPECT_TRUE(secrets.secret("kit.github") == "test-token-a" && !secrets.secret("kit.odd"));
    EXPECT_TRUE(secrets.setSecret("test-token-b", "kit.gitlab"));
    EXPECT_EQ(storedKeys(base),
        (QJsonObject {{"kit.github", "test-token-a"}, {"kit.gitlab", "test-token-b"}, {"kit.odd", 5}}));

    for (const QString content : {"not json", "[\"kit.github\"]", ""}) {
        FakeSecretStore odd;
        odd.lists = content.isEmpty(); // found by the listing as by a lookup
        odd.items.insert(KitSecrets::itemKey, content);
        KitSecrets damaged(odd);
        MessageRecorder log;
        EXPECT_TRUE(damaged.secret("kit.github") == std::nullopt && damaged.isReadable())
            << content.toStdString();
        EXPECT_EQ(odd.items.value(KitSecrets::itemKey), content); // reading writes nothing
        EXPECT_TRUE(damaged.setSecret("test-token-a", "kit.github"));
        const QStringList sets = odd.calls.filter("set ");
        EXPECT_EQ(sets, (QStringList {"set kit.keys.damaged", "set kit.keys"}));
        EXPECT_TRUE(
            odd.items.value(KitSecrets::damagedKey) == content && odd.items.contains(KitSecrets::damagedKey));
        EXPECT_EQ(storedKeys(odd), (QJsonObject {{"kit.github", "test-token-a"}}));
        EXPECT_TRUE(log.contains(R"(is kept in "kit.keys.damaged")") && log.contains("was replaced"));
        EXPECT_FALSE(log.all().contains("test-token"));
    }

    // A text that cannot be kept keeps the item as it is; the token stays for this run.
    FakeSecretStore refusing;
    refusing.items.insert(KitSecrets::itemKey, "{\"kit.github\":");
    refusing.unreadable.insert(KitSecrets::damagedKey);
    KitSecrets kept(refusing);
    EXPECT_FALSE(kept.setSecret("test-token-a", "kit.github"));
    EXPECT_TRUE(refusing.items.value(KitSecrets::itemKey) == "{\"kit.github\":"
        && kept.secret("kit.github") == "test-token-a");

    // An earlier copy with another text is not written over.
    FakeSecretStore twice;
    twice.items.insert(KitSecrets::itemKey, "second damage");
    twice.items.insert(KitSecrets::damagedKey, "first damage");
    KitSecrets again(twice);
    EXPECT_TRUE(again.setSecret("test-token-a", "kit.github"));
    EXPECT_TRUE(twice.items.value(KitSecrets::damagedKey) == "first damage"
        && twice.items.value("kit.keys.damaged.2") == "second damage");
}

// The real prompt, its count and the event loop around it: secret_store_keyring_test.
TEST(KitSecrets, AsksToUnlockWhenASaveOrRemovalFindsTheKeyringLockedAndSavesOnceItOpens)
{
    FakeSecretStore base;
    base.items.insert(KitSecrets::itemKey, R"({"kit.github":"test-token-a","kit.polar":"test-token-p"})");
    base.unreadable.insert(KitSecrets::itemKey);
    KitSecrets secrets(base);
    QSignalSpy readable(&secrets, &KitSecrets::becameReadable);
    EXPECT_TRUE(!secrets.secret("kit.github") && !secrets.reload() && !base.calls.contains("unlock"));
    secrets.removeSecret("kit.polar");
    EXPECT_EQ(base.calls.count("unlock"), 1);
    base.answerUnlock(SecretStore::UnlockAnswer::unlocked);
    EXPECT_TRUE(readable.count() == 1 && secrets.secret("kit.github") == "test-token-a");
    EXPECT_EQ(storedKeys(base), (QJsonObject {{"kit.github", "test-token-a"}}));

    // No item yet, and a keyring that refuses the write until it is unlocked.
    FakeSecretStore locked;
    locked.refuseWrites = true;
    KitSecrets fresh(locked);
    QSignalSpy saved(&fresh, &KitSecrets::becameReadable);
    EXPECT_FALSE(fresh.setSecret("test-token-a", "kit.github"));
    EXPECT_EQ(locked.calls.count("unlock"), 1);
    locked.refuseWrites = false;
    locked.answerUnlock(SecretStore::UnlockAnswer::unlocked);
    EXPECT_TRUE(saved.count() == 1 && storedKeys(locked) == QJsonObject({{"kit.github", "test-token-a"}}));
}

TEST(KitSecrets, AStoreThatListsIsReadOnceForEveryKeyAndAgainOnlyWhenReloadedWhileUnreadable)
{
    FakeSecretStore base;
    base.lists = true;
    base.items.insert(KitSecrets::itemKey, R"({"kit.github":"test-token-a"})");
    base.items.insert("kit.vercel", "test-token-v");
    base.unreadable.insert("kit.vercel");
    KitSecrets secrets(base);
    for (const char* key : {"kit.github", "kit.gitlab", "kit.stripe", "kit.vercel"})
        EXPECT_EQ(secrets.secret(key), std::nullopt) << key;
    EXPECT_FALSE(secrets.isReadable());
    EXPECT_EQ(base.calls, QStringList {"list"});

    base.unreadable.clear();
    EXPECT_TRUE(secrets.reload());
    EXPECT_TRUE(secrets.reload()); // readable: nothing asked
    EXPECT_EQ(secrets.secret("kit.github"), "test-token-a");
    EXPECT_EQ(secrets.secret("kit.gitlab"), std::nullopt);
    EXPECT_EQ(secrets.secret("kit.vercel"), "test-token-v");
    secrets.removeSecret("kit.gitlab"); // no item of its own: nothing to delete
    EXPECT_EQ(base.calls, (QStringList {"list", "list", "set kit.keys", "remove kit.vercel"}));
}

TEST(KitSecrets, ATokenTheKeyringRefusedAfterItReadIsHeldUntilAReloadSavesIt)
{
    FakeSecretStore base;
    base.items.insert(KitSecrets::itemKey, "{}");
    KitSecrets secrets(base);
    ASSERT_TRUE(secrets.reload());
    QSignalSpy pending(&secrets, &KitSecrets::pendingWritesChanged);
    base.refuseWrites = true; // the collection locked since launch
    EXPECT_FALSE(secrets.setSecret("test-token-new", "kit.github"));
    EXPECT_TRUE(secrets.isHeld("kit.github") && secrets.hasPendingWrites() && pending.count() == 1);
    base.refuseWrites = false;
    EXPECT_TRUE(secrets.reload());
    EXPECT_TRUE(!secrets.isHeld("kit.github") && !secrets.hasPendingWrites() && pending.count() == 2);
    EXPECT_EQ(storedKeys(base).value("kit.github").toString(), "test-token-new");
}

TEST(KitSecrets, ARemovalTheKeyringRefusedIsFinishedInALaterRunAndItsKeyIsNeverTakenOverAgain)
{
    FakeSecretStore base;
    base.items.insert(KitSecrets::itemKey, R"({"kit.vercel":"test-token-vercel"})");
    base.items.insert("kit.gitlab", "test-token-gitlab"); // kept alone by an older version
    base.unreadable = {KitSecrets::itemKey, "kit.gitlab"};
    MemoryDefaults defaults;
    {
        KitSecrets secrets(base, &defaults);
        EXPECT_FALSE(secrets.removeSecret("kit.gitlab"));
        EXPECT_FALSE(secrets.removeSecret("kit.vercel"));
        EXPECT_TRUE(secrets.hasPendingWrites());
    } // quit while locked
    EXPECT_TRUE(base.items.contains("kit.gitlab") && defaults.contains(KitSecrets::removalsKey));
    base.unreadable.clear();
    KitSecrets next(base, &defaults);
    EXPECT_EQ(next.secret("kit.gitlab"), std::nullopt);
    EXPECT_EQ(next.secret("kit.vercel"), std::nullopt);
    EXPECT_FALSE(base.items.contains("kit.gitlab") || storedKeys(base).contains("kit.vercel"));
    EXPECT_FALSE(next.hasPendingWrites() || defaults.contains(KitSecrets::removalsKey));
}

TEST(KitSecrets, ATokenHeldOverARemovalFromAnEarlierRunReplacesTheOldOneWhenTheKeyringOpens)
{
    FakeSecretStore base;
    base.items.insert(KitSecrets::itemKey, R"({"kit.github":"test-token-old"})");
    base.unreadable = {KitSecrets::itemKey};
    MemoryDefaults defaults;
    KitSecrets(base, &defaults).removeSecret("kit.github"); // a run that quit while locked
    KitSecrets next(base, &defaults);
    EXPECT_FALSE(next.setSecret("test-token-new", "kit.github"));
    EXPECT_TRUE(defaults.contains(KitSecrets::removalsKey)); // still to be done, should this run quit
    base.unreadable.clear();
    EXPECT_TRUE(next.reload());
    EXPECT_EQ(storedKeys(base), QJsonObject({{"kit.github", "test-token-new"}}));
    EXPECT_FALSE(
        next.hasPendingWrites() || next.isHeld("kit.github") || defaults.contains(KitSecrets::removalsKey));
}

TEST(KitSecrets, ALockedItemIsSaidToHoldOnlyTheKeysItHeldWhenLastRead)
{
    FakeSecretStore base;
    base.items.insert(KitSecrets::itemKey, R"({"kit.github":"test-token-github"})");
    MemoryDefaults defaults;
    KitSecrets(base, &defaults).reload();
    base.unreadable.insert(KitSecrets::itemKey); // the next launch finds it locked
    KitSecrets locked(base, &defaults);
    EXPECT_EQ(locked.lookupSecret("kit.github"), SecretLookup::unreadable());
    EXPECT_EQ(locked.lookupSecret("kit.vercel"), SecretLookup::absent()); // never given
}
