#pragma once

#include "edge/EdgeController.h"
#include "edge/EdgeRootView.h"

namespace brenvo {

class DevKitStore;
class EdgeContent;
class PreferencesStore;

// When the root view (tiles, fonts, cards) is built: with the window, or on the turn after the
// window is shown, so that an empty panel of the right size maps without waiting for it.
enum class EdgeRootBuild { withWindow, afterShow };

// The window factory of the real panel: an EdgePanel whose hosting view holds the root view and
// reports the pointer to the controller (held weakly).
EdgeController::WindowFactory edgePanelFactory(EdgeContext& context, EdgeContent& content,
    EdgeRootView::Animations animations = EdgeRootView::Animations::standard(),
    EdgeRootBuild build = EdgeRootBuild::withWindow);

// The root view's reactions to the settings: tuck-away, side and display, panel limit. The tool
// store's reactions (enabled tools, announcements, the open card's focus) are wired where the store
// is known. Connections live as long as the controller.
void connectEdgePreferences(EdgeController& edge, PreferencesStore& preferences);

// The root view's reactions to the tool store: an announcement brings the panel out with its card,
// and the open card is the store's focus.
void connectEdgeStore(EdgeController& edge, DevKitStore& kit);

// The mouse in global coordinates.
QPointF edgeCursorPosition();

} // namespace brenvo
