// The real panel on an X11 display: window type and states, frame, pointer and input region.
#include "app/core/MemoryDefaults.h"
#include "app/core/PreferencesStore.h"
#include "edge/EdgeAssembly.h"
#include "edge/EdgePanel.h"
#include "edge/EdgePreferencesContext.h"
#include "edge/EdgeRootView.h"
#include "edge/EdgeStoreContent.h"
#include "store/DevKitStore.h"
#include "support/FakeEdge.h"
#include "support/FakeSecretStore.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

using namespace brenvo;
using brenvo::test::FakeEdgeContent;
using brenvo::test::FakeEdgeContext;

namespace {

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000)) {
        process.kill();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Waits on real events, with a generous bound.
template <typename Condition> bool waitFor(Condition condition)
{
    return QTest::qWaitFor(condition, 5000);
}

// xdotool's --sync waits for a motion that never comes when the pointer is already there: warp,
// then wait until the server reports the pointer at the point.
void pointAt(QPoint global)
{
    run("xdotool", {"mousemove", QString::number(global.x()), QString::number(global.y())});
    waitFor([global]() { return QCursor::pos() == global; });
}

// The centre of tile i of a right-edge panel at frame showing items tiles.
QPoint slotCentre(const QRect& frame, int items, int i)
{
    const auto layout = EdgeMetrics::layout(frame.size(), items, EdgeSide::right);
    return frame.topLeft() + QPointF(frame.width() - 22, layout.slotCenterY(i)).toPoint();
}

// A plain window under the panel that counts the presses it gets.
class Below : public QWidget {
public:
    int presses = 0;
    QPoint lastPress;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        ++presses;
        lastPress = event->globalPosition().toPoint();
    }
};

class EdgePanelX11Test : public ::testing::Test {
protected:
    FakeEdgeContext context;
    FakeEdgeContent content;
    TimerScheduler scheduler;
    std::unique_ptr<EdgeController> edge;

    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        context.placement = EdgeGeometry::forScreen(QGuiApplication::primaryScreen(), EdgeSide::right);
        content.tiles[KitService::vercel] = {KitSignal::good, std::nullopt, false, false};
        content.tiles[KitService::github] = {KitSignal::bad, std::nullopt, false, true};
        content.tiles[KitService::stripe] = {KitSignal::attention, std::nullopt, false, false};
        content.tiles[KitService::claude] = {KitSignal::good, std::nullopt, false, false};
        edge = std::make_unique<EdgeController>(
            context, scheduler, edgePanelFactory(context, content), []() { return QPointF(QCursor::pos()); });
    }

    EdgePanel* panel() const { return static_cast<EdgePanel*>(edge->panel()); }
    QString windowId() const { return QString::number(panel()->winId()); }
    // The window's place on the screen as the X server has it.
    QRect serverFrame() const
    {
        const QString info = run("xwininfo", {"-id", windowId()});
        auto field = [&](const QString& name) {
            const auto at = info.indexOf(name);
            return at < 0 ? -1 : info.mid(at + name.size()).section('\n', 0, 0).trimmed().toInt();
        };
        return QRect(field("Absolute upper-left X:"), field("Absolute upper-left Y:"), field("Width:"),
            field("Height:"));
    }
};

} // namespace

TEST_F(EdgePanelX11Test, DockWindowOnEveryDesktopAtItsFrame)
{
    edge->install();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel()));

    const QString type = run("xprop", {"-id", windowId(), "_NET_WM_WINDOW_TYPE"});
    EXPECT_TRUE(type.contains("_NET_WM_WINDOW_TYPE_DOCK")) << type.toStdString();
    const QString state = run("xprop", {"-id", windowId(), "_NET_WM_STATE"});
    for (const char* name : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER", "_NET_WM_STATE_STICKY",
             "_NET_WM_STATE_ABOVE"})
        EXPECT_TRUE(state.contains(name)) << name << " in " << state.toStdString();
    EXPECT_TRUE(run("xprop", {"-id", windowId(), "_NET_WM_DESKTOP"}).contains("4294967295"));
    EXPECT_FALSE(run("xprop", {"-id", windowId(), "_NET_WM_STRUT_PARTIAL"}).contains("="));
    EXPECT_TRUE(run("xprop", {"-id", windowId(), "WM_HINTS"}).contains("False")) << "takes no focus";

    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect expected(screen.right() + 1 - 44, screen.center().y() + 1 - 111, 44, 222);
    EXPECT_EQ(panel()->frame(), expected);
    EXPECT_TRUE(waitFor([&]() { return serverFrame() == expected; }))
        << serverFrame().x() << "," << serverFrame().y();
}

TEST_F(EdgePanelX11Test, PointerOnATileOpensItsCardAndClicksBesideItFallThrough)
{
    Below below;
    below.setGeometry(QGuiApplication::primaryScreen()->geometry());
    below.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&below));

    edge->install();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel()));
    pointAt(slotCentre(panel()->frame(), 5, 1));
    ASSERT_TRUE(waitFor([&]() { return edge->openService() == KitService::github; }));
    EXPECT_EQ(edge->hoveredItem(), StripItem::service(KitService::github));
    const QRect open = panel()->frame();
    EXPECT_EQ(open.size(), QSize(388, 222));
    EXPECT_TRUE(waitFor([&]() { return serverFrame() == open; }));

    // Let the card settle, then keep a picture of it when asked to.
    QTest::qWait(600);
    if (const QByteArray shot = qgetenv("BRENVO_EDGE_SCREENSHOT"); !shot.isEmpty())
        run("import", {"-window", "root", QString::fromLocal8Bit(shot)});

    // Left of the card, inside the window but outside its input region: the click reaches below.
    const QPoint beside = open.topLeft() + QPoint(5, 111);
    pointAt(beside);
    run("xdotool", {"click", "1"});
    ASSERT_TRUE(waitFor([&]() { return below.presses == 1; }));
    EXPECT_EQ(below.lastPress, beside);

    // The pointer is gone from the panel: the card closes, then the window shrinks to the strip.
    ASSERT_TRUE(waitFor([&]() { return !edge->openService().has_value(); }));
    EXPECT_TRUE(waitFor([&]() { return serverFrame().size() == QSize(44, 222); }));

    // A click on a tile lands on the panel, not below.
    pointAt(slotCentre(panel()->frame(), 5, 4));
    run("xdotool", {"click", "1"});
    QTest::qWait(200);
    EXPECT_EQ(below.presses, 1);
    edge->uninstall();
}

TEST(EdgeDisplaysX11, TheScreenIsListedByItsOutputAndChosenBack)
{
    const auto displays = EdgeDisplay::available();
    ASSERT_FALSE(displays.isEmpty());
    EXPECT_FALSE(displays.front().id.isEmpty());
    EXPECT_FALSE(displays.front().name.isEmpty());
    EXPECT_EQ(EdgeDisplay::screen(displays.front().id), QGuiApplication::screens().front());
}

TEST(EdgeSampleDataX11, TheWholePanelRunsOnTheSampleData)
{
    MemoryDefaults defaults;
    PreferencesStore preferences(defaults);
    preferences.setPanelLimit(3);
    test::FakeSecretStore secrets;
    TimerScheduler scheduler;
    DevKitStore kit(preferences, secrets, scheduler, true, DevKitStore::Sources {});
    EdgePreferencesContext context(
        preferences, [&](std::optional<KitService> s) { kit.watch(s); }, [&]() { kit.watch(std::nullopt); });
    EdgeStoreContent content(kit, scheduler);
    EdgeController edge(context, scheduler, edgePanelFactory(context, content), edgeCursorPosition);
    content.setController(&edge);
    connectEdgePreferences(edge, preferences);
    connectEdgeStore(edge, kit);
    kit.markUnseen(KitService::github);
    edge.install();
    auto* panel = static_cast<EdgePanel*>(edge.panel());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));
    EXPECT_EQ(edge.stripItems().size(), 5); // three tools, settings, more

    // Unfold through the more tile, then open the last tool, which sat behind it.
    pointAt(slotCentre(panel->frame(), 5, 4));
    ASSERT_TRUE(waitFor([&]() { return edge.isUnfolded(); }));
    pointAt(slotCentre(panel->frame(), 5, 3));
    ASSERT_TRUE(waitFor([&]() { return edge.openService() == KitService::claude; }));
    QTest::qWait(700);
    if (const QByteArray shot = qgetenv("BRENVO_EDGE_SAMPLE_SCREENSHOT"); !shot.isEmpty())
        run("import", {"-window", "root", QString::fromLocal8Bit(shot)});
    EXPECT_EQ(panel->frame().size(), QSize(388, EdgeMetrics::stripHeight(5)));
    edge.uninstall();
}
