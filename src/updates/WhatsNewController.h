#pragma once

#include "model/AppConfig.h"
#include "updates/AlertWindow.h"
#include "updates/UrlOpener.h"

#include <QCoroTask>
#include <QObject>
#include <QUrl>

#include <memory>
#include <optional>

namespace brenvo {

class HTTPClient;
class PreferencesStore;

// What's New: remembers the version whose news was handled, and opens the news page of the maker's
// site when one is configured; without one it says so in an alert. Main thread only.
class WhatsNewController : public QObject {
    Q_OBJECT

public:
    // The preferences must outlive the controller.
    WhatsNewController(AppConfig config, PreferencesStore& preferences, std::shared_ptr<HTTPClient> http,
        UrlOpener open = desktopOpener(), QObject* parent = nullptr);

    // Records the running version as seen. Nothing without a version.
    QCoro::Task<> checkOnLaunch();
    // Opens the news page; without a usable site, tells the user that there is none.
    QCoro::Task<> show();

    // Replaces the alert window (tests).
    void setAlert(Alert alert) { m_window.replaceWith(std::move(alert)); }
    QString alertTitle() const;
    QString alertText() const;

    // "https://", the site host and path, "/whatsnew/"; none without a usable host.
    std::optional<QUrl> pageURL() const;

private:
    AppConfig m_config;
    PreferencesStore& m_preferences;
    std::shared_ptr<HTTPClient> m_http;
    UrlOpener m_open;
    AlertWindow m_window;
};

} // namespace brenvo
