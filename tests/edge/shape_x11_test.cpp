// The panel on an X11 display without and with a compositing manager: without one, only what is
// painted (strip, handle) is on screen and the desktop shows around it; with one the window stays
// whole and translucency does the rest; the panel follows the manager coming and going. Tucked
// away, the whole sliver brings the strip out either way.
#include "X11Screen.h"
#include "edge/EdgeAssembly.h"
#include "edge/EdgePanel.h"
#include "support/FakeEdge.h"

#include <QCursor>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace brenvo;
using brenvo::test::FakeEdgeContent;
using brenvo::test::FakeEdgeContext;
using namespace brenvo::test;

namespace {

class EdgeShapeX11Test : public ::testing::Test {
protected:
    FakeEdgeContext context;
    FakeEdgeContent content;
    TimerScheduler scheduler;
    std::unique_ptr<EdgeController> edge;

    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        paintDesktop();
        context.placement = EdgeGeometry::forScreen(QGuiApplication::primaryScreen(), EdgeSide::right);
        // The pointer stays far from the panel.
        edge = std::make_unique<EdgeController>(
            context, scheduler, edgePanelFactory(context, content), []() { return QPointF(0, 0); });
    }
    void TearDown() override
    {
        if (edge)
            edge->uninstall();
    }

    EdgePanel* panel() const { return static_cast<EdgePanel*>(edge->panel()); }
    xcb_window_t window() const { return static_cast<xcb_window_t>(panel()->winId()); }
    // A point of the panel's window on screen.
    QPoint at(int x, int y) const { return panel()->frame().topLeft() + QPoint(x, y); }
    bool showsDesktop(int x, int y) const { return screenPixel(at(x, y)) == desktop; }
    bool showsPanel(int x, int y) const { return dark(screenPixel(at(x, y))); }
};

} // namespace

TEST_F(EdgeShapeX11Test, WithoutACompositorTheDesktopShowsAroundTheStripAndTheHandle)
{
    edge->install();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel()));
    ASSERT_FALSE(panel()->hasCompositor());
    ASSERT_EQ(panel()->frame().size(), QSize(44, 222));
    // Inside the strip its black; beside its flared ends and rounded corners, the desktop.
    EXPECT_TRUE(waitFor([&]() { return showsPanel(6, 111); })) << std::hex << screenPixel(at(6, 111));
    for (const QPoint outside : {QPoint(2, 2), QPoint(1, 12), QPoint(2, 219), QPoint(1, 209)})
        EXPECT_TRUE(showsDesktop(outside.x(), outside.y()))
            << outside.x() << "," << outside.y() << ": " << std::hex
            << screenPixel(at(outside.x(), outside.y()));
    edge->uninstall();

    // Tucked away: a 4 × 44 handle on the screen edge, not the 10 × 64 sliver.
    context.tucked = true;
    edge->install();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel()));
    ASSERT_EQ(panel()->frame().size(), QSize(10, 64));
    EXPECT_TRUE(waitFor([&]() { return showsPanel(8, 32); })) << std::hex << screenPixel(at(8, 32));
    EXPECT_TRUE(waitFor([&]() { return boundingShape(window()).boundingRect() == QRect(6, 10, 4, 44); }));
    for (const QPoint outside : {QPoint(1, 32), QPoint(4, 32), QPoint(8, 5), QPoint(8, 58)})
        EXPECT_TRUE(showsDesktop(outside.x(), outside.y()))
            << outside.x() << "," << outside.y() << ": " << std::hex
            << screenPixel(at(outside.x(), outside.y()));
}

TEST_F(EdgeShapeX11Test, AManagerComingMakesTheWindowWholeAndGoingShapesItAgain)
{
    if (compositorProgram().isEmpty())
        GTEST_SKIP() << noCompositor;
    edge->install();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel()));
    const QRect whole(QPoint(0, 0), panel()->frame().size());
    ASSERT_TRUE(waitFor([&]() { return boundingShape(window()) != QRegion(whole); }));

    QProcess manager;
    ASSERT_TRUE(startCompositor(manager));
    ASSERT_TRUE(waitFor([&]() { return panel()->hasCompositor(); }));
    EXPECT_TRUE(waitFor([&]() { return boundingShape(window()) == QRegion(whole); }));
    // Translucency now draws the outline.
    EXPECT_TRUE(waitFor([&]() { return showsDesktop(2, 2) && showsPanel(6, 111); }))
        << std::hex << screenPixel(at(2, 2)) << " " << screenPixel(at(6, 111));

    manager.terminate();
    ASSERT_TRUE(manager.waitForFinished(5000));
    ASSERT_TRUE(waitFor([&]() { return !panel()->hasCompositor(); }));
    EXPECT_TRUE(waitFor([&]() { return boundingShape(window()) == panel()->shapeRegion(); }));
    EXPECT_NE(panel()->shapeRegion(), QRegion(whole));
    EXPECT_TRUE(waitFor([&]() { return showsDesktop(2, 2) && showsPanel(6, 111); }))
        << std::hex << screenPixel(at(2, 2)) << " " << screenPixel(at(6, 111));
}

TEST_F(EdgeShapeX11Test, TuckedTheWholeSliverBringsTheStripOutWithAndWithoutAManager)
{
    if (QStandardPaths::findExecutable("xdotool").isEmpty())
        GTEST_SKIP() << "xdotool is not installed: run scripts/setup";
    context.tucked = true;
    const QPoint away = QGuiApplication::primaryScreen()->geometry().center();
    // Whether the pointer at a point of the sliver (from its top-left) brings the strip out.
    auto bringsOut = [&](QPoint point) {
        pointAt(away);
        edge->install();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(panel()));
        EXPECT_EQ(panel()->frame().size(), QSize(10, 64));
        if (!panel()->hasCompositor()) {
            // Only the handle is drawn.
            EXPECT_TRUE(
                waitFor([&]() { return boundingShape(window()).boundingRect() == QRect(6, 10, 4, 44); }));
        }
        EXPECT_TRUE(waitFor([&]() { return showsDesktop(point.x(), point.y()); }))
            << point.x() << "," << point.y() << ": " << std::hex << screenPixel(at(point.x(), point.y()));
        pointAt(at(point.x(), point.y()));
        const bool out = waitFor([&]() { return edge->isOut(); });
        edge->uninstall();
        return out;
    };
    auto check = [&](const char* when) {
        // Off the handle: above and below it, and 5 to 10 pixels in from the screen edge.
        for (const QPoint inside : {QPoint(8, 2), QPoint(8, 61), QPoint(0, 0), QPoint(9, 63), QPoint(0, 32),
                 QPoint(4, 32), QPoint(3, 20)})
            EXPECT_TRUE(bringsOut(inside)) << when << ": " << inside.x() << "," << inside.y();
        // Just beside the sliver.
        for (const QPoint outside : {QPoint(-1, 32), QPoint(8, -1), QPoint(8, 64)}) {
            pointAt(away);
            edge->install();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(panel()));
            pointAt(at(outside.x(), outside.y()));
            QTest::qWait(300);
            EXPECT_FALSE(edge->isOut()) << when << ": " << outside.x() << "," << outside.y();
            edge->uninstall();
        }
    };
    check("without a manager");

    if (compositorProgram().isEmpty())
        GTEST_SKIP() << noCompositor;
    QProcess manager;
    ASSERT_TRUE(startCompositor(manager));
    edge->install();
    ASSERT_TRUE(waitFor([&]() { return panel()->hasCompositor(); }));
    edge->uninstall();
    check("with a manager");
    manager.terminate();
    ASSERT_TRUE(manager.waitForFinished(5000));
}
