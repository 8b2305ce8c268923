#pragma once

#include <QUrl>

#include <functional>

namespace brenvo {

// Hands an address to the desktop (browser, mail program). Injected so that tests see what would
// open instead of opening it.
using UrlOpener = std::function<bool(const QUrl&)>;

// The desktop's own opener.
UrlOpener desktopOpener();

} // namespace brenvo
