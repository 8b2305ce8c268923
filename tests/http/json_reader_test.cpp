// The strict reader: what fails a reply, what counts as absent, and how keys are matched.
#include "http/JsonReader.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace brenvo;

namespace {

struct Author {
    QString login;
    static Author fromJson(const JsonObject& o) { return {o.required<QString>("login")}; }
    bool operator==(const Author&) const = default;
};

enum class Conclusion { success, failure };
struct ConclusionWord {
    Conclusion value;
    static ConclusionWord fromJsonValue(const JsonValue& v)
    {
        const QString word = v.as<QString>();
        if (word == u"success")
            return {Conclusion::success};
        if (word == u"failure")
            return {Conclusion::failure};
        v.fail("success or failure");
    }
};

struct WorkflowRun {
    qint64 id = 0;
    QString headBranch;
    std::optional<QString> displayTitle;
    std::optional<Author> actor;
    std::vector<Author> reviewers;
    std::optional<ConclusionWord> conclusion;
    double duration = 0;
    bool draft = false;
    std::optional<QUrl> htmlUrl;

    static WorkflowRun fromJson(const JsonObject& o)
    {
        WorkflowRun r;
        r.id = o.required<qint64>("id");
        r.headBranch = o.required<QString>("headBranch");
        r.displayTitle = o.optional<QString>("displayTitle");
        r.actor = o.optional<Author>("actor");
        r.reviewers = o.optional("reviewers", std::vector<Author> {});
        r.conclusion = o.optional<ConclusionWord>("conclusion");
        r.duration = o.optional("duration", 0.0);
        r.draft = o.optional("draft", false);
        r.htmlUrl = o.optional<QUrl>("htmlUrl");
        return r;
    }
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

TEST(JsonReader, ReadsASnakeCaseReplyIntoCamelCaseFields)
{
    const Page page = decodeJson<Page>(R"({
        "total_count": 2,
        "workflow_runs": [
            {"id": 7, "head_branch": "main", "display_title": "Fix", "actor": {"login": "octo"},
             "reviewers": [{"login": "a"}, {"login": "b"}], "conclusion": "success", "duration": 12.5,
             "draft": true, "html_url": "https://example.test/runs/7", "unknown_member": [1, 2]},
            {"id": 8.0, "headBranch": "dev", "display_title": null, "actor": null, "conclusion": null}
        ]})",
        KeyStyle::snakeCase);
    ASSERT_EQ(page.workflowRuns.size(), 2u);
    const WorkflowRun& a = page.workflowRuns[0];
    EXPECT_EQ(a.id, 7);
    EXPECT_EQ(a.headBranch, "main");
    EXPECT_EQ(a.displayTitle, "Fix");
    EXPECT_EQ(a.actor, Author {"octo"});
    EXPECT_EQ(a.reviewers, (std::vector<Author> {{"a"}, {"b"}}));
    EXPECT_EQ(a.conclusion->value, Conclusion::success);
    EXPECT_DOUBLE_EQ(a.duration, 12.5);
    EXPECT_TRUE(a.draft);
    EXPECT_EQ(a.htmlUrl, QUrl("https://example.test/runs/7"));

    // The camelCase spelling works too; null counts as absent for optional members.
    const WorkflowRun& b = page.workflowRuns[1];
    EXPECT_EQ(b.id, 8);
    EXPECT_EQ(b.headBranch, "dev");
    EXPECT_EQ(b.displayTitle, std::nullopt);
    EXPECT_EQ(b.actor, std::nullopt);
    EXPECT_TRUE(b.reviewers.empty());
    EXPECT_FALSE(b.conclusion);
    EXPECT_FALSE(b.draft);
}

TEST(JsonReader, KeysAreMatchedAsWrittenUnlessSnakeCase)
{
    const QByteArray body = R"({"total_count": 0, "workflow_runs": []})";
    EXPECT_EQ(decodeJson<Page>(body, KeyStyle::snakeCase).totalCount, 0);
    const DecodingFailure f = failureOf(body, KeyStyle::asIs);
    EXPECT_EQ(f.kind(), DecodingFailure::Kind::keyNotFound);
    EXPECT_EQ(f.path(), "totalCount");

    EXPECT_EQ(camelCaseKey("created_at"), "createdAt");
    EXPECT_EQ(camelCaseKey("HTTP_STATUS_code"), "httpStatusCode");
    EXPECT_EQ(camelCaseKey("_private_key_"), "_privateKey_");
    EXPECT_EQ(camelCaseKey("a__b"), "aB");
    EXPECT_EQ(camelCaseKey("alreadyCamel"), "alreadyCamel");
    EXPECT_EQ(camelCaseKey("Single"), "Single");
    EXPECT_EQ(camelCaseKey("___"), "___");

    // Map keys are data and stay as written.
    const auto labels
        = decodeJson<QMap<QString, qint64>>(R"({"needs_review": 1, "ok": 2})", KeyStyle::snakeCase);
    EXPECT_EQ(labels.keys(), (QStringList {"needs_review", "ok"}));
}

TEST(JsonReader, AWrongMemberFailsTheWholeReplyAndSaysWhere)
{
    struct Case {
        QByteArray body;
        DecodingFailure::Kind kind;
        QString path;
    };
    const std::vector<Case> cases = {
        {R"({"workflow_runs": []})", DecodingFailure::Kind::keyNotFound, "totalCount"},
        {R"({"total_count": null, "workflow_runs": []})", DecodingFailure::Kind::valueNotFound, "totalCount"},
        {R"({"total_count": "2", "workflow_runs": []})", DecodingFailure::Kind::typeMismatch, "totalCount"},
        {R"({"total_count": 1.5, "workflow_runs": []})", DecodingFailure::Kind::dataCorrupted, "totalCount"},
        {R"({"total_count": 1, "workflow_runs": {}})", DecodingFailure::Kind::typeMismatch, "workflowRuns"},
        {R"({"total_count": 1, "workflow_runs": [{"id": 1, "head_branch": "m"}, null]})",
            DecodingFailure::Kind::valueNotFound, "workflowRuns[1]"},
        // Optional members of the wrong type fail too.
        {R"({"total_count": 1, "workflow_runs": [{"id": 1, "head_branch": "m", "display_title": 5}]})",
            DecodingFailure::Kind::typeMismatch, "workflowRuns[0].displayTitle"},
        {R"({"total_count": 1, "workflow_runs": [{"id": 1, "head_branch": "m", "actor": {"login": 3}}]})",
            DecodingFailure::Kind::typeMismatch, "workflowRuns[0].actor.login"},
        {R"({"total_count": 1, "workflow_runs": [{"id": 1, "head_branch": "m", "draft": 1}]})",
            DecodingFailure::Kind::typeMismatch, "workflowRuns[0].draft"},
        {R"({"total_count": 1, "workflow_runs": [{"id": 1, "head_branch": "m", "conclusion": "skipped"}]})",
            DecodingFailure::Kind::dataCorrupted, "workflowRuns[0].conclusion"},
        {R"({"total_count": 1, "workflow_runs": [{"id": 1, "head_branch": "m", "html_url": ""}]})",
            DecodingFailure::Kind::dataCorrupted, "workflowRuns[0].htmlUrl"},
        {R"({"total_count": 1, "workflow_runs": [{"id": 1, "head_branch": "m", "reviewers": [{}]}]})",
            DecodingFailure::Kind::keyNotFound, "workflowRuns[0].reviewers[0].login"},
        {R"({"total_count": 1e300, "workflow_runs": []})", DecodingFailure::Kind::dataCorrupted,
            "totalCount"},
    };
    for (const Case& c : cases) {
        const DecodingFailure f = failureOf(c.body);
        EXPECT_EQ(f.kind(), c.kind) << c.body.toStdString();
        EXPECT_EQ(f.path(), c.path) << c.body.toStdString();
        EXPECT_FALSE(QByteArray(f.what()).contains("\"m\"")) << "reply text stays out of the failure";
    }
}

TEST(JsonReader, DocumentsThatAreNotObjects)
{
    for (const QByteArray& body : {QByteArray(), QByteArray("  \n"), QByteArray("<html>"),
             QByteArray("{\"a\":"), QByteArray("[1] [2]"), QByteArray("1, 2")}) {
        EXPECT_EQ(failureOf(body).kind(), DecodingFailure::Kind::dataCorrupted) << body.toStdString();
    }
    EXPECT_EQ(decodeJson<std::optional<Page>>(" null\n"), std::nullopt);
    EXPECT_THROW(decodeJson<Page>("null"), DecodingFailure);
    EXPECT_THROW(decodeJson<std::optional<Page>>(""), DecodingFailure);
    EXPECT_EQ(decodeJson<QString>(R"("plain")"), "plain");
    EXPECT_EQ(decodeJson<std::vector<std::optional<qint64>>>("[1, null, 3]"),
        (std::vector<std::optional<qint64>> {1, std::nullopt, 3}));
    EXPECT_EQ(decodeJson<qint64>("9007199254740993"), 9007199254740993LL) << "integers stay exact";
    EXPECT_THROW(decodeJson<int>("4294967296"), DecodingFailure);
    EXPECT_EQ(decodeJson<int>("-2147483648"), INT_MIN);
}

TEST(JsonReader, RawAndNestedViews)
{
    const auto o = decodeJson<JsonObject>(
        R"({"result": {"items": [{"a": 1}, {"a": "x"}]}, "meta": {"page": 2}})", KeyStyle::snakeCase);
    const JsonArray items = o.required<JsonObject>("result").required<JsonArray>("items");
    EXPECT_EQ(items.size(), 2);
    EXPECT_EQ(items.at<JsonObject>(0).required<int>("a"), 1);
    try {
        items.all<JsonObject>().at(1).required<int>("a");
        FAIL();
    } catch (const DecodingFailure& f) {
        EXPECT_EQ(f.path(), "result.items[1].a");
    }
    EXPECT_TRUE(o.has("meta"));
    EXPECT_FALSE(o.has("missing"));
    EXPECT_EQ(o.required<QJsonObject>("meta").value("page").toInt(), 2);
    EXPECT_TRUE(o.member("nothing").isNull());
}

} // namespace
