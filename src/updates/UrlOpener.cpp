#include "updates/UrlOpener.h"

#include <QDesktopServices>

namespace brenvo {

UrlOpener desktopOpener()
{
    return [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

} // namespace brenvo
