#pragma once

#include <memory>

namespace brenvo {

class EdgeWindow;

// A private window-server space that would keep the panel above full-screen windows. This desktop
// has none: creation always fails, and the panel stays a sticky window on every desktop.
class EdgePinnedSpace {
public:
    // None here; logs why.
    static std::unique_ptr<EdgePinnedSpace> create();
    void pin(EdgeWindow& window);
    void destroy();
};

} // namespace brenvo
