#include "model/Log.h"

namespace brenvo {

Q_LOGGING_CATEGORY(logApp, "app", QtInfoMsg)
Q_LOGGING_CATEGORY(logSurface, "surface", QtInfoMsg)

} // namespace brenvo
