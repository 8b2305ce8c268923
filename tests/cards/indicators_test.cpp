// Indicators, tool faces and the strip's badge.
#include "CardTestSupport.h"
#include "cards/KitFont.h"
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

TEST(AgeLabel, ReadsTheClockWhenPainted)
{
    test::ManualScheduler clock;
    const QDateTime now = clock.wallNow();
    const auto ageAt = [&](qint64 secondsAgo) { return AgeLabel(now.addSecs(-secondsAgo), clock).text(); };
    EXPECT_EQ(ageAt(59), "now");
    EXPECT_EQ(ageAt(60), "1m");
    EXPECT_EQ(ageAt(3599), "59m");
    EXPECT_EQ(ageAt(3600), "1h");
    EXPECT_EQ(ageAt(86399), "23h");
    EXPECT_EQ(ageAt(86400), "1d");
    EXPECT_EQ(ageAt(10 * 86400), "10d");
    EXPECT_EQ(ageAt(-300), "now");

    AgeLabel label(now, clock);
    EXPECT_DOUBLE_EQ(kitFontPixelSize(label.font()), 11);
    // Every digit takes the width of the widest one.
    EXPECT_DOUBLE_EQ(AgeLabel::textWidth("11m", label.font()), AgeLabel::textWidth("18m", label.font()));
}

TEST(AgeLabel, StaysFreshOnlyWhileOnScreen)
{
    test::ManualScheduler clock;
    AgeLabel label(clock.wallNow(), clock);
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
    EXPECT_DOUBLE_EQ(MeterBar::fillWidth(0.5, 200), 100);
    EXPECT_DOUBLE_EQ(MeterBar::fillWidth(-0.2, 200), 0);
    EXPECT_DOUBLE_EQ(MeterBar::fillWidth(0, 200), 0);
    EXPECT_DOUBLE_EQ(MeterBar::fillWidth(1.5, 200), 200);
    EXPECT_DOUBLE_EQ(MeterBar::fillWidth(std::numeric_limits<double>::quiet_NaN(), 200), 0);
    EXPECT_DOUBLE_EQ(MeterBar::fillWidth(std::numeric_limits<double>::infinity(), 200), 200);

    MeterBar bar(std::numeric_limits<double>::quiet_NaN(), KitPalette::green());
    layOut(bar, 200, 40);
    EXPECT_EQ(bar.height(), 5);
    EXPECT_FALSE(bar.grab().isNull());

    SignalDot dot(KitPalette::red(), 6);
    EXPECT_EQ(dot.sizeHint(), QSize(6, 6));
    EXPECT_EQ(dot.colour(), KitPalette::red());
}

TEST(ServiceIcon, ScaleAndBoxes)
{
    const QRectF box(0, 0, 20, 20);
    EXPECT_EQ(ServiceIcon::drawnBox(KitService::cloudflare, box), QRectF(-2, -2, 24, 24));
    const QRectF stripe = ServiceIcon::drawnBox(KitService::stripe, box);
    EXPECT_NEAR(stripe.width(), 16.4, 1e-9);
    EXPECT_EQ(stripe.center(), box.center());
    EXPECT_EQ(ServiceIcon::drawnBox(KitService::github, box), box);
    EXPECT_EQ(ServiceIcon::drawnBox(KitService::polar, box), box);

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
    EXPECT_EQ(ServiceIcon::imageName(KitService::github), "ServiceGitHub");
    EXPECT_EQ(ServiceIcon::imageName(KitService::codex), "ServiceCodex");
}

TEST(ServiceTile, GroundsAndMetrics)
{
    EXPECT_EQ(ServiceTile::color(KitService::vercel), ServiceTile::color(KitService::codex));
    EXPECT_EQ(ServiceTile::color(KitService::vercel), QColor::fromRgbF(0.08f, 0.08f, 0.08f));
    EXPECT_EQ(ServiceTile::color(KitService::stripe), QColor::fromRgbF(0.39f, 0.36f, 1.0f));
    EXPECT_DOUBLE_EQ(ServiceTile::cornerRadius(40), 9.6);
    EXPECT_DOUBLE_EQ(ServiceTile::iconSize(40), 22.4);
    ServiceTile tile(KitService::cloudflare, 40);
    EXPECT_EQ(tile.sizeHint(), QSize(40, 40));
    EXPECT_FALSE(tile.grab().isNull());
}

TEST(UsageTint, ThresholdsAreInclusive)
{
    const auto at = [](double f, KitService s = KitService::claude) {
        return tint(UsageMeter {"m", "m", f, {}}, s);
    };
    const QColor clay = QColor::fromRgbF(0.85f, 0.47f, 0.34f);
    EXPECT_EQ(at(0.9), KitPalette::red());
    EXPECT_EQ(at(1.2), KitPalette::red());
    EXPECT_EQ(at(0.8999), KitPalette::orange());
    EXPECT_EQ(at(0.75), KitPalette::orange());
    EXPECT_EQ(at(0.7499), clay);
    EXPECT_EQ(at(-0.3), clay);
    EXPECT_EQ(at(std::numeric_limits<double>::quiet_NaN()), clay);
    EXPECT_EQ(at(0.2, KitService::codex), QColor::fromRgbF(0.06f, 0.64f, 0.5f));
    EXPECT_EQ(at(0.2, KitService::vercel), clay);
}

TEST(ServiceBadge, OpacitiesAtRestAndAwake)
{
    const Badge rest {KitSignal::good, false, std::nullopt, false, false};
    EXPECT_DOUBLE_EQ(ServiceBadge::fillOpacity(rest, 1), 0.072);
    EXPECT_DOUBLE_EQ(ServiceBadge::ringOpacity(rest, 1), 0.4);
    EXPECT_DOUBLE_EQ(ServiceBadge::fillOpacity(rest, 0.5), 0.18);
    EXPECT_DOUBLE_EQ(ServiceBadge::ringOpacity(rest, 0.5), 1.0);

    Badge lit = rest;
    lit.isLit = true;
    EXPECT_DOUBLE_EQ(ServiceBadge::fillOpacity(lit, 1), 0.42);
    EXPECT_DOUBLE_EQ(ServiceBadge::ringOpacity(lit, 1), 0.4);

    Badge fresh = rest;
    fresh.isFresh = true;
    EXPECT_DOUBLE_EQ(ServiceBadge::fillOpacity(fresh, 1), 0.18);
    EXPECT_DOUBLE_EQ(ServiceBadge::ringOpacity(fresh, 1), 1.0);
    EXPECT_EQ(ServiceBadge::arcColour(fresh, 1), KitPalette::green());

    const Badge off {KitSignal::disconnected, false, std::nullopt, false, false};
    EXPECT_DOUBLE_EQ(ServiceBadge::fillOpacity(off, 1), 0.18);
    EXPECT_DOUBLE_EQ(ServiceBadge::ringOpacity(off, 1), 1.0);
    EXPECT_EQ(ServiceBadge::arcColour(off, 1), KitPalette::gray());
    EXPECT_DOUBLE_EQ(ServiceBadge::trackOpacity(1), 0);
    EXPECT_DOUBLE_EQ(ServiceBadge::trackOpacity(0.3), 1);

    Badge working = rest;
    working.isWorking = true;
    EXPECT_DOUBLE_EQ(ServiceBadge::fillOpacity(working, 1), 0.18);
    EXPECT_DOUBLE_EQ(ServiceBadge::ringOpacity(working, 1), 1.0);

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
    EXPECT_EQ(badge.size(), QSize(26, 26));
    EXPECT_DOUBLE_EQ(badge.drawn(), 1);

    badge.setState({KitSignal::bad, false, std::nullopt, false, false});
    EXPECT_DOUBLE_EQ(badge.drawn(), 0);
    // The drawing starts 0.04 s later and ends with the ring full.
    clock.advance(0.03);
    EXPECT_DOUBLE_EQ(badge.drawn(), 0);
    clock.advance(0.01);
    badge.finishAnimations();
    EXPECT_DOUBLE_EQ(badge.drawn(), 1);
    EXPECT_FALSE(badge.grab().isNull());

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

TEST(ServiceBadge, MarksAndWorkingPaint)
{
    test::ManualScheduler clock;
    ServiceBadge badge(
        KitService::stripe, {KitSignal::good, false, ServiceBadge::Mark::done, false, false}, clock);
    EXPECT_FALSE(badge.grab().isNull());
    badge.setState({KitSignal::good, false, ServiceBadge::Mark::problem, false, false});
    badge.finishAnimations();
    EXPECT_FALSE(badge.grab().isNull());
    badge.setState({KitSignal::attention, true, std::nullopt, true, true});
    layOut(badge, 26, 26);
    badge.finishAnimations();
    EXPECT_FALSE(badge.grab().isNull());
    EXPECT_EQ(badge.state().isWorking, true);

    // A rim waits for its next step only while it can be seen: not slid out of its window (tucked
    // away), not hidden.
    badge.hide();
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

TEST(WindowPieces, IconCornersAndWash)
{
    EXPECT_DOUBLE_EQ(AppIconView::cornerRadius(64), 14.336);
    AppIconView none(0);
    EXPECT_EQ(none.sizeHint(), QSize(0, 0));
    EXPECT_EQ(AppIconView(64).sizeHint(), QSize(64, 64));
    CardWash wash;
    layOut(wash, 120, 80);
    const QImage image = wash.grab().toImage();
    // White under pale gradients: the bottom edge is white, the top is tinted blue.
    EXPECT_EQ(image.pixelColor(10, 79), QColor(Qt::white));
    EXPECT_LT(image.pixelColor(10, 0).red(), 255);
}

} // namespace
} // namespace brenvo
