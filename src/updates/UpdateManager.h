#pragma once

#include "model/AppConfig.h"
#include "updates/AlertWindow.h"

#include <QObject>

namespace brenvo {

// Software updates. No update framework exists on this desktop: checking says so in an alert. Main thread
// only.
class UpdateManager : public QObject {
    Q_OBJECT

public:
    // startingUpdater: false under a test harness. An updater would start only with that flag and
    // an update key; with neither framework nor feed here it never does.
    UpdateManager(AppConfig config, bool startingUpdater, QObject* parent = nullptr);

    const AppConfig& config() const { return m_config; }
    // Whether an updater was asked for (the flag and a key).
    bool wantsUpdater() const { return m_wantsUpdater; }
    bool isUpdaterRunning() const { return false; }

    // Replaces the alert window (tests).
    void setAlert(Alert alert) { m_window.replaceWith(std::move(alert)); }

    // Tells the user that updates are not set up.
    void checkForUpdates();

    QString alertTitle() const;
    QString alertText() const;

private:
    AppConfig m_config;
    bool m_wantsUpdater = false;
    AlertWindow m_window;
};

} // namespace brenvo
