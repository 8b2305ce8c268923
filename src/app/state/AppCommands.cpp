#include "app/state/AppCommands.h"

#include "app/state/AppState.h"
#include "model/DetachedTask.h"
#include "updates/FeedbackWindowController.h"
#include "updates/UpdateManager.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

namespace brenvo {

QString AppCommands::showTitle(const AppConfig& config)
{
    return QStringLiteral("Show ") + (config.name.isEmpty() ? QStringLiteral("App") : config.name);
}

QString AppCommands::aboutTitle(const AppConfig& config)
{
    return QStringLiteral("About ") + (config.name.isEmpty() ? QStringLiteral("App") : config.name);
}

AppCommands::AppCommands(AppState& appState, std::function<void()> quit, QObject* parent)
    : QObject(parent)
    , m_appState(appState)
    , m_about(new QAction(aboutTitle(appState.config()), this))
    , m_checkForUpdates(new QAction(QStringLiteral("Check for Updates…"), this))
    , m_showPanel(new QAction(showTitle(appState.config()), this))
    , m_whatsNew(new QAction(QStringLiteral("What's New"), this))
    , m_sendFeedback(new QAction(QStringLiteral("Send Feedback…"), this))
    , m_settings(new QAction(QStringLiteral("Settings…"), this))
    , m_quit(new QAction(QStringLiteral("Quit"), this))
{
    m_showPanel->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    m_settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_about->setMenuRole(QAction::AboutRole);
    m_settings->setMenuRole(QAction::PreferencesRole);
    m_quit->setMenuRole(QAction::QuitRole);

    QPointer<AppState> state(&appState);
    connect(m_about, &QAction::triggered, this, [state]() {
        if (state)
            state->openSettings(SettingsPage::about());
    });
    connect(m_checkForUpdates, &QAction::triggered, this, [state]() {
        if (state)
            state->updates().checkForUpdates();
    });
    connect(m_showPanel, &QAction::triggered, this, [state]() {
        if (state)
            state->bringOut();
    });
    connect(m_whatsNew, &QAction::triggered, this, [state]() {
        if (state)
            runDetached(state->showWhatsNew(), "What's New");
    });
    connect(m_sendFeedback, &QAction::triggered, this, [state]() {
        if (state)
            state->feedbackWindow().show(state->config());
    });
    connect(m_settings, &QAction::triggered, this, [state]() {
        if (state)
            state->openSettings();
    });
    connect(m_quit, &QAction::triggered, this, [quit = std::move(quit)]() {
        if (quit)
            quit();
    });
}

void AppCommands::fillTrayMenu(QMenu* menu) const
{
    menu->addAction(m_showPanel);
    menu->addSeparator();
    menu->addAction(m_settings);
    menu->addAction(m_checkForUpdates);
    menu->addSeparator();
    menu->addAction(m_whatsNew);
    menu->addAction(m_sendFeedback);
    menu->addSeparator();
    menu->addAction(m_quit);
}

void AppCommands::fillMenuBar(QMenuBar* bar) const
{
    const QString name
        = m_appState.config().name.isEmpty() ? QStringLiteral("App") : m_appState.config().name;
    QMenu* app = bar->addMenu(name);
    app->addAction(m_about);
    app->addAction(m_checkForUpdates);
    app->addSeparator();
    app->addAction(m_settings);
    app->addSeparator();
    app->addAction(m_quit);
    QMenu* window = bar->addMenu(QStringLiteral("Window"));
    window->addAction(m_showPanel);
    QMenu* help = bar->addMenu(QStringLiteral("Help"));
    help->addAction(m_whatsNew);
    help->addAction(m_sendFeedback);
}

} // namespace brenvo
