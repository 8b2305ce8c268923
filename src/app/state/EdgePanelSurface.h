#pragma once

#include "app/state/AppState.h"

#include <memory>

namespace brenvo {

class EdgePreferencesContext;
class EdgeStoreContent;
class EdgeSurface;

// The edge panel as the graph's surface: the named surface with its controller, and what the
// panel reads through (the settings, the tool store).
class EdgePanelSurface final : public Surface {
public:
    explicit EdgePanelSurface(QString name);
    ~EdgePanelSurface() override;

    QString name() const override { return m_name; }
    void start(AppState& appState) override;
    void stop() override;
    void toggle() override;
    void bringOut() override;

    // Null before start and after stop.
    EdgeSurface* edge() const { return m_edge.get(); }

private:
    QString m_name;
    std::unique_ptr<EdgePreferencesContext> m_context;
    std::unique_ptr<EdgeStoreContent> m_content;
    std::unique_ptr<EdgeSurface> m_edge;
};

} // namespace brenvo
