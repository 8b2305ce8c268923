// The panel's views and glue on the offscreen platform: exit rule, strip tiles with their motion and
// names, card reel, root view and its outline, animation curves, the surface's toggle, the settings
// observers and the content read from a real tool store.
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
#include "support/QtPrinting.h"

#include <QAccessible>
#include <QLabel>
#include <QPainter>
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
    ManualScheduler clock;
    DevKitStripView strip(content, clock);
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

namespace {

std::optional<DevKitStripView::TileLook> lookOf(const DevKitStripView& strip, StripItem item)
{
    for (const auto& look : strip.tileLooks()) {
        if (look.item == item)
            return look;
    }
    return std::nullopt;
}

// What the strip paints, its black fill counting nothing.
double brightness(const DevKitStripView& strip, const QRect& area)
{
    const QImage image = const_cast<DevKitStripView&>(strip).grab().toImage();
    double sum = 0;
    const QRect r = area & image.rect();
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x)
            sum += qGray(image.pixel(x, y));
    }
    return sum;
}

} // namespace

TEST(EdgeStripMotion, ARemovedTileFadesAndShrinksInPlaceWhileTheOthersSlideUp)
{
    ManualScheduler clock;
    FakeEdgeContent content;
    DevKitStripView strip(content, clock);
    strip.resize(44, 300);
    strip.setItems(StripItem::items(content.services, 4, false));
    EXPECT_FALSE(strip.isAnimating()); // the first list is shown as it is
    EXPECT_EQ(clock.pendingCount(), 0);
    const QRect all = strip.rect();
    const double before = brightness(strip, all);

    const auto github = StripItem::service(KitService::github);
    const auto stripe = StripItem::service(KitService::stripe);
    strip.setItems(StripItem::items({KitService::vercel, KitService::stripe, KitService::claude}, 4, false));
    clock.advance(0.08);
    const auto leaving = lookOf(strip, github);
    ASSERT_TRUE(leaving.has_value());
    EXPECT_TRUE(leaving->leaving);
    EXPECT_EQ(leaving->rect, QRectF(strip.tileRect(1))); // where it was
    EXPECT_GT(leaving->opacity, 0.05);
    EXPECT_LT(leaving->opacity, 0.95);
    EXPECT_GT(leaving->scale, 0.4);
    EXPECT_LT(leaving->scale, 0.97);
    const double midway = brightness(strip, all);

    // Stripe slides from its old slot to github's, without a jump, and comes to rest there.
    double y = lookOf(strip, stripe)->rect.top();
    EXPECT_GT(y, strip.tileRect(1).top());
    EXPECT_LT(y, strip.tileRect(2).top());
    double lowest = y;
    for (int i = 0; i < 60; ++i) {
        clock.advance(0.016);
        const double next = lookOf(strip, stripe)->rect.top();
        EXPECT_LT(std::abs(next - y), 8) << i;
        y = next;
        lowest = std::min(lowest, y);
    }
    EXPECT_EQ(y, strip.tileRect(1).top());
    EXPECT_GT(lowest, strip.tileRect(1).top() - 2); // a light overshoot at most

    // Gone at the end; the strip then asks for no more frames.
    EXPECT_FALSE(lookOf(strip, github).has_value());
    EXPECT_FALSE(strip.isAnimating());
    EXPECT_EQ(clock.pendingCount(), 0);
    const double after = brightness(strip, all);
    const double tile = before - after;
    ASSERT_GT(tile, 0);
    EXPECT_LT(midway, before - 0.1 * tile);
    EXPECT_GT(midway, after + 0.1 * tile);

    // Coming back, it grows from 0.4 of its size on its own place.
    strip.setItems(StripItem::items(content.services, 4, false));
    auto coming = lookOf(strip, github);
    ASSERT_TRUE(coming.has_value());
    EXPECT_FALSE(coming->leaving);
    EXPECT_EQ(coming->rect, QRectF(strip.tileRect(1)));
    EXPECT_EQ(coming->opacity, 0);
    EXPECT_DOUBLE_EQ(coming->scale, 0.4);
    clock.advance(1.0);
    coming = lookOf(strip, github);
    EXPECT_EQ(coming->opacity, 1);
    EXPECT_DOUBLE_EQ(coming->scale, 1);
    EXPECT_FALSE(strip.isAnimating());
}

TEST(EdgeStripMotion, TheLitStateEasesOutOverAFraction)
{
    ManualScheduler clock;
    FakeEdgeContent content;
    DevKitStripView strip(content, clock);
    strip.resize(44, 300);
    strip.setItems(StripItem::items(content.services, 4, false));
    const QRect settings = strip.tileRect(4);
    const double unlit = brightness(strip, settings);

    strip.setHoveredItem(StripItem::settings());
    EXPECT_EQ(lookOf(strip, StripItem::settings())->lit, 0);
    clock.advance(0.05);
    // An ease out: two thirds of the way in a third of the time.
    EXPECT_NEAR(lookOf(strip, StripItem::settings())->lit, 1 - std::pow(2.0 / 3, 3), 0.02);
    const double lighter = brightness(strip, settings);
    clock.advance(0.1);
    EXPECT_EQ(lookOf(strip, StripItem::settings())->lit, 1);
    const double lit = brightness(strip, settings);
    EXPECT_GT(lighter, unlit);
    EXPECT_GT(lit, lighter);
    clock.advance(0.02);
    EXPECT_FALSE(strip.isAnimating());
    EXPECT_EQ(clock.pendingCount(), 0);

    // The open tool lights up the same way while the hovered tile goes out.
    strip.setOpenService(KitService::vercel);
    strip.setHoveredItem(std::nullopt);
    clock.advance(0.05);
    EXPECT_GT(lookOf(strip, StripItem::service(KitService::vercel))->lit, 0.5);
    EXPECT_LT(lookOf(strip, StripItem::settings())->lit, 0.5);
    EXPECT_GT(lookOf(strip, StripItem::settings())->lit, 0);
}

namespace {

// Tiles that are the tools' real badges, as the tool store's content makes them.
class BadgeContent : public FakeEdgeContent {
public:
    explicit BadgeContent(Scheduler& clock)
        : m_clock(clock)
    {
    }
    QWidget* makeBadge(KitService service, bool isLit, QWidget* parent) override
    {
        ServiceBadge::State state;
        state.signal = tile(service).signal;
        state.isLit = isLit;
        state.isFresh = tile(service).isFresh;
        return new ServiceBadge(service, state, m_clock, parent);
    }

private:
    Scheduler& m_clock;
};

// One frame of the strip as painted, with where each tile is in it.
struct StripFrame {
    QImage image;
    QList<DevKitStripView::TileLook> looks;
};

// Every frame of a change of the strip's entries, on the strip's own clock, until it is still.
std::vector<StripFrame> framesOf(
    DevKitStripView& strip, ManualScheduler& clock, const QList<StripItem>& items)
{
    std::vector<StripFrame> frames;
    strip.setItems(items);
    for (int i = 0; i < 200 && strip.isAnimating(); ++i) {
        frames.push_back({strip.grab().toImage(), strip.tileLooks()});
        clock.advance(EdgeFrames::interval);
    }
    return frames;
}

// How far a tile in a frame is from its picture at rest, faded and scaled about its centre over the
// strip's black: the largest difference of a colour channel, over the pixels no other tile covers.
int departureFromRest(const StripFrame& frame, const StripItem& item, const QImage& rest)
{
    const auto look = std::find_if(
        frame.looks.cbegin(), frame.looks.cend(), [&](const auto& l) { return l.item == item; });
    if (look == frame.looks.cend())
        return 0;
    QImage expected(frame.image.size(), QImage::Format_ARGB32_Premultiplied);
    expected.fill(Qt::black);
    QPainter p(&expected);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setOpacity(look->opacity);
    const QPointF centre = look->rect.center();
    QTransform scaled;
    scaled.translate(centre.x(), centre.y());
    scaled.scale(look->scale, look->scale);
    scaled.translate(-centre.x(), -centre.y());
    p.setTransform(scaled);
    p.drawImage(look->rect, rest);
    p.end();

    QRegion others;
    for (const auto& other : frame.looks) {
        if (other.item != item && other.opacity > 0)
            others
                += QRectF(other.rect.center() - QPointF(14, 14) * other.scale, QSizeF(28, 28) * other.scale)
                       .toAlignedRect();
    }
    const QRect area = scaled.mapRect(look->rect).toAlignedRect().adjusted(1, 1, -1, -1) & frame.image.rect();
    int worst = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (others.contains(QPoint(x, y)))
                continue;
            const QRgb a = frame.image.pixel(x, y);
            const QRgb b = expected.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                std::abs(qBlue(a) - qBlue(b))});
        }
    }
    return worst;
}

} // namespace

TEST(EdgeStripMotion, TilesComeAndGoLookingAsAtRestOnlyFadedAndScaled)
{
    ManualScheduler clock;
    BadgeContent content(clock);
    content.services
        = {KitService::vercel, KitService::github, KitService::stripe, KitService::claude, KitService::codex};
    content.tiles[KitService::codex] = {KitSignal::attention, std::nullopt, false, true};
    DevKitStripView strip(content, clock);
    strip.resize(44, static_cast<int>(EdgeMetrics::stripHeight(6)));
    const auto folded = StripItem::items(content.services, 4, false);
    const auto unfolded = StripItem::items(content.services, 4, true);
    const auto codex = StripItem::service(KitService::codex);
    strip.setItems(folded);

    // Unfolding: the hidden tool's badge comes in where the settings tile was; folding, it goes.
    const auto unfolding = framesOf(strip, clock, unfolded);
    const QImage rest = strip.grab().toImage().copy(strip.tileRect(4));
    const auto folding = framesOf(strip, clock, folded);
    ASSERT_GT(unfolding.size(), 10u);
    ASSERT_GT(folding.size(), 10u);

    int seen = 0;
    for (const auto* frames : {&unfolding, &folding}) {
        for (size_t i = 0; i < frames->size(); ++i) {
            const StripFrame& frame = frames->at(i);
            const auto look = std::find_if(
                frame.looks.cbegin(), frame.looks.cend(), [&](const auto& l) { return l.item == codex; });
            if (look == frame.looks.cend() || look->opacity <= 0)
                continue;
            ++seen;
            EXPECT_LE(departureFromRest(frame, codex, rest), 12)
                << (frames == &unfolding ? "coming" : "going") << ", frame " << i << ", at opacity "
                << look->opacity << " and scale " << look->scale;
        }
    }
    EXPECT_GT(seen, 10);
}

TEST(EdgeStripAccessibility, EveryTileHasItsName)
{
    ManualScheduler clock;
    FakeEdgeContent content;
    DevKitStripView strip(content, clock);
    strip.resize(44, 300);
    strip.setItems(StripItem::items(content.services, 2, false));
    QAccessibleInterface* a11y = QAccessible::queryAccessibleInterface(&strip);
    ASSERT_NE(a11y, nullptr);
    auto names = [&]() {
        QStringList list;
        for (int i = 0; i < a11y->childCount(); ++i)
            list << a11y->child(i)->text(QAccessible::Name);
        return list;
    };
    // The settings tile is hidden from a screen reader; the tray menu offers the same command.
    EXPECT_EQ(names(), QStringList({"Vercel", "GitHub", "More tools"}));
    for (int i = 0; i < a11y->childCount(); ++i) {
        QAccessibleInterface* tile = a11y->child(i);
        EXPECT_EQ(tile->parent(), a11y);
        EXPECT_EQ(a11y->indexOfChild(tile), i);
        EXPECT_EQ(tile->role(), QAccessible::Button);
        const int place = static_cast<int>(strip.items().indexOf(strip.accessibleItems().at(i)));
        EXPECT_EQ(tile->rect(), QRect(strip.mapToGlobal(strip.tileRect(place).topLeft()), QSize(26, 26)));
    }

    // Unfolding takes the more tile away, and its entry with it.
    const QAccessible::Id more = QAccessible::uniqueId(a11y->child(2));
    strip.setItems(StripItem::items(content.services, 2, true));
    EXPECT_EQ(QAccessible::accessibleInterface(more), nullptr);
    EXPECT_EQ(names(), QStringList({"Vercel", "GitHub", "Stripe", "Claude Code"}));
}

TEST(EdgeCardReelPlacement, SelectedCardFillsTheReelOthersWholePitchesAway)
{
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
    EXPECT_EQ(content.cardsMade, 4);
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

TEST_F(EdgeViewsTest, TheWindowsShapeIsThePaintedOutline)
{
    edge->install();
    // The strip: flared ends and rounded inner corners stay out.
    EXPECT_TRUE(panel()->shapeRegion().contains(QPoint(22, 111)));
    for (const QPoint outside : {QPoint(2, 2), QPoint(1, 12), QPoint(2, 219)})
        EXPECT_FALSE(panel()->shapeRegion().contains(outside)) << outside.x() << "," << outside.y();
    EXPECT_FALSE(root()->stripView()->isAnimating());

    // An open card joins it; the gap between them does not.
    edge->open(KitService::stripe, true);
    scheduler.runPending();
    root()->finishAnimations();
    const QRectF card = root()->cardFrame();
    EXPECT_TRUE(panel()->shapeRegion().contains(card.center().toPoint()));
    EXPECT_FALSE(panel()->shapeRegion().contains(QPoint(int(card.right()) + 4, int(card.center().y()))));
    EXPECT_FALSE(panel()->shapeRegion().contains(card.topLeft().toPoint()));

    // Tucked away: the thin handle alone, not the whole sliver.
    edge->closeCard();
    context.tucked = true;
    mouse = QPointF(0, 0);
    edge->tucksAwayChanged();
    scheduler.advance(2.0);
    root()->finishAnimations();
    ASSERT_EQ(panel()->frame().size(), QSize(10, 64));
    EXPECT_EQ(panel()->shapeRegion().boundingRect(), QRect(6, 10, 4, 44));
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
    for (KitService service : kit->enabledServices())
        EXPECT_EQ(content.tile(service).signal, content.groupSignal(service))
            << service.rawValue().toStdString();
    EXPECT_EQ(content.handleSignal(), std::nullopt); // nothing unseen

    // The strip makes each badge as it is: no ring is drawn on as if the tool had just connected.
    DevKitStripView strip(content, scheduler);
    strip.setItems(StripItem::items(kit->enabledServices(), 8, false));
    const auto badges = strip.findChildren<ServiceBadge*>();
    EXPECT_EQ(badges.size(), kit->enabledServices().size());
    for (const ServiceBadge* badge : badges) {
        EXPECT_EQ(badge->drawn(), 1) << badge->service().rawValue().toStdString();
        EXPECT_EQ(badge->accessibleName(), badge->service().displayName());
    }

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
    EXPECT_EQ(content.handleSignal(), content.groupSignal(KitService::vercel));
}

TEST_F(EdgeStoreContentTest, ToolsWithoutConnectionAreGreyAndOfferTheirSettings)
{
    auto kit = store(false);
    EdgeStoreContent content(*kit, scheduler);
    kit->markUnseen(KitService::github);
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
