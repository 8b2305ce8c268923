// The panel's views and glue on the offscreen platform: exit rule, strip tiles, card reel, root view,
// animation curves, the surface's toggle, the settings observers and the content read from a real
// tool store.
#include "app/core/MemoryDefaults.h"
#include "app/core/PreferencesStore.h"
#include "cards/ConnectCard.h"
#include "cards/ServiceBadge.h"
#include "edge/DevKitStripView.h"
#include "edge/EdgeAnimation.h"
#include "edge/EdgeAssembly.h"
#include "edge/EdgeCardReel.h"
#include "edge/EdgeHostingView.h"
#include "edge/EdgePanel.h"
#include "edge/EdgePreferencesContext.h"
#include "edge/EdgeRootView.h"
#include "edge/EdgeStoreContent.h"
#include "edge/EdgeSurface.h"
#include "store/DevKitStore.h"
#include "support/FakeEdge.h"
#include "support/FakeSecretStore.h"
#include "support/FakeToolSources.h"
#include "support/ManualScheduler.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace brenvo;
using brenvo::test::FakeEdgeContent;
using brenvo::test::FakeEdgeContext;
using brenvo::test::FakeEdgeWindow;
using brenvo::test::ManualScheduler;

TEST(EdgeExitRule, OnlyTheScreenSideEdgeKeepsThePointer)
{
    // Up to 2 points beyond the screen-side edge, within the height, is 1 point inside; nothing else.
    const std::vector<std::tuple<QPointF, EdgeSide, std::optional<QPointF>>> table {
        {{46, 100}, EdgeSide::right, QPointF(43, 100)}, {{44, 222}, EdgeSide::right, QPointF(43, 222)},
        {{47, 100}, EdgeSide::right, std::nullopt}, {{45, -1}, EdgeSide::right, std::nullopt},
        {{-1, 100}, EdgeSide::right, std::nullopt}, {{-2, 50}, EdgeSide::left, QPointF(1, 50)},
        {{-3, 50}, EdgeSide::left, std::nullopt}, {{45, 50}, EdgeSide::left, std::nullopt}};
    for (const auto& [point, side, inside] : table)
        EXPECT_EQ(EdgeHostingView::edgeExitPoint(point, QSizeF(44, 222), side), inside)
            << point.x() << "," << point.y();
}

TEST(EdgeStripTiles, TilesSitSixPointsFromTheScreenEdgeOnTheirSlots)
{
    FakeEdgeContent content;
    DevKitStripView strip(content);
    strip.resize(44, 222);
    strip.setItems(StripItem::items(content.services, 4, false));
    EXPECT_EQ(strip.tileRect(0), QRect(12, 22, 26, 26));
    strip.setSide(EdgeSide::left);
    EXPECT_EQ(strip.tileRect(0), QRect(6, 22, 26, 26));
    // Each tile's centre is its slot's centre in the hit-test layout.
    const auto layout = EdgeMetrics::layout({44, 222}, 5, EdgeSide::left);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(QRectF(strip.tileRect(i)).center().y(), layout.slotCenterY(i));

    // The open tool and the hovered tile are lit at once; the more tile lights alone.
    strip.setOpenService(KitService::vercel);
    strip.setHoveredItem(StripItem::service(KitService::github));
    EXPECT_TRUE(strip.isLit(StripItem::service(KitService::vercel))
        && strip.isLit(StripItem::service(KitService::github)));
    strip.setOpenService(std::nullopt);
    strip.setHoveredItem(StripItem::more());
    EXPECT_TRUE(strip.isLit(StripItem::more()) && !strip.isLit(StripItem::service(KitService::github)));
}

TEST(EdgeCardReelPlacement, SelectedCardFillsTheReelOthersWholePitchesAway)
{
    EXPECT_EQ(EdgeCardReel::placement(2, 2, 206, {292, 178}), QRectF(0, 0, 292, 178));
    EXPECT_EQ(EdgeCardReel::placement(0, 2, 206, {292, 178}), QRectF(0, -412, 292, 178));
    EXPECT_EQ(EdgeCardReel::placement(3, 2.5, 206, {292, 178}), QRectF(0, 103, 292, 178));

    EdgeCardReel reel;
    reel.resize(292, 178);
    QList<QWidget*> cards;
    for (int i = 0; i < 3; ++i)
        cards.append(new QLabel(QString::number(i)));
    reel.setCards(cards);
    reel.setPitch(206);
    reel.setPosition(1);
    EXPECT_EQ(cards[1]->geometry(), QRect(0, 0, 292, 178));
    EXPECT_FALSE(cards[1]->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_TRUE(cards[0]->testAttribute(Qt::WA_TransparentForMouseEvents)); // only the shown card takes hits
    EXPECT_TRUE(cards[0]->isHidden());
}

TEST(EdgeCurves, SpringsSettleOnTheirTargetAndEasesAreMonotonic)
{
    const EdgeCurve open = EdgeCurve::spring(0.34, 0.82);
    EXPECT_DOUBLE_EQ(open.progress(0), 0);
    EXPECT_DOUBLE_EQ(open.progress(1), 1);
    double peak = 0;
    for (int i = 0; i <= 100; ++i)
        peak = std::max(peak, open.progress(i / 100.0));
    EXPECT_GT(peak, 1.0); // a light overshoot
    EXPECT_LT(peak, 1.02); // damped at 0.82
    EXPECT_LT(EdgeCurve::easeIn(0.16).progress(0.5), 0.5);
    EXPECT_GT(EdgeCurve::easeOut(0.18).progress(0.5), 0.5);
}

namespace {

// The real window and views on the offscreen platform, driven by the controller on virtual time.
class EdgeViewsTest : public ::testing::Test {
protected:
    FakeEdgeContext context;
    FakeEdgeContent content;
    ManualScheduler scheduler;
    QPointF mouse {100, 100};
    std::unique_ptr<EdgeController> edge;

    void SetUp() override
    {
        edge = std::make_unique<EdgeController>(
            context, scheduler, edgePanelFactory(context, content), [this]() { return mouse; });
    }
    EdgePanel* panel() const { return static_cast<EdgePanel*>(edge->panel()); }
    EdgeRootView* root() const { return static_cast<EdgeRootView*>(panel()->hostingView()->rootView()); }
};

} // namespace

TEST_F(EdgeViewsTest, RootViewFollowsTheControllerAndThePanelNeverTakesFocus)
{
    edge->install();
    ASSERT_NE(root(), nullptr);
    EXPECT_EQ(panel()->frame(), QRect(1876, 429, 44, 222));
    EXPECT_EQ(root()->size(), QSize(44, 222));
    EXPECT_EQ(content.cardsMade, 4);
    EXPECT_EQ(root()->stripView()->geometry(), QRect(0, 0, 44, 222));
    EXPECT_EQ(root()->stripView()->items(), edge->stripItems());
    EXPECT_TRUE(panel()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(panel()->testAttribute(Qt::WA_TranslucentBackground));
    // Cards draw uncoloured text in the inherited foreground: on the dark panel it must be white,
    // whatever the desktop theme says.
    EXPECT_EQ(panel()->palette().color(QPalette::WindowText), QColor(Qt::white));

    // The hosting view's reports reach the controller.
    edge->open(KitService::stripe, true);
    EXPECT_TRUE(panel()->allowsKey());
    EXPECT_TRUE(panel()->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus)); // flags never change
    scheduler.runPending();
    EXPECT_EQ(root()->size(), QSize(388, 222));
    root()->finishAnimations();
    EXPECT_EQ(root()->cardFrame(), QRectF(16, 8, 320, 206));
    EXPECT_EQ(root()->reel()->position(), 2);
    EXPECT_TRUE(root()->cardContainer()->isVisible());
    EXPECT_EQ(panel()->inputRegion().boundingRect(), QRect(14, 6, 374, 210).united(QRect(342, 0, 46, 222)));

    // Moving the card scrolls the reel to the next card.
    edge->open(KitService::claude, true);
    root()->finishAnimations();
    EXPECT_EQ(root()->reel()->position(), 3);

    // Folding hides the live card; it is drawn as a shrinking picture until it vanishes.
    edge->closeCard();
    EXPECT_FALSE(panel()->allowsKey());
    EXPECT_FALSE(root()->cardContainer()->isVisible());
    EXPECT_FALSE(panel()->grab().toImage().isNull());
    edge->uninstall();
}

TEST(EdgeSurfaceToggle, FlipsTuckAwayOnlyWithAControllerAndThePanelFollows)
{
    MemoryDefaults defaults;
    PreferencesStore preferences(defaults);
    ManualScheduler scheduler;
    FakeEdgeWindow::Log window;
    EdgePreferencesContext context(preferences);
    EdgeSurface surface("Edge", preferences);
    surface.toggle();
    EXPECT_FALSE(preferences.tucksAway()); // no controller yet

    QPointF mouse(100, 100);
    auto controller = std::make_unique<EdgeController>(
        context, scheduler, [&](EdgeController&) { return std::make_unique<test::FakeEdgeWindow>(window); },
        [&]() { return mouse; });
    connectEdgePreferences(*controller, preferences);
    surface.start(std::move(controller));

    surface.toggle();
    EXPECT_TRUE(preferences.tucksAway());
    EXPECT_FALSE(surface.controller()->isOut()); // retracted at once: the pointer is away
    surface.toggle();
    EXPECT_FALSE(preferences.tucksAway());
    scheduler.runPending();
    EXPECT_TRUE(surface.controller()->isOut());

    // Settings observers: side, limit and enabled tools re-place and re-count the strip.
    preferences.setEdgeSide(EdgeSide::left);
    EXPECT_EQ(window.side, EdgeSide::left);
    EXPECT_EQ(window.frames.back().x(), surface.controller()->geometry().screenFrame.x());
    preferences.setPanelLimit(2);
    EXPECT_EQ(surface.controller()->stripItems().size(), 4);
    EXPECT_EQ(window.frames.back().height(), 184);

    surface.stop();
    EXPECT_EQ(surface.controller(), nullptr);
    EXPECT_TRUE(window.destroyed);
    surface.toggle();
    EXPECT_FALSE(preferences.tucksAway());
}

namespace {

class EdgeStoreContentTest : public ::testing::Test {
protected:
    MemoryDefaults defaults;
    PreferencesStore preferences {defaults};
    test::FakeSecretStore secrets;
    ManualScheduler scheduler;

    FakeEdgeWindow::Log window;
    test::FakeEdgeContext context;
    std::unique_ptr<EdgeController> panel;

    EdgeController& installPanel()
    {
        panel = std::make_unique<EdgeController>(
            context, scheduler, [this](EdgeController&) { return std::make_unique<FakeEdgeWindow>(window); },
            []() { return QPointF(0, 0); });
        panel->install();
        return *panel;
    }

    std::unique_ptr<DevKitStore> store(bool mock)
    {
        return std::make_unique<DevKitStore>(preferences, secrets, scheduler, mock, DevKitStore::Sources {});
    }
};

} // namespace

TEST_F(EdgeStoreContentTest, SampleDataShowsEveryToolsSignalAndTheWorstUnseenOnTheHandle)
{
    auto kit = store(true);
    EdgeStoreContent content(*kit, scheduler);
    EXPECT_EQ(content.cardServices(), kit->enabledServices());
    for (KitService service : kit->enabledServices()) {
        EXPECT_TRUE(kit->connection(service).isConnected());
        EXPECT_EQ(content.tile(service).signal, content.groupSignal(service))
            << service.rawValue().toStdString();
        EXPECT_NE(content.tile(service).signal, KitSignal::disconnected);
    }
    EXPECT_EQ(content.handleSignal(), std::nullopt); // nothing unseen

    // The strip makes each badge as it is: no ring is drawn on as if the tool had just connected.
    DevKitStripView strip(content);
    strip.setItems(StripItem::items(kit->enabledServices(), 8, false));
    const auto badges = strip.findChildren<ServiceBadge*>();
    EXPECT_EQ(badges.size(), kit->enabledServices().size());
    for (const ServiceBadge* badge : badges)
        EXPECT_EQ(badge->drawn(), 1) << badge->service().rawValue().toStdString();

    // An announcement going away opens nothing.
    EdgeController& edge = installPanel();
    connectEdgeStore(edge, *kit);
    ASSERT_FALSE(kit->announcement().has_value());
    Q_EMIT kit->announcementChanged();
    scheduler.runPending();
    EXPECT_EQ(window.frames.size(), 1u);
    edge.uninstall();

    QSignalSpy changed(&content, &EdgeContent::changed);
    kit->markUnseen(KitService::vercel);
    EXPECT_GE(changed.count(), 1);
    EXPECT_TRUE(content.tile(KitService::vercel).isFresh);
    EXPECT_EQ(content.handleSignal(), content.groupSignal(KitService::vercel));
}

TEST_F(EdgeStoreContentTest, ToolsWithoutConnectionAreGreyAndOfferTheirSettings)
{
    auto kit = store(false);
    EdgeStoreContent content(*kit, scheduler);
    kit->markUnseen(KitService::github);
    EXPECT_EQ(content.tile(KitService::github).signal, KitSignal::disconnected);
    EXPECT_TRUE(content.tile(KitService::github).isFresh);
    EXPECT_EQ(content.handleSignal(), std::nullopt); // a disconnected tool never colours the handle

    // The connect card closes the open card, then asks for the tool's settings page.
    EdgeController& edge = installPanel();
    std::vector<std::optional<KitService>> pages;
    edge.setShowSettings([&](std::optional<KitService> page) { pages.push_back(page); });
    content.setController(&edge);
    edge.open(KitService::github, true);
    scheduler.runPending();

    std::unique_ptr<QWidget> card(content.makeCard(KitService::github, nullptr));
    auto* connect = qobject_cast<ConnectCard*>(card.get());
    ASSERT_NE(connect, nullptr);
    connect->settingsButton()->click();
    EXPECT_EQ(edge.openService(), std::nullopt);
    EXPECT_EQ(pages, (std::vector<std::optional<KitService>> {KitService::github}));

    // Badges follow the tile state.
    std::unique_ptr<QWidget> badge(content.makeBadge(KitService::github, false, nullptr));
    content.updateBadge(badge.get(), KitService::github, true);
    const ServiceBadge::State state = qobject_cast<ServiceBadge*>(badge.get())->state();
    EXPECT_TRUE(state.isLit && state.isFresh);
    EXPECT_EQ(state.signal, KitSignal::disconnected);
    edge.uninstall();
}

TEST_F(EdgeStoreContentTest, AToolThatComesOrGoesRebuildsOnlyItsOwnCard)
{
    DevKitStore::Sources sources;
    sources.activity.insert(KitService::github, std::make_shared<test::FakeActivitySource>());
    DevKitStore kit(preferences, secrets, scheduler, false, sources);
    EdgeStoreContent content(kit, scheduler);
    context.enabled = kit.enabledServices();
    panel = std::make_unique<EdgeController>(
        context, scheduler, edgePanelFactory(context, content), []() { return QPointF(0, 0); });
    panel->install();
    const EdgeCardReel* reel
        = static_cast<EdgeRootView*>(static_cast<EdgePanel*>(panel->panel())->hostingView()->rootView())
              ->reel();
    for (const bool connecting : {true, false}) {
        const QList<QPointer<QWidget>> before = reel->cards();
        if (connecting)
            kit.connect(KitService::github, "test-token-not-real");
        else
            kit.disconnect(KitService::github);
        scheduler.runPending();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_EQ(kit.connection(KitService::github).isConnected(), connecting);
        ASSERT_EQ(reel->cards().size(), before.size());
        for (qsizetype i = 0; i < before.size(); ++i) {
            const bool github = context.enabled.at(i) == KitService::github;
            EXPECT_EQ(reel->cards().at(i) == before.at(i), !github) << i;
            EXPECT_EQ(before.at(i).isNull(), github) << i;
        }
    }
    panel->uninstall();
}
