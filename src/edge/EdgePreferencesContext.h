#pragma once

#include "edge/EdgeContext.h"

#include <functional>

namespace brenvo {

class PreferencesStore;

// The panel's settings from the preferences store; watching goes to the tool store through the
// two given actions (nothing happens when they are not set).
class EdgePreferencesContext : public EdgeContext {
public:
    using WatchAction = std::function<void(std::optional<KitService>)>;

    EdgePreferencesContext(
        PreferencesStore& preferences, WatchAction watch = {}, std::function<void()> clear = {});

    QList<KitService> enabledServices() const override;
    int panelLimit() const override;
    EdgeTrigger edgeTrigger() const override;
    bool tucksAway() const override;
    EdgeGeometry geometry() const override;
    void watch(std::optional<KitService> service) override;
    void clearWatching() override;

private:
    PreferencesStore& m_preferences;
    WatchAction m_watch;
    std::function<void()> m_clear;
};

} // namespace brenvo
