#include "Printers.h"
#include "support/ModelBuilders.h"

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

QString q(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

TEST(RowTexts, SubtitleJoinsPresentFields)
{
    Deployment d = test::deployment(q("dpl_1"), DS::ready);
    EXPECT_EQ(d.subtitle(), QString());
    d.branch = q("main");
    EXPECT_EQ(d.subtitle(), q("main"));
    d.commit = q("a1b2c3d");
    d.environment = q("Production");
    EXPECT_EQ(d.subtitle(), q("a1b2c3d · main · Production"));
    d.branch = QString(); // present but empty still takes its place
    EXPECT_EQ(d.subtitle(), q("a1b2c3d ·  · Production"));
}

TEST(RowTexts, StateWordsByTool)
{
    Deployment d = test::deployment(q("x"), DS::ready);
    const struct {
        DS state;
        const char* checks;
        const char* deploys;
    } words[] = {{DS::ready, "Passed", "Ready"}, {DS::building, "Running", "Building"},
        {DS::failed, "Failed", "Failed"}, {DS::canceled, "Canceled", "Canceled"}};
    for (const auto& w : words) {
        d.state = w.state;
        EXPECT_EQ(d.stateWord(KitService::github), q(w.checks));
        EXPECT_EQ(d.stateWord(KitService::gitlab), q(w.checks));
        EXPECT_EQ(d.stateWord(KitService::vercel), q(w.deploys));
        EXPECT_EQ(d.stateWord(KitService::cloudflare), q(w.deploys));
    }
    d.stateNote = q("Needs approval");
    EXPECT_EQ(d.stateWord(KitService::github), q("Needs approval"));
    d.stateNote = QString();
    EXPECT_EQ(d.stateWord(KitService::vercel), QString());
}

TEST(RowTexts, ShortID)
{
    const struct {
        const char* id;
        const char* shortID;
    } cases[] = {
        {"dpl_1", "1"}, {"dpl_abcdefghijklmnopqrstuvwx", "abcdefghi"}, {"1234567890abc", "123456789"},
        {"a_b_c", "b_c"}, {"__lead_x", "x"}, {"a__b", "_b"}, {"trail_", "trail"}, {"___", "___"}, {"", ""},
        {"build:42", "build:42"}, {"worker:abcdef0123", "worker:ab"},
        {"dpl_😀😀😀😀😀😀😀😀😀😀", "😀😀😀😀😀😀😀😀😀"}, // never half a character
    };
    for (const auto& c : cases) {
        Deployment d = test::deployment(q(c.id), DS::ready);
        EXPECT_EQ(d.shortID(), q(c.shortID)) << c.id;
    }
}

QString amount(qint64 minor, const char* currency, const char* locale)
{
    Payment p = test::payment(q("pay"), Payment::State::succeeded);
    p.amount = minor;
    p.currency = q(currency);
    return p.amountText(q(locale));
}

TEST(AmountTexts, MinorUnitsPerCurrency)
{
    EXPECT_EQ(amount(2900, "USD", "en_US"), q("$29.00"));
    EXPECT_EQ(amount(5, "USD", "en_US"), q("$0.05"));
    EXPECT_EQ(amount(-2900, "USD", "en_US"), q("-$29.00"));
    EXPECT_EQ(amount(0, "USD", "en_US"), q("$0.00"));
    EXPECT_EQ(amount(123456789, "USD", "en_US"), q("$1,234,567.89"));
    // No minor unit: the amount is whole yen.
    EXPECT_EQ(amount(2900, "JPY", "en_US"), q("¥2,900"));
    EXPECT_EQ(amount(2900, "JPY", "ja_JP"), q("￥2,900"));
    EXPECT_EQ(amount(500, "KRW", "en_US"), q("₩500"));
    // Three minor digits.
    EXPECT_EQ(amount(1234, "BHD", "en_US"), q("BHD\u00A01.234"));
    EXPECT_EQ(amount(5, "KWD", "en_US"), q("KWD\u00A00.005"));
    // The locale decides symbol place, separators and grouping.
    EXPECT_EQ(amount(123456, "EUR", "de_DE"), q("1.234,56\u00A0€"));
    EXPECT_EQ(amount(2900, "USD", "en_GB"), q("US$29.00"));
    EXPECT_EQ(amount(123456789, "INR", "en_IN"), q("₹12,34,567.89"));
    // Tools that write codes in lower case still get their currency.
    EXPECT_EQ(amount(2900, "usd", "en_US"), q("$29.00"));
}

TEST(AmountTexts, ExactDecimalsAndOddInput)
{
    // Far beyond a double's exact range: every digit kept.
    EXPECT_EQ(amount(std::numeric_limits<qint64>::max(), "USD", "en_US"), q("$92,233,720,368,547,758.07"));
    EXPECT_EQ(amount(std::numeric_limits<qint64>::min(), "USD", "en_US"), q("-$92,233,720,368,547,758.08"));
    // A code that is no currency gives the bare figure and the code, never a crash.
    EXPECT_EQ(amount(2900, "US", "en_US"), q("29.00 US"));
    EXPECT_EQ(amount(2900, "", "en_US"), q("29.00"));
    EXPECT_EQ(amount(2900, "U$D", "en_US"), q("29.00 U$D"));

    Payment p = test::payment(q("pay"), Payment::State::succeeded);
    EXPECT_EQ(p.amountText(QLocale(QLocale::English, QLocale::UnitedStates)), q("$29.00"));
    EXPECT_EQ(p.amountText(QLocale(QLocale::German, QLocale::Germany)), q("29,00\u00A0$"));
    EXPECT_EQ(p.amountText(QLocale::c()), q("$29.00"));
}

TEST(UsageTexts, Percent)
{
    const auto percent = [](double f) { return test::meter(q("m"), f).percentText(); };
    EXPECT_EQ(percent(0.62), q("62%"));
    EXPECT_EQ(percent(1.2), q("120%"));
    EXPECT_EQ(percent(0), q("0%"));
    EXPECT_EQ(percent(0.005), q("1%")); // halves away from zero
    EXPECT_EQ(percent(-0.005), q("-1%"));
    EXPECT_EQ(percent(0.0049), q("0%"));
    for (double bad : {nan, inf, -inf, 1e17, -1e17})
        EXPECT_EQ(percent(bad), QString()) << bad;
}

TEST(UsageTexts, ResetTimes)
{
    const QDateTime now = fixedNow();
    const auto reset
        = [&](qint64 msecs) { return test::meter(q("m"), 0.5, now.addMSecs(msecs)).resetText(now); };
    EXPECT_EQ(test::meter(q("m"), 0.5).resetText(now), std::nullopt);
    EXPECT_EQ(reset(0), std::nullopt);
    EXPECT_EQ(reset(-60000), std::nullopt);
    EXPECT_EQ(reset(1), q("resets in 1m"));
    EXPECT_EQ(reset(1000), q("resets in 1m"));
    EXPECT_EQ(reset(10000), q("resets in 1m"));
    EXPECT_EQ(reset(60000), q("resets in 1m"));
    EXPECT_EQ(reset(60001), q("resets in 2m"));
    EXPECT_EQ(reset(59 * 60000), q("resets in 59m"));
    EXPECT_EQ(reset(59 * 60000 + 1000), q("resets in 1h 0m"));
    EXPECT_EQ(reset(3600 * 1000), q("resets in 1h 0m"));
    EXPECT_EQ(reset(6480 * 1000), q("resets in 1h 48m"));
    EXPECT_EQ(reset(1439LL * 60000), q("resets in 23h 59m"));
    EXPECT_EQ(reset(86400LL * 1000), q("resets in 1d 0h"));
    EXPECT_EQ(reset(345600LL * 1000), q("resets in 4d 0h"));
    EXPECT_EQ(reset(172800LL * 1000 - 1), q("resets in 2d 0h"));
    EXPECT_EQ(reset(90000LL * 1000 + 1), q("resets in 1d 1h"));
    // An unusable reset time gives no text.
    UsageMeter broken = test::meter(q("m"), 0.5, QDateTime());
    EXPECT_EQ(broken.resetText(now), std::nullopt);
    EXPECT_EQ(test::meter(q("m"), 0.5, now.addSecs(60)).resetText(QDateTime()), std::nullopt);
}

TEST(UsageTexts, TokenCounts)
{
    const auto tokens = [](std::optional<qint64> n) {
        return UsageSpend {q("today"), q("Today"), 0, q("USD"), n}.tokensText();
    };
    EXPECT_EQ(tokens(std::nullopt), std::nullopt);
    EXPECT_EQ(tokens(0), q("0 tokens"));
    EXPECT_EQ(tokens(-12000), q("-12000 tokens"));
    EXPECT_EQ(tokens(999), q("999 tokens"));
    EXPECT_EQ(tokens(1000), q("1K tokens"));
    EXPECT_EQ(tokens(1500), q("1.5K tokens"));
    EXPECT_EQ(tokens(2000), q("2K tokens"));
    EXPECT_EQ(tokens(123456), q("123.5K tokens"));
    EXPECT_EQ(tokens(999999), q("1,000K tokens"));
    EXPECT_EQ(tokens(1000000), q("1M tokens"));
    EXPECT_EQ(tokens(1240000), q("1.2M tokens"));
    EXPECT_EQ(tokens(2500000000), q("2,500M tokens"));
    EXPECT_EQ(tokens(std::numeric_limits<qint64>::max()), q("9,223,372,036,854.8M tokens"));
}

TEST(TimeTexts, RefreshInterval)
{
    EXPECT_EQ(refreshIntervalText(30), q("Every 30s"));
    EXPECT_EQ(refreshIntervalText(59.4), q("Every 59s"));
    EXPECT_EQ(refreshIntervalText(59.5), q("Every 1m"));
    EXPECT_EQ(refreshIntervalText(60), q("Every 1m"));
    EXPECT_EQ(refreshIntervalText(90), q("Every 1m"));
    EXPECT_EQ(refreshIntervalText(600), q("Every 10m"));
    EXPECT_EQ(refreshIntervalText(0), q("Every 0s"));
    for (double bad : {nan, inf, -inf, 1e19, -1e19})
        EXPECT_EQ(refreshIntervalText(bad), QString()) << bad;
    EXPECT_EQ(refreshIntervalText(9.2e18), q("Every 153333333333333333m"));
}

TEST(TimeTexts, Age)
{
    const QDateTime now = fixedNow();
    const auto age = [&](qint64 seconds) { return ageText(now.addSecs(-seconds), now); };
    EXPECT_EQ(age(0), q("now"));
    EXPECT_EQ(age(-1), q("now"));
    EXPECT_EQ(age(-86400), q("now"));
    EXPECT_EQ(age(59), q("now"));
    EXPECT_EQ(age(60), q("1m"));
    EXPECT_EQ(age(3599), q("59m"));
    EXPECT_EQ(age(3600), q("1h"));
    EXPECT_EQ(age(86399), q("23h"));
    EXPECT_EQ(age(86400), q("1d"));
    EXPECT_EQ(age(400 * 86400), q("400d"));
    EXPECT_EQ(ageText(now.addMSecs(-59999), now), q("now"));
    EXPECT_EQ(ageText(QDateTime(), now), QString());
    EXPECT_EQ(ageText(now, QDateTime()), QString());
    // Dates at the far ends of the calendar: the span overflows nothing.
    const QDateTime far = QDateTime::fromMSecsSinceEpoch(std::numeric_limits<qint64>::max() / 2 + 1, Qt::UTC);
    const QDateTime past
        = QDateTime::fromMSecsSinceEpoch(-(std::numeric_limits<qint64>::max() / 2) - 2, Qt::UTC);
    ASSERT_TRUE(far.isValid() && past.isValid());
    EXPECT_EQ(ageText(past, far), QString());
    EXPECT_EQ(ageText(far, past), QString());
}

TEST(TimeTexts, Duration)
{
    EXPECT_EQ(durationText(0), q("Never"));
    EXPECT_EQ(durationText(0.49), q("Never"));
    EXPECT_EQ(durationText(-30), q("Never"));
    EXPECT_EQ(durationText(0.5), q("1 second"));
    EXPECT_EQ(durationText(30), q("30 seconds"));
    EXPECT_EQ(durationText(59), q("59 seconds"));
    EXPECT_EQ(durationText(60), q("1 minute"));
    EXPECT_EQ(durationText(90), q("1 minute"));
    EXPECT_EQ(durationText(120), q("2 minutes"));
    EXPECT_EQ(durationText(300), q("5 minutes"));
    EXPECT_EQ(durationText(1800), q("30 minutes"));
    for (double bad : {nan, inf, -inf, 1e19})
        EXPECT_EQ(durationText(bad), q("Never")) << bad;
}

} // namespace
} // namespace brenvo
