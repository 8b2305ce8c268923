#include "edge/EdgeSurface.h"

#include "app/core/PreferencesStore.h"
#include "edge/EdgeController.h"

namespace brenvo {

EdgeSurface::EdgeSurface(QString name, PreferencesStore& preferences)
    : m_name(std::move(name))
    , m_preferences(preferences)
{
}

EdgeSurface::~EdgeSurface()
{
    stop();
}

void EdgeSurface::start(std::unique_ptr<EdgeController> controller)
{
    stop();
    m_controller = std::move(controller);
    if (m_controller)
        m_controller->install();
}

void EdgeSurface::stop()
{
    if (m_controller)
        m_controller->uninstall();
    m_controller.reset();
}

void EdgeSurface::toggle()
{
    if (!m_controller)
        return;
    m_preferences.setTucksAway(!m_preferences.tucksAway());
}

} // namespace brenvo
