// The GitLab client and source through the real transport against the loopback server.
#include "sources/CheckFixtures.h"
#include "sources/GitLabSource.h"
#include "sources/SourcesTestKit.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

using namespace brenvo;
using namespace brenvo::test;
using State = Deployment::State;
using gl::PipelineSpec;

namespace {

const QString& token = fakeToken;
constexpr qint64 payments = 5200000001;
const QByteArray paymentsPath = "/api/v4/projects/5200000001";

QDateTime at(const char* iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

QByteArray projectPath(qint64 id)
{
    return "/api/v4/projects/" + QByteArray::number(id);
}

QString sha(char c)
{
    return QString(40, QLatin1Char(c));
}

class GitLabTest : public ::testing::Test {
protected:
    LoopbackServer server;
    std::shared_ptr<NetworkHTTPClient> http = std::make_shared<NetworkHTTPClient>();
    std::shared_ptr<FakeHTTPClient> pictures = brenvo::test::pictures();
    GitLabClient client {http, server.url("/api/v4")};
    ManualScheduler clock;
    GitLabSource source {client, SiteIconLoader(pictures), [this] { return clock.wallNow(); }};

    void projects()
    {
        server.route(
            "GET", "/api/v4/projects", 200, LoopbackServer::fixture("sources/fixtures/gitlab/projects.json"));
    }
    QCoro::Task<QList<Deployment>> walk(std::optional<QString> project = std::nullopt, int limit = 3)
    {
        return source.deployments(token, project, limit);
    }
    QList<Deployment> rows(std::optional<QString> project = std::nullopt, int limit = 3)
    {
        return runTask(walk(project, limit));
    }

    static Deployment rowOf(const QString& id, State state, std::optional<QString> note = std::nullopt)
    {
        Deployment row;
        row.id = id;
        row.state = state;
        row.stateNote = std::move(note);
        return row;
    }
};

TEST_F(GitLabTest, EachOperationAsksItsPathWithTheToken)
{
    server.route("GET", "/api/v4/user", 200, LoopbackServer::fixture("sources/fixtures/gitlab/user.json"));
    projects();
    server.route("GET", paymentsPath + "/pipelines", 200, "[]");
    server.route(
        "GET", paymentsPath + "/repository/commits/" + sha('c').toLatin1(), 200, gl::commit("Retry"));
    server.route("GET", paymentsPath + "/pipelines/9800000000003", 200,
        LoopbackServer::fixture("sources/fixtures/gitlab/pipeline.json"));
    server.route("GET", paymentsPath + "/pipelines/9800000000003/jobs", 200, "[]");
    server.route("POST", paymentsPath + "/pipelines/9800000000003/retry", 201, "{}");

    const auto user = runTask(client.user(token));
    EXPECT_EQ(user,
        (GitLabClient::User {"octo.dev",
            QUrl("https://gitlab.example.com/uploads/-/system/user/avatar/7100000001/avatar.png")}));
    runTask(client.projects(token, 50));
    runTask(client.pipelines(token, payments, 3));
    EXPECT_EQ(runTask(client.commitTitle(token, payments, sha('c'))), "Retry");
    runTask(client.details(token, payments, 9800000000003));
    runTask(client.retry(token, payments, 9800000000003));

    const QList<QByteArray> expected {"GET /api/v4/user",
        "GET "
        "/api/v4/"
        "projects?archived=false&membership=true&order_by=last_activity_at&per_page=50&simple=true&sort=desc",
        "GET " + paymentsPath + "/pipelines?per_page=3",
        "GET " + paymentsPath + "/repository/commits/" + sha('c').toLatin1(),
        "GET " + paymentsPath + "/pipelines/9800000000003",
        "GET " + paymentsPath + "/pipelines/9800000000003/jobs?per_page=100",
        "POST " + paymentsPath + "/pipelines/9800000000003/retry"};
    ASSERT_EQ(server.requests().size(), size_t(expected.size()));
    for (size_t i = 0; i < server.requests().size(); ++i) {
        const RecordedRequest& r = server.requests().at(i);
        EXPECT_EQ(r.method + ' ' + r.target, expected.at(qsizetype(i)));
        EXPECT_EQ(r.header("Authorization"), QByteArray("Bearer test-token-not-real"));
    }
    EXPECT_TRUE(server.requests().back().body.isEmpty());
    EXPECT_FALSE(server.requests().back().hasHeader("Content-Type"));
}

TEST_F(GitLabTest, PipelinesReadTheirRefsTimesAndStates)
{
    projects();
    const auto listed = runTask(client.projects(token, 50));
    ASSERT_EQ(listed.size(), 5);
    EXPECT_EQ(listed[0],
        (GitLabClient::Project {payments, "acme/platform/payments-api",
            QUrl("https://gitlab.example.com/uploads/-/system/project/avatar/5200000001/logo.png")}));
    EXPECT_EQ(listed[1].avatar, std::nullopt);

    QJsonArray list = fixtureArray("sources/fixtures/gitlab/pipelines.json");
    auto variant = [&list](const char* ref, std::optional<QString> status, std::optional<QString> created) {
        QJsonObject item = list.at(1).toObject();
        item.insert("ref", ref);
        put(item, "status", status);
        put(item, "created_at", created);
        list.append(item);
    };
    variant("refs/merge-requests", "waiting_for_resource", "yesterday");
    variant("refs/heads/main", std::nullopt, std::nullopt);
    variant("refs/merge-requests/5/head", "skipped", "2026-03-14T10:00:00Z");
    server.route("GET", paymentsPath + "/pipelines", 200, body(list));
    const auto pipelines = runTask(client.pipelines(token, payments, 3));
    ASSERT_EQ(pipelines.size(), 6);
    EXPECT_EQ(pipelines[0],
        (GitLabClient::Pipeline {9800000000003, payments, "c0ffee1234567890abcdef1234567890abcdef12", "!17",
            State::failed, std::nullopt, at("2026-03-14T11:40:12Z"),
            QUrl("https://gitlab.example.com/acme/platform/payments-api/-/pipelines/9800000000003")}))
        << "a merge request's ref by its number; fractions of a second dropped";
    EXPECT_EQ(pipelines[1].ref, "main");
    EXPECT_EQ(pipelines[2].state, State::canceled);
    EXPECT_EQ(pipelines[2].stateNote, "Manual");
    const QDateTime distantPast(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
    EXPECT_EQ(pipelines[3].ref, "refs/merge-requests") << "too short to name a merge request";
    EXPECT_EQ(pipelines[3].state, State::building);
    EXPECT_EQ(pipelines[3].created, distantPast);
    EXPECT_EQ(pipelines[4].ref, "refs/heads/main");
    EXPECT_EQ(pipelines[4].state, State::building);
    EXPECT_EQ(pipelines[4].created, distantPast);
    EXPECT_EQ(pipelines[5].ref, "!5");
    EXPECT_EQ(pipelines[5].stateNote, "Skipped");

    using N = std::optional<QString>;
    for (const auto& [status, state, note] :
        QList<std::tuple<N, State, N>> {{"success", State::ready, std::nullopt},
            {"canceling", State::canceled, std::nullopt}, {"scheduled", State::canceled, "Scheduled"},
            {"Success", State::building, std::nullopt}, {"running", State::building, std::nullopt}})
        EXPECT_EQ(GitLabClient::state(status), (GitLabClient::StateNote {state, note}))
            << status->toStdString();

    QJsonObject textID = list.at(0).toObject();
    textID.insert("id", "9800000000003");
    server.route("GET", paymentsPath + "/pipelines", 200, body(QJsonArray {textID}));
    EXPECT_THROW(runTask(client.pipelines(token, payments, 3)), DecodingFailure);
}

TEST_F(GitLabTest, DetailsTurnJobsIntoChecksAndSurviveAMissingJobList)
{
    const QByteArray path = paymentsPath + "/pipelines/9800000000003";
    server.route("GET", path, 200, LoopbackServer::fixture("sources/fixtures/gitlab/pipeline.json"));
    server.route("GET", path + "/jobs", 200, LoopbackServer::fixture("sources/fixtures/gitlab/jobs.json"));
    const auto details = runTask(client.details(token, payments, 9800000000003));
    EXPECT_EQ(details.errorMessage, std::nullopt);
    EXPECT_EQ(details.buildDuration, 213.0);
    EXPECT_EQ(details.creator, "octo.dev");
    EXPECT_TRUE(details.canRedeploy);
    const QList<DeploymentCheck> expected {
        {"job-11000000000002", "unit", State::failed, "Script failure",
            QUrl("https://gitlab.example.com/acme/platform/payments-api/-/jobs/11000000000002")},
        {"job-11000000000001", "build", State::ready, "1m 3s",
            QUrl("https://gitlab.example.com/acme/platform/payments-api/-/jobs/11000000000001")},
        {"job-11000000000003", "lint", State::canceled, "Allowed to fail",
            QUrl("https://gitlab.example.com/acme/platform/payments-api/-/jobs/11000000000003")},
        {"job-11000000000004", "deploy", State::canceled, "Manual",
            QUrl("https://gitlab.example.com/acme/platform/payments-api/-/jobs/11000000000004")},
    };
    EXPECT_EQ(details.checks, expected);

    QJsonObject broken = fixtureObject("sources/fixtures/gitlab/pipeline.json");
    broken.insert("yaml_errors", "jobs:unit config contains unknown keys: scritp");
    server.route("GET", path, 200, body(broken));
    server.route("GET", path + "/jobs", 403, R"({"message":"403 Forbidden"})");
    const auto withoutJobs = runTask(client.details(token, payments, 9800000000003));
    EXPECT_EQ(withoutJobs.errorMessage, "jobs:unit config contains unknown keys: scritp");
    EXPECT_TRUE(withoutJobs.checks.isEmpty());
    server.route("GET", path + "/jobs", 200, "null");
    EXPECT_TRUE(runTask(client.details(token, payments, 9800000000003)).checks.isEmpty());
    server.route("GET", path + "/jobs", CannedReply::dropped());
    EXPECT_TRUE(runTask(client.details(token, payments, 9800000000003)).checks.isEmpty());

    server.route("GET", path, 404, R"({"message":"404 Not found"})");
    EXPECT_EQ(failureOf<ServiceFailure>(client.details(token, payments, 9800000000003)),
        ServiceFailure::refused(404, "404 Not found"));
    server.route("GET", path, 200, R"({"duration":"slow"})");
    EXPECT_THROW(runTask(client.details(token, payments, 9800000000003)), DecodingFailure);
}

TEST_F(GitLabTest, RowsComeFromTheThreeMostActiveProjects)
{
    projects();
    server.route("GET", paymentsPath + "/pipelines", 200,
        LoopbackServer::fixture("sources/fixtures/gitlab/pipelines.json"));
    server.route("GET", projectPath(5200000002) + "/pipelines", 200,
        gl::pipelines({PipelineSpec {9800000000011, 5200000002, sha('b'), "2026-03-14T11:40:12Z", "running"},
            PipelineSpec {9800000000010, 5200000002, sha('a'), "2026-03-14T08:00:00Z"}}));
    server.route("GET", projectPath(5200000003) + "/pipelines", 200,
        gl::pipelines(
            {PipelineSpec {9800000000020, 5200000003, sha('e'), "2026-03-14T11:50:00Z", "skipped"}}));
    server.handle("GET", paymentsPath + "/repository/commits/c0ffee1234567890abcdef1234567890abcdef12",
        [](const RecordedRequest&) {
            return CannedReply::json(200, LoopbackServer::fixture("sources/fixtures/gitlab/commit.json"));
        });
    server.route("GET", projectPath(5200000002) + "/repository/commits/" + sha('b').toLatin1(), 200,
        gl::commit("Ship dark mode"));
    server.route("GET", projectPath(5200000003) + "/repository/commits/" + sha('e').toLatin1(), 200,
        gl::commit(std::nullopt));

    const auto list = rows();
    ASSERT_EQ(list.size(), 3);
    Deployment first;
    first.id = "5200000003/9800000000020";
    first.project = "infra";
    first.branch = "main";
    first.commit = "eeeeeeee";
    first.message = "Pipeline #9800000000020";
    first.state = State::canceled;
    first.date = at("2026-03-14T11:50:00Z");
    first.url = QUrl("https://gitlab.example.com/acme/platform/payments-api/-/pipelines/9800000000003");
    first.scope = "5200000003";
    first.stateNote = "Skipped";
    EXPECT_EQ(list[0], first) << "a commit without a title names the pipeline";
    EXPECT_EQ(list[1].id, "5200000001/9800000000003") << "equal times keep the order gathered";
    EXPECT_EQ(list[1].project, "payments-api");
    EXPECT_EQ(list[1].branch, "!17");
    EXPECT_EQ(list[1].commit, "c0ffee12");
    EXPECT_EQ(list[1].message, "Retry card captures on timeout");
    EXPECT_EQ(list[2].id, "5200000002/9800000000011");
    EXPECT_EQ(list[2].message, "Ship dark mode");
    EXPECT_EQ(server.count(projectPath(5200000004) + "/pipelines"), 0) << "three projects only";
    for (const char* p : {"5200000001", "5200000002", "5200000003"})
        EXPECT_EQ(server.requests("GET", "/api/v4/projects/" + QByteArray(p) + "/pipelines").at(0).query,
            "per_page=3");

    server.clearRequests();
    clock.advance(299);
    rows();
    EXPECT_EQ(server.count("/api/v4/projects"), 0) << "the list lives 300 s";
    EXPECT_EQ(server.requests().size(), 3u) << "titles are asked once";
    clock.advance(1);
    rows();
    EXPECT_EQ(server.count("/api/v4/projects"), 1);

    server.route("GET", "/api/v4/user", 200, LoopbackServer::fixture("sources/fixtures/gitlab/user.json"));
    EXPECT_EQ(runTask(source.account(token)), "octo.dev");
    rows();
    EXPECT_EQ(server.count("/api/v4/projects"), 2) << "reading the account drops the list";
    EXPECT_TRUE(rows(std::nullopt, 0).isEmpty());
    EXPECT_EQ(runTask(source.projects(token)).value(1), (KitProject {"5200000002", "acme/web"}));
}

TEST_F(GitLabTest, APickedProjectIsVisitedEvenWhenItLeftTheList)
{
    projects();
    const QByteArray archivePath = projectPath(5200000005) + "/pipelines";
    server.route("GET", archivePath, 200,
        gl::pipelines(
            {PipelineSpec {9800000000050, 5200000005, sha('5'), "2026-03-01T09:00:00Z", "failed"}}));
    server.route("GET", projectPath(5200000005) + "/repository/commits/" + sha('5').toLatin1(), 200,
        gl::commit("Old fix"));
    EXPECT_EQ(rows("5200000005").value(0).project, "archive-tools");

    QJsonArray fewer = fixtureArray("sources/fixtures/gitlab/projects.json");
    fewer.removeLast();
    server.route("GET", "/api/v4/projects", 200, body(fewer));
    clock.advance(301);
    const auto list = rows("5200000005");
    ASSERT_EQ(list.size(), 1) << "no longer among the most active, still picked";
    EXPECT_EQ(list[0].project, "archive-tools") << "named from the list it was last seen in";
    EXPECT_EQ(list[0].id, "5200000005/9800000000050");

    server.route("GET", projectPath(6200000009) + "/pipelines", 200,
        gl::pipelines({PipelineSpec {9800000000090, 6200000009, sha('9'), "2026-03-14T09:00:00Z"}}));
    EXPECT_EQ(rows("6200000009").value(0).project, "6200000009") << "never seen: named by its id";

    server.clearRequests();
    EXPECT_TRUE(rows("payments-api").isEmpty()) << "a pick that is no id gives nothing and fails nothing";
    EXPECT_EQ(server.requests().size(), 0u);
}

TEST_F(GitLabTest, ARowListFailsOnlyWhenNoProjectCouldBeRead)
{
    projects();
    server.route("GET", paymentsPath + "/pipelines", 500, R"({"message":"500 Internal Server Error"})");
    server.route("GET", projectPath(5200000002) + "/pipelines", CannedReply::dropped());
    server.route("GET", projectPath(5200000003) + "/pipelines", 403, R"({"message":"403 Forbidden"})");
    EXPECT_EQ(failureOf<ServiceFailure>(walk()), ServiceFailure::refused(500, "500 Internal Server Error"));

    server.route("GET", projectPath(5200000003) + "/pipelines", 200,
        gl::pipelines({PipelineSpec {9800000000020, 5200000003, sha('e'), "2026-03-14T11:50:00Z"}}));
    server.route("GET", projectPath(5200000003) + "/repository/commits/" + sha('e').toLatin1(), 200,
        gl::commit("Pin terraform"));
    EXPECT_EQ(rows().size(), 1);

    server.route("GET", "/api/v4/projects", 401, R"({"message":"401 Unauthorized"})");
    clock.advance(301);
    EXPECT_EQ(failureOf<ServiceFailure>(walk()), ServiceFailure::rejected());
    server.route("GET", "/api/v4/projects", 200, "{}");
    EXPECT_THROW(rows(), DecodingFailure);
}

TEST_F(GitLabTest, ATitleIsKeptOnlyOnceGitLabHasAnswered)
{
    projects();
    server.route("GET", paymentsPath + "/pipelines", 200,
        gl::pipelines({PipelineSpec {3, payments, sha('3'), "2026-03-14T11:00:00Z"},
            PipelineSpec {2, payments, sha('2'), "2026-03-14T10:00:00Z"},
            PipelineSpec {1, payments, sha('1'), "2026-03-14T09:00:00Z"}}));
    const QByteArray commits = paymentsPath + "/repository/commits/";
    server.route("GET", commits + sha('3').toLatin1(), 502, "<html>Bad gateway</html>");
    server.route("GET", commits + sha('2').toLatin1(), 404, R"({"message":"404 Commit Not Found"})");
    server.route("GET", commits + sha('1').toLatin1(), 429, R"({"message":"Retry later"})");

    for (int i = 0; i < 2; ++i) {
        const auto list = rows("5200000001");
        ASSERT_EQ(list.size(), 3);
        EXPECT_EQ(list[0].message, "Pipeline #3");
        EXPECT_EQ(list[1].message, "Pipeline #2");
        EXPECT_EQ(list[2].message, "Pipeline #1");
    }
    EXPECT_EQ(server.count(commits + sha('3').toLatin1()), 2) << "a network blip is asked again";
    EXPECT_EQ(server.count(commits + sha('2').toLatin1()), 1) << "GitLab said there is none";
    EXPECT_EQ(server.count(commits + sha('1').toLatin1()), 2) << "throttled is no answer";

    server.route("GET", commits + sha('3').toLatin1(), 200, gl::commit("Add refunds"));
    EXPECT_EQ(rows("5200000001").value(0).message, "Add refunds");
}

TEST_F(GitLabTest, OpeningAndRetryingARow)
{
    const QByteArray path = paymentsPath + "/pipelines/9800000000003";
    server.route("GET", path, 200, LoopbackServer::fixture("sources/fixtures/gitlab/pipeline.json"));
    server.route("GET", path + "/jobs", 200, "[]");
    const QString id = "5200000001/9800000000003";
    EXPECT_TRUE(runTask(source.details(token, rowOf(id, State::failed))).canRedeploy);
    EXPECT_TRUE(runTask(source.details(token, rowOf(id, State::canceled))).canRedeploy)
        << "a plain cancellation";
    EXPECT_FALSE(runTask(source.details(token, rowOf(id, State::canceled, "Manual"))).canRedeploy);
    EXPECT_FALSE(runTask(source.details(token, rowOf(id, State::ready))).canRedeploy);
    EXPECT_FALSE(runTask(source.details(token, rowOf(id, State::building))).canRedeploy);

    server.clearRequests();
    for (const char* odd : {"5200000001", "5200000001/x/9800000000003/1", "-5/3", "a/b"}) {
        const auto empty = runTask(source.details(token, rowOf(odd, State::failed)));
        EXPECT_TRUE(empty.canRedeploy) << odd;
        EXPECT_TRUE(empty.checks.isEmpty());
        EXPECT_EQ(runTask(source.redeploy(token, rowOf(odd, State::failed))), std::nullopt);
    }
    EXPECT_EQ(server.requests().size(), 0u);
    EXPECT_EQ(GitLabSource::pipelineIDs(rowOf("/5200000001//x/9800000000003/", State::ready)),
        (std::pair<qint64, qint64>(5200000001, 9800000000003)));

    server.route("POST", path + "/retry", 201, "{}");
    EXPECT_EQ(runTask(source.redeploy(token, rowOf(id, State::failed))), std::nullopt);
    server.route("POST", path + "/retry", 403, R"({"message":"403 Forbidden"})");
    EXPECT_EQ(failureOf<ServiceFailure>(source.redeploy(token, rowOf(id, State::failed))),
        ServiceFailure::explained("GitLab will not let this token retry pipelines. It needs the api scope: "
                                  "make a token with it and connect again."));
    server.route("POST", path + "/retry", 404, R"({"message":"404 Not found"})");
    EXPECT_EQ(failureOf<ServiceFailure>(source.redeploy(token, rowOf(id, State::failed))),
        ServiceFailure::refused(404, "404 Not found"));
}

TEST_F(GitLabTest, AvatarsOfProjectsAndAccount)
{
    Deployment row;
    row.id = "5200000001/9800000000003";
    row.scope = "5200000001";
    EXPECT_EQ(runTask(source.projectIcon(token, row)), std::nullopt) << "the list is not read for an icon";
    EXPECT_EQ(runTask(source.accountIcon(token)), std::nullopt);
    EXPECT_TRUE(pictures->requests.empty());
    EXPECT_EQ(server.requests().size(), 0u);

    projects();
    server.route("GET", "/api/v4/user", 200, LoopbackServer::fixture("sources/fixtures/gitlab/user.json"));
    runTask(source.account(token));
    runTask(source.projects(token));
    EXPECT_TRUE(runTask(source.projectIcon(token, row)).has_value());
    EXPECT_TRUE(runTask(source.accountIcon(token)).has_value());
    ASSERT_EQ(pictures->requests.size(), 2u);
    EXPECT_EQ((QList<QUrl> {pictures->requests[0].url, pictures->requests[1].url}),
        (QList<QUrl> {QUrl("https://gitlab.example.com/uploads/-/system/project/avatar/5200000001/logo.png"),
            QUrl("https://gitlab.example.com/uploads/-/system/user/avatar/7100000001/avatar.png")}));

    row.scope = "5200000002";
    EXPECT_EQ(runTask(source.projectIcon(token, row)), std::nullopt) << "a project without an avatar";
    row.scope.reset();
    EXPECT_EQ(runTask(source.projectIcon(token, row)), std::nullopt);
    EXPECT_EQ(pictures->requests.size(), 2u);
}

} // namespace
