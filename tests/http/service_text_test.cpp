// Explanations in error bodies, failure equality, time stamps, first lines and durations.
#include "http/ServiceAPI.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

#include <cmath>
#include <limits>

using namespace brenvo;

namespace {

std::optional<QString> messageIn(const char* json)
{
    return ServiceAPI::message(QJsonDocument::fromJson(json).object());
}

TEST(ErrorMessage, SearchOrder)
{
    EXPECT_EQ(messageIn("{}"), std::nullopt);
    EXPECT_EQ(messageIn(R"({"error":{"message":"nested"},"message":"top"})"), "nested");
    EXPECT_EQ(messageIn(R"({"error":{"message":""},"message":"top"})"), "")
        << "an empty nested message counts";
    EXPECT_EQ(messageIn(R"({"error":{"code":1},"message":"top"})"), "top");
    EXPECT_EQ(messageIn(R"({"error":{"message":5},"detail":"d"})"), "d");

    EXPECT_EQ(messageIn(R"({"errors":[{"message":"first"},{"message":"second"}]})"), "first");
    EXPECT_EQ(messageIn(R"({"errors":[{"message":""}],"message":"top"})"), "");
    EXPECT_EQ(messageIn(R"({"errors":[],"message":"top"})"), "top");
    EXPECT_EQ(messageIn(R"({"errors":[{"code":1},{"message":"second"}],"message":"top"})"), "top");
    EXPECT_EQ(messageIn(R"({"errors":[{"message":"first"},"text"],"message":"top"})"), "top");
    EXPECT_EQ(messageIn(R"({"errors":[{"message":"first"},3]})"), std::nullopt);

    EXPECT_EQ(messageIn(R"({"message":"","detail":"the detail"})"), "the detail");
    EXPECT_EQ(messageIn(R"({"message":7,"error_description":"desc"})"), "desc");
    EXPECT_EQ(messageIn(R"({"error":"plain string"})"), "plain string");
    EXPECT_EQ(messageIn(R"({"error":""})"), std::nullopt);
    EXPECT_EQ(messageIn(R"({"Message":"case matters"})"), std::nullopt);
    EXPECT_EQ(messageIn(R"({"message":"  kept as is \n"})"), "  kept as is \n");
}

TEST(ServiceFailureValue, EqualityByCaseAndPayload)
{
    EXPECT_EQ(ServiceFailure::refused(404, "a"), ServiceFailure::refused(404, "a"));
    EXPECT_NE(ServiceFailure::refused(404, "a"), ServiceFailure::refused(404, "b"));
    EXPECT_NE(ServiceFailure::refused(404, "a"), ServiceFailure::refused(403, "a"));
    EXPECT_NE(ServiceFailure::explained("a"), ServiceFailure::refused(0, "a"));
    EXPECT_EQ(ServiceFailure::rejected(), ServiceFailure::rejected());
    EXPECT_NE(ServiceFailure::rejected(), ServiceFailure::explained(""));
    EXPECT_EQ(ServiceFailure::refused(409, "x").status(), 409);
    EXPECT_FALSE(QByteArray(ServiceFailure::refused(500, "secret server text").what()).contains("secret"));
}

TEST(TimeStamp, ReadsRfc3339AndNothingLooser)
{
    const QDateTime second(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC);
    EXPECT_EQ(ServiceAPI::date(QStringLiteral("2024-05-06T07:08:09Z")), second);
    EXPECT_EQ(ServiceAPI::date(QStringLiteral("2024-05-06T07:08:09.123Z")), second);
    EXPECT_EQ(ServiceAPI::date(QStringLiteral("2024-05-06T07:08:09.999999Z")), second) << "never rounded";
    EXPECT_EQ(ServiceAPI::date(QStringLiteral("2024-05-06T09:08:09+02:00")), second);
    EXPECT_EQ(ServiceAPI::date(QStringLiteral("2024-05-06T02:38:09.5-04:30")), second);

    for (const char* text :
        {"", "2024-05-06", "2024-05-06 07:08:09Z", "2024-05-06T07:08:09", "2024-05-06T07:08Z",
            "2024-02-30T00:00:00Z", "2024-05-06T24:00:00Z", "20240506T070809Z", "2024-05-06T07:08:09+0200",
            "2024-05-06T07:08:09+02", " 2024-05-06T07:08:09Z", "2024-05-06T07:08:09Z trailing"}) {
        EXPECT_EQ(ServiceAPI::date(QString::fromLatin1(text)), std::nullopt) << text;
    }
    EXPECT_EQ(ServiceAPI::date(std::nullopt), std::nullopt);
}

TEST(FirstLine, CutsAtTheFirstLineBreak)
{
    EXPECT_EQ(ServiceAPI::firstLine(QStringLiteral("One line")), "One line");
    EXPECT_EQ(ServiceAPI::firstLine(QStringLiteral("Title\n\nBody text")), "Title");
    EXPECT_EQ(ServiceAPI::firstLine(QStringLiteral("\n\r\n  Indented\nrest")), "  Indented");
    EXPECT_EQ(ServiceAPI::firstLine(QStringLiteral("Windows\r\nrest")), "Windows");
    EXPECT_EQ(ServiceAPI::firstLine(QString::fromUtf16(u"a\u2028b")), "a");
    EXPECT_EQ(ServiceAPI::firstLine(QString::fromUtf16(u"\u0085\u2029\f\vz")), "z");
    EXPECT_EQ(ServiceAPI::firstLine(QStringLiteral("\n\n")), "");
    EXPECT_EQ(ServiceAPI::firstLine(std::nullopt), "");
    EXPECT_EQ(ServiceAPI::firstLine(QStringLiteral("tab\tkept ")), "tab\tkept ");
}

TEST(Duration, ShortText)
{
    const std::vector<std::pair<double, const char*>> table = {
        {0, "0s"},
        {-0.0, "0s"},
        {0.4, "0s"},
        {0.5, "1s"},
        {42, "42s"},
        {59.5, "1m 0s"},
        {60, "1m 0s"},
        {125, "2m 5s"},
        {3599, "59m 59s"},
        {3600, "1h 0m"},
        {3661, "1h 1m"},
        {7199, "1h 59m"},
        {90000, "25h 0m"},
        {3599.5, "1h 0m"},
    };
    for (const auto& [seconds, text] : table)
        EXPECT_EQ(ServiceAPI::durationText(seconds), QString::fromLatin1(text)) << seconds;
    EXPECT_EQ(ServiceAPI::durationText(-1), std::nullopt);
    EXPECT_EQ(ServiceAPI::durationText(-0.4), std::nullopt);
    EXPECT_EQ(ServiceAPI::durationText(std::nullopt), std::nullopt);
    EXPECT_EQ(ServiceAPI::durationText(std::nan("")), std::nullopt);
    EXPECT_EQ(ServiceAPI::durationText(std::numeric_limits<double>::infinity()), std::nullopt);
    EXPECT_EQ(ServiceAPI::durationText(1e19), std::nullopt);
}

} // namespace
