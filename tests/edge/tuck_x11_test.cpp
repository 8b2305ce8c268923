// Tucking away after a card on an X11 display, without and with a compositing manager: a pointer
// resting where the card was, on nothing drawn, stays with the window below while the strip slides
// in, and clicks there reach that window; the sliver the tucked panel keeps still brings it out.
#include "X11Screen.h"
#include "edge/EdgeAssembly.h"
#include "edge/EdgePanel.h"
#include "support/FakeEdge.h"

#include <QAbstractNativeEventFilter>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <vector>

using namespace brenvo;
using namespace brenvo::test;

namespace {

// Another client's plain window over the whole screen, painted like the desktop; it counts the
// pointer's leaving and the presses it gets. Made before the panel, it stays below it.
class WindowBelow {
public:
    int leaves = 0;
    std::vector<QPoint> presses;

    WindowBelow()
        : m_c(xcb_connect(nullptr, nullptr))
        , m_window(xcb_generate_id(m_c))
    {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        const uint32_t values[] {desktop, 1, XCB_EVENT_MASK_LEAVE_WINDOW | XCB_EVENT_MASK_BUTTON_PRESS};
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, screen->width_in_pixels,
            screen->height_in_pixels, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
            XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
        xcb_map_window(m_c, m_window);
        std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
    }
    ~WindowBelow()
    {
        xcb_destroy_window(m_c, m_window);
        xcb_disconnect(m_c);
    }

    xcb_window_t id() const { return m_window; }
    // Counts what the server has sent so far.
    void receive()
    {
        std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
        while (xcb_generic_event_t* e = xcb_poll_for_event(m_c)) {
            if ((e->response_type & 0x7f) == XCB_LEAVE_NOTIFY)
                ++leaves;
            if ((e->response_type & 0x7f) == XCB_BUTTON_PRESS) {
                const auto* press = reinterpret_cast<xcb_button_press_event_t*>(e);
                presses.push_back(QPoint(press->root_x, press->root_y));
            }
            std::free(e);
        }
    }

private:
    xcb_connection_t* m_c;
    xcb_window_t m_window;
};

// Counts the pointer's entries into any window of the application: the panel or its stand-in.
class Entries : public QAbstractNativeEventFilter {
public:
    Entries() { qApp->installNativeEventFilter(this); }
    ~Entries() override { qApp->removeNativeEventFilter(this); }
    int count = 0;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type == "xcb_generic_event_t"
            && (static_cast<xcb_generic_event_t*>(message)->response_type & 0x7f) == XCB_ENTER_NOTIFY)
            ++count;
        return false;
    }
};

// Whether a compositing manager runs, and where the pointer rests in the card's window.
struct Resting {
    bool manager;
    QPoint at;
    const char* name;
};

void PrintTo(const Resting& resting, std::ostream* os)
{
    *os << resting.name;
}

class EdgeTuckX11Test : public ::testing::TestWithParam<Resting> {
protected:
    FakeEdgeContext context;
    FakeEdgeContent content;
    TimerScheduler scheduler;
    QProcess manager;
    std::unique_ptr<EdgeController> edge;

    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        if (QStandardPaths::findExecutable("xdotool").isEmpty())
            GTEST_SKIP() << "xdotool is not installed: run scripts/setup";
        if (GetParam().manager) {
            if (compositorProgram().isEmpty())
                GTEST_SKIP() << noCompositor;
            ASSERT_TRUE(startCompositor(manager));
        }
        paintDesktop();
        context.placement = EdgeGeometry::forScreen(QGuiApplication::primaryScreen(), EdgeSide::right);
        context.tucked = true;
        edge = std::make_unique<EdgeController>(
            context, scheduler, edgePanelFactory(context, content), edgeCursorPosition);
    }
    void TearDown() override
    {
        if (edge)
            edge->uninstall();
        if (manager.state() != QProcess::NotRunning) {
            manager.terminate();
            manager.waitForFinished(5000);
        }
    }

    EdgePanel* panel() const { return static_cast<EdgePanel*>(edge->panel()); }
    xcb_window_t window() const { return static_cast<xcb_window_t>(panel()->winId()); }
    QPoint at(int x, int y) const { return panel()->frame().topLeft() + QPoint(x, y); }

    // Tucked, then out through the sliver and GitHub's card open in the 388 × 222 window.
    void openACard()
    {
        edge->install();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panel()));
        ASSERT_EQ(panel()->frame().size(), QSize(10, 64));
        pointAt(at(8, 32));
        ASSERT_TRUE(waitFor([&]() { return edge->isOut() && panel()->frame().width() == 44; }));
        const auto layout = EdgeMetrics::layout(
            QSizeF(panel()->frame().size()), static_cast<int>(edge->stripItems().size()), EdgeSide::right);
        pointAt(at(22, static_cast<int>(layout.slotCenterY(1))));
        ASSERT_TRUE(waitFor(
            [&]() { return edge->openService() == KitService::github && panel()->frame().width() == 388; }));
        ASSERT_EQ(panel()->frame().size(), QSize(388, 222));
        QTest::qWait(400); // the card settles
    }
};

// The panel as the server has it at one moment of the tuck.
struct Sample {
    int ms;
    QSize size;
    bool out;
    QRegion input;
    xcb_window_t pointer;
};

std::string rectangles(const QRegion& region)
{
    std::ostringstream text;
    for (const QRect& r : region)
        text << " " << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
    return text.str();
}

} // namespace

// The pointer rests at a point of the card's window where nothing is drawn while the card closes and
// the strip tucks.
TEST_P(EdgeTuckX11Test, APointerRestingWhereTheCardWasStaysWithTheWindowBelow)
{
    const QPoint rest = GetParam().at;
    pointAt(QGuiApplication::primaryScreen()->geometry().center());
    WindowBelow below;
    openACard();
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(waitFor([&]() { return panel()->hasCompositor() == GetParam().manager; }));
    const QRect open = panel()->frame();
    // Only the strip and the card with the gap between them take the pointer.
    EXPECT_TRUE(inputShape(window()).contains(QPoint(200, 111)));
    EXPECT_FALSE(inputShape(window()).contains(rest));
    // What the sliding strip covers, with its margin, and the sliver the tucked panel keeps.
    const QRect sliver(open.width() - 10, open.height() / 2 - 32, 10, 64);
    const QRegion stripAndSliver = QRegion(open.width() - 46, 0, 46, open.height()) + sliver;

    std::vector<Sample> samples;
    QElapsedTimer clock;
    auto sample = [&]() {
        samples.push_back({static_cast<int>(clock.elapsed()), panel()->frame().size(), edge->isOut(),
            inputShape(window()), pointerWindow()});
    };
    // The moment the strip starts to tuck, before anything else runs: the panel as the server has
    // it, and a click at the pointer, which lands then since the application waits meanwhile.
    std::optional<Sample> start;
    const auto tucks = QObject::connect(edge.get(), &EdgeController::isOutChanged, [&]() {
        if (edge->isOut() || start)
            return;
        sample();
        start = samples.back();
        QProcess::execute("xdotool", {"click", "1"});
    });
    below.receive();
    below.leaves = 0;
    below.presses.clear();
    Entries entries;
    pointAt(open.topLeft() + rest);
    clock.start();
    while (panel()->frame().size() != QSize(10, 64) && clock.elapsed() < 3000) {
        QTest::qWait(5);
        sample();
    }
    QObject::disconnect(tucks);
    const int tuckEntries = entries.count;
    ASSERT_TRUE(start.has_value()) << "the strip did not tuck";
    EXPECT_EQ(start->size, open.size()) << "the tuck began in the card's window";
    EXPECT_EQ(panel()->frame().size(), QSize(10, 64));
    const auto tucking = std::find_if(samples.begin(), samples.end(), [](const Sample& s) { return !s.out; });

    // From then on the strip stays in, the server keeps the pointer with the window below, and
    // while the window still has the card's size only the strip and the sliver take the pointer.
    const auto broken = std::find_if(tucking, samples.end(), [&](const Sample& s) {
        const bool cardsWindow = s.size == open.size();
        return s.out || s.pointer != below.id()
            || (cardsWindow && (!(s.input - stripAndSliver).isEmpty() || !s.input.contains(sliver)));
    });
    EXPECT_TRUE(broken == samples.end())
        << "at " << broken->ms << " ms: out " << broken->out << ", pointer in the window below "
        << (broken->pointer == below.id()) << ", input shape" << rectangles(broken->input);
    EXPECT_EQ(tuckEntries, 0) << "the pointer entered the panel";
    below.receive();
    EXPECT_EQ(below.leaves, 0);
    EXPECT_EQ(below.presses, std::vector<QPoint> {open.topLeft() + rest}) << "a click where the card was";

    // Tucked: the whole sliver, off the handle too, brings the strip out.
    EXPECT_EQ(inputShape(window()), QRegion(0, 0, 10, 64));
    pointAt(at(8, 60));
    EXPECT_TRUE(waitFor([&]() { return edge->isOut(); }));
    EXPECT_TRUE(waitFor([&]() { return pointerWindow() == window(); })) << "the strip slid out under it";
}

INSTANTIATE_TEST_SUITE_P(LeftOfTheCardAndBelowIt, EdgeTuckX11Test,
    ::testing::Values(Resting {false, QPoint(5, 111), "LeftWithoutAManager"},
        Resting {false, QPoint(200, 219), "BelowWithoutAManager"},
        Resting {true, QPoint(5, 111), "LeftWithAManager"},
        Resting {true, QPoint(200, 219), "BelowWithAManager"}),
    [](const ::testing::TestParamInfo<Resting>& info) { return std::string(info.param.name); });
