#pragma once

#include "model/AppConfig.h"

#include <QObject>
#include <QPointer>

#include <functional>

class QMessageBox;

namespace brenvo {

// Software updates. No update framework exists on this desktop: checking says so in an alert, the
// one alert of the application. Main thread only.
class UpdateManager : public QObject {
    Q_OBJECT

public:
    // Shows the alert: a title and a sentence.
    using Alert = std::function<void(const QString& title, const QString& text)>;

    // startingUpdater: false under a test harness. An updater would start only with that flag and
    // an update key; with neither framework nor feed here it never does.
    UpdateManager(AppConfig config, bool startingUpdater, QObject* parent = nullptr);
    ~UpdateManager() override;

    const AppConfig& config() const { return m_config; }
    // Whether an updater was asked for (the flag and a key).
    bool wantsUpdater() const { return m_wantsUpdater; }
    bool isUpdaterRunning() const { return false; }

    // Replaces the alert window (tests).
    void setAlert(Alert alert) { m_alert = std::move(alert); }

    // Tells the user that updates are not set up.
    void checkForUpdates();

    QString alertTitle() const;
    QString alertText() const;

private:
    void showAlertWindow(const QString& title, const QString& text);

    AppConfig m_config;
    bool m_wantsUpdater = false;
    Alert m_alert;
    QPointer<QMessageBox> m_box;
};

} // namespace brenvo
