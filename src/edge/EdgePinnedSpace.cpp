#include "edge/EdgePinnedSpace.h"

#include "model/Log.h"

namespace brenvo {

std::unique_ptr<EdgePinnedSpace> EdgePinnedSpace::create()
{
    qCInfo(logSurface, "No pinned space on this system: the panel stays an all-spaces window");
    return nullptr;
}

void EdgePinnedSpace::pin(EdgeWindow&) { }

void EdgePinnedSpace::destroy() { }

} // namespace brenvo
