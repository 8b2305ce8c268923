#pragma once

#include "edge/EdgeGeometry.h"
#include "model/EdgePlacement.h"
#include "model/KitService.h"

#include <QList>
#include <QRect>
#include <QRegion>

#include <optional>

namespace brenvo {

// What the panel reads of the settings and the tool store, and what it tells the store.
class EdgeContext {
public:
    virtual ~EdgeContext() = default;

    // The enabled tools in catalogue order.
    virtual QList<KitService> enabledServices() const = 0;
    virtual int panelLimit() const = 0;
    virtual EdgeTrigger edgeTrigger() const = 0;
    virtual bool tucksAway() const = 0;
    // The chosen screen and side, read anew on every call.
    virtual EdgeGeometry geometry() const = 0;

    // The panel now shows this tool's card (clears its unseen mark), or none.
    virtual void watch(std::optional<KitService> service) = 0;
    // Forgets the watched tool without any of watch()'s effects.
    virtual void clearWatching() = 0;
};

// The panel's window as the controller drives it.
class EdgeWindow {
public:
    virtual ~EdgeWindow() = default;

    virtual QRect frame() const = 0;
    virtual void setFrame(const QRect& frame) = 0;
    // Shows the window above others without activating it.
    virtual void orderFront() = 0;
    virtual void orderOut() = 0;
    // Whether the window may take the keyboard while a card is open.
    virtual void setAllowsKey(bool allows) = 0;
    virtual void setSide(EdgeSide side) = 0;
    // Brings the content to the current frame at once, before the next paint.
    virtual void layoutContent() = 0;
    // Where clicks reach the window, in window coordinates; elsewhere they fall through.
    virtual void setInputRegion(const QRegion& region) = 0;
    // The part of the input region where the pointer reaches the window even where nothing is drawn
    // (the tucked sliver around its handle), in window coordinates.
    virtual void setHoverArea(const QRegion& region) = 0;
};

} // namespace brenvo
