#pragma once

#include <QUrl>

#include <functional>

namespace brenvo {

// Opens a web address with the user's default browser. Addresses come from tool replies and may
// be set by third parties, so only http and https are opened; anything else is dropped and
// logged. Returns whether the address was handed on.
bool openInBrowser(const QUrl& url);

// Whether an address may be opened: an absolute http or https address with a host.
bool isWebAddress(const QUrl& url);

// Replaces the way addresses are opened (tests); an empty function restores the desktop's.
void setBrowserOpener(std::function<void(const QUrl&)> opener);

} // namespace brenvo
