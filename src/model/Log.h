#pragma once

#include <QLoggingCategory>

namespace brenvo {

// The two log channels: "app" for the application and its tools, "surface" for the panel.
Q_DECLARE_LOGGING_CATEGORY(logApp)
Q_DECLARE_LOGGING_CATEGORY(logSurface)

} // namespace brenvo
