// Against a real Secret Service: gnome-keyring in a private D-Bus session (tests/support/with-keyring).
#include "app/core/KeychainStore.h"
#include "app/core/KitSecrets.h"
#include "app/core/MemoryDefaults.h"
#include "app/core/SecretServiceWatcher.h"
#include "app/state/AppState.h"
#include "model/KitService.h"
#include "store/DevKitStore.h"
#include "support/ChildRun.h"
#include "support/FakeHTTPClient.h"
#include "support/ManualScheduler.h"
#include "support/MessageRecorder.h"
#include "support/QtPrinting.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <libsecret/secret.h>

#include <atomic>

using namespace brenvo;

namespace {

const QString service = "dev.brenvo.test.secrets";

class RealSecretService : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariable("BRENVO_PRIVATE_KEYRING") != "1")
            GTEST_SKIP()
                << "Runs only under tests/support/with-keyring, never against the user's own keyring";
    }
};

// Run by the tests above in a process of their own.
using InChild = RealSecretService;

// Every key the tool store uses: one per tool and two payment accounts.
QMap<QString, QString> toolTokens()
{
    QMap<QString, QString> tokens {
        {"kit.stripe.acct_one", "test-token-stripe-one"}, {"kit.polar.org-two", "test-token-polar-twø"}};
    for (const KitService tool : KitService::allCases())
        tokens.insert(tool.secretKey(), "test-token-" + tool.rawValue());
    return tokens;
}

// As another program would make it: its own schema name, the same two attributes.
void storeRawItem(const QString& account, const QByteArray& bytes)
{
    SecretSchema schema {};
    schema.name = "org.example.Other";
    schema.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
    schema.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
    SecretValue* value = secret_value_new(bytes.constData(), bytes.size(), "application/octet-stream");
    GError* error = nullptr;
    secret_password_store_binary_sync(&schema, nullptr, "raw", value, nullptr, &error, "service",
        service.toUtf8().constData(), "account", account.toUtf8().constData(), nullptr);
    secret_value_unref(value);
    ASSERT_EQ(error, nullptr) << error->message;
}

// By a bare call: libsecret's own lock would load the collections into its shared service object,
// whose cached items then keep their old lock state.
void lockLoginKeyring()
{
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    ASSERT_NE(bus, nullptr);
    const gchar* paths[] = {"/org/freedesktop/secrets/collection/login", nullptr};
    GVariant* locked = g_dbus_connection_call_sync(bus, "org.freedesktop.secrets", "/org/freedesktop/secrets",
        "org.freedesktop.Secret.Service", "Lock", g_variant_new("(^ao)", paths), nullptr,
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
    g_object_unref(bus);
    ASSERT_NE(locked, nullptr) << error->message;
    g_variant_unref(locked);
}

// What a person does at the prompt, without the prompt: the login keyring's password (set by
// tests/support/with-keyring) handed to gnome-keyring directly.
void unlockWithPassword()
{
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    ASSERT_NE(bus, nullptr);
    GVariant* opened = g_dbus_connection_call_sync(bus, "org.freedesktop.secrets", "/org/freedesktop/secrets",
        "org.freedesktop.Secret.Service", "OpenSession",
        g_variant_new("(sv)", "plain", g_variant_new_string("")), G_VARIANT_TYPE("(vo)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
    ASSERT_NE(opened, nullptr) << error->message;
    const gchar* session = nullptr;
    g_variant_get(opened, "(v&o)", nullptr, &session);
    const QByteArray password("test\n");
    GVariant* secret
        = g_variant_new("(o@ay@ays)", session, g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, "", 0, 1),
            g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, password.constData(), password.size(), 1),
            "text/plain");
    GVariant* unlocked
        = g_dbus_connection_call_sync(bus, "org.freedesktop.secrets", "/org/freedesktop/secrets",
            "org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface", "UnlockWithMasterPassword",
            g_variant_new("(o@(oayays))", "/org/freedesktop/secrets/collection/login", secret), nullptr,
            G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
    g_variant_unref(opened);
    g_object_unref(bus);
    ASSERT_NE(unlocked, nullptr) << error->message;
    g_variant_unref(unlocked);
}

// Stands in for the desktop's prompter (gcr-prompter), which gnome-keyring asks to put an unlock
// prompt on screen: it counts the prompts and either leaves each one up, unanswered, or fails it
// at once, which the caller sees as a dismissal.
class FakePrompter : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.keyring.internal.Prompter")

public:
    bool dismisses = false;
    std::atomic<int> prompts = 0;

    bool start()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        return bus.registerObject("/org/gnome/keyring/Prompter", this, QDBusConnection::ExportAllSlots)
            && bus.registerService("org.gnome.keyring.SystemPrompter");
    }

public Q_SLOTS:
    void BeginPrompting(const QDBusObjectPath&, const QDBusMessage& message)
    {
        ++prompts;
        if (dismisses) {
            message.setDelayedReply(true);
            QDBusConnection::sessionBus().send(
                message.createErrorReply(QDBusError::Failed, "no one is there"));
        }
    }
    void StopPrompting(const QDBusObjectPath&) { }
};

// Counts the Secret Service's Unlock calls on the bus, whoever makes them, as a bus monitor.
class UnlockCounter {
public:
    UnlockCounter()
    {
        GError* error = nullptr;
        gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
        m_bus = address ? g_dbus_connection_new_for_address_sync(address,
                    static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT
                        | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                    nullptr, nullptr, &error)
                        : nullptr;
        g_free(address);
        if (!m_bus) {
            g_clear_error(&error);
            return;
        }
        g_dbus_connection_add_filter(m_bus, &UnlockCounter::filter, this, nullptr);
        const gchar* rules[]
            = {"type='method_call',interface='org.freedesktop.Secret.Service',member='Unlock'", nullptr};
        GVariant* reply = g_dbus_connection_call_sync(m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
            "org.freedesktop.DBus.Monitoring", "BecomeMonitor", g_variant_new("(^asu)", rules, 0U), nullptr,
            G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
        m_monitoring = reply != nullptr;
        if (reply)
            g_variant_unref(reply);
        g_clear_error(&error);
    }
    ~UnlockCounter()
    {
        if (m_bus) {
            g_dbus_connection_close_sync(m_bus, nullptr, nullptr);
            g_object_unref(m_bus);
        }
    }
    UnlockCounter(const UnlockCounter&) = delete;
    UnlockCounter& operator=(const UnlockCounter&) = delete;

    bool isMonitoring() const { return m_monitoring; }
    int count() const { return m_count; }

private:
    // On GDBus's own thread. A monitor never answers: calls are dropped here, unanswered.
    static GDBusMessage* filter(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer data)
    {
        if (!incoming || g_dbus_message_get_message_type(message) != G_DBUS_MESSAGE_TYPE_METHOD_CALL)
            return message;
        if (g_strcmp0(g_dbus_message_get_member(message), "Unlock") == 0)
            ++static_cast<UnlockCounter*>(data)->m_count;
        g_object_unref(message);
        return nullptr;
    }

    GDBusConnection* m_bus = nullptr;
    bool m_monitoring = false;
    std::atomic<int> m_count = 0;
};

} // namespace

TEST_F(RealSecretService, ReadsWritesAndDeletesOneItemPerKeyOfItsService)
{
    KeychainStore store(service);
    KeychainStore neighbour("dev.brenvo.test.other");
    const QString key = "aiAPIKey";
    EXPECT_TRUE(store.lookupSecret(key) == SecretLookup::absent() && !store.secret(key));

    EXPECT_TRUE(store.setSecret("test-token-first", key));
    EXPECT_TRUE(store.setSecret("test-tøken-second", key)); // replaces, adds no second item
    EXPECT_TRUE(neighbour.setSecret("test-token-neighbour", key));
    EXPECT_EQ(store.lookupSecret(key), SecretLookup::found("test-tøken-second"));

    store.removeSecret(key);
    EXPECT_TRUE(
        store.lookupSecret(key) == SecretLookup::absent() && neighbour.secret(key) == "test-token-neighbour");
    store.removeSecret(key); // deleting what is not there is no error

    // Items made by another program are found by their attributes; data that is no UTF-8 text
    // reads as absent.
    storeRawItem("kit.text", QByteArray("test-token-raw"));
    EXPECT_EQ(store.lookupSecret("kit.text"), SecretLookup::found("test-token-raw"));
    storeRawItem("kit.binary", QByteArray("\xff\xfe\x00\x01", 4));
    EXPECT_EQ(store.lookupSecret("kit.binary"), SecretLookup::absent());
    EXPECT_EQ(store.listSecrets()->values, (QMap<QString, QString> {{"kit.text", "test-token-raw"}}));
}

TEST_F(RealSecretService, ToolTokensSurviveARestartAndSingleItemsAreAdoptedOnce)
{
    KeychainStore base(service);
    // An earlier version kept the GitLab token as an item of its own.
    ASSERT_TRUE(base.write("test-token-gitlab", "kit.gitlab"));
    {
        KitSecrets secrets(base);
        EXPECT_TRUE(secrets.secret("kit.gitlab") == "test-token-gitlab"
            && base.read("kit.gitlab") == SecretLookup::absent());
        const QMap<QString, QString> tokens = toolTokens();
        for (auto it = tokens.cbegin(); it != tokens.cend(); ++it)
            EXPECT_TRUE(secrets.setSecret(it.value(), it.key()));
    }
    const SecretLookup stored = base.read(KitSecrets::itemKey);
    ASSERT_TRUE(stored.isFound());
    EXPECT_EQ(QJsonDocument::fromJson(stored.value().toUtf8()).object().size(), toolTokens().size());

    EXPECT_TRUE(test::childPassed("InChild", "ReadsEveryToolToken"));
}

TEST_F(InChild, DISABLED_ReadsEveryToolToken)
{
    KeychainStore base(service);
    KitSecrets secrets(base);
    const QMap<QString, QString> tokens = toolTokens();
    for (auto it = tokens.cbegin(); it != tokens.cend(); ++it)
        EXPECT_EQ(secrets.secret(it.key()), it.value()) << it.key().toStdString();
}

TEST_F(RealSecretService, ALockedKeyringIsUnreadableAndTokensStayInMemory)
{
    // Locking cannot be undone without a person at the unlock prompt: it gets a keyring of its own.
    EXPECT_TRUE(test::childPassed(
        "InChild", "LockedKeyring", {}, QStringLiteral(BRENVO_SOURCE_DIR "/tests/support/with-keyring")));
}

TEST_F(InChild, DISABLED_LockedKeyring)
{
    KeychainStore base(service);
    ASSERT_TRUE(base.write(R"({"kit.github":"test-token-github"})", KitSecrets::itemKey));

    // A change of the collection's lock is told (unlocking asks a person; locking is the same signal).
    SecretServiceWatcher watcher;
    ASSERT_TRUE(watcher.start());
    QSignalSpy changed(&watcher, &SecretServiceWatcher::mayHaveBecomeReadable);
    lockLoginKeyring();

    EXPECT_TRUE(changed.count() > 0 || changed.wait(5000));
    EXPECT_EQ(base.lookupSecret(KitSecrets::itemKey), SecretLookup::unreadable());
    test::MessageRecorder log;
    KitSecrets secrets(base);
    // The locked item may hold it: unreadable, so a payment key is not taken for a refused one.
    EXPECT_EQ(secrets.lookupSecret("kit.github"), SecretLookup::unreadable());
    EXPECT_FALSE(secrets.setSecret("test-token-new", "kit.vercel"));
    EXPECT_TRUE(log.contains("The kit's keys could not be saved: the keychain item is not readable"));
    EXPECT_TRUE(secrets.secret("kit.vercel") == "test-token-new" && !log.all().contains("test-token"));
}

TEST_F(RealSecretService, ALockedKeyringIsAskedToUnlockOnlyAtLaunchAndOnSavesWithoutStoppingTheLoop)
{
    EXPECT_TRUE(test::childPassed(
        "InChild", "UnlockPrompts", {}, QStringLiteral(BRENVO_SOURCE_DIR "/tests/support/with-keyring")));
}

TEST_F(InChild, DISABLED_UnlockPrompts)
{
    KeychainStore base(service);
    ASSERT_TRUE(base.write(R"({"kit.github":"test-token-github"})", KitSecrets::itemKey));
    FakePrompter prompter;
    ASSERT_TRUE(prompter.start());
    UnlockCounter unlocks;
    ASSERT_TRUE(unlocks.isMonitoring());
    SecretServiceWatcher watcher;
    ASSERT_TRUE(watcher.start());
    KitSecrets secrets(base);
    QObject::connect(&watcher, &SecretServiceWatcher::mayHaveBecomeReadable, &secrets, &KitSecrets::reload);
    QSignalSpy readable(&secrets, &KitSecrets::becameReadable);
    lockLoginKeyring();
    // Polling turns of several tools and the collection's own signals only read.
    const auto turns = [&secrets](int count) {
        for (int turn = 0; turn < count; ++turn) {
            EXPECT_EQ(secrets.secret("kit.github"), std::nullopt);
            secrets.reload();
            QTest::qWait(20);
        }
    };
    turns(8);
    EXPECT_TRUE(unlocks.count() == 0 && prompter.prompts == 0);

    // The launch asks once; the user dismisses, and the turns that follow ask nothing.
    prompter.dismisses = true;
    secrets.askToUnlockOnce();
    EXPECT_TRUE(QTest::qWaitFor([&secrets]() { return !secrets.isUnlockPending(); }, 5000));
    turns(8);
    secrets.askToUnlockOnce();
    EXPECT_TRUE(unlocks.count() == 1 && prompter.prompts == 1);

    // Saving a token asks again; the prompt stays up, unanswered, and the event loop keeps turning.
    prompter.dismisses = false;
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks]() { ++ticks; });
    timer.start(10);
    EXPECT_FALSE(secrets.setSecret("test-token-vercel", "kit.vercel"));
    EXPECT_TRUE(QTest::qWaitFor([&prompter]() { return prompter.prompts == 2; }, 5000));
    const int before = ticks;
    turns(8);
    EXPECT_FALSE(secrets.setSecret("test-token-gitlab", "kit.gitlab"));
    QTest::qWait(200);
    EXPECT_GE(ticks - before, 10);
    EXPECT_TRUE(secrets.isUnlockPending() && unlocks.count() == 2 && prompter.prompts == 2);

    // Unlocked by the user: read at once, with the tokens saved meanwhile.
    QElapsedTimer clock;
    clock.start();
    unlockWithPassword();
    EXPECT_TRUE(QTest::qWaitFor([&readable]() { return readable.count() == 1; }, 5000));
    std::printf("Keys readable %lld ms after the unlock\n", static_cast<long long>(clock.elapsed()));
    EXPECT_EQ(secrets.secret("kit.github"), "test-token-github");
    const SecretLookup stored = base.read(KitSecrets::itemKey);
    EXPECT_EQ(QJsonDocument::fromJson(stored.value().toUtf8()).object(),
        (QJsonObject {{"kit.github", "test-token-github"}, {"kit.vercel", "test-token-vercel"},
            {"kit.gitlab", "test-token-gitlab"}}));
    EXPECT_EQ(unlocks.count(), 2);
}

TEST_F(RealSecretService, WhatTheUserDidWhileTheKeyringLockedAfterLaunchIsDoneOnceItOpens)
{
    EXPECT_TRUE(test::childPassed(
        "InChild", "LockedAfterLaunch", {}, QStringLiteral(BRENVO_SOURCE_DIR "/tests/support/with-keyring")));
}

// Runs of the whole application over the real keyring, one after another, sharing its settings.
struct Runs {
    KeychainStore base {service};
    MemoryDefaults defaults;
    test::ManualScheduler scheduler;
    AppState::Launch launch;
    const AppConfig config {"Brenvo", "dev.brenvo.Test", "2.3", "45", {}, {}, {}, {}};

    Runs()
    {
        launch.isRunningTests = true;
        launch.scheduler = &scheduler;
        launch.usage = DevKitStore::UsageSources {};
        launch.http = std::make_shared<test::FakeHTTPClient>();
    }
    std::unique_ptr<AppState> graph() { return std::make_unique<AppState>(config, defaults, &base, launch); }
    QJsonObject stored() const
    {
        return QJsonDocument::fromJson(base.read(KitSecrets::itemKey).value().toUtf8()).object();
    }
};

TEST_F(InChild, DISABLED_LockedAfterLaunch)
{
    Runs runs;
    KeychainStore& base = runs.base;
    ASSERT_TRUE(base.write(R"({"kit.github":"test-token-github"})", KitSecrets::itemKey));
    ASSERT_TRUE(base.write("test-token-gitlab", "kit.gitlab")); // kept alone by an older version
    const auto stored = [&runs]() { return runs.stored(); };
    {
        const auto run = runs.graph();
        AppState& graph = *run;
        graph.watchSecretsIfUnreadable(); // read well: nothing to watch yet
        EXPECT_FALSE(graph.secretWatcher().isWatching());
        lockLoginKeyring();
        // A token saved and a tool disconnected while locked: used, said, and not lost.
        EXPECT_FALSE(graph.kitSecrets().setSecret("test-token-vercel", "kit.vercel"));
        graph.kit().disconnect(KitService::gitlab);
        EXPECT_TRUE(graph.kitSecrets().isHeld("kit.vercel") && graph.kitSecrets().hasPendingWrites());
        EXPECT_TRUE(QTest::qWaitFor([&graph]() { return graph.secretWatcher().isWatching(); }, 2000));
        unlockWithPassword();
        EXPECT_TRUE(QTest::qWaitFor([&graph]() { return !graph.kitSecrets().hasPendingWrites(); }, 5000));
        EXPECT_EQ(stored(),
            (QJsonObject {{"kit.github", "test-token-github"}, {"kit.vercel", "test-token-vercel"}}));
        EXPECT_EQ(base.read("kit.gitlab"), SecretLookup::absent());
    }

    // Quit before the keyring opened: the next run still does not take the old item back.
    ASSERT_TRUE(base.write("test-token-gitlab", "kit.gitlab"));
    {
        const auto run = runs.graph();
        AppState& graph = *run;
        graph.watchSecretsIfUnreadable();
        lockLoginKeyring();
        graph.kit().disconnect(KitService::gitlab);
    }
    const auto next = runs.graph();
    unlockWithPassword();
    next->watchSecretsIfUnreadable();
    EXPECT_EQ(next->kitSecrets().secret("kit.gitlab"), std::nullopt);
    EXPECT_EQ(base.read("kit.gitlab"), SecretLookup::absent());
    EXPECT_FALSE(stored().contains("kit.gitlab") || next->kitSecrets().hasPendingWrites());
}

TEST_F(RealSecretService, ADisconnectRememberedAcrossAQuitStaysDoneWhenATokenHeldSinceIsLostAtQuit)
{
    EXPECT_TRUE(test::childPassed(
        "InChild", "RemovalAcrossRuns", {}, QStringLiteral(BRENVO_SOURCE_DIR "/tests/support/with-keyring")));
}

TEST_F(InChild, DISABLED_RemovalAcrossRuns)
{
    FakePrompter prompter;
    prompter.dismisses = true;
    ASSERT_TRUE(prompter.start());
    Runs runs;
    ASSERT_TRUE(runs.base.write(R"({"kit.github":"test-token-github"})", KitSecrets::itemKey));
    lockLoginKeyring();
    // Locked throughout: a disconnect, a quit, then a new token pasted and a quit before any unlock.
    runs.graph()->kit().disconnect(KitService::github);
    {
        const auto run = runs.graph();
        run->watchSecretsIfUnreadable();
        EXPECT_FALSE(run->kitSecrets().setSecret("test-token-github-new", "kit.github"));
        EXPECT_TRUE(run->kitSecrets().isHeld("kit.github"));
    }
    unlockWithPassword();
    const auto next = runs.graph();
    next->watchSecretsIfUnreadable();
    EXPECT_EQ(next->kitSecrets().secret("kit.github"), std::nullopt);
    EXPECT_FALSE(runs.stored().contains("kit.github") || next->kitSecrets().hasPendingWrites());
}

#include "secret_store_keyring_test.moc"
