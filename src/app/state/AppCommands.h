#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QMenu;
class QMenuBar;

namespace brenvo {

class AppState;
struct AppConfig;

// The application's menu commands, for the tray icon's menu and the settings window's menu bar.
// The actions belong to this object and act on the graph.
class AppCommands : public QObject {
    Q_OBJECT

public:
    // quit: ends the application through its termination sequence.
    AppCommands(AppState& appState, std::function<void()> quit, QObject* parent = nullptr);

    QAction* about() const { return m_about; }
    QAction* checkForUpdates() const { return m_checkForUpdates; }
    QAction* showPanel() const { return m_showPanel; }
    QAction* whatsNew() const { return m_whatsNew; }
    QAction* sendFeedback() const { return m_sendFeedback; }
    QAction* settings() const { return m_settings; }
    QAction* quit() const { return m_quit; }

    // Show, Settings…, Check for Updates…, What's New, Send Feedback…, Quit.
    void fillTrayMenu(QMenu* menu) const;
    // The application's menu (About, Check for Updates…, Settings…, Quit), Window and Help.
    void fillMenuBar(QMenuBar* bar) const;

    // "Show " and the application's name.
    static QString showTitle(const AppConfig& config);
    // "About " and the application's name.
    static QString aboutTitle(const AppConfig& config);

private:
    AppState& m_appState;
    QAction* m_about;
    QAction* m_checkForUpdates;
    QAction* m_showPanel;
    QAction* m_whatsNew;
    QAction* m_sendFeedback;
    QAction* m_settings;
    QAction* m_quit;
};

} // namespace brenvo
