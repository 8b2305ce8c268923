#include "edge/EdgeController.h"

#include "edge/EdgePinnedSpace.h"
#include "model/Log.h"

#include <QGuiApplication>
#include <QScreen>

namespace brenvo {

namespace {

// How long the pointer must rest before the panel acts, and how long a change waits for the content
// to settle before the window follows.
constexpr Duration switchDelay = std::chrono::milliseconds(100); // to another card, or off a card
constexpr Duration openDelay = std::chrono::milliseconds(150); // a first card, or the hidden tools
constexpr Duration closeDelay = std::chrono::milliseconds(400);
constexpr Duration shrinkDelay = std::chrono::milliseconds(300); // the window after a card closed
constexpr Duration retractDelay = std::chrono::milliseconds(300); // the window after the strip slid in
constexpr Duration tuckDelay = std::chrono::milliseconds(500);
constexpr Duration foldDelay = std::chrono::milliseconds(500);
constexpr Duration foldReleaseDelay = std::chrono::milliseconds(350); // the window after a fold
constexpr Duration watchInterval = std::chrono::milliseconds(500);
constexpr Duration announcementHold = std::chrono::seconds(5);

} // namespace

void EdgeStep::start(Scheduler& scheduler, QObject* context, Duration delay, std::function<void()> action)
{
    cancel();
    auto state = std::make_shared<State>();
    CancelToken token;
    m_state = state;
    m_token = token;
    scheduler.after(delay, context, [state, token, action = std::move(action)]() {
        if (token.isCancelled() || state->finished)
            return;
        state->finished = true;
        action();
    });
}

void EdgeStep::cancel()
{
    if (m_state)
        m_state->finished = true;
    m_token.cancel();
    m_state.reset();
}

EdgeController::EdgeController(EdgeContext& context, Scheduler& scheduler, WindowFactory makeWindow,
    PointerSource pointer, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_scheduler(scheduler)
    , m_makeWindow(std::move(makeWindow))
    , m_pointer(std::move(pointer))
    , m_geometry(context.geometry())
{
}

EdgeController::~EdgeController()
{
    uninstall();
}

// MARK: observable setters

void EdgeController::setOpenService(std::optional<KitService> value)
{
    if (m_openService == value)
        return;
    m_openService = value;
    updateInputRegion();
    Q_EMIT openServiceChanged();
}

void EdgeController::setShownService(KitService value)
{
    if (m_shownService == value)
        return;
    m_shownService = value;
    Q_EMIT shownServiceChanged();
}

void EdgeController::setHoveredItem(std::optional<StripItem> value)
{
    if (m_hoveredItem == value)
        return;
    m_hoveredItem = value;
    Q_EMIT hoveredItemChanged();
}

void EdgeController::setCardMoves(bool value)
{
    if (m_cardMoves == value)
        return;
    m_cardMoves = value;
    Q_EMIT cardMovesChanged();
}

void EdgeController::setIsOut(bool value)
{
    if (m_isOut == value)
        return;
    m_isOut = value;
    updateInputRegion();
    Q_EMIT isOutChanged();
}

void EdgeController::setIsUnfolded(bool value)
{
    if (m_isUnfolded == value)
        return;
    m_isUnfolded = value;
    updateInputRegion();
    Q_EMIT isUnfoldedChanged();
}

void EdgeController::setGeometry(const EdgeGeometry& value)
{
    if (m_geometry == value)
        return;
    m_geometry = value;
    Q_EMIT geometryChanged();
}

// MARK: install

void EdgeController::install()
{
    if (m_panel)
        return;
    m_panel = m_makeWindow(*this);
    if (!m_panel)
        return;
    m_panel->setSide(m_geometry.side);
    if (m_context.tucksAway()) {
        setIsOut(false);
        m_holdsStrip = false;
    }
    applyFrame();
    m_panel->orderFront();
    m_pinnedSpace = EdgePinnedSpace::create();
    if (m_pinnedSpace)
        m_pinnedSpace->pin(*m_panel);
    observeScreens();
    qCInfo(logSurface, "Edge panel installed");
}

void EdgeController::uninstall()
{
    m_openTask.cancel();
    cancelClose();
    m_watchTask.cancel();
    m_shrinkTask.cancel();
    cancelTuck();
    m_retractTask.cancel();
    cancelFold();
    m_foldReleaseTask.cancel();
    m_unfoldTask.cancel();
    for (const auto& connection : m_observers)
        disconnect(connection);
    m_observers.clear();
    if (m_panel)
        m_panel->orderOut();
    m_panel.reset();
    if (m_pinnedSpace)
        m_pinnedSpace->destroy();
    m_pinnedSpace.reset();
}

void EdgeController::observeScreens()
{
    auto* app = qGuiApp;
    if (!app)
        return;
    auto watchScreen = [this](QScreen* screen) {
        m_observers.push_back(
            connect(screen, &QScreen::geometryChanged, this, &EdgeController::screensChangedSoon));
        m_observers.push_back(
            connect(screen, &QScreen::availableGeometryChanged, this, &EdgeController::screensChangedSoon));
    };
    for (QScreen* screen : QGuiApplication::screens())
        watchScreen(screen);
    m_observers.push_back(
        connect(app, &QGuiApplication::screenAdded, this, [this, watchScreen](QScreen* screen) {
            watchScreen(screen);
            screensChangedSoon();
        }));
    m_observers.push_back(
        connect(app, &QGuiApplication::screenRemoved, this, &EdgeController::screensChangedSoon));
    m_observers.push_back(
        connect(app, &QGuiApplication::primaryScreenChanged, this, &EdgeController::screensChangedSoon));
}

void EdgeController::screensChangedSoon()
{
    // A reconfiguration arrives as a burst of signals: one reaction on the next turn.
    if (m_screensChangePending)
        return;
    m_screensChangePending = true;
    m_scheduler.nextTurn(this, [this]() {
        m_screensChangePending = false;
        if (m_panel)
            screenParametersChanged();
    });
}

// MARK: frame

void EdgeController::applyFrame()
{
    if (!m_panel)
        return;
    m_panel->setFrame(m_geometry.frame(panelSize()).toAlignedRect());
    updateInputRegion();
}

void EdgeController::updateInputRegion()
{
    if (!m_panel)
        return;
    m_panel->setInputRegion(inputRegion());
    // Tucked, the whole sliver brings the strip out, not only the handle drawn on it; sliding in, only
    // where the sliver will be.
    m_panel->setHoverArea(m_isOut ? QRegion() : tuckedArea());
}

void EdgeController::layoutContent()
{
    if (m_panel)
        m_panel->layoutContent();
}

// MARK: pointer

void EdgeController::handlePointer(std::optional<QPointF> point, QSizeF viewSize)
{
    if (!m_isOut) {
        if (point)
            bringOut();
        return;
    }
    const auto z = point ? zone(*point, viewSize) : EdgeLayout::Zone::outside();
    if (z == m_lastZone)
        return;
    m_lastZone = z;
    m_openTask.cancel();

    if (!z.isOutside()) {
        cancelTuck();
        cancelFold();
        if (m_announcedUntil) {
            // The user has taken over an announced card.
            m_announcedUntil.reset();
            m_context.watch(m_openService);
        }
    }

    const auto items = stripItems();
    if (!z.isSlot() || z.index >= items.size()) {
        setHoveredItem(std::nullopt);
        if (z.isOutside()) {
            scheduleClose(closeDelay);
            scheduleTuck();
            scheduleFold();
        } else {
            cancelClose();
        }
        return;
    }
    const StripItem item = items.at(z.index);
    setHoveredItem(item);
    cancelClose();
    switch (item.kind()) {
    case StripItem::Kind::settings:
        if (m_openService)
            m_openTask.start(m_scheduler, this, switchDelay, [this]() { closeCard(); });
        break;
    case StripItem::Kind::more:
        m_openTask.start(m_scheduler, this, openDelay, [this]() { unfold(); });
        break;
    case StripItem::Kind::service: {
        const KitService tool = *item.tool();
        if (m_context.edgeTrigger() == EdgeTrigger::click || m_openService == tool)
            break;
        const Duration delay = m_openService ? switchDelay : openDelay;
        m_openTask.start(m_scheduler, this, delay, [this, tool]() { open(tool, true); });
        break;
    }
    }
}

void EdgeController::handleMouseDown(QPointF point, QSizeF viewSize)
{
    if (!m_isOut) {
        bringOut();
        return;
    }
    const auto z = zone(point, viewSize);
    const auto items = stripItems();
    if (!z.isSlot() || z.index >= items.size())
        return;
    const StripItem item = items.at(z.index);
    switch (item.kind()) {
    case StripItem::Kind::more:
        unfold();
        break;
    case StripItem::Kind::settings:
        closeCard();
        if (m_showSettings)
            m_showSettings(std::nullopt);
        break;
    case StripItem::Kind::service: {
        const KitService tool = *item.tool();
        if (m_context.edgeTrigger() == EdgeTrigger::click && m_openService == tool)
            closeCard();
        else
            open(tool, true);
        break;
    }
    }
}

// MARK: open and close

void EdgeController::open(KitService service, bool userInitiated)
{
    if (userInitiated) {
        m_announcedUntil.reset();
        m_context.watch(service);
    }
    if (!m_panel || m_openService == service)
        return;
    if (!stripItems().contains(StripItem::service(service)))
        unfold();
    m_openTask.cancel();
    cancelClose();
    m_shrinkTask.cancel();
    cancelTuck();
    cancelFold();
    m_panel->setAllowsKey(true);
    ++m_transitionGeneration;

    if (!m_openService) {
        const int generation = m_transitionGeneration;
        const QRect frame = m_geometry.frame(openPanelSize()).toAlignedRect();
        if (m_panel->frame() != frame) {
            m_panel->setFrame(frame);
            updateInputRegion();
        }
        setCardMoves(false);
        setShownService(service);
        layoutContent();
        m_scheduler.nextTurn(this, [this, generation, service]() {
            if (!m_panel || m_transitionGeneration != generation)
                return;
            setOpenService(service);
            // A frame change in between (a display change) may have shrunk the window.
            applyFrame();
            if (!m_announcedUntil && currentZone().isOutside())
                scheduleClose(closeDelay);
            startWatching();
        });
        return;
    }
    setCardMoves(true);
    setShownService(service);
    setOpenService(service);
}

void EdgeController::closeCard()
{
    if (!m_openService || !m_panel)
        return;
    ++m_transitionGeneration;
    m_openTask.cancel();
    cancelClose();
    m_watchTask.cancel();
    m_panel->setAllowsKey(false);
    setOpenService(std::nullopt);
    m_announcedUntil.reset();
    m_context.clearWatching();
    m_shrinkTask.start(m_scheduler, this, shrinkDelay, [this]() {
        if (m_openService || !m_panel)
            return;
        // A fold's release that found this card open left the unfolded height behind.
        settleUnfoldedHold();
        applyFrame();
        if (currentZone().isOutside()) {
            scheduleFold();
            scheduleTuck();
        } else {
            startWatching();
        }
    });
}

void EdgeController::scheduleClose(Duration delay)
{
    m_closeTask.start(m_scheduler, this, delay, [this]() {
        if (currentZone().isOutside())
            closeCard();
    });
}

void EdgeController::cancelClose()
{
    m_closeTask.cancel();
}

// MARK: out and in

void EdgeController::bringOut()
{
    cancelTuck();
    m_retractTask.cancel();
    if (m_isOut || !m_panel)
        return;
    m_holdsStrip = true;
    // A retract overtaken before its shrink leaves no reason to keep the unfolded height.
    settleUnfoldedHold();
    applyFrame();
    layoutContent();
    m_lastZone = EdgeLayout::Zone::outside();
    m_scheduler.nextTurn(this, [this]() {
        if (!m_panel || !m_holdsStrip)
            return;
        setIsOut(true);
        startWatching();
    });
}

void EdgeController::retract()
{
    if (!m_context.tucksAway() || !m_isOut || m_openService)
        return;
    cancelTuck();
    cancelFold();
    m_foldReleaseTask.cancel();
    m_unfoldTask.cancel();
    setIsOut(false);
    setIsUnfolded(false);
    setHoveredItem(std::nullopt);
    m_lastZone = EdgeLayout::Zone::outside();
    m_retractTask.start(m_scheduler, this, retractDelay, [this]() {
        if (m_isOut || m_openService)
            return;
        m_holdsStrip = false;
        m_holdsUnfolded = false;
        applyFrame();
    });
}

void EdgeController::scheduleTuck()
{
    if (!m_context.tucksAway() || !m_isOut)
        return;
    m_tuckTask.start(m_scheduler, this, tuckDelay, [this]() {
        if (!m_openService && currentZone().isOutside())
            retract();
    });
}

void EdgeController::cancelTuck()
{
    m_tuckTask.cancel();
}

void EdgeController::tucksAwayChanged()
{
    if (m_context.tucksAway()) {
        if (!m_openService && currentZone().isOutside())
            retract();
    } else {
        bringOut();
    }
}

// MARK: unfold and fold

void EdgeController::unfold()
{
    cancelFold();
    m_foldReleaseTask.cancel();
    if (!stripItems().contains(StripItem::more()) || m_isUnfolded || !m_panel)
        return;
    m_holdsUnfolded = true;
    applyFrame();
    layoutContent();
    m_unfoldTask.start(m_scheduler, this, Duration(0), [this]() {
        if (!m_panel || !m_holdsUnfolded)
            return;
        setIsUnfolded(true);
        startWatching();
    });
}

void EdgeController::scheduleFold()
{
    if (!m_isUnfolded)
        return;
    m_foldTask.start(m_scheduler, this, foldDelay, [this]() {
        if (!m_openService && currentZone().isOutside())
            fold();
    });
}

void EdgeController::fold()
{
    if (!m_isUnfolded || m_openService)
        return;
    cancelFold();
    m_unfoldTask.cancel();
    setIsUnfolded(false);
    setHoveredItem(std::nullopt);
    m_lastZone = EdgeLayout::Zone::outside();
    m_foldReleaseTask.start(m_scheduler, this, foldReleaseDelay, [this]() {
        if (m_isUnfolded || m_openService)
            return;
        m_holdsUnfolded = false;
        applyFrame();
    });
}

void EdgeController::settleUnfoldedHold()
{
    if (!m_isUnfolded && !m_unfoldTask.isPending() && !m_foldReleaseTask.isPending())
        m_holdsUnfolded = false;
}

void EdgeController::cancelFold()
{
    m_foldTask.cancel();
}

// MARK: announcements and re-placement

void EdgeController::announce(KitService service)
{
    if (!allItems().contains(StripItem::service(service)))
        return;
    if (!currentZone().isOutside())
        return;
    m_announcedUntil = m_scheduler.now() + announcementHold;
    bringOut();
    open(service, false);
    scheduleClose(announcementHold);
}

void EdgeController::placementChanged()
{
    closeCard();
    m_shrinkTask.cancel();
    setGeometry(m_context.geometry());
    if (m_panel)
        m_panel->setSide(m_geometry.side);
    m_lastZone = EdgeLayout::Zone::outside();
    setHoveredItem(std::nullopt);
    applyFrame();
}

void EdgeController::screenParametersChanged()
{
    setGeometry(m_context.geometry());
    applyFrame();
}

void EdgeController::stripItemsChanged()
{
    if (m_openService && !m_context.enabledServices().contains(*m_openService))
        closeCard();
    cancelFold();
    m_foldReleaseTask.cancel();
    m_unfoldTask.cancel();
    setIsUnfolded(false);
    m_holdsUnfolded = false;
    m_lastZone = EdgeLayout::Zone::outside();
    setHoveredItem(std::nullopt);
    applyFrame();
    Q_EMIT itemsChanged();
}

// MARK: watch loop

void EdgeController::startWatching()
{
    m_watchTask.start(m_scheduler, this, watchInterval, [this]() { watchTick(); });
}

void EdgeController::watchTick()
{
    // Acts on a pointer outside the panel whether or not its exit was reported.
    const bool outUnderTuck = m_context.tucksAway() && m_isOut;
    if (!m_openService && !m_isUnfolded && !outUnderTuck)
        return;
    if (currentZone().isOutside()) {
        if (!m_openService) {
            if (!m_tuckTask.isPending())
                scheduleTuck();
            if (!m_foldTask.isPending())
                scheduleFold();
        } else if (!m_closeTask.isPending()) {
            scheduleClose(closeDelay);
        }
    }
    m_watchTask.start(m_scheduler, this, watchInterval, [this]() { watchTick(); });
}

} // namespace brenvo
