#pragma once

// A settings window's collaborators for tests: a real tool store over fake tools on virtual time,
// real preferences in memory, a login item in a temporary folder, a recorded shortcut setter and
// address opener, and the panel itself on a fake window so that tests see what it does.
#include "app/core/LoginItemManager.h"
#include "app/core/MemoryDefaults.h"
#include "app/core/PreferencesStore.h"
#include "edge/EdgeAssembly.h"
#include "edge/EdgeController.h"
#include "edge/EdgePreferencesContext.h"
#include "edge/EdgeStoreContent.h"
#include "http/ServiceFailure.h"
#include "settings/SettingsContext.h"
#include "store/DevKitStore.h"
#include "support/FakeEdge.h"
#include "support/FakeSecretStore.h"
#include "support/FakeToolSources.h"
#include "support/ManualScheduler.h"
#include "support/QtPrinting.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace brenvo::test {

// Two screens side by side; the stored display "B" is the second.
class TwoScreenContext : public EdgePreferencesContext {
public:
    static inline const QRectF first {0, 0, 1920, 1080};
    static inline const QRectF second {1920, 0, 1280, 1024};

    explicit TwoScreenContext(PreferencesStore& preferences)
        : EdgePreferencesContext(preferences)
        , m_preferences(preferences)
    {
    }
    EdgeGeometry geometry() const override
    {
        const auto& display = m_preferences.edgeDisplay();
        const QRectF screen = display && display->id == QLatin1String("B") ? second : first;
        return EdgeGeometry {screen, screen, m_preferences.edgeSide()};
    }

private:
    PreferencesStore& m_preferences;
};

class SettingsFixture : public ::testing::Test {
protected:
    MemoryDefaults defaults;
    PreferencesStore preferences {defaults};
    FakeSecretStore secrets;
    ManualScheduler scheduler;
    std::shared_ptr<FakeActivitySource> vercel = std::make_shared<FakeActivitySource>();
    std::shared_ptr<FakeActivitySource> github = std::make_shared<FakeActivitySource>();
    std::shared_ptr<FakePaymentSource> stripe = std::make_shared<FakePaymentSource>();
    std::shared_ptr<FakeUsageSource> claudeUsage = std::make_shared<FakeUsageSource>();
    std::shared_ptr<FakeSpendSource> claudeSpend = std::make_shared<FakeSpendSource>();
    std::unique_ptr<DevKitStore> kit;

    QTemporaryDir home;
    std::unique_ptr<LoginItemManager> loginItem;

    // The shortcut setter answers as the application's does: free combinations are stored.
    bool shortcutFree = true;
    std::vector<std::optional<HotKey>> shortcutsSet;
    int suspends = 0;
    int resumes = 0;
    QList<QUrl> opened;
    int settingsOpened = 0;
    QList<EdgeDisplay> displays {
        {QStringLiteral("A"), QStringLiteral("Desk")}, {QStringLiteral("B"), QStringLiteral("Projector")}};
    bool planLimits = true;

    // The panel.
    std::unique_ptr<TwoScreenContext> edgeContext;
    FakeEdgeWindow::Log window;
    std::unique_ptr<EdgeController> edge;
    std::unique_ptr<EdgeStoreContent> content;

    void SetUp() override
    {
        DevKitStore::Sources sources;
        sources.activity.insert(KitService::vercel, vercel);
        sources.activity.insert(KitService::github, github);
        sources.payments.insert(KitService::stripe, stripe);
        sources.usage.insert(KitService::claude, claudeUsage);
        sources.spend.insert(KitService::claude, claudeSpend);
        kit = std::make_unique<DevKitStore>(preferences, secrets, scheduler, false, sources);
        LoginItemManager::Place place;
        place.autostartDirectory = home.filePath(QStringLiteral("autostart"));
        place.identifier = QStringLiteral("dev.brenvo.Test");
        place.executable = QStringLiteral("/usr/bin/brenvo");
        place.appName = QStringLiteral("Brenvo");
        loginItem = std::make_unique<LoginItemManager>(place);
    }

    SettingsContext context()
    {
        SettingsContext c;
        c.config.name = QStringLiteral("Brenvo");
        c.config.version = QStringLiteral("1.4");
        c.config.build = QStringLiteral("27");
        c.config.supportEmail = QStringLiteral("help@example.com");
        c.kit = kit.get();
        c.preferences = &preferences;
        c.loginItem = loginItem.get();
        c.setShortcut = [this](std::optional<HotKey> hotKey) {
            shortcutsSet.push_back(hotKey);
            if (!shortcutFree && hotKey)
                return false;
            preferences.setHotKey(hotKey);
            return true;
        };
        c.suspendShortcut = [this] { ++suspends; };
        c.resumeShortcut = [this] { ++resumes; };
        c.openUrl = [this](const QUrl& url) {
            opened.append(url);
            return true;
        };
        c.displays = [this] { return displays; };
        c.hasPlanLimits = [this](KitService service) { return planLimits && service == KitService::claude; };
        c.openSettings = [this] { ++settingsOpened; };
        return c;
    }

    void installPanel()
    {
        edgeContext = std::make_unique<TwoScreenContext>(preferences);
        edge = std::make_unique<EdgeController>(
            *edgeContext, scheduler,
            [this](EdgeController&) { return std::make_unique<FakeEdgeWindow>(window); },
            [] { return QPointF(5, 5); });
        content = std::make_unique<EdgeStoreContent>(*kit, scheduler);
        connectEdgePreferences(*edge, preferences);
        edge->install();
        scheduler.runPending();
    }

    QRect frame() const { return window.frames.empty() ? QRect() : window.frames.back(); }
    bool onStrip(KitService service) const
    {
        return edge->stripItems().contains(StripItem::service(service));
    }
};

// What a user's pick in a drop-down does.
inline void choose(QComboBox* box, int index)
{
    box->setCurrentIndex(index);
    Q_EMIT box->activated(index);
}

// A key press as X11 delivers it: the key's native code with the held modifiers.
inline QKeyEvent keyPress(quint32 macKeyCode, int qtKey, Qt::KeyboardModifiers modifiers)
{
    const quint32 native = HotKey::x11KeyCode(macKeyCode).value_or(0);
    return QKeyEvent(QEvent::KeyPress, qtKey, modifiers, native, 0, 0);
}

} // namespace brenvo::test
