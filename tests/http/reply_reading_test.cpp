// Reading replies: what fails the strict reader, what counts as absent and how keys are matched;
// explanations in error bodies, time stamps, first lines and durations.
#include "http/JsonReader.h"
#include "http/ServiceAPI.h"
#include "model/KitText.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

#include <dlfcn.h>

#include <cmath>
#include <limits>

// Counts every exception thrown, to show which reading paths raise none.
namespace {
int thrown = 0;
}
extern "C" [[noreturn]] void __cxa_throw(void* object, void* type, void (*destroy)(void*))
{
    ++thrown;
    using Throw = void (*)(void*, void*, void (*)(void*));
    static const auto next = reinterpret_cast<Throw>(dlsym(RTLD_NEXT, "__cxa_throw"));
    next(object, type, destroy);
    __builtin_unreachable();
}

using namespace brenvo;

namespace {

struct Author {
    QString login;
    static Author fromJson(const JsonObject& o) { return {o.required<QString>("login")}; }
    bool operator==(const Author&) const = default;
};

struct ConclusionWord {
    bool success = false;
    static ConclusionWord fromJsonValue(const JsonValue& v)
    {
        const QString word = v.as<QString>();
        if (word != u"success" && word != u"failure")
            v.fail("success or failure");
        return {word == u"success"};
    }
    bool operator==(const ConclusionWord&) const = default;
};

struct WorkflowRun {
    qint64 id = 0;
    QString headBranch;
    std::optional<QString> displayTitle;
    std::optional<Author> actor;
    std::vector<Author> reviewers;
    std::optional<ConclusionWord> conclusion;
    bool draft = false;
    std::optional<QUrl> htmlUrl;

    static WorkflowRun fromJson(const JsonObject& o)
    {
        return {o.required<qint64>("id"), o.required<QString>("headBranch"),
            o.optional<QString>("displayTitle"), o.optional<Author>("actor"),
            o.optional("reviewers", std::vector<Author> {}), o.optional<ConclusionWord>("conclusion"),
            o.optional("draft", false), o.optional<QUrl>("htmlUrl")};
    }
    bool operator==(const WorkflowRun&) const = default;
};

struct Page {
    qint64 totalCount = 0;
    std::vector<WorkflowRun> workflowRuns;
    static Page fromJson(const JsonObject& o)
    {
        return {o.required<qint64>("totalCount"), o.required<std::vector<WorkflowRun>>("workflowRuns")};
    }
};

DecodingFailure failureOf(const QByteArray& body, KeyStyle style = KeyStyle::snakeCase)
{
    try {
        decodeJson<Page>(body, style);
    } catch (const DecodingFailure& failure) {
        return failure;
    }
    ADD_FAILURE() << "decoded: " << body.toStdString();
    return DecodingFailure(DecodingFailure::Kind::dataCorrupted, {}, {});
}

// A page of one run with its required members and the given ones.
QByteArray oneRun(const char* members)
{
    return R"({"total_count": 1, "workflow_runs": [{"id": 1, "head_branch": "m")" + QByteArray(members)
        + "}]}";
}

TEST(JsonReader, ReadsASnakeCaseReplyIntoCamelCaseFields)
{
    const Page page = decodeJson<Page>(R"({
        "total_count": 2,
        "workflow_runs": [
            {"id": 7, "head_branch": "main", "display_title": "Fix", "actor": {"login": "octo"},
             "reviewers": [{"login": "a"}, {"login": "b"}], "conclusion": "success",
             "draft": true, "html_url": "https://example.test/runs/7", "unknown_member": [1, 2]},
            {"id": 8.0, "headBranch": "dev", "display_title": null, "actor": null, "conclusion": null}
        ]})",
        KeyStyle::snakeCase);
    // The camelCase spelling works too; null counts as absent for optional members.
    EXPECT_EQ(page.workflowRuns,
        (std::vector<WorkflowRun> {{7, "main", "Fix", Author {"octo"}, {{"a"}, {"b"}}, ConclusionWord {true},
                                       true, QUrl("https://example.test/runs/7")},
            {8, "dev", std::nullopt, std::nullopt, {}, std::nullopt, false, std::nullopt}}));
}

TEST(JsonReader, KeysAreMatchedAsWrittenUnlessSnakeCase)
{
    const QByteArray body = R"({"total_count": 0, "workflow_runs": []})";
    EXPECT_EQ(decodeJson<Page>(body, KeyStyle::snakeCase).totalCount, 0);
    const DecodingFailure f = failureOf(body, KeyStyle::asIs);
    EXPECT_EQ(f.kind(), DecodingFailure::Kind::keyNotFound);
    EXPECT_EQ(f.path(), "totalCount");

    for (const auto& [key, converted] : std::vector<std::pair<const char*, const char*>> {
             {"HTTP_STATUS_code", "httpStatusCode"}, {"_private_key_", "_privateKey_"}, {"a__b", "aB"},
             {"alreadyCamel", "alreadyCamel"}, {"Single", "Single"}, {"___", "___"}})
        EXPECT_EQ(camelCaseKey(QString::fromLatin1(key)), QString::fromLatin1(converted)) << key;

    // Keys are read exactly as written: a byte-order mark is part of the key; the last of twins counts.
    for (const char* body : {R"({"\uFEFFlogin": "x"})", "{\"\xEF\xBB\xBFlogin\": \"x\"}"})
        EXPECT_THROW(decodeJson<Author>(body, KeyStyle::snakeCase), DecodingFailure) << body;
    EXPECT_EQ(decodeJson<Author>(R"({"login": "a", "login": "b"})").login, "b");

    // Map keys are data and stay as written.
    const auto labels
        = decodeJson<QMap<QString, qint64>>(R"({"needs_review": 1, "ok": 2})", KeyStyle::snakeCase);
    EXPECT_EQ(labels.keys(), (QStringList {"needs_review", "ok"}));
}

TEST(JsonReader, AWrongMemberFailsTheWholeReplyAndSaysWhere)
{
    using Kind = DecodingFailure::Kind;
    const std::vector<std::tuple<QByteArray, Kind, QString>> cases = {
        {R"({"workflow_runs": []})", Kind::keyNotFound, "totalCount"},
        {R"({"total_count": null, "workflow_runs": []})", Kind::valueNotFound, "totalCount"},
        {R"({"total_count": "2", "workflow_runs": []})", Kind::typeMismatch, "totalCount"},
        {R"({"total_count": 1.5, "workflow_runs": []})", Kind::dataCorrupted, "totalCount"},
        {R"({"total_count": 1e300, "workflow_runs": []})", Kind::dataCorrupted, "totalCount"},
        {R"({"total_count": 1, "workflow_runs": {}})", Kind::typeMismatch, "workflowRuns"},
        {R"({"total_count": 1, "workflow_runs": [{"id": 1, "head_branch": "m"}, null]})", Kind::valueNotFound,
            "workflowRuns[1]"},
        // Optional members of the wrong type fail too.
        {oneRun(R"(, "display_title": 5)"), Kind::typeMismatch, "workflowRuns[0].displayTitle"},
        {oneRun(R"(, "actor": {"login": 3})"), Kind::typeMismatch, "workflowRuns[0].actor.login"},
        {oneRun(R"(, "draft": 1)"), Kind::typeMismatch, "workflowRuns[0].draft"},
        {oneRun(R"(, "conclusion": "skipped")"), Kind::dataCorrupted, "workflowRuns[0].conclusion"},
        {oneRun(R"(, "html_url": "")"), Kind::dataCorrupted, "workflowRuns[0].htmlUrl"},
        {oneRun(R"(, "reviewers": [{}])"), Kind::keyNotFound, "workflowRuns[0].reviewers[0].login"},
    };
    for (const auto& [body, kind, path] : cases) {
        const DecodingFailure f = failureOf(body);
        EXPECT_EQ(f.kind(), kind) << body.toStdString();
        EXPECT_EQ(f.path(), path) << body.toStdString();
        EXPECT_FALSE(QByteArray(f.what()).contains("\"m\"")) << "reply text stays out of the failure";
    }

    // Nested views keep their path.
    const auto o
        = decodeJson<JsonObject>(R"({"result": {"items": [{"a": 1}, {"a": "x"}]}})", KeyStyle::snakeCase);
    const JsonArray items = o.required<JsonObject>("result").required<JsonArray>("items");
    EXPECT_EQ(items.at<JsonObject>(0).required<int>("a"), 1);
    try {
        items.all<JsonObject>().at(1).required<int>("a");
        FAIL();
    } catch (const DecodingFailure& f) {
        EXPECT_EQ(f.path(), "result.items[1].a");
    }
}

TEST(JsonReader, DocumentsThatAreNotObjects)
{
    for (const QByteArray& body : {QByteArray(), QByteArray("  \n"), QByteArray("<html>"),
             QByteArray("{\"a\":"), QByteArray("[1] [2]"), QByteArray("1, 2"), QByteArray("[01]"),
             QByteArray("[1.]"), QByteArray("[1,]"), QByteArray("{\"a\":1,}"), QByteArray("[1e400]"),
             QByteArray("[\"\\x\"]"), QByteArray("[\"a\tb\"]"), QByteArray("[\"\xC0\x80\"]"),
             QByteArray("[\"\xED\xA0\x80\"]"), QByteArray(1025, '[') + QByteArray(1025, ']')}) {
        EXPECT_EQ(failureOf(body).kind(), DecodingFailure::Kind::dataCorrupted) << body.toStdString();
    }
    EXPECT_EQ(decodeJson<std::optional<Page>>(" null\n"), std::nullopt);
    EXPECT_THROW(decodeJson<Page>("null"), DecodingFailure);
    EXPECT_THROW(decodeJson<std::optional<Page>>(""), DecodingFailure);
    EXPECT_EQ(decodeJson<QString>(R"("plain")"), "plain");
    EXPECT_EQ(decodeJson<QString>(R"("\u00e9\ud83d\ude00\n\"\/\ud800")"), QString::fromUtf8("é😀\n\"/\uFFFD"));
    EXPECT_EQ(decodeJson<std::vector<std::optional<qint64>>>("[1, null, 3]"),
        (std::vector<std::optional<qint64>> {1, std::nullopt, 3}));
    EXPECT_EQ(decodeJson<qint64>("9007199254740993"), 9007199254740993LL) << "integers stay exact";
    EXPECT_THROW(decodeJson<int>("4294967296"), DecodingFailure);
    EXPECT_EQ(decodeJson<int>("-2147483648"), INT_MIN);
}

TEST(JsonReader, LenientMembersOfAnotherTypeRaiseNothing)
{
    const auto o = decodeJson<JsonObject>(R"({"a": 1, "b": "x", "c": [1, "x"], "d": {"e": 1}})");
    const int before = thrown;
    EXPECT_EQ(o.lenient<QString>("a"), std::nullopt);
    EXPECT_EQ(o.lenient<qint64>("b"), std::nullopt);
    EXPECT_EQ(o.lenient<std::vector<qint64>>("c"), std::nullopt);
    EXPECT_EQ(o.lenient<QString>("d"), std::nullopt);
    EXPECT_EQ(o.lenient<QString>("b"), "x");
    EXPECT_EQ(thrown, before);
    EXPECT_EQ(o.lenient<Author>("d"), std::nullopt) << "a record that fails inside";
}

TEST(ErrorMessage, SearchOrder)
{
    const std::vector<std::pair<const char*, std::optional<QString>>> table = {
        {R"({"error":{"message":"nested"},"message":"top"})", "nested"},
        {R"({"error":{"message":""},"message":"top"})", ""}, // an empty nested message counts
        {R"({"error":{"code":1},"message":"top"})", "top"},
        {R"({"errors":[{"message":"first"},{"message":"second"}]})", "first"},
        {R"({"errors":[{"code":1},{"message":"second"}],"message":"top"})", "top"},
        {R"({"errors":[{"message":"first"},3]})", std::nullopt},
        {R"({"message":"","detail":"the detail"})", "the detail"},
        {R"({"message":7,"error_description":"desc"})", "desc"},
        {R"({"error":"plain string"})", "plain string"},
        {R"({"Message":"case matters"})", std::nullopt},
        {R"({"message":"  kept as is \n"})", "  kept as is \n"},
    };
    for (const auto& [json, expected] : table)
        EXPECT_EQ(ServiceAPI::message(QJsonDocument::fromJson(json).object()), expected) << json;
}

TEST(TimeStamp, ReadsRfc3339AndNothingLooser)
{
    // Fractions are dropped, never rounded.
    const QDateTime second(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC);
    for (const char* text : {"2024-05-06T07:08:09Z", "2024-05-06T07:08:09.999999Z",
             "2024-05-06T09:08:09+02:00", "2024-05-06T02:38:09.5-04:30"})
        EXPECT_EQ(ServiceAPI::date(QString::fromLatin1(text)), second) << text;

    for (const char* text : {"", "2024-05-06", "2024-05-06 07:08:09Z", "2024-05-06T07:08:09",
             "2024-05-06T07:08Z", "2024-02-30T00:00:00Z", "2024-05-06T24:00:00Z", "20240506T070809Z",
             "2024-05-06T07:08:09+0200", "2024-05-06T07:08:09+02", " 2024-05-06T07:08:09Z",
             "2024-05-06T07:08:09Z trailing", "2024.99-05-06T07:08:09Z", "2024-05-06T07:08:09Z.5",
             "2024-05-06T09:08:09+02.123:00", "2024-05-06T07:08:09Z\n"}) {
        EXPECT_EQ(ServiceAPI::date(QString::fromLatin1(text)), std::nullopt) << text;
    }
    EXPECT_EQ(ServiceAPI::date(std::nullopt), std::nullopt);
    EXPECT_EQ(ServiceAPI::date(QStringLiteral("2016-12-31T23:59:60.5Z")),
        QDateTime(QDate(2017, 1, 1), QTime(0, 0), Qt::UTC))
        << "a leap second is the next second";
}

TEST(FirstLine, CutsAtTheFirstLineBreak)
{
    const std::vector<std::pair<std::u16string, const char*>> table = {{u"Title\n\nBody text", "Title"},
        {u"\n\r\n  Indented\nrest", "  Indented"}, {u"Windows\r\nrest", "Windows"}, {u"a\u2028b", "a"},
        {u"\u0085\u2029\f\vz", "z"}, {u"\n\n", ""}, {u"tab\tkept ", "tab\tkept "}};
    for (const auto& [text, line] : table)
        EXPECT_EQ(ServiceAPI::firstLine(QString::fromStdU16String(text)), QString::fromLatin1(line)) << line;
    EXPECT_EQ(ServiceAPI::firstLine(std::nullopt), "");
}

TEST(Duration, ShortText)
{
    const std::vector<std::pair<double, const char*>> table
        = {{-0.0, "0s"}, {0.4, "0s"}, {0.5, "1s"}, {59.5, "1m 0s"}, {125, "2m 5s"}, {3599, "59m 59s"},
            {3600, "1h 0m"}, {3599.5, "1h 0m"}, {7199, "1h 59m"}, {90000, "25h 0m"}};
    for (const auto& [seconds, text] : table)
        EXPECT_EQ(elapsedText(seconds), QString::fromLatin1(text)) << seconds;
    for (double bad : {-1.0, -0.4, std::nan(""), std::numeric_limits<double>::infinity(), 1e19})
        EXPECT_EQ(elapsedText(bad), std::nullopt) << bad;
    EXPECT_EQ(elapsedText(std::nullopt), std::nullopt);
}

} // namespace
