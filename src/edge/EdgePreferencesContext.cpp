#include "edge/EdgePreferencesContext.h"

#include "app/core/PreferencesStore.h"

namespace brenvo {

EdgePreferencesContext::EdgePreferencesContext(
    PreferencesStore& preferences, WatchAction watch, std::function<void()> clear)
    : m_preferences(preferences)
    , m_watch(std::move(watch))
    , m_clear(std::move(clear))
{
}

QList<KitService> EdgePreferencesContext::enabledServices() const
{
    QList<KitService> services;
    const auto& enabled = m_preferences.enabledServices();
    for (KitService service : KitService::allCases()) {
        if (enabled.contains(service))
            services.append(service);
    }
    return services;
}

int EdgePreferencesContext::panelLimit() const
{
    return m_preferences.panelLimit();
}

EdgeTrigger EdgePreferencesContext::edgeTrigger() const
{
    return m_preferences.edgeTrigger();
}

bool EdgePreferencesContext::tucksAway() const
{
    return m_preferences.tucksAway();
}

EdgeGeometry EdgePreferencesContext::geometry() const
{
    return EdgeGeometry::forPlacement(m_preferences.edgeSide(), m_preferences.edgeDisplay());
}

void EdgePreferencesContext::watch(std::optional<KitService> service)
{
    if (m_watch)
        m_watch(service);
}

void EdgePreferencesContext::clearWatching()
{
    if (m_clear)
        m_clear();
}

} // namespace brenvo
