#include "app/core/MemoryDefaults.h"
#include "app/core/PreferencesStore.h"
#include "app/core/QSettingsDefaults.h"
#include "support/ChildRun.h"
#include "support/QtPrinting.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace brenvo;

namespace {

using P = PreferencesStore;
const char* const fileVariable = "BRENVO_PREFERENCES_FILE";

// Records every write, so that a test sees that an assignment wrote even when nothing changed.
class RecordingDefaults final : public MemoryDefaults {
public:
    void setObject(const QString& key, const QVariant& value) override
    {
        writes.append(QStringLiteral("set ") + key);
        MemoryDefaults::setObject(key, value);
    }
    void remove(const QString& key) override
    {
        writes.append(QStringLiteral("remove ") + key);
        MemoryDefaults::remove(key);
    }
    QStringList writes;
};

const EdgeDisplay display {QStringLiteral("GSM-5B09-1234"), QStringLiteral("LG HDR 4K")};

// Every property away from its default, with the forms a plain settings file loses: an empty list,
// a one-element list, a fractional number, an empty dictionary for "no shortcut".
void assignFirstSet(PreferencesStore& p)
{
    p.setHasCompletedOnboarding(true);
    p.setLastSeenVersion(QStringLiteral("1.4.0"));
    p.setEdgeTrigger(EdgeTrigger::click);
    p.setTucksAway(true);
    p.setHotKey(std::nullopt);
    p.setEdgeSide(EdgeSide::left);
    p.setEdgeDisplay(display);
    p.setPanelLimit(0);
    p.setEnabledServices({});
    p.setCheckIntervals({{QStringLiteral("github"), 120.5}, {QStringLiteral("codex"), 60.0}});
    p.setLinkedServices({KitService::codex});
    p.setSelectedProjects({{QStringLiteral("github"), QStringLiteral("owner/repo")}});
    p.setPaymentAccounts({{QStringLiteral("stripe"),
                              {{QStringLiteral("acct_1"), QStringLiteral("Shop"), std::nullopt},
                                  {QStringLiteral("acct_2"), std::nullopt, std::nullopt}}},
        {QStringLiteral("polar"),
            {{QStringLiteral("org"), std::nullopt, QStringLiteral("https://example.com")}}}});
}

void expectFirstSet(const PreferencesStore& p)
{
    EXPECT_TRUE(p.hasCompletedOnboarding());
    EXPECT_EQ(p.lastSeenVersion(), QStringLiteral("1.4.0"));
    EXPECT_EQ(p.edgeTrigger(), EdgeTrigger::click);
    EXPECT_TRUE(p.tucksAway());
    EXPECT_EQ(p.hotKey(), std::nullopt);
    EXPECT_EQ(p.edgeSide(), EdgeSide::left);
    EXPECT_EQ(p.edgeDisplay(), display);
    EXPECT_EQ(p.panelLimit(), 0);
    EXPECT_TRUE(p.enabledServices().isEmpty());
    EXPECT_EQ(p.checkInterval(KitService::github), 120.5);
    EXPECT_EQ(p.checkIntervals().size(), 2);
    EXPECT_EQ(p.linkedServices(), QSet<KitService> {KitService::codex});
    EXPECT_EQ(p.selectedProjects().value(QStringLiteral("github")), QStringLiteral("owner/repo"));
    EXPECT_EQ(p.paymentAccounts().value(QStringLiteral("stripe")).size(), 2);
    EXPECT_EQ(p.paymentAccounts().value(QStringLiteral("stripe")).value(0).name, QStringLiteral("Shop"));
    EXPECT_EQ(p.paymentAccounts().value(QStringLiteral("polar")).value(0).site,
        QStringLiteral("https://example.com"));
}

// The other value of each key that the first set left at a special form.
void assignSecondSet(PreferencesStore& p)
{
    p.setLastSeenVersion(std::nullopt);
    p.setHotKey(HotKey {40, HotKey::command | HotKey::shift});
    p.setEdgeDisplay(std::nullopt);
    p.setPanelLimit(-2);
    p.setEnabledServices({KitService::github});
    p.setLinkedServices({});
    p.setCheckIntervals({});
}

void expectSecondSet(const PreferencesStore& p)
{
    EXPECT_EQ(p.lastSeenVersion(), std::nullopt);
    EXPECT_EQ(p.hotKey(), (HotKey {40, 768}));
    EXPECT_EQ(p.edgeDisplay(), std::nullopt);
    EXPECT_EQ(p.panelLimit(), -2);
    EXPECT_EQ(p.enabledServices(), QSet<KitService> {KitService::github});
    EXPECT_TRUE(p.linkedServices().isEmpty());
    EXPECT_TRUE(p.checkIntervals().isEmpty());
}

std::unique_ptr<PreferencesStore> loadFrom(MemoryDefaults& d, const QVariantMap& stored)
{
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        d.setObject(it.key(), it.value());
    return std::make_unique<PreferencesStore>(d);
}

} // namespace

TEST(PreferencesStore, AFreshDomainGivesTheDefaultsAndLoadingWritesNothing)
{
    RecordingDefaults d;
    PreferencesStore p(d);
    EXPECT_FALSE(p.hasCompletedOnboarding());
    EXPECT_EQ(p.lastSeenVersion(), std::nullopt);
    EXPECT_EQ(p.edgeTrigger(), EdgeTrigger::hover);
    EXPECT_FALSE(p.tucksAway());
    EXPECT_EQ(p.hotKey(), (HotKey {49, 2560}));
    EXPECT_EQ(p.edgeSide(), EdgeSide::right);
    EXPECT_EQ(p.edgeDisplay(), std::nullopt);
    EXPECT_EQ(p.panelLimit(), 4);
    EXPECT_EQ(p.enabledServices(),
        (QSet<KitService> {KitService::vercel, KitService::github, KitService::stripe, KitService::claude}));
    EXPECT_TRUE(p.checkIntervals().isEmpty());
    EXPECT_TRUE(p.linkedServices().isEmpty());
    EXPECT_TRUE(p.selectedProjects().isEmpty());
    EXPECT_TRUE(p.paymentAccounts().isEmpty());
    for (const KitService s : KitService::allCases())
        EXPECT_EQ(p.checkInterval(s), s == KitService::claude ? 600 : s == KitService::codex ? 60 : 30);
    EXPECT_TRUE(d.writes.isEmpty());
}

TEST(PreferencesStore, EveryKeyRoundTripsBetweenTwoProcesses)
{
    QTemporaryDir dir;
    QProcessEnvironment env;
    env.insert(QLatin1String(fileVariable), dir.filePath(QStringLiteral("Brenvo.conf")));
    ASSERT_TRUE(test::childPassed(QStringLiteral("PreferencesStore"), QStringLiteral("WriteFirstSet"), env));
    {
        QSettingsDefaults d(dir.filePath(QStringLiteral("Brenvo.conf")));
        PreferencesStore p(d);
        expectFirstSet(p);
        assignSecondSet(p);
    }
    ASSERT_TRUE(test::childPassed(QStringLiteral("PreferencesStore"), QStringLiteral("ReadSecondSet"), env));
}

TEST(PreferencesStore, DISABLED_WriteFirstSet)
{
    QSettingsDefaults d(qEnvironmentVariable(fileVariable));
    PreferencesStore p(d);
    assignFirstSet(p);
}

TEST(PreferencesStore, DISABLED_ReadSecondSet)
{
    QSettingsDefaults d(qEnvironmentVariable(fileVariable));
    PreferencesStore p(d);
    expectSecondSet(p);
    EXPECT_EQ(p.edgeTrigger(), EdgeTrigger::click); // untouched by the second set
}

TEST(PreferencesStore, MalformedValuesFallBackKeyByKeyAndStayStored)
{
    MemoryDefaults d;
    const QVariantMap stored {
        {P::hasCompletedOnboardingKey, QStringLiteral("YES")},
        {P::tucksAwayKey, qint64(1)},
        {P::lastSeenVersionKey, qint64(12)},
        {P::edgeTriggerKey, QStringLiteral("Click")},
        {P::edgeSideKey, QStringLiteral("top")},
        {P::hotKeyKey, QVariantMap {{"keyCode", QStringLiteral("49")}, {"modifiers", qint64(256)}}},
        {P::edgeDisplayKey, QVariantMap {{"id", qint64(1)}, {"name", QStringLiteral("Built-in")}}},
        {P::panelLimitKey, QStringLiteral("6")},
        {P::enabledServicesKey, QVariantList {QStringLiteral("github"), QStringLiteral("Vercel"), qint64(3)}},
        {P::checkIntervalsKey, QVariantMap {{"github", qint64(120)}, {"vercel", QStringLiteral("fast")}}},
        {P::linkedServicesKey, QVariantList {QStringLiteral("codex"), QStringLiteral("codex ")}},
        {P::selectedProjectsKey, QVariantMap {{"github", QStringLiteral("a/b")}, {"gitlab", qint64(5)}}},
        {P::paymentAccountsKey, QByteArray("{not json")},
    };
    const auto store = loadFrom(d, stored);
    const PreferencesStore& p = *store;
    EXPECT_TRUE(p.hasCompletedOnboarding());
    EXPECT_TRUE(p.tucksAway());
    EXPECT_EQ(p.lastSeenVersion(), QStringLiteral("12"));
    EXPECT_EQ(p.edgeTrigger(), EdgeTrigger::hover);
    EXPECT_EQ(p.edgeSide(), EdgeSide::right);
    EXPECT_EQ(p.hotKey(), HotKey::defaultShortcut());
    EXPECT_EQ(p.edgeDisplay(), std::nullopt);
    EXPECT_EQ(p.panelLimit(), 4);
    EXPECT_EQ(p.enabledServices(), QSet<KitService> {KitService::github});
    EXPECT_TRUE(p.checkIntervals().isEmpty());
    EXPECT_EQ(p.linkedServices(), QSet<KitService> {KitService::codex});
    EXPECT_TRUE(p.selectedProjects().isEmpty());
    EXPECT_TRUE(p.paymentAccounts().isEmpty());
    // Nothing is repaired behind the user's back: a value stays until its property is assigned.
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        EXPECT_EQ(d.object(it.key()), it.value()) << it.key().toStdString();
}

TEST(PreferencesStore, ReadsEachKeysOtherForms)
{
    struct Case {
        QVariantMap stored;
        std::function<void(const PreferencesStore&)> check;
    };
    const int most = std::numeric_limits<int>::max();
    const QList<Case> cases {
        {{{P::hotKeyKey, QVariantMap()}}, [](auto& p) { EXPECT_EQ(p.hotKey(), std::nullopt); }},
        {{{P::hotKeyKey, QVariantMap {{"keyCode", qint64(49)}}}},
            [](auto& p) { EXPECT_EQ(p.hotKey(), std::nullopt); }},
        {{{P::hotKeyKey, QVariantMap {{"keyCode", qint64(-1)}, {"modifiers", qint64(0)}}}},
            [](auto& p) { EXPECT_EQ(p.hotKey(), HotKey::defaultShortcut()); }},
        {{{P::hotKeyKey, QStringLiteral("Space")}},
            [](auto& p) { EXPECT_EQ(p.hotKey(), HotKey::defaultShortcut()); }},
        {{{P::edgeDisplayKey, QVariantMap {{"id", QStringLiteral("x")}}}},
            [](auto& p) { EXPECT_EQ(p.edgeDisplay(), std::nullopt); }},
        {{{P::panelLimitKey, 6.0}}, [](auto& p) { EXPECT_EQ(p.panelLimit(), 6); }},
        {{{P::panelLimitKey, 2.5}}, [](auto& p) { EXPECT_EQ(p.panelLimit(), 4); }},
        {{{P::panelLimitKey, qint64(1) << 40}}, [most](auto& p) { EXPECT_EQ(p.panelLimit(), most); }},
        {{{P::checkIntervalsKey, QVariantMap {{"github", qint64(120)}}}},
            [](auto& p) {
                EXPECT_EQ(p.checkInterval(KitService::github), 120);
                EXPECT_EQ(p.checkInterval(KitService::gitlab), 30);
            }},
        {{{P::paymentAccountsKey,
             QByteArray(R"({"stripe":[{"id":"a","name":null,"extra":1},{"name":"no id"},{"id":"b","site":7},)"
                        R"({"id":"c","site":"https://c.example"}],"polar":"odd"})")}},
            [](auto& p) {
                const QList<PaymentAccountRecord> expected {{QStringLiteral("a"), std::nullopt, std::nullopt},
                    {QStringLiteral("c"), std::nullopt, QStringLiteral("https://c.example")}};
                EXPECT_EQ(p.paymentAccounts(), (PaymentAccounts {{QStringLiteral("stripe"), expected}}));
            }},
    };
    for (const Case& c : cases) {
        MemoryDefaults d;
        SCOPED_TRACE(c.stored.keys().join(u' ').toStdString());
        c.check(*loadFrom(d, c.stored));
    }
}

TEST(PreferencesStore, EveryAssignmentWritesAndOnlyARealChangeNotifies)
{
    RecordingDefaults d;
    PreferencesStore p(d);
    struct Property {
        QString key;
        void (PreferencesStore::*changed)();
        std::function<void()> assign;
    };
    const QList<Property> properties {
        {P::hasCompletedOnboardingKey, &P::hasCompletedOnboardingChanged,
            [&] { p.setHasCompletedOnboarding(true); }},
        {P::lastSeenVersionKey, &P::lastSeenVersionChanged,
            [&] { p.setLastSeenVersion(QStringLiteral("2.0")); }},
        {P::edgeTriggerKey, &P::edgeTriggerChanged, [&] { p.setEdgeTrigger(EdgeTrigger::click); }},
        {P::tucksAwayKey, &P::tucksAwayChanged, [&] { p.setTucksAway(true); }},
        {P::hotKeyKey, &P::hotKeyChanged,
            [&] {
                p.setHotKey(HotKey {0, HotKey::control});
            }},
        {P::edgeSideKey, &P::edgeSideChanged, [&] { p.setEdgeSide(EdgeSide::left); }},
        {P::edgeDisplayKey, &P::edgeDisplayChanged, [&] { p.setEdgeDisplay(display); }},
        {P::panelLimitKey, &P::panelLimitChanged, [&] { p.setPanelLimit(7); }},
        {P::enabledServicesKey, &P::enabledServicesChanged,
            [&] { p.setEnabledServices({KitService::polar}); }},
        {P::checkIntervalsKey, &P::checkIntervalsChanged,
            [&] {
                p.setCheckIntervals({{QStringLiteral("polar"), 45.0}});
            }},
        {P::linkedServicesKey, &P::linkedServicesChanged, [&] { p.setLinkedServices({KitService::codex}); }},
        {P::selectedProjectsKey, &P::selectedProjectsChanged,
            [&] {
                p.setSelectedProjects({{QStringLiteral("gitlab"), QStringLiteral("12")}});
            }},
        {P::paymentAccountsKey, &P::paymentAccountsChanged,
            [&] {
                p.setPaymentAccounts({{QStringLiteral("polar"), {{QStringLiteral("x"), {}, {}}}}});
            }},
    };
    for (const Property& property : properties) {
        SCOPED_TRACE(property.key.toStdString());
        QSignalSpy changed(&p, property.changed);
        d.writes.clear();
        property.assign();
        property.assign();
        EXPECT_EQ(d.writes, QStringList(2, QStringLiteral("set ") + property.key));
        EXPECT_EQ(changed.count(), 1);
    }
    // A change somewhere inside a map or set is a change.
    QSignalSpy intervals(&p, &P::checkIntervalsChanged);
    p.setCheckIntervals({{QStringLiteral("polar"), 46.0}});
    EXPECT_EQ(intervals.count(), 1);
}

TEST(PreferencesStore, WritesTheStoredFormOfEachKey)
{
    MemoryDefaults d;
    PreferencesStore p(d);
    p.setEnabledServices({KitService::claude, KitService::vercel, KitService::github});
    EXPECT_EQ(d.object(P::enabledServicesKey),
        QVariant(
            QVariantList {QStringLiteral("claude"), QStringLiteral("github"), QStringLiteral("vercel")}));
    p.setHotKey(HotKey::defaultShortcut());
    EXPECT_EQ(
        d.object(P::hotKeyKey), QVariant(QVariantMap {{"keyCode", qint64(49)}, {"modifiers", qint64(2560)}}));
    p.setEdgeDisplay(display);
    EXPECT_EQ(d.object(P::edgeDisplayKey),
        QVariant(
            QVariantMap {{"id", QStringLiteral("GSM-5B09-1234")}, {"name", QStringLiteral("LG HDR 4K")}}));
    p.setCheckIntervals({{QStringLiteral("github"), 120.0}});
    EXPECT_EQ(d.object(P::checkIntervalsKey), QVariant(QVariantMap {{"github", 120.0}}));

    // A record without name or site has only its id.
    p.setPaymentAccounts(
        {{QStringLiteral("stripe"), {{QStringLiteral("acct_1"), std::nullopt, std::nullopt}}}});
    EXPECT_EQ(QJsonDocument::fromJson(d.object(P::paymentAccountsKey).toByteArray()).toVariant(),
        QVariant(QVariantMap {{"stripe", QVariantList {QVariantMap {{"id", QStringLiteral("acct_1")}}}}}));

    // No shortcut is the empty dictionary; a removed key is the default shortcut again.
    p.setHotKey(std::nullopt);
    EXPECT_EQ(d.object(P::hotKeyKey), QVariant(QVariantMap()));
    EXPECT_EQ(PreferencesStore(d).hotKey(), std::nullopt);
    d.remove(P::hotKeyKey);
    EXPECT_EQ(PreferencesStore(d).hotKey(), HotKey::defaultShortcut());

    // No version and no display remove their keys.
    p.setLastSeenVersion(QStringLiteral("1.0"));
    p.setLastSeenVersion(std::nullopt);
    p.setEdgeDisplay(std::nullopt);
    EXPECT_FALSE(d.contains(P::lastSeenVersionKey));
    EXPECT_FALSE(d.contains(P::edgeDisplayKey));
}

TEST(PreferencesStore, SleepsOnlyOnSaneIntervalsAndKeepsTheStoredOne)
{
    MemoryDefaults d;
    PreferencesStore p(d);
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    p.setCheckIntervals({{QStringLiteral("vercel"), 0.0}, {QStringLiteral("cloudflare"), -5.0},
        {QStringLiteral("github"), nan}, {QStringLiteral("gitlab"), inf}, {QStringLiteral("stripe"), 1e12},
        {QStringLiteral("polar"), 0.2}, {QStringLiteral("codex"), 90.0}, {QStringLiteral("claude"), -inf}});
    EXPECT_EQ(p.sleepInterval(KitService::vercel), 30);
    EXPECT_EQ(p.sleepInterval(KitService::cloudflare), 30);
    EXPECT_EQ(p.sleepInterval(KitService::github), 30);
    EXPECT_EQ(p.sleepInterval(KitService::gitlab), 30);
    EXPECT_EQ(p.sleepInterval(KitService::stripe), 24 * 60 * 60);
    EXPECT_EQ(p.sleepInterval(KitService::polar), 1);
    EXPECT_EQ(p.sleepInterval(KitService::codex), 90);
    EXPECT_EQ(p.sleepInterval(KitService::claude), 600);
    // What was chosen is what is stored and read back.
    EXPECT_EQ(p.checkInterval(KitService::cloudflare), -5);
    EXPECT_TRUE(std::isnan(PreferencesStore(d).checkInterval(KitService::github)));
    EXPECT_EQ(PreferencesStore(d).checkInterval(KitService::stripe), 1e12);
}
