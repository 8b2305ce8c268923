#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"

#include "model/Deployment.h"
#include "model/KitText.h"
#include "model/Payment.h"
#include "model/Usage.h"

#include <gtest/gtest.h>

#include <limits>

namespace brenvo {
namespace {

using test::fixedNow;
using DS = Deployment::State;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr qint64 int64Max = std::numeric_limits<qint64>::max();

QString q(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

TEST(RowTexts, SubtitleStateWordAndShortID)
{
    Deployment d = test::deployment(q("dpl_1"), DS::ready);
    EXPECT_EQ(d.subtitle(), QString());
    d.commit = q("a1b2c3d");
    d.environment = q("Production");
    d.branch = QString(); // present but empty still takes its place
    EXPECT_EQ(d.subtitle(), q("a1b2c3d ·  · Production"));

    EXPECT_EQ(d.stateWord(KitService::gitlab), q("Passed"));
    EXPECT_EQ(d.stateWord(KitService::cloudflare), q("Ready"));
    d.state = DS::building;
    EXPECT_EQ(d.stateWord(KitService::github), q("Running"));
    d.stateNote = QString();
    EXPECT_EQ(d.stateWord(KitService::vercel), QString());

    const std::pair<const char*, const char*> cases[] = {{"dpl_1", "1"}, {"1234567890abc", "123456789"},
        {"a_b_c", "b_c"}, {"__lead_x", "x"}, {"a__b", "_b"}, {"trail_", "trail"}, {"___", "___"}, {"", ""},
        {"worker:abcdef0123", "worker:ab"}, {"dpl_😀😀😀😀😀😀😀😀😀😀", "😀😀😀😀😀😀😀😀😀"}}; // never half a character
    for (const auto& [id, shortID] : cases)
        EXPECT_EQ(test::deployment(q(id), DS::ready).shortID(), q(shortID)) << id;
}

TEST(AmountTexts, MinorUnitsLocalesAndOddCodes)
{
    const std::tuple<qint64, const char*, const char*, const char*> cases[] = {
        {2900, "USD", "en_US", "$29.00"}, {-5, "USD", "en_US", "-$0.05"},
        {2900, "JPY", "en_US", "¥2,900"}, // no minor unit: whole yen
        {1234, "BHD", "en_US", "BHD\u00A01.234"}, // three minor digits
        {123456, "EUR", "de_DE", "1.234,56\u00A0€"}, {123456789, "INR", "en_IN", "₹12,34,567.89"},
        {2900, "usd", "en_US", "$29.00"}, // codes in lower case still name the currency
        {int64Max, "USD", "en_US", "$92,233,720,368,547,758.07"}, // every digit kept
        {std::numeric_limits<qint64>::min(), "USD", "en_US", "-$92,233,720,368,547,758.08"},
        {2900, "US", "en_US", "29.00 US"}, {2900, "", "en_US", "29.00"}, {2900, "U$D", "en_US", "29.00 U$D"}};
    for (const auto& [minor, currency, locale, text] : cases) {
        Payment p = test::payment(q("pay"), Payment::State::succeeded);
        p.amount = minor;
        p.currency = q(currency);
        EXPECT_EQ(p.amountText(q(locale)), q(text)) << currency << " " << locale;
    }
    const Payment p = test::payment(q("pay"), Payment::State::succeeded);
    EXPECT_EQ(p.amountText(QLocale(QLocale::German, QLocale::Germany)), q("29,00\u00A0$"));
    EXPECT_EQ(p.amountText(QLocale::c()), q("$29.00"));
}

TEST(UsageTexts, PercentResetAndTokens)
{
    const auto percent = [](double f) { return test::meter(q("m"), f).percentText(); };
    EXPECT_EQ(percent(1.2), q("120%"));
    EXPECT_EQ(percent(-0.005), q("-1%")); // halves away from zero
    EXPECT_EQ(percent(0.0049), q("0%"));
    for (double bad : {nan, inf, -inf, 1e17, -1e17})
        EXPECT_EQ(percent(bad), QString()) << bad;

    const QDateTime now = fixedNow();
    const auto reset = [&](qint64 ms) { return test::meter(q("m"), 0.5, now.addMSecs(ms)).resetText(now); };
    EXPECT_EQ(test::meter(q("m"), 0.5).resetText(now), std::nullopt);
    EXPECT_EQ(reset(0), std::nullopt);
    const std::pair<qint64, const char*> resets[] = {{1, "resets in 1m"}, {60001, "resets in 2m"},
        {59 * 60000 + 1000, "resets in 1h 0m"}, {1439LL * 60000, "resets in 23h 59m"},
        {86400000, "resets in 1d 0h"}, {172800000 - 1, "resets in 2d 0h"}};
    for (const auto& [ms, text] : resets)
        EXPECT_EQ(reset(ms), q(text)) << ms;
    EXPECT_EQ(test::meter(q("m"), 0.5, QDateTime()).resetText(now), std::nullopt);
    EXPECT_EQ(test::meter(q("m"), 0.5, now.addSecs(60)).resetText(QDateTime()), std::nullopt);

    const std::pair<std::optional<qint64>, const char*> tokens[]
        = {{0, "0 tokens"}, {-12000, "-12000 tokens"}, {999, "999 tokens"}, {1000, "1K tokens"},
            {123456, "123.5K tokens"}, {999999, "1,000K tokens"}, {1240000, "1.2M tokens"},
            {2500000000, "2,500M tokens"}, {int64Max, "9,223,372,036,854.8M tokens"}};
    for (const auto& [n, text] : tokens)
        EXPECT_EQ((UsageSpend {q("today"), q("Today"), 0, q("USD"), n}.tokensText()), q(text)) << *n;
    EXPECT_EQ((UsageSpend {q("today"), q("Today"), 0, q("USD"), std::nullopt}.tokensText()), std::nullopt);
}

TEST(TimeTexts, IntervalAndDuration)
{
    const std::tuple<double, const char*, const char*> cases[] = {{0, "Every 0s", "Never"},
        {0.49, "Every 0s", "Never"}, {0.5, "Every 1s", "1 second"}, {30, "Every 30s", "30 seconds"},
        {59.4, "Every 59s", "59 seconds"}, {59.5, "Every 1m", "1 minute"}, {90, "Every 1m", "1 minute"},
        {120, "Every 2m", "2 minutes"}, {600, "Every 10m", "10 minutes"}, {-30, "", "Never"}};
    for (const auto& [seconds, every, duration] : cases) {
        if (seconds >= 0) {
            EXPECT_EQ(refreshIntervalText(seconds), q(every)) << seconds;
        }
        EXPECT_EQ(durationText(seconds), q(duration)) << seconds;
    }
    for (double bad : {nan, inf, -inf, 1e19, -1e19}) {
        EXPECT_EQ(refreshIntervalText(bad), QString()) << bad;
        EXPECT_EQ(durationText(bad), q("Never")) << bad;
    }
    EXPECT_EQ(refreshIntervalText(9.2e18), q("Every 153333333333333333m"));
}

TEST(TimeTexts, Age)
{
    const QDateTime now = fixedNow();
    const std::pair<qint64, const char*> cases[] = {{-86400000, "now"}, {59999, "now"}, {60000, "1m"},
        {3599000, "59m"}, {3600000, "1h"}, {86399000, "23h"}, {86400000, "1d"}, {400LL * 86400000, "400d"}};
    for (const auto& [ms, text] : cases)
        EXPECT_EQ(ageText(now.addMSecs(-ms), now), q(text)) << ms;
    EXPECT_EQ(ageText(QDateTime(), now), QString());
    EXPECT_EQ(ageText(now, QDateTime()), QString());
    // Dates at the far ends of the calendar: the span overflows nothing.
    const QDateTime far = QDateTime::fromMSecsSinceEpoch(int64Max / 2 + 1, Qt::UTC);
    const QDateTime past = QDateTime::fromMSecsSinceEpoch(-(int64Max / 2) - 2, Qt::UTC);
    ASSERT_TRUE(far.isValid() && past.isValid());
    EXPECT_EQ(ageText(past, far), QString());
    EXPECT_EQ(ageText(far, past), QString());
}

} // namespace
} // namespace brenvo
