#pragma once

#include "edge/EdgeContext.h"
#include "edge/EdgeGeometry.h"
#include "edge/EdgeLayout.h"
#include "model/CancelToken.h"
#include "model/KitService.h"
#include "model/Scheduler.h"
#include "model/StripItem.h"

#include <QObject>
#include <QPointF>
#include <QSizeF>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace brenvo {

class EdgeController;
class EdgePinnedSpace;

// One cancellable delayed action held in a field; starting it again replaces the previous one.
class EdgeStep {
public:
    void start(Scheduler& scheduler, QObject* context, Duration delay, std::function<void()> action);
    void cancel();
    // Started, and neither run nor cancelled yet.
    bool isPending() const { return m_state && !m_state->finished; }

private:
    struct State {
        bool finished = false;
    };
    std::shared_ptr<State> m_state;
    CancelToken m_token;
};

// Drives the panel of one surface: the window's size and place, and the pointer state machine that
// slides the strip out, opens, moves and closes cards, unfolds the hidden tools and tucks the strip
// away. The window grows before content grows and shrinks only after content has shrunk.
class EdgeController : public QObject {
    Q_OBJECT
public:
    using WindowFactory = std::function<std::unique_ptr<EdgeWindow>(EdgeController&)>;
    using PointerSource = std::function<QPointF()>; // the mouse in global coordinates
    // Opens the settings window; at the given tool's page when one is given.
    using SettingsAction = std::function<void(std::optional<KitService>)>;

    EdgeController(EdgeContext& context, Scheduler& scheduler, WindowFactory makeWindow,
        PointerSource pointer, QObject* parent = nullptr);
    ~EdgeController() override;

    // Observable state.
    std::optional<KitService> openService() const { return m_openService; }
    KitService shownService() const { return m_shownService; }
    std::optional<StripItem> hoveredItem() const { return m_hoveredItem; }
    bool cardMoves() const { return m_cardMoves; }
    bool isOut() const { return m_isOut; }
    bool isUnfolded() const { return m_isUnfolded; }
    const EdgeGeometry& geometry() const { return m_geometry; }
    Scheduler& scheduler() const { return m_scheduler; }

    // Installed by the root view.
    void setShowSettings(SettingsAction action) { m_showSettings = std::move(action); }
    const SettingsAction& showSettings() const { return m_showSettings; }

    void install();
    void uninstall();
    bool isInstalled() const { return m_panel != nullptr; }
    EdgeWindow* panel() const { return m_panel.get(); }

    void bringOut();
    // A point in view coordinates, or none when the pointer left the window.
    void handlePointer(std::optional<QPointF> point, QSizeF viewSize);
    void handleMouseDown(QPointF point, QSizeF viewSize);
    void open(KitService service, bool userInitiated);
    void closeCard();
    void tucksAwayChanged();
    void placementChanged();
    void screenParametersChanged();
    void stripItemsChanged();
    void announce(KitService service);

    QList<StripItem> stripItems() const;
    // Every enabled tool, no more tile.
    QList<StripItem> allItems() const;
    int slotIndex(KitService service) const;
    EdgeLayout::Zone zone(QPointF point, QSizeF viewSize) const;
    EdgeLayout::Zone currentZone() const;
    QSizeF openPanelSize() const;
    // The window size for the present state.
    QSizeF panelSize() const;
    // Where clicks reach the panel: the strip and the open card with their hit margins, and while the
    // strip is in or sliding in, the sliver the tucked window keeps (all of it once tucked).
    QRegion inputRegion() const;

    // Steps started and not yet run, for tests.
    bool isClosePending() const { return m_closeTask.isPending(); }
    bool isTuckPending() const { return m_tuckTask.isPending(); }
    bool isFoldPending() const { return m_foldTask.isPending(); }
    bool holdsStrip() const { return m_holdsStrip; }
    bool holdsUnfolded() const { return m_holdsUnfolded; }
    bool holdsAnnouncement() const { return m_announcedUntil.has_value(); }
    bool isWatching() const { return m_watchTask.isPending(); }

Q_SIGNALS:
    void openServiceChanged();
    void shownServiceChanged();
    void hoveredItemChanged();
    void cardMovesChanged();
    void isOutChanged();
    void isUnfoldedChanged();
    void geometryChanged();
    // The enabled tools or the panel limit changed: the strip's entries may differ.
    void itemsChanged();

private:
    void applyFrame();
    void updateInputRegion();
    // Where the tucked window stands, in the present window's coordinates.
    QRegion tuckedArea() const;
    void layoutContent();
    void startWatching();
    void watchTick();
    void scheduleClose(Duration delay);
    void scheduleTuck();
    void scheduleFold();
    void retract();
    void unfold();
    void fold();
    void cancelClose();
    void cancelTuck();
    void cancelFold();
    void settleUnfoldedHold();
    void observeScreens();
    void screensChangedSoon();

    void setOpenService(std::optional<KitService> value);
    void setShownService(KitService value);
    void setHoveredItem(std::optional<StripItem> value);
    void setCardMoves(bool value);
    void setIsOut(bool value);
    void setIsUnfolded(bool value);
    void setGeometry(const EdgeGeometry& value);

    EdgeContext& m_context;
    Scheduler& m_scheduler;
    WindowFactory m_makeWindow;
    PointerSource m_pointer;

    std::optional<KitService> m_openService;
    KitService m_shownService = KitService::vercel;
    std::optional<StripItem> m_hoveredItem;
    bool m_cardMoves = false;
    bool m_isOut = true;
    bool m_isUnfolded = false;
    EdgeGeometry m_geometry;
    SettingsAction m_showSettings;
    bool m_holdsStrip = true;
    bool m_holdsUnfolded = false;
    EdgeStep m_foldTask;
    // The window's release after a fold, apart from the pending fold so that a returning pointer
    // cancelling the fold does not keep the window at its unfolded height.
    EdgeStep m_foldReleaseTask;
    EdgeStep m_unfoldTask;
    std::optional<Duration> m_announcedUntil;
    EdgeStep m_tuckTask;
    EdgeStep m_retractTask;
    std::unique_ptr<EdgeWindow> m_panel;
    std::unique_ptr<EdgePinnedSpace> m_pinnedSpace;
    EdgeLayout::Zone m_lastZone = EdgeLayout::Zone::outside();
    EdgeStep m_openTask;
    EdgeStep m_closeTask;
    EdgeStep m_watchTask;
    EdgeStep m_shrinkTask;
    int m_transitionGeneration = 0;
    std::vector<QMetaObject::Connection> m_observers;
    bool m_screensChangePending = false;
};

} // namespace brenvo
