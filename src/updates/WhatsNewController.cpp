#include "updates/WhatsNewController.h"

#include "app/core/PreferencesStore.h"
#include "http/HTTPClient.h"
#include "model/Log.h"

namespace brenvo {

WhatsNewController::WhatsNewController(AppConfig config, PreferencesStore& preferences,
    std::shared_ptr<HTTPClient> http, UrlOpener open, QObject* parent)
    : QObject(parent)
    , m_config(std::move(config))
    , m_preferences(preferences)
    , m_http(std::move(http))
    , m_open(std::move(open))
{
}

QCoro::Task<> WhatsNewController::checkOnLaunch()
{
    const QString version = m_config.version;
    if (version.isEmpty())
        co_return;
    if (m_preferences.lastSeenVersion() != version)
        m_preferences.setLastSeenVersion(version);
}

std::optional<QUrl> WhatsNewController::pageURL() const
{
    if (m_config.siteHost.isEmpty())
        return std::nullopt;
    const QUrl url(
        QStringLiteral("https://") + m_config.siteHost + m_config.sitePath + QStringLiteral("/whatsnew/"),
        QUrl::StrictMode);
    // The host is the build's own setting; one that does not make a plain https address is not opened.
    if (!url.isValid() || url.scheme() != u"https" || url.host().isEmpty() || !url.userInfo().isEmpty()
        || url.hasQuery() || url.hasFragment()) {
        qCWarning(logApp, "The site host of this build does not make a web address");
        return std::nullopt;
    }
    return url;
}

QString WhatsNewController::alertTitle() const
{
    return QStringLiteral("Release notes are not set up");
}

QString WhatsNewController::alertText() const
{
    return QStringLiteral("This copy of %1 cannot show what's new. Read the release notes where you got "
                          "this one.")
        .arg(m_config.name.isEmpty() ? QStringLiteral("App") : m_config.name);
}

QCoro::Task<> WhatsNewController::show()
{
    const std::optional<QUrl> url = pageURL();
    if (!url) {
        m_window.show(alertTitle(), alertText());
        co_return;
    }
    if (!m_open(*url))
        qCWarning(logApp, "%s", qPrintable(QStringLiteral("Could not open %1").arg(url->toString())));
}

} // namespace brenvo
