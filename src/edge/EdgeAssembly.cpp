#include "edge/EdgeAssembly.h"

#include "app/core/PreferencesStore.h"
#include "edge/EdgeHostingView.h"
#include "edge/EdgePanel.h"
#include "store/DevKitStore.h"

#include <QCursor>
#include <QPointer>
#include <QTimer>

namespace brenvo {

namespace {

void showRoot(EdgePanel& panel, EdgeRootView* root)
{
    panel.hostingView()->setRootView(root);
    QObject::connect(root, &EdgeRootView::outlineChanged, &panel, &EdgePanel::setVisibleOutline);
    panel.setVisibleOutline(root->outline());
}

} // namespace

EdgeController::WindowFactory edgePanelFactory(
    EdgeContext& context, EdgeContent& content, EdgeRootView::Animations animations, EdgeRootBuild build)
{
    return [&context, &content, animations, build](EdgeController& edge) -> std::unique_ptr<EdgeWindow> {
        auto panel = std::make_unique<EdgePanel>();
        EdgeHostingView* hosting = panel->hostingView();
        hosting->side = edge.geometry().side;
        QPointer<EdgeController> weak(&edge);
        hosting->onPointer = [weak](std::optional<QPointF> point, QSizeF size) {
            if (weak)
                weak->handlePointer(point, size);
        };
        hosting->onMouseDown = [weak](QPointF point, QSizeF size) {
            if (weak)
                weak->handleMouseDown(point, size);
        };
        if (build == EdgeRootBuild::withWindow) {
            showRoot(*panel, new EdgeRootView(edge, context, content, animations));
            return panel;
        }
        // The hosting view goes with the panel, and the controller with the panel too.
        QPointer<EdgePanel> window(panel.get());
        QTimer::singleShot(0, hosting, [window, weak, &context, &content, animations]() {
            if (window && weak && !window->hostingView()->rootView())
                showRoot(*window, new EdgeRootView(*weak, context, content, animations));
        });
        return panel;
    };
}

void connectEdgePreferences(EdgeController& edge, PreferencesStore& preferences)
{
    QObject::connect(
        &preferences, &PreferencesStore::tucksAwayChanged, &edge, &EdgeController::tucksAwayChanged);
    QObject::connect(
        &preferences, &PreferencesStore::edgeSideChanged, &edge, &EdgeController::placementChanged);
    QObject::connect(
        &preferences, &PreferencesStore::edgeDisplayChanged, &edge, &EdgeController::placementChanged);
    QObject::connect(
        &preferences, &PreferencesStore::panelLimitChanged, &edge, &EdgeController::stripItemsChanged);
    QObject::connect(
        &preferences, &PreferencesStore::enabledServicesChanged, &edge, &EdgeController::stripItemsChanged);
}

void connectEdgeStore(EdgeController& edge, DevKitStore& kit)
{
    QPointer<DevKitStore> store(&kit);
    QObject::connect(&kit, &DevKitStore::announcementChanged, &edge, [&edge, store]() {
        if (store && store->announcement())
            edge.announce(store->announcement()->service);
    });
    // Queued: the store's focus may call back into the panel's state while it changes.
    QPointer<EdgeController> panel(&edge);
    QObject::connect(
        &edge, &EdgeController::openServiceChanged, &kit,
        [panel, store]() {
            if (store && panel)
                store->focus(panel->openService());
        },
        Qt::QueuedConnection);
}

QPointF edgeCursorPosition()
{
    return QPointF(QCursor::pos());
}

} // namespace brenvo
