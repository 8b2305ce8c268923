// The strip on an X11 display follows the settings while the pointer is elsewhere: its tiles, the
// names a screen reader hears and the window's shape change at once, without and with a
// compositing manager.
#include "X11Screen.h"
#include "app/core/MemoryDefaults.h"
#include "app/core/PreferencesStore.h"
#include "edge/DevKitStripView.h"
#include "edge/EdgeAssembly.h"
#include "edge/EdgeHostingView.h"
#include "edge/EdgePanel.h"
#include "edge/EdgePreferencesContext.h"
#include "edge/EdgeRootView.h"
#include "edge/EdgeStoreContent.h"
#include "store/DevKitStore.h"
#include "support/FakeSecretStore.h"
#include "support/QtPrinting.h"

#include <QAccessible>
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
using namespace brenvo::test;

namespace {

// The panel of the application on the sample data, with five tools of which four have a tile.
class EdgeStripX11Test : public ::testing::Test {
protected:
    MemoryDefaults defaults;
    PreferencesStore preferences {defaults};
    test::FakeSecretStore secrets;
    TimerScheduler scheduler;
    std::unique_ptr<DevKitStore> kit;
    std::unique_ptr<EdgePreferencesContext> context;
    std::unique_ptr<EdgeStoreContent> content;
    std::unique_ptr<EdgeController> edge;

    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        paintDesktop();
        preferences.setEnabledServices({KitService::vercel, KitService::github, KitService::stripe,
            KitService::claude, KitService::codex});
        preferences.setPanelLimit(4);
        kit = std::make_unique<DevKitStore>(preferences, secrets, scheduler, true, DevKitStore::Sources {});
        context = std::make_unique<EdgePreferencesContext>(preferences);
        content = std::make_unique<EdgeStoreContent>(*kit, scheduler);
        edge = std::make_unique<EdgeController>(
            *context, scheduler, edgePanelFactory(*context, *content), edgeCursorPosition);
        content->setController(edge.get());
        connectEdgePreferences(*edge, preferences);
    }
    void TearDown() override
    {
        if (edge)
            edge->uninstall();
    }

    EdgePanel* panel() const { return static_cast<EdgePanel*>(edge->panel()); }
    EdgeRootView* rootView() const { return static_cast<EdgeRootView*>(panel()->hostingView()->rootView()); }
    xcb_window_t window() const { return static_cast<xcb_window_t>(panel()->winId()); }
    QPoint at(int x, int y) const { return panel()->frame().topLeft() + QPoint(x, y); }
    bool showsDesktop(int x, int y) const { return screenPixel(at(x, y)) == desktop; }
    bool showsPanel(int x, int y) const { return dark(screenPixel(at(x, y))); }

    // Points at the strip's settings tile (which opens nothing), then moves away.
    void pointAtTheStripOnce()
    {
        const auto layout = EdgeMetrics::layout(
            QSizeF(panel()->frame().size()), static_cast<int>(edge->stripItems().size()), EdgeSide::right);
        const int settings = static_cast<int>(edge->stripItems().indexOf(StripItem::settings()));
        pointAt(at(22, static_cast<int>(layout.slotCenterY(settings))));
        ASSERT_TRUE(waitFor([&]() { return edge->hoveredItem() == StripItem::settings(); }));
        pointAt(QPoint(100, 100));
        ASSERT_TRUE(waitFor([&]() { return !edge->hoveredItem().has_value(); }));
    }

    // The entries by name, for readable failures.
    static QStringList entries(const QList<StripItem>& items)
    {
        QStringList names;
        for (const StripItem& item : items)
            names << (item.tool()               ? item.tool()->rawValue()
                    : item == StripItem::more() ? QStringLiteral("more")
                                                : QStringLiteral("settings"));
        return names;
    }

    QStringList spokenNames() const
    {
        QAccessibleInterface* strip = QAccessible::queryAccessibleInterface(rootView()->stripView());
        QStringList names;
        for (int i = 0; strip && i < strip->childCount(); ++i)
            names << strip->child(i)->text(QAccessible::Name);
        return names;
    }

    // Right after a change of the settings: the strip holds the entries, a screen reader hears
    // their names, and the window has the strip's size.
    void expectEntries(const QList<StripItem>& items, const QStringList& names)
    {
        EXPECT_EQ(entries(edge->stripItems()), entries(items));
        EXPECT_EQ(entries(rootView()->stripView()->items()), entries(items));
        EXPECT_EQ(spokenNames(), names);
        EXPECT_EQ(
            panel()->frame().size(), QSize(44, EdgeMetrics::stripHeight(static_cast<int>(items.size()))));
    }

    // What the window shows is the strip's outline, with its flared ends, filling the window.
    bool outlineIsTheStrips() const
    {
        const QPainterPath outline = rootView()->outline();
        const QSize size = panel()->frame().size();
        const int bottom = size.height() - 1;
        if (outline.boundingRect() != QRectF(QPointF(0, 0), QSizeF(size)))
            return false;
        for (const QPoint corner :
            {QPoint(2, 2), QPoint(1, 12), QPoint(2, bottom - 2), QPoint(1, bottom - 12)}) {
            if (outline.contains(corner))
                return false;
        }
        return outline.contains(QPointF(22, size.height() / 2.0));
    }

    // What the screen shows once the server has it: the desktop beside the flared ends.
    void expectOnScreen()
    {
        const int bottom = panel()->frame().height() - 1;
        EXPECT_TRUE(waitFor([&]() {
            return showsDesktop(2, 2) && showsDesktop(2, bottom - 2) && showsPanel(6, bottom / 2);
        })) << std::hex
            << screenPixel(at(2, 2)) << " " << screenPixel(at(2, bottom - 2)) << " "
            << screenPixel(at(6, bottom / 2));
    }
};

const QStringList fourTools {"Vercel", "GitHub", "Stripe", "Claude Code"};

} // namespace

TEST_F(EdgeStripX11Test, WithoutACompositorTheStripAndItsShapeFollowTheSettingsWhereverThePointerIs)
{
    edge->install();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel()));
    ASSERT_FALSE(panel()->hasCompositor());
    ASSERT_EQ(edge->stripItems().size(), 6); // four tools, settings, more
    pointAtTheStripOnce();

    // The tool behind the more tile switched off: four tools and the settings tile, in a window that
    // shrank at once and is shaped to the strip's outline at once.
    preferences.setEnabledServices(
        {KitService::vercel, KitService::github, KitService::stripe, KitService::claude});
    expectEntries(StripItem::items(context->enabledServices(), 4, false), fourTools);
    EXPECT_TRUE(outlineIsTheStrips());
    EXPECT_EQ(boundingShape(window()), panel()->shapeRegion());
    for (const QPoint corner : {QPoint(2, 2), QPoint(2, 219)})
        EXPECT_FALSE(boundingShape(window()).contains(corner)) << corner.x() << "," << corner.y();
    expectOnScreen();

    // Fewer tiles on the panel: two tools, settings and more.
    preferences.setPanelLimit(2);
    expectEntries(StripItem::items(context->enabledServices(), 2, false), {"Vercel", "GitHub", "More tools"});
    EXPECT_TRUE(outlineIsTheStrips());
    EXPECT_EQ(boundingShape(window()), panel()->shapeRegion());
    expectOnScreen();

    // A tool switched on takes its place in the catalogue's order, before the ones after it.
    preferences.setEnabledServices({KitService::vercel, KitService::cloudflare, KitService::github,
        KitService::stripe, KitService::claude});
    expectEntries({StripItem::service(KitService::vercel), StripItem::service(KitService::cloudflare),
                      StripItem::settings(), StripItem::more()},
        {"Vercel", "Cloudflare", "More tools"});
    EXPECT_TRUE(outlineIsTheStrips());
    expectOnScreen();

    // No limit: every tool has its tile. The window grows at once and the strip grows into it.
    preferences.setPanelLimit(0);
    expectEntries(StripItem::items(context->enabledServices(), 0, false),
        {"Vercel", "Cloudflare", "GitHub", "Stripe", "Claude Code"});
    EXPECT_TRUE(waitFor([&]() { return outlineIsTheStrips(); }));
    EXPECT_TRUE(waitFor([&]() { return boundingShape(window()) == panel()->shapeRegion(); }));
    expectOnScreen();
}

TEST_F(EdgeStripX11Test, WithACompositorTheStripFollowsTheSettingsInItsWholeWindow)
{
    if (compositorProgram().isEmpty())
        GTEST_SKIP() << noCompositor;
    QProcess manager;
    ASSERT_TRUE(startCompositor(manager));
    edge->install();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel()));
    ASSERT_TRUE(waitFor([&]() { return panel()->hasCompositor(); }));
    pointAtTheStripOnce();

    preferences.setEnabledServices(
        {KitService::vercel, KitService::github, KitService::stripe, KitService::claude});
    expectEntries(StripItem::items(context->enabledServices(), 4, false), fourTools);
    EXPECT_TRUE(outlineIsTheStrips());
    const QRegion whole(QRect(QPoint(0, 0), panel()->frame().size()));
    EXPECT_TRUE(waitFor([&]() { return boundingShape(window()) == whole; }));
    // Translucency draws the outline: the desktop beside the flared ends.
    expectOnScreen();

    preferences.setPanelLimit(2);
    expectEntries(StripItem::items(context->enabledServices(), 2, false), {"Vercel", "GitHub", "More tools"});
    EXPECT_TRUE(outlineIsTheStrips());
    expectOnScreen();

    manager.terminate();
    ASSERT_TRUE(manager.waitForFinished(5000));
}
