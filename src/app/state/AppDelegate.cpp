#include "app/state/AppDelegate.h"

#include "app/core/HotKeyManager.h"
#include "app/core/PreferencesStore.h"
#include "app/state/AppCommands.h"
#include "app/state/AppIcon.h"
#include "model/DetachedTask.h"
#include "model/Log.h"
#include "model/Scheduler.h"
#include "settings/OnboardingWindowController.h"
#include "settings/SettingsView.h"
#include "updates/WhatsNewController.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>

namespace brenvo {

namespace {

// Runs a step once a window of the program has been exposed and painted, or after a second when
// none is (no display, a panel that stays hidden).
class AfterFirstPaint final : public QObject {
public:
    AfterFirstPaint(Scheduler& scheduler, QObject* parent, std::function<void()> step)
        : QObject(parent)
        , m_step(std::move(step))
    {
        qApp->installEventFilter(this);
        scheduler.after(seconds(1), this, [this]() { run(); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // The expose is painted while it is handled: the step goes on the turn after it.
        if (event->type() == QEvent::Expose && !m_exposed) {
            m_exposed = true;
            QMetaObject::invokeMethod(
                this, [this]() { run(); }, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void run()
    {
        if (!m_step)
            return;
        qApp->removeEventFilter(this);
        std::exchange(m_step, {})();
        deleteLater();
    }

    std::function<void()> m_step;
    bool m_exposed = false;
};

void afterFirstPaint(Scheduler& scheduler, QObject* parent, std::function<void()> step)
{
    new AfterFirstPaint(scheduler, parent, std::move(step));
}

} // namespace

AppDelegate::AppDelegate(
    AppConfig config, Defaults& defaults, SecretStore* secrets, AppState::Launch launch, QObject* parent)
    : QObject(parent)
    , m_appState(std::make_unique<AppState>(std::move(config), defaults, secrets, std::move(launch)))
    , m_onboarding(std::make_unique<OnboardingWindowController>())
    , m_commands(std::make_unique<AppCommands>(*m_appState, []() { QCoreApplication::quit(); }))
{
    connect(m_appState.get(), &AppState::settingsRequested, this, &AppDelegate::showSettingsWindow);
}

AppDelegate::~AppDelegate()
{
    m_launchToken.cancel();
    // Windows and the tray go before the graph and the commands they show.
    m_tray.reset();
    m_trayMenu.reset();
    delete m_settingsWindow.data();
}

QString AppDelegate::launchLine(const AppConfig& config)
{
    const QString name = config.name.isEmpty() ? QStringLiteral("App") : config.name;
    return QStringLiteral("%1 %2 launched")
        .arg(name, config.version + QStringLiteral(" (") + config.build + u')');
}

void AppDelegate::applicationDidFinishLaunching()
{
    if (m_appState->isUnderTest())
        return;
    qCInfo(logApp, "%s", qUtf8Printable(launchLine(m_appState->config())));
    m_appState->startSurfaces();
    // Polling reads the secrets (blocking calls to the Secret Service) and the tray asks the bus:
    // only once the panel is on screen, so that its first paint never waits for them.
    QPointer<AppDelegate> self(this);
    afterFirstPaint(m_appState->scheduler(), this, [self]() {
        if (!self || self->m_terminated)
            return;
        self->m_appState->kit().start();
        self->m_appState->watchSecretsIfUnreadable();
        self->m_appState->hotKeys().start();
        self->showTrayIcon();
    });
    runDetached(launchTask(QPointer<AppDelegate>(this), m_launchToken), "The launch step");
}

QCoro::Task<> AppDelegate::launchTask(QPointer<AppDelegate> self, CancelToken token)
{
    if (!self)
        co_return;
    // A cancelled sleep only means the delegate is going away: the guard below tells.
    Scheduler& scheduler = self->appState().scheduler();
    QCoro::Task<bool> pause = scheduler.sleep(seconds(0.25), token);
    co_await std::move(pause);
    if (!self)
        co_return;
    AppState& state = self->appState();
    if (!state.preferences().hasCompletedOnboarding()) {
        self->m_onboarding->show(state.settingsContext());
    } else {
        QPointer<WhatsNewController> whatsNew(&state.whatsNew());
        QCoro::Task<> check = whatsNew->checkOnLaunch();
        co_await std::move(check);
        if (!self)
            co_return;
    }
    Q_EMIT self->launchStepDone();
}

bool AppDelegate::applicationShouldHandleReopen()
{
    m_appState->bringOut();
    return true;
}

void AppDelegate::applicationWillTerminate()
{
    if (m_terminated)
        return;
    m_terminated = true;
    m_appState->hotKeys().stop();
    m_appState->kit().stop();
    m_appState->stopSurfaces();
}

void AppDelegate::showSettingsWindow()
{
    if (!m_settingsWindow) {
        auto* window = new SettingsView(m_appState->settingsContext());
        window->setWindowTitle(m_appState->config().name + QStringLiteral(" Settings"));
        m_commands->fillMenuBar(window->menuBar());
        // The window and the graph keep one current page.
        connect(window, &SettingsView::pageChosen, m_appState.get(), &AppState::setSettingsPage);
        connect(m_appState.get(), &AppState::settingsPageChanged, window,
            [this, window]() { window->showPage(m_appState->settingsPage()); });
        m_settingsWindow = window;
    }
    m_settingsWindow->showPage(m_appState->settingsPage());
    m_settingsWindow->present();
}

bool AppDelegate::showTrayIcon()
{
    if (m_tray)
        return true;
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        qCInfo(logApp, "No system tray: the menu commands are in the settings window");
        return false;
    }
    m_trayMenu = std::make_unique<QMenu>();
    m_commands->fillTrayMenu(m_trayMenu.get());
    m_tray = std::make_unique<QSystemTrayIcon>(appIcon());
    m_tray->setToolTip(m_appState->config().name);
    m_tray->setContextMenu(m_trayMenu.get());
    // A plain click on the icon is the desktop's way to reopen.
    connect(
        m_tray.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger)
                applicationShouldHandleReopen();
        });
    m_tray->show();
    return true;
}

} // namespace brenvo
