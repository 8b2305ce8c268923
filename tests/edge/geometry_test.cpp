// Window frames, strip layout, zones and the strip's outline on the panel's own measures; stored forms
// of the placement and the choice of its screen.
#include "edge/EdgeGeometry.h"
#include "edge/EdgeLayout.h"
#include "edge/EdgeShape.h"
#include "model/EdgePlacement.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>

#include <gtest/gtest.h>

using namespace brenvo;
using Zone = EdgeLayout::Zone;

namespace {

EdgeGeometry geometry(QRectF visible, EdgeSide side, QRectF screen = QRectF(0, 0, 1920, 1080))
{
    return {screen, visible, side};
}

// The path stroked or filled on the strip's 44 x 70 points, to compare outlines without depending
// on element order.
QImage raster(const QPainterPath& path, bool stroke)
{
    QImage image(44, 70, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    if (stroke)
        painter.strokePath(path, QPen(Qt::black, 1));
    else
        painter.fillPath(path, Qt::black);
    return image;
}

bool inkNear(const QImage& image, int x, int y)
{
    return qAlpha(image.pixel(x - 1, y)) || qAlpha(image.pixel(x, y)) || qAlpha(image.pixel(x + 1, y));
}

} // namespace

TEST(EdgeGeometryFrame, FlushWithTheScreenEdgeUnlessADockTakesSixteenPoints)
{
    // 15 points of dock: still flush with the screen edge; 16 points: against the visible frame.
    EXPECT_EQ(geometry(QRectF(0, 0, 1905, 1080), EdgeSide::right).frame({44, 70}), QRectF(1876, 505, 44, 70));
    EXPECT_EQ(geometry(QRectF(0, 0, 1904, 1080), EdgeSide::right).frame({44, 70}), QRectF(1860, 505, 44, 70));
    EXPECT_EQ(geometry(QRectF(15, 0, 1905, 1080), EdgeSide::left).frame({44, 70}).x(), 0);
    EXPECT_EQ(geometry(QRectF(16, 0, 1904, 1080), EdgeSide::left).frame({44, 70}).x(), 16);
    // Odd heights round up and centre on the rounded visible middle: 553.5 below a 27-point bar.
    EXPECT_EQ(
        geometry(QRectF(0, 27, 1920, 1053), EdgeSide::right).frame({44, 71}), QRectF(1876, 518, 44, 72));
    // A second screen to the right of the first keeps its own coordinates.
    const QRectF second(1920, 0, 1280, 1024);
    EXPECT_EQ(geometry(second, EdgeSide::left, second).frame({388, 206}), QRectF(1920, 409, 388, 206));
    // No screen at all: a frame near the origin, not a crash.
    EXPECT_EQ(EdgeGeometry {}.frame({10, 64}), QRectF(-10, -32, 10, 64));
}

TEST(EdgeLayoutSlots, SlotsReachHalfASpacingAroundTheirTiles)
{
    EXPECT_EQ(EdgeMetrics::stripHeight(0), 70); // room for one tile at least
    // Five items in a strip-sized view on the right.
    const auto l = EdgeMetrics::layout({44, EdgeMetrics::stripHeight(5)}, 5, EdgeSide::right);
    EXPECT_EQ(l.stripFrame(), QRectF(0, 0, 44, 222));
    EXPECT_EQ(l.slotCenterY(2), 35 + 76);
    // From half a spacing above the first tile to half a spacing below the last.
    const std::vector<std::pair<double, std::optional<int>>> slots {{15.99, std::nullopt}, {16, 0},
        {53.99, 0}, {54, 1}, {16 + 38 * 5 - 0.01, 4}, {16 + 38 * 5, std::nullopt}};
    for (const auto& [y, slot] : slots)
        EXPECT_EQ(l.slot(y), slot) << y;
    EXPECT_EQ(l.zone({20, 16 + 38 * 5 + 1}, 320, std::nullopt), Zone::strip());

    EXPECT_EQ(EdgeMetrics::layout({44, 70}, 0, EdgeSide::right).slot(35), std::nullopt);
    EdgeLayout flat = l;
    flat.slotLength = 0;
    flat.slotSpacing = 0;
    EXPECT_EQ(flat.slot(40), std::nullopt);
}

TEST(EdgeLayoutZones, StripMarginsAndTheGapToTheCard)
{
    // Open panel on the right: 388 wide, strip of 5 items centred in 222 points of height.
    const auto l = EdgeMetrics::layout({388, 222}, 5, EdgeSide::right);
    EXPECT_EQ(l.stripFrame(), QRectF(344, 0, 44, 222));
    const std::pair<double, Zone> edges[] = {{342, Zone::slot(0)}, {341.9, Zone::outside()},
        {389.9, Zone::slot(0)}, {390, Zone::outside()}}; // 2 points beyond either side is inside
    for (const auto& [x, zone] : edges)
        EXPECT_EQ(l.zone({x, 40}, 320, std::nullopt), zone) << x;

    EXPECT_EQ(l.cardFrame(0, 320), QRectF(16, 8, 320, 206));
    // The gap between card and strip is the card, and so is the card itself.
    EXPECT_EQ(l.zone({340, 100}, 320, 0), Zone::card());
    EXPECT_EQ(l.zone({100, 100}, 320, 0), Zone::card());
    EXPECT_EQ(l.zone({13.9, 100}, 320, 0), Zone::outside());
    EXPECT_EQ(l.zone({100, 100}, 320, std::nullopt), Zone::outside());

    const auto left = EdgeMetrics::layout({388, 222}, 5, EdgeSide::left);
    EXPECT_EQ(left.cardFrame(0, 320).x(), 52);
    EXPECT_EQ(left.zone({48, 100}, 320, 0), Zone::card());
    EXPECT_EQ(left.zone({373, 100}, 320, 0), Zone::card());
    EXPECT_EQ(left.zone({374, 100}, 320, 0), Zone::outside());
}

TEST(EdgeLayoutCards, CardCentresOnItsTileWithinTheStripOrTheView)
{
    // A tall strip (10 items, 424 points): the card follows its tile inside the strip's inner height.
    const double tall = EdgeMetrics::stripHeight(10);
    const auto l = EdgeMetrics::layout({388, tall}, 10, EdgeSide::right);
    EXPECT_EQ(l.cardFrame(0, 320).y(), 8); // clamped to the inner top
    EXPECT_EQ(l.cardFrame(5, 320).y(), l.slotCenterY(5) - 103);
    EXPECT_EQ(l.cardFrame(9, 320).y(), tall - 8 - 206); // clamped to the inner bottom

    // A short strip in a window of card height: the card is centred on the strip.
    const auto s = EdgeMetrics::layout({388, 206}, 2, EdgeSide::right);
    EXPECT_EQ(s.cardFrame(1, 320), QRectF(16, 0, 320, 206));
    // A view shorter than the card: the card takes the view's height.
    const auto low = EdgeMetrics::layout({388, 150}, 1, EdgeSide::right);
    EXPECT_EQ(low.cardFrame(0, 320), QRectF(16, 0, 320, 150));
}

TEST(EdgeShapePath, FlareAndCornersAreClampedToTheRectangle)
{
    const QRectF r(0, 0, 44, 70);
    const EdgeShape shape {8, 16, true, EdgeSide::right};
    const QPainterPath p = shape.path(r);
    // The body runs from y 8 to y 62 with its inner corners rounded by 16.
    EXPECT_EQ(p.boundingRect(), r);
    EXPECT_TRUE(p.contains(QPointF(1, 35))); // inner edge, midway
    EXPECT_FALSE(p.contains(QPointF(1, 10))); // cut off by the corner
    EXPECT_TRUE(p.contains(QPointF(42, 7.5))); // the flare hugs the screen edge
    EXPECT_FALSE(p.contains(QPointF(38, 7.5))); // and sweeps concave into the body
    // Each quadratic piece is stored as one cubic of three elements.
    EXPECT_EQ(QPointF(p.elementAt(3)), QPointF(36, 8)); // flare ends 8 wide and 8 high

    // A flare beyond half the height is cut to half the height; the corner then vanishes.
    const QPainterPath squat = EdgeShape {50, 16, true, EdgeSide::right}.path(QRectF(0, 0, 44, 20));
    EXPECT_EQ(QPointF(squat.elementAt(3)), QPointF(34, 10));
    EXPECT_EQ(QPointF(squat.elementAt(4)), QPointF(0, 10));
    // A rectangle narrower than the flare: the flare is cut to the width, the corner to 0.
    const QPainterPath thin = EdgeShape {8, 16, true, EdgeSide::right}.path(QRectF(0, 0, 4, 70));
    EXPECT_EQ(QPointF(thin.elementAt(3)), QPointF(0, 4));
    EXPECT_EQ(thin.boundingRect(), QRectF(0, 0, 4, 70));
}

TEST(EdgeShapePath, BorderStaysOffTheScreenEdgeAndLeftMirrorsRight)
{
    const QRectF inset(4, 4, 36, 62);
    const QImage closed = raster(EdgeShape {8, 16, true, EdgeSide::right}.path(inset), true);
    const QImage open = raster(EdgeShape {8, 16, false, EdgeSide::right}.path(inset), true);
    // Along the screen edge (x 40), midway down, only the closed outline draws.
    EXPECT_TRUE(inkNear(closed, 40, 35));
    EXPECT_FALSE(inkNear(open, 40, 35));
    EXPECT_TRUE(inkNear(open, 4, 35));

    const QRectF r(0, 0, 44, 70);
    const QPainterPath left = EdgeShape {8, 16, true, EdgeSide::left}.path(r);
    EXPECT_EQ(raster(left, false),
        raster(EdgeShape {8, 16, true, EdgeSide::right}.path(r), false).mirrored(true, false));
}

TEST(EdgePlacementStoredForms, RoundTripExactlyAndRejectEverythingElse)
{
    for (EdgeSide side : allEdgeSides)
        EXPECT_EQ(edgeSideFromRawValue(rawValue(side)), side);
    for (EdgeTrigger trigger : allEdgeTriggers)
        EXPECT_EQ(edgeTriggerFromRawValue(rawValue(trigger)), trigger);
    EXPECT_EQ(rawValue(EdgeTrigger::click), "click");
    for (const char* raw : {"top", "Left", "Hover", "click ", ""})
        EXPECT_FALSE(edgeSideFromRawValue(raw) || edgeTriggerFromRawValue(raw)) << raw;

    // A display needs both keys; an empty name is still a name.
    EXPECT_EQ(EdgeDisplay::fromDictionary({{"id", "DEL/U2720Q/X1"}}), std::nullopt);
    EXPECT_EQ(EdgeDisplay::fromDictionary({{"name", "Dell U2720Q"}}), std::nullopt);
    const auto display = EdgeDisplay::fromDictionary({{"id", "X"}, {"name", ""}, {"extra", "Z"}});
    EXPECT_EQ(display, (EdgeDisplay {"X", ""}));
    EXPECT_EQ(display->dictionary(), (EdgeDisplay::Dictionary {{"id", "X"}, {"name", ""}}));
}

TEST(EdgeDisplayChoice, MatchingIdElseFirstScreenElseNone)
{
    const QStringList ids {"A", "", "C"};
    EXPECT_EQ(EdgeDisplay::pick(ids, QString("C")), 2);
    EXPECT_EQ(EdgeDisplay::pick(ids, QString("Z")), 0); // not attached: the first screen
    EXPECT_EQ(EdgeDisplay::pick(ids, QString("")), 0); // a screen without identifier never matches
    EXPECT_EQ(EdgeDisplay::pick({}, QString("A")), std::nullopt);

    // A display that is gone: the first screen.
    EXPECT_EQ(EdgeDisplay::screen(QString("no such display")), QGuiApplication::screens().front());
    const auto g = EdgeGeometry::forPlacement(EdgeSide::left, EdgeDisplay {"no such display", "Gone"});
    EXPECT_EQ(g.screenFrame, QRectF(QGuiApplication::screens().front()->geometry()));
    EXPECT_EQ(g.side, EdgeSide::left);
    EXPECT_EQ(EdgeGeometry::forScreen(nullptr, EdgeSide::right), EdgeGeometry {});
}
