#include "cards/OpenInBrowser.h"

#include "model/Log.h"

#include <QDesktopServices>

namespace brenvo {

namespace {

std::function<void(const QUrl&)>& opener()
{
    static std::function<void(const QUrl&)> f;
    return f;
}

} // namespace

bool isWebAddress(const QUrl& url)
{
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

bool openInBrowser(const QUrl& url)
{
    if (!isWebAddress(url)) {
        qCWarning(logApp, "Not opening an address that is not a web address (scheme \"%s\")",
            qUtf8Printable(url.scheme()));
        return false;
    }
    if (opener())
        opener()(url);
    else
        QDesktopServices::openUrl(url); // the result is ignored, as nothing could be shown for it
    return true;
}

void setBrowserOpener(std::function<void(const QUrl&)> f)
{
    opener() = std::move(f);
}

} // namespace brenvo
