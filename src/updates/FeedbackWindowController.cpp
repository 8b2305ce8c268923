#include "updates/FeedbackWindowController.h"

#include "model/Log.h"

#include <QRegularExpression>
#include <QUrlQuery>

namespace brenvo {

FeedbackWindowController::FeedbackWindowController(UrlOpener open, QObject* parent)
    : QObject(parent)
    , m_open(std::move(open))
{
}

std::optional<QUrl> FeedbackWindowController::mailURL(const AppConfig& config)
{
    const QString address = config.supportEmail;
    if (address.isEmpty())
        return std::nullopt;
    // One local part and one domain, nothing that a mail address would carry on into more headers
    // or recipients.
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9.!#$%'*+/=^_`{|}~-]+@[A-Za-z0-9.-]+$"));
    if (!plain.match(address).hasMatch() || address.contains(u'?') || address.contains(u'&')
        || address.contains(u'#') || address.endsWith(u'.') || address.contains(QStringLiteral(".."))) {
        qCWarning(logApp, "The support address of this build is not a plain mail address");
        return std::nullopt;
    }
    const QString name = config.name.isEmpty() ? QStringLiteral("App") : config.name;
    QUrl url;
    url.setScheme(QStringLiteral("mailto"));
    url.setPath(address);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("subject"), QStringLiteral("%1 Feedback").arg(name));
    QString version = config.version;
    if (!config.build.isEmpty())
        version += QStringLiteral(" (") + config.build + u')';
    query.addQueryItem(QStringLiteral("body"), QStringLiteral("\n\n%1 %2").arg(name, version.trimmed()));
    url.setQuery(query);
    return url;
}

QString FeedbackWindowController::alertTitle()
{
    return QStringLiteral("Feedback is not set up");
}

QString FeedbackWindowController::alertText(const AppConfig& config)
{
    return QStringLiteral("This copy of %1 cannot send feedback. Give your feedback where you got this one.")
        .arg(config.name.isEmpty() ? QStringLiteral("App") : config.name);
}

void FeedbackWindowController::show(const AppConfig& config)
{
    const std::optional<QUrl> url = mailURL(config);
    if (!url) {
        m_window.show(alertTitle(), alertText(config));
        return;
    }
    if (!m_open(*url))
        qCWarning(logApp, "No mail program took the feedback address");
}

} // namespace brenvo
