#pragma once

#include <QIcon>

namespace brenvo {

// The application's icon, drawn here as SVG: a strip of three lit tiles on the edge of a dark square.
QIcon appIcon();

} // namespace brenvo
