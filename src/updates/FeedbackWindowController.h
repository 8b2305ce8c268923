#pragma once

#include "model/AppConfig.h"
#include "updates/AlertWindow.h"
#include "updates/UrlOpener.h"

#include <QObject>
#include <QUrl>

#include <optional>

namespace brenvo {

// Feedback: a mail to the support address of this build, in the user's mail program. Without an
// address there is nowhere to send it, and an alert says so. Main thread only.
class FeedbackWindowController : public QObject {
    Q_OBJECT

public:
    explicit FeedbackWindowController(UrlOpener open = desktopOpener(), QObject* parent = nullptr);

    void show(const AppConfig& config);

    // Replaces the alert window (tests).
    void setAlert(Alert alert) { m_window.replaceWith(std::move(alert)); }
    static QString alertTitle();
    static QString alertText(const AppConfig& config);

    // The mail address with a subject and the version; none without a plain address.
    static std::optional<QUrl> mailURL(const AppConfig& config);

private:
    UrlOpener m_open;
    AlertWindow m_window;
};

} // namespace brenvo
