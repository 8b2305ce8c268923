#pragma once

#include "app/state/AppState.h"
#include "model/CancelToken.h"
#include "settings/SettingsView.h"

#include <QObject>
#include <QPointer>

#include <memory>

class QSystemTrayIcon;
class QMenu;

namespace brenvo {

class AppCommands;
class Defaults;
class OnboardingWindowController;

// The application's own side of the platform: builds the graph when it is created, and runs the
// launch sequence, the reopen and the termination. Main thread only.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    // Builds the graph (and onboarding with no window). quit: how a Quit command ends the process.
    AppDelegate(AppConfig config, Defaults& defaults, SecretStore* secrets = nullptr,
        AppState::Launch launch = AppState::Launch::fromProcess(), QObject* parent = nullptr);
    ~AppDelegate() override;

    AppState& appState() const { return *m_appState; }
    OnboardingWindowController& onboarding() const { return *m_onboarding; }
    AppCommands& commands() const { return *m_commands; }

    // Under a test harness nothing at all. Otherwise the launch line, the panel; once it is painted
    // (a second at most) polling, the shortcut and the tray icon; and 0.25 s later onboarding (never
    // completed) or the What's New check.
    void applicationDidFinishLaunching();
    // Brings the panel out; always true.
    bool applicationShouldHandleReopen();
    // The application keeps running with no window open.
    bool applicationShouldTerminateAfterLastWindowClosed() const { return false; }
    // Shortcut, polling, surfaces, in that order.
    void applicationWillTerminate();

    // Opens the settings window at the graph's page (built on first use, with the menu commands in
    // its menu bar) and brings it to the front.
    void showSettingsWindow();
    SettingsView* settingsWindow() const { return m_settingsWindow; }

    // The commands in a tray icon's menu, when the desktop has a tray. False when it has none.
    bool showTrayIcon();
    QSystemTrayIcon* trayIcon() const { return m_tray.get(); }

    // The line written at launch: name, version and build.
    static QString launchLine(const AppConfig& config);

Q_SIGNALS:
    // The launch task has run its step (onboarding or What's New).
    void launchStepDone();

private:
    static QCoro::Task<> launchTask(QPointer<AppDelegate> self, CancelToken token);

    std::unique_ptr<AppState> m_appState;
    std::unique_ptr<OnboardingWindowController> m_onboarding;
    std::unique_ptr<AppCommands> m_commands;
    QPointer<SettingsView> m_settingsWindow;
    std::unique_ptr<QMenu> m_trayMenu;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    CancelToken m_launchToken;
    bool m_terminated = false;
};

} // namespace brenvo
