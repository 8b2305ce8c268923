// Indicators, tool faces and the strip's badge.
#include "CardTestSupport.h"
#include "cards/KitIndicators.h"
#include "cards/KitPalette.h"
#include "cards/ServiceBadge.h"
#include "cards/ServiceIcon.h"
#include "cards/ServiceTile.h"
#include "cards/WindowPieces.h"
#include "model/Usage.h"
#include "support/ManualScheduler.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace brenvo {
namespace {

using test::layOut;
using Badge = ServiceBadge::State;

TEST(AgeLabel, StaysFreshOnlyWhileOnScreen)
{
    test::ManualScheduler clock;
    AgeLabel label(clock.wallNow(), clock);
    // Every digit takes the width of the widest one.
    EXPECT_DOUBLE_EQ(AgeLabel::textWidth("11m", label.font()), AgeLabel::textWidth("18m", label.font()));
    EXPECT_FALSE(label.isTicking());
    layOut(label, 40, 16);
    label.repaint();
    EXPECT_TRUE(label.isTicking());
    EXPECT_EQ(clock.pendingCount(), 1);

    // Each tick asks for a paint, and the paint shows the new age and arms the next tick.
    clock.advance(29.0);
    EXPECT_EQ(label.text(), "now");
    clock.advance(61.0);
    QApplication::processEvents();
    label.repaint();
    EXPECT_EQ(label.sizeHint().width(), int(std::ceil(AgeLabel::textWidth("1m", label.font()))));
    EXPECT_TRUE(label.isTicking());

    // Hidden, it lets its tick lapse and asks for nothing more.
    label.hide();
    EXPECT_FALSE(label.isTicking());
    clock.advance(600.0);
    EXPECT_EQ(clock.pendingCount(), 0);
}

TEST(MeterBar, FillIsClampedAndNeverNaN)
{
    const std::pair<double, double> fills[] = {{0.5, 100}, {-0.2, 0}, {1.5, 200},
        {std::numeric_limits<double>::quiet_NaN(), 0}, {std::numeric_limits<double>::infinity(), 200}};
    for (const auto& [fraction, width] : fills)
        EXPECT_DOUBLE_EQ(MeterBar::fillWidth(fraction, 200), width) << fraction;

    MeterBar bar(std::numeric_limits<double>::quiet_NaN(), KitPalette::green());
    layOut(bar, 200, 40);
    EXPECT_FALSE(bar.grab().isNull());
}

TEST(ServiceIcon, ScaleAndBoxes)
{
    const QRectF box(0, 0, 20, 20);
    // A logo that is not square touches its box on two opposite sides only.
    for (KitService s : KitService::allCases()) {
        const QRectF drawn = ServiceIcon::drawnBox(s, box);
        const QRectF fitted = ServiceIcon::fittedRect(s, box);
        const bool fillsWidth = std::abs(fitted.width() - drawn.width()) < 1e-6;
        const bool fillsHeight = std::abs(fitted.height() - drawn.height()) < 1e-6;
        EXPECT_TRUE(fillsWidth || fillsHeight) << s.rawValue().toStdString();
        EXPECT_LE(fitted.width(), drawn.width() + 1e-6);
        EXPECT_LE(fitted.height(), drawn.height() + 1e-6);
        EXPECT_NEAR(fitted.center().x(), drawn.center().x(), 1e-6);
        EXPECT_FALSE(ServiceIcon::logo(s).isEmpty());
    }
}

TEST(UsageTint, ThresholdsAreInclusive)
{
    const auto at = [](double f, KitService s = KitService::claude) {
        return tint(UsageMeter {"m", "m", f, {}}, s);
    };
    const QColor clay = QColor::fromRgbF(0.85f, 0.47f, 0.34f);
    const std::pair<double, QColor> cases[] = {{0.9, KitPalette::red()}, {1.2, KitPalette::red()},
        {0.8999, KitPalette::orange()}, {0.75, KitPalette::orange()}, {0.7499, clay}, {-0.3, clay},
        {std::numeric_limits<double>::quiet_NaN(), clay}};
    for (const auto& [fraction, colour] : cases)
        EXPECT_EQ(at(fraction), colour) << fraction;
    EXPECT_EQ(at(0.2, KitService::codex), QColor::fromRgbF(0.06f, 0.64f, 0.5f));
    EXPECT_EQ(at(0.2, KitService::vercel), clay);
}

TEST(ServiceBadge, OpacitiesAtRestAndAwake)
{
    // At rest a connected badge is faint; lit, fresh, working, disconnected or half-drawn it is awake.
    const Badge rest {KitSignal::good, false, std::nullopt, false, false};
    const std::tuple<Badge, double, double, double> cases[] = {{rest, 1, 0.072, 0.4}, {rest, 0.5, 0.18, 1.0},
        {{KitSignal::good, true, std::nullopt, false, false}, 1, 0.42, 0.4},
        {{KitSignal::good, false, std::nullopt, false, true}, 1, 0.18, 1.0},
        {{KitSignal::good, false, std::nullopt, true, false}, 1, 0.18, 1.0},
        {{KitSignal::disconnected, false, std::nullopt, false, false}, 1, 0.18, 1.0}};
    for (const auto& [state, drawn, fill, ring] : cases) {
        EXPECT_DOUBLE_EQ(ServiceBadge::fillOpacity(state, drawn), fill);
        EXPECT_DOUBLE_EQ(ServiceBadge::ringOpacity(state, drawn), ring);
    }
    EXPECT_EQ(ServiceBadge::arcColour(std::get<0>(cases[5]), 1), KitPalette::gray());

    // One clockwise turn per second in ten steps, in step with the wall clock.
    EXPECT_DOUBLE_EQ(ServiceBadge::rimAngle(1'700'000'000'250), 72);
    EXPECT_DOUBLE_EQ(ServiceBadge::rimAngle(1'700'000'001'299), 72);
    EXPECT_EQ(ServiceBadge::rimFrameDelay(1'700'000'000'250), Duration(50));
}

TEST(ServiceBadge, RingIsDrawnOnWhenAToolConnects)
{
    test::ManualScheduler clock;
    ServiceBadge badge(
        KitService::github, {KitSignal::disconnected, false, std::nullopt, false, false}, clock);
    EXPECT_DOUBLE_EQ(badge.drawn(), 1);

    badge.setState({KitSignal::bad, false, std::nullopt, false, false});
    EXPECT_DOUBLE_EQ(badge.drawn(), 0);
    // The drawing starts 0.04 s later and ends with the ring full.
    clock.advance(0.03);
    EXPECT_DOUBLE_EQ(badge.drawn(), 0);
    clock.advance(0.01);
    badge.finishAnimations();
    EXPECT_DOUBLE_EQ(badge.drawn(), 1);

    // Between connected signals, or to disconnected, the ring is left alone.
    badge.setState({KitSignal::good, false, std::nullopt, false, false});
    EXPECT_DOUBLE_EQ(badge.drawn(), 1);
    badge.setState({KitSignal::disconnected, false, std::nullopt, false, false});
    EXPECT_DOUBLE_EQ(badge.drawn(), 1);
    EXPECT_EQ(clock.pendingCount(), 0);

    // A badge first shown connected is drawn and at rest at once.
    ServiceBadge quiet(KitService::vercel, {KitSignal::good, false, std::nullopt, false, false}, clock);
    EXPECT_DOUBLE_EQ(quiet.drawn(), 1);
    EXPECT_EQ(clock.pendingCount(), 0);
}

TEST(ServiceBadge, RimTurnsOnlyWhereSeen)
{
    test::ManualScheduler clock;
    // A rim waits for its next step only while it can be seen: not slid out of its window (tucked
    // away), not hidden.
    QWidget strip;
    auto* working = new ServiceBadge(
        KitService::vercel, {KitSignal::good, false, std::nullopt, true, false}, clock, &strip);
    layOut(strip, 44, 60);
    working->repaint();
    ASSERT_TRUE(working->isRimTurning());
    EXPECT_LE(clock.nextDue() - clock.now(), Duration(1000 / ServiceBadge::rimSteps + 1));
    for (const QPoint at : {QPoint(44, 0), QPoint(0, 0)}) {
        working->move(at);
        clock.advance(1.0);
        QApplication::processEvents();
        EXPECT_EQ(working->isRimTurning(), at.x() == 0) << at.x();
    }
    working->hide();
    clock.advance(1.0);
    EXPECT_EQ(clock.pendingCount(), 0);
}

} // namespace
} // namespace brenvo
