// The panel's pointer state machine on virtual time, with a fake window, mouse, settings and store.
#include "edge/EdgeController.h"
#include "support/FakeEdge.h"
#include "support/ManualScheduler.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace brenvo;
using brenvo::test::FakeEdgeContext;
using brenvo::test::FakeEdgeWindow;
using brenvo::test::ManualScheduler;
using Zone = EdgeLayout::Zone;

namespace {

// On a 1920 × 1080 screen, right edge, the four default tools and the settings tile (five items).
const QRect stripFrame(1876, 429, 44, 222);
const QRect openFrame(1532, 429, 388, 222);
const QRect tuckedFrame(1910, 508, 10, 64);
// Five tools with a limit of two: two tools, settings and more show.
const QRect foldedFrame(1876, 448, 44, 184);
const QRect unfoldedFrame(1876, 410, 44, 260);
const QRect unfoldedOpenFrame(1532, 410, 388, 260);

class EdgeControllerTest : public ::testing::Test {
protected:
    FakeEdgeContext context;
    FakeEdgeWindow::Log window;
    ManualScheduler scheduler;
    QPointF mouse {100, 100}; // far from the panel
    std::unique_ptr<EdgeController> edge;

    void install()
    {
        edge = std::make_unique<EdgeController>(
            context, scheduler, [this](EdgeController&) { return std::make_unique<FakeEdgeWindow>(window); },
            [this]() { return mouse; });
        edge->install();
        scheduler.runPending();
    }

    void installFolded()
    {
        context.enabled = {KitService::vercel, KitService::cloudflare, KitService::github, KitService::stripe,
            KitService::claude};
        context.limit = 2;
        install();
    }

    QRect frame() const { return window.frames.empty() ? QRect() : window.frames.back(); }
    EdgeLayout layout() const
    {
        return EdgeMetrics::layout(
            frame().size(), static_cast<int>(edge->stripItems().size()), context.placement.side);
    }
    QPointF slotPoint(int i) const { return QPointF(frame().width() - 22, layout().slotCenterY(i)); }
    QPointF cardPoint() const
    {
        return layout().cardFrame(edge->slotIndex(*edge->openService()), EdgeMetrics::cardWidth).center();
    }
    void moveTo(QPointF local)
    {
        mouse = QPointF(frame().topLeft()) + local;
        edge->handlePointer(local, QSizeF(frame().size()));
    }
    void hoverSlot(int i) { moveTo(slotPoint(i)); }
    void leave()
    {
        mouse = QPointF(100, 100);
        edge->handlePointer(std::nullopt, QSizeF(frame().size()));
    }
    void clickSlot(int i)
    {
        mouse = QPointF(frame().topLeft()) + slotPoint(i);
        edge->handleMouseDown(slotPoint(i), QSizeF(frame().size()));
    }
    // Hovers a tool's tile and lets its card open completely.
    void openByHover(int slot)
    {
        hoverSlot(slot);
        scheduler.advance(0.15);
        scheduler.runPending();
    }
};

} // namespace

TEST_F(EdgeControllerTest, HoverOpensAfterADelayGrowingTheWindowFirst)
{
    install();
    EXPECT_TRUE(window.shown);
    // Clicks reach only the strip and its 2-point margin.
    EXPECT_EQ(window.input, QRegion(QRect(0, -2, 44, 226)).intersected(QRect(0, 0, 44, 222)));

    hoverSlot(1); // github
    scheduler.advance(0.14);
    EXPECT_EQ(edge->openService(), std::nullopt);
    scheduler.advance(0.01);
    EXPECT_EQ(edge->openService(), KitService::github);
    EXPECT_TRUE(window.allowsKey);
    EXPECT_EQ(context.watched, (std::vector<std::optional<KitService>> {KitService::github}));
    EXPECT_TRUE(window.input.contains(cardPoint().toPoint()));
    EXPECT_EQ(window.frames, (std::vector<QRect> {stripFrame, openFrame}));
}

TEST_F(EdgeControllerTest, OpenGrowsTheWindowAtOnceAndShowsTheLastOpenOnTheNextTurn)
{
    installFolded();
    const auto layouts = window.layouts;
    edge->open(KitService::vercel, false);
    edge->open(KitService::cloudflare, false);
    EXPECT_EQ(frame(), QRect(1532, 437, 388, 206)); // four items: the card's height wins
    EXPECT_EQ(edge->shownService(), KitService::cloudflare);
    EXPECT_EQ(edge->openService(), std::nullopt);
    EXPECT_GT(window.layouts, layouts);
    QSignalSpy opened(edge.get(), &EdgeController::openServiceChanged);
    scheduler.runPending();
    EXPECT_EQ(edge->openService(), KitService::cloudflare);
    EXPECT_EQ(opened.count(), 1);
    EXPECT_TRUE(context.watched.empty()); // neither was the user's
}

TEST_F(EdgeControllerTest, SameZoneDoesNothingAndANewTileRestartsTheDelay)
{
    install();
    hoverSlot(0);
    scheduler.advance(0.1);
    moveTo(slotPoint(0) + QPointF(3, 4)); // same tile: the pending open keeps its time
    scheduler.advance(0.05);
    EXPECT_EQ(edge->openService(), KitService::vercel);

    // From the open card, resting 0.1 s on another tile moves the card there.
    hoverSlot(2);
    scheduler.advance(0.05);
    hoverSlot(3); // moved on before the delay: only the last tile counts
    scheduler.advance(0.09);
    EXPECT_EQ(edge->openService(), KitService::vercel);
    scheduler.advance(0.01);
    EXPECT_EQ(edge->openService(), KitService::claude);
    EXPECT_TRUE(edge->cardMoves());
    EXPECT_EQ(window.frames, (std::vector<QRect> {stripFrame, openFrame}));
}

TEST_F(EdgeControllerTest, LeavingTheCardClosesItThenShrinksTheWindow)
{
    install();
    openByHover(0);
    moveTo(cardPoint());
    leave();
    scheduler.advance(0.39);
    EXPECT_EQ(edge->openService(), KitService::vercel);
    scheduler.advance(0.01);
    EXPECT_EQ(edge->openService(), std::nullopt);
    EXPECT_FALSE(window.allowsKey);
    scheduler.advance(0.29); // content shrinks first
    EXPECT_EQ(frame(), openFrame);
    scheduler.advance(0.01);
    EXPECT_EQ(frame(), stripFrame);
    EXPECT_EQ(edge->shownService(), KitService::vercel); // the reel keeps its card

    // Coming back within the delay keeps the card.
    openByHover(1);
    leave();
    scheduler.advance(0.2);
    moveTo(cardPoint());
    scheduler.advance(1.0);
    EXPECT_EQ(edge->openService(), KitService::github);

    // The watch loop closes a card whose exit was never reported.
    mouse = QPointF(100, 100);
    scheduler.advance(0.5);
    EXPECT_TRUE(edge->isClosePending());
    scheduler.advance(0.4);
    EXPECT_EQ(edge->openService(), std::nullopt);
    EXPECT_FALSE(edge->isWatching());
}

TEST_F(EdgeControllerTest, ClickTriggerOpensMovesAndClosesOnlyByClicks)
{
    context.trigger = EdgeTrigger::click;
    install();
    hoverSlot(0);
    scheduler.advance(1.0);
    EXPECT_EQ(edge->openService(), std::nullopt);

    clickSlot(0);
    EXPECT_EQ(frame(), openFrame);
    scheduler.runPending();
    EXPECT_EQ(edge->openService(), KitService::vercel);
    clickSlot(2);
    EXPECT_EQ(edge->openService(), KitService::stripe);
    EXPECT_TRUE(edge->cardMoves());
    clickSlot(2); // a second click closes
    EXPECT_EQ(edge->openService(), std::nullopt);
    EXPECT_EQ(
        context.watched, (std::vector<std::optional<KitService>> {KitService::vercel, KitService::stripe}));
}

TEST_F(EdgeControllerTest, SettingsTileClosesByHoverAndOpensSettingsByClick)
{
    install();
    std::vector<std::optional<KitService>> pages;
    edge->setShowSettings([&](std::optional<KitService> page) { pages.push_back(page); });
    hoverSlot(4);
    scheduler.advance(1.0);
    EXPECT_EQ(window.frames.size(), 1u); // with no card, hovering only highlights

    openByHover(0);
    hoverSlot(4);
    scheduler.advance(0.1);
    EXPECT_EQ(edge->openService(), std::nullopt);

    openByHover(1);
    clickSlot(4);
    EXPECT_EQ(edge->openService(), std::nullopt);
    clickSlot(4); // nothing to close: still opens settings
    EXPECT_EQ(pages, (std::vector<std::optional<KitService>> {std::nullopt, std::nullopt}));
}

TEST_F(EdgeControllerTest, MoreTileUnfoldsAndTheFoldAlwaysReleasesTheWindow)
{
    installFolded();
    EXPECT_EQ(frame(), foldedFrame);
    hoverSlot(3);
    scheduler.advance(0.149);
    EXPECT_EQ(frame(), foldedFrame);
    scheduler.advance(0.001);
    EXPECT_EQ(frame(), unfoldedFrame);
    EXPECT_EQ(edge->stripItems().size(), 6);

    // Leaving folds in two steps: the strip, then the window.
    leave();
    scheduler.advance(0.49);
    EXPECT_TRUE(edge->isUnfolded());
    scheduler.advance(0.01);
    EXPECT_FALSE(edge->isUnfolded());
    EXPECT_EQ(frame(), unfoldedFrame);
    scheduler.advance(0.35);
    EXPECT_EQ(frame(), foldedFrame);

    // The pointer back within the window's wait, on the settings tile, still lets the window go.
    hoverSlot(3);
    scheduler.advance(0.15);
    leave();
    scheduler.advance(0.5);
    hoverSlot(2);
    scheduler.advance(0.35);
    EXPECT_FALSE(edge->holdsUnfolded());
    EXPECT_EQ(frame(), foldedFrame);
    EXPECT_EQ(window.input.boundingRect().height(), 184);

    // A card opened before the window's release: the card's close settles it.
    hoverSlot(3);
    scheduler.advance(0.15);
    leave();
    scheduler.advance(0.5);
    hoverSlot(0);
    scheduler.advance(0.15); // the card opens; the release then finds it open
    EXPECT_EQ(frame(), unfoldedOpenFrame);
    scheduler.advance(0.2);
    EXPECT_TRUE(edge->holdsUnfolded());
    leave();
    scheduler.advance(0.4 + 0.3);
    EXPECT_FALSE(edge->holdsUnfolded());
    EXPECT_EQ(frame(), foldedFrame);
}

TEST_F(EdgeControllerTest, AHiddenToolOpensUnfoldedAndItsCloseSettlesTheFold)
{
    installFolded();
    edge->open(KitService::claude, true);
    EXPECT_EQ(frame(), unfoldedOpenFrame);
    scheduler.runPending();
    EXPECT_EQ(edge->slotIndex(KitService::claude), 4);

    // A fold overtaken by an open card: the card's close settles the height.
    moveTo(cardPoint());
    leave();
    scheduler.advance(0.4 + 0.1); // closes, then folds: the leave scheduled it too
    EXPECT_FALSE(edge->isUnfolded());
    scheduler.advance(0.2); // the card's shrink keeps the unfolded height for the fold's release
    EXPECT_EQ(frame(), unfoldedFrame);
    scheduler.advance(0.15);
    EXPECT_EQ(frame(), foldedFrame);

    // Disabling the open tool closes it and folds; the window shrinks straight to the folded strip.
    edge->open(KitService::claude, true);
    scheduler.runPending();
    context.enabled.removeAll(KitService::claude);
    edge->stripItemsChanged();
    EXPECT_EQ(edge->openService(), std::nullopt);
    EXPECT_FALSE(edge->holdsUnfolded());
    scheduler.advance(0.3);
    EXPECT_EQ(frame(), foldedFrame);
}

TEST_F(EdgeControllerTest, PointerPressedAgainstTheScreenEdgeCountsAsOverThePanelOnEitherSide)
{
    install();
    const double y = stripFrame.top() + slotPoint(0).y();
    mouse = QPointF(1920 + 2, y);
    EXPECT_EQ(edge->currentZone(), Zone::slot(0));
    mouse = QPointF(1920 + 3, y);
    EXPECT_EQ(edge->currentZone(), Zone::outside());

    // Moving to the other side closes the card; the close's shrink is dropped.
    openByHover(0);
    context.placement.side = EdgeSide::left;
    edge->placementChanged();
    EXPECT_EQ(edge->openService(), std::nullopt);
    EXPECT_EQ(frame(), QRect(0, 429, 44, 222));
    scheduler.advance(1.0);
    EXPECT_EQ(frame(), QRect(0, 429, 44, 222));
    mouse = QPointF(-2, y);
    EXPECT_EQ(edge->currentZone(), Zone::slot(0));
}

TEST_F(EdgeControllerTest, TuckAwayRetractsWithThePointerOutsideAndTheSliverBringsItOut)
{
    install();
    hoverSlot(0);
    context.tucked = true;
    edge->tucksAwayChanged();
    EXPECT_TRUE(edge->isOut()); // the pointer is on the panel: its leaving tucks
    leave();
    scheduler.advance(0.5);
    EXPECT_FALSE(edge->isOut());

    context.tucked = false;
    edge->tucksAwayChanged();
    scheduler.advance(0.3); // the retract's shrink was cancelled
    EXPECT_EQ(frame(), stripFrame);
    EXPECT_TRUE(edge->isOut());

    context.tucked = true;
    edge->tucksAwayChanged(); // pointer outside: at once
    EXPECT_FALSE(edge->isOut());
    scheduler.advance(0.3);
    EXPECT_EQ(frame(), tuckedFrame);
    EXPECT_EQ(window.input, QRegion(0, 0, 10, 64)); // the whole sliver takes the pointer
    EXPECT_EQ(window.hover, window.input); // also where only the handle is drawn

    mouse = QPointF(1915, 540);
    edge->handlePointer(QPointF(5, 32), QSizeF(10, 64));
    EXPECT_EQ(frame(), stripFrame); // the window first, the strip on the next turn
    EXPECT_FALSE(edge->isOut());
    scheduler.runPending();
    EXPECT_TRUE(edge->isOut());
    EXPECT_TRUE(window.hover.isEmpty()); // out, the pointer reaches what is drawn
    hoverSlot(4);
    leave();
    scheduler.advance(0.8);
    EXPECT_EQ(frame(), tuckedFrame);
    edge->handleMouseDown(QPointF(5, 32), QSizeF(10, 64)); // a click on the sliver too
    EXPECT_EQ(frame(), stripFrame);
}

TEST_F(EdgeControllerTest, SlidingInAfterACardOnlyTheStripAndTheSliverTakeThePointerOnEitherSide)
{
    context.tucked = true;
    install();
    // Out through the sliver, a card, then the pointer rests in the card's window on nothing drawn.
    auto tuckAfterACard = [&](QPointF rest) {
        edge->handlePointer(QPointF(5, 32), QSizeF(10, 64));
        scheduler.runPending();
        openByHover(1);
        moveTo(rest);
        scheduler.advance(0.5); // the card closes, then the strip starts to slide in
        EXPECT_FALSE(edge->isOut());
    };
    tuckAfterACard(QPointF(5, 111));
    EXPECT_EQ(frame(), openFrame);
    EXPECT_EQ(window.input, QRegion(342, 0, 46, 222)); // the strip with its margin
    EXPECT_EQ(window.hover, QRegion(378, 79, 10, 64)); // where the tucked window will be
    scheduler.advance(0.2);
    EXPECT_EQ(frame(), stripFrame);
    EXPECT_EQ(window.hover, QRegion(34, 79, 10, 64));
    scheduler.advance(0.1);
    EXPECT_EQ(frame(), tuckedFrame);
    EXPECT_EQ(window.hover, QRegion(0, 0, 10, 64));

    context.placement.side = EdgeSide::left;
    edge->placementChanged();
    tuckAfterACard(QPointF(383, 111));
    EXPECT_EQ(frame(), QRect(0, 429, 388, 222));
    EXPECT_EQ(window.input, QRegion(0, 0, 46, 222));
    EXPECT_EQ(window.hover, QRegion(0, 79, 10, 64));
}

TEST_F(EdgeControllerTest, AnnouncementHoldsTheCardFiveSeconds)
{
    context.tucked = true;
    install();
    edge->announce(KitService::polar); // not enabled
    EXPECT_EQ(window.frames, std::vector<QRect> {tuckedFrame});
    edge->announce(KitService::stripe);
    EXPECT_EQ(frame(), openFrame);
    scheduler.runPending();
    EXPECT_TRUE(context.watched.empty());
    scheduler.advance(4.99);
    EXPECT_EQ(edge->openService(), KitService::stripe);
    scheduler.advance(0.01);
    EXPECT_EQ(edge->openService(), std::nullopt);
    scheduler.advance(0.3 + 0.5 + 0.3); // tucks again
    EXPECT_EQ(frame(), tuckedFrame);
}

TEST_F(EdgeControllerTest, ThePointerTakesAnAnnouncementOverOrKeepsItAway)
{
    install();
    hoverSlot(0);
    edge->announce(KitService::stripe); // the user is on the panel
    scheduler.runPending();
    EXPECT_EQ(window.frames.size(), 1u);
    leave();

    edge->announce(KitService::stripe);
    scheduler.advance(1.0);
    moveTo(cardPoint());
    EXPECT_FALSE(edge->holdsAnnouncement());
    EXPECT_EQ(context.watched, (std::vector<std::optional<KitService>> {KitService::stripe}));
    scheduler.advance(10);
    EXPECT_EQ(edge->openService(), KitService::stripe); // the 5 s close finds the pointer there
    leave();
    scheduler.advance(0.4 + 1.0);
    EXPECT_EQ(edge->openService(), std::nullopt);

    // A click on the announced tool's tile only takes the announcement over.
    context.watched.clear();
    edge->announce(KitService::stripe);
    scheduler.runPending();
    const auto frames = window.frames.size();
    clickSlot(2);
    EXPECT_FALSE(edge->holdsAnnouncement());
    EXPECT_EQ(edge->openService(), KitService::stripe);
    EXPECT_EQ(window.frames.size(), frames);
    EXPECT_EQ(context.watched, (std::vector<std::optional<KitService>> {KitService::stripe}));
}

TEST_F(EdgeControllerTest, ScreenChangesReplaceThePanelOnceAndNeverClipACard)
{
    install();
    const int reads = context.geometryReads;
    QScreen* screen = QGuiApplication::primaryScreen();
    context.placement.visibleFrame = QRectF(0, 0, 1920, 1040);
    Q_EMIT screen->geometryChanged(screen->geometry());
    Q_EMIT screen->availableGeometryChanged(screen->availableGeometry());
    EXPECT_EQ(context.geometryReads, reads);
    scheduler.runPending();
    EXPECT_EQ(context.geometryReads, reads + 1);
    EXPECT_EQ(frame(), QRect(1876, 409, 44, 222));

    // A change before the card shows: the strip now, the card's whole height on the next turn.
    QSignalSpy moved(edge.get(), &EdgeController::geometryChanged);
    edge->open(KitService::github, true);
    context.placement.visibleFrame = QRectF(0, 40, 1920, 1040);
    edge->screenParametersChanged();
    EXPECT_EQ(frame(), QRect(1876, 449, 44, 222));
    scheduler.runPending();
    EXPECT_EQ(frame(), QRect(1532, 449, 388, 222));
    EXPECT_EQ(moved.count(), 1);
    EXPECT_EQ(edge->openService(), KitService::github);

    // Gone with the panel.
    const int before = context.geometryReads;
    edge->uninstall();
    Q_EMIT screen->geometryChanged(screen->geometry());
    scheduler.runPending();
    EXPECT_EQ(context.geometryReads, before);
}

TEST_F(EdgeControllerTest, NothingRunsAfterUninstall)
{
    context.tucked = true;
    install();
    edge->handlePointer(QPointF(5, 32), QSizeF(10, 64)); // bring out: next turn pending
    edge->open(KitService::vercel, true); // deferred open pending
    const auto frames = window.frames.size();
    edge->uninstall();
    EXPECT_TRUE(window.destroyed);
    scheduler.advance(10);
    EXPECT_EQ(edge->openService(), std::nullopt);
    EXPECT_EQ(window.frames.size(), frames);
    // Without a panel, everything is a no-op.
    edge->bringOut();
    edge->open(KitService::github, false);
    edge->closeCard();
    scheduler.advance(1);
    EXPECT_EQ(edge->currentZone(), Zone::outside());
    EXPECT_EQ(edge->openService(), std::nullopt);

    // Steps that outlive the controller itself do nothing either.
    install();
    edge->open(KitService::vercel, true);
    edge.reset();
    scheduler.advance(10);
}
