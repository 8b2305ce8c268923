#include "app/state/EdgePanelSurface.h"

#include "app/core/PreferencesStore.h"
#include "cards/DevKitCardView.h"
#include "edge/EdgeAssembly.h"
#include "edge/EdgeController.h"
#include "edge/EdgePreferencesContext.h"
#include "edge/EdgeStoreContent.h"
#include "edge/EdgeSurface.h"

#include <QPointer>

namespace brenvo {

EdgePanelSurface::EdgePanelSurface(QString name)
    : m_name(std::move(name))
{
}

EdgePanelSurface::~EdgePanelSurface()
{
    stop();
}

void EdgePanelSurface::start(AppState& appState)
{
    stop();
    DevKitStore& kit = appState.kit();
    QPointer<DevKitStore> store(&kit);
    m_context = std::make_unique<EdgePreferencesContext>(
        appState.preferences(),
        [store](std::optional<KitService> service) {
            if (store)
                store->watch(service);
        },
        [store]() {
            if (store)
                store->watch(std::nullopt);
        });
    Scheduler* clock = &appState.scheduler();
    m_content = std::make_unique<EdgeStoreContent>(kit, appState.scheduler(),
        [clock](KitService service, DevKitStore& store, QWidget* parent) -> QWidget* {
            return new DevKitCardView(service, store, *clock, parent);
        });
    auto controller = std::make_unique<EdgeController>(*m_context, appState.scheduler(),
        edgePanelFactory(
            *m_context, *m_content, EdgeRootView::Animations::standard(), EdgeRootBuild::afterShow),
        edgeCursorPosition);
    m_content->setController(controller.get());
    connectEdgePreferences(*controller, appState.preferences());
    connectEdgeStore(*controller, kit);
    QPointer<AppState> state(&appState);
    controller->setShowSettings([state](std::optional<KitService> service) {
        if (!state)
            return;
        state->openSettings(service ? std::optional(SettingsPage::service(*service)) : std::nullopt);
    });
    m_edge = std::make_unique<EdgeSurface>(m_name, appState.preferences());
    m_edge->start(std::move(controller));
}

void EdgePanelSurface::stop()
{
    // The controller goes before what it reads.
    m_edge.reset();
    m_content.reset();
    m_context.reset();
}

void EdgePanelSurface::toggle()
{
    if (m_edge)
        m_edge->toggle();
}

void EdgePanelSurface::bringOut()
{
    if (m_edge && m_edge->controller())
        m_edge->controller()->bringOut();
}

} // namespace brenvo
