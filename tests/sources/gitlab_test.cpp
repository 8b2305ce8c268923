// The GitLab client and source through the real transport against the loopback server.
#include "sources/GitLabSource.h"
#include "sources/SourcesTestKit.h"

#include <gtest/gtest.h>

using namespace brenvo;
using namespace brenvo::test;
using State = Deployment::State;

namespace {

constexpr qint64 payments = 5200000001;
const QByteArray paymentsPath = "/api/v4/projects/5200000001";
const QByteArray pipelinePath = paymentsPath + "/pipelines/9800000000003";

QByteArray projectPath(qint64 id)
{
    return "/api/v4/projects/" + QByteArray::number(id);
}

QByteArray commitPath(qint64 project, char c)
{
    return projectPath(project) + "/repository/commits/" + sha(c).toLatin1();
}

Deployment rowOf(const QString& id, State state, std::optional<QString> note = std::nullopt)
{
    Deployment row;
    row.id = id;
    row.state = state;
    row.stateNote = std::move(note);
    return row;
}

class GitLabTest : public SourceTest {
protected:
    GitLabClient client {http, server.url("/api/v4")};
    GitLabSource source {client, SiteIconLoader(icons.http), [this] { return clock.wallNow(); }};

    GitLabTest() { icons.everywhere = true; }

    void serveFixture(const QByteArray& path, const char* name)
    {
        serve(path, 200, fixture("gitlab/" + QString::fromLatin1(name) + ".json"));
    }
    void projects() { serveFixture("/api/v4/projects", "projects"); }
    void user() { serveFixture("/api/v4/user", "user"); }
    QCoro::Task<QList<Deployment>> walk(std::optional<QString> project = std::nullopt, int limit = 3)
    {
        return source.deployments(fakeToken, project, limit);
    }
    QList<Deployment> rows(std::optional<QString> project = std::nullopt, int limit = 3)
    {
        return runTask(walk(project, limit));
    }
};

TEST_F(GitLabTest, PipelinesReadTheirRefsTimesAndStates)
{
    QJsonObject odd = fixtureArray("gitlab/pipelines.json").at(1).toObject();
    QJsonArray list;
    for (const auto& [ref, status, created] : QList<std::tuple<const char*, QJsonValue, QJsonValue>> {
             {"refs/merge-requests", "waiting_for_resource", "yesterday"},
             {"refs/merge-requests/5/head", "skipped", "2026-03-14T10:00:00Z"}}) {
        set(odd, {{"ref", ref}, {"status", status}, {"created_at", created}});
        list.append(odd);
    }
    serve(paymentsPath + "/pipelines", 200, body(list));
    const auto pipelines = runTask(client.pipelines(fakeToken, payments, 3));
    ASSERT_EQ(pipelines.size(), 2);
    EXPECT_EQ(pipelines[0].ref, "refs/merge-requests") << "too short to name a merge request";
    EXPECT_EQ(pipelines[0].state, State::building);
    EXPECT_EQ(pipelines[0].created, QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC));
    EXPECT_EQ(pipelines[1].ref, "!5");
    EXPECT_EQ(pipelines[1].stateNote, "Skipped");

    using N = std::optional<QString>;
    for (const auto& [status, state, note] : QList<std::tuple<N, State, N>> {{"success", State::ready, {}},
             {"canceling", State::canceled, {}}, {"manual", State::canceled, "Manual"},
             {"scheduled", State::canceled, "Scheduled"}, {"Success", State::building, {}}})
        EXPECT_EQ(GitLabClient::state(status), (GitLabClient::StateNote {state, note}))
            << status->toStdString();
}

TEST_F(GitLabTest, DetailsTurnJobsIntoChecksAndSurviveAMissingJobList)
{
    serveFixture(pipelinePath, "pipeline");
    serveFixture(pipelinePath + "/jobs", "jobs");
    const auto details = runTask(client.details(fakeToken, payments, 9800000000003));
    EXPECT_EQ(server.requests().back().target, pipelinePath + "/jobs?per_page=100");
    EXPECT_EQ(details.errorMessage, std::nullopt);
    EXPECT_TRUE(details.canRedeploy);
    const QString jobs = "https://gitlab.example.com/acme/platform/payments-api/-/jobs/";
    EXPECT_EQ(details.checks,
        (QList<DeploymentCheck> {
            {"job-11000000000002", "unit", State::failed, "Script failure", QUrl(jobs + "11000000000002")},
            {"job-11000000000001", "build", State::ready, "1m 3s", QUrl(jobs + "11000000000001")},
            {"job-11000000000003", "lint", State::canceled, "Allowed to fail", QUrl(jobs + "11000000000003")},
            {"job-11000000000004", "deploy", State::canceled, "Manual", QUrl(jobs + "11000000000004")}}));

    QJsonObject broken = fixtureObject("gitlab/pipeline.json");
    broken.insert("yaml_errors", "jobs:unit config contains unknown keys: scritp");
    serve(pipelinePath, 200, body(broken));
    serve(pipelinePath + "/jobs", 403, R"({"message":"403 Forbidden"})");
    EXPECT_EQ(runTask(client.details(fakeToken, payments, 9800000000003)).errorMessage,
        "jobs:unit config contains unknown keys: scritp");
    for (const auto& reply : {CannedReply::json(403, R"({"message":"403 Forbidden"})"),
             CannedReply::json(200, "null"), CannedReply::dropped()}) {
        server.route("GET", pipelinePath + "/jobs", reply);
        EXPECT_TRUE(runTask(client.details(fakeToken, payments, 9800000000003)).checks.isEmpty());
    }

    serve(pipelinePath, 404, R"({"message":"404 Not found"})");
    EXPECT_EQ(failureOf<ServiceFailure>(client.details(fakeToken, payments, 9800000000003)),
        ServiceFailure::refused(404, "404 Not found"));
    serve(pipelinePath, 200, R"({"duration":"slow"})");
    EXPECT_THROW(runTask(client.details(fakeToken, payments, 9800000000003)), DecodingFailure);
}

TEST_F(GitLabTest, RowsComeFromTheThreeMostActiveProjects)
{
    projects();
    serveFixture(paymentsPath + "/pipelines", "pipelines");
    serve(projectPath(5200000002) + "/pipelines", 200,
        gl::pipelines({{9800000000011, 5200000002, sha('b'), "2026-03-14T11:40:12Z", "running"},
            {9800000000010, 5200000002, sha('a'), "2026-03-14T08:00:00Z"}}));
    serve(projectPath(5200000003) + "/pipelines", 200,
        gl::pipelines({{9800000000020, 5200000003, sha('e'), "2026-03-14T11:50:00Z", "skipped"}}));
    serveFixture(paymentsPath + "/repository/commits/c0ffee1234567890abcdef1234567890abcdef12", "commit");
    serve(commitPath(5200000002, 'b'), 200, gl::commit("Ship dark mode"));
    serve(commitPath(5200000003, 'e'), 200, gl::commit(std::nullopt));

    const auto list = rows();
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[0].stateNote, "Skipped");
    EXPECT_EQ(list[0].project, "infra");
    EXPECT_EQ(list[0].commit, "eeeeeeee");
    EXPECT_EQ(list[0].message, "Pipeline #9800000000020") << "a commit without a title names the pipeline";
    EXPECT_EQ(list[1].id, "5200000001/9800000000003") << "equal times keep the order gathered";
    EXPECT_EQ(list[1].branch, "!17");
    EXPECT_EQ(list[1].message, "Retry card captures on timeout");
    EXPECT_EQ(list[2].id, "5200000002/9800000000011");
    EXPECT_EQ(list[2].message, "Ship dark mode");
    EXPECT_EQ(server.count(projectPath(5200000004) + "/pipelines"), 0) << "three projects only";
    for (qint64 p : {5200000001, 5200000002, 5200000003})
        EXPECT_EQ(server.requests("GET", projectPath(p) + "/pipelines").at(0).query, "per_page=3");
    EXPECT_EQ(server.requests().front().target,
        "/api/v4/projects?archived=false&membership=true&order_by=last_activity_at&per_page=50&simple=true&"
        "sort=desc");
    for (const auto& request : server.requests())
        EXPECT_EQ(request.header("Authorization"), QByteArray("Bearer test-token-not-real"));

    server.clearRequests();
    clock.advance(299);
    rows();
    EXPECT_EQ(server.count("/api/v4/projects"), 0) << "the list lives 300 s";
    EXPECT_EQ(server.requests().size(), 3u) << "titles are asked once";
    clock.advance(1);
    rows();
    EXPECT_EQ(server.count("/api/v4/projects"), 1);
    user();
    EXPECT_EQ(runTask(source.account(fakeToken)), "octo.dev");
    rows();
    EXPECT_EQ(server.count("/api/v4/projects"), 2) << "reading the account drops the list";
    EXPECT_TRUE(rows(std::nullopt, 0).isEmpty());
    EXPECT_EQ(runTask(source.projects(fakeToken)).value(1), (KitProject {"5200000002", "acme/web"}));
}

TEST_F(GitLabTest, WhatAReplacedTokenReadIsNotKept)
{
    // Each token has its own account and projects.
    const CannedReply octo = CannedReply::json(200, fixture("gitlab/user.json"));
    const CannedReply newer = CannedReply::json(
        200, R"({"username":"newer.dev","avatar_url":"https://gitlab.example.com/newer.dev.png"})");
    const CannedReply octoProjects = CannedReply::json(200, fixture("gitlab/projects.json"));
    const CannedReply newerProjects
        = CannedReply::json(200, R"([{"id":77,"path_with_namespace":"newer/app"}])");
    const QList<KitProject> newerList {{"77", "newer/app"}};
    server.handle("GET", "/api/v4/user", byToken(octo, newer));
    server.handle("GET", "/api/v4/projects", byToken(CannedReply(octoProjects).heldBack(), newerProjects));
    serve(projectPath(77) + "/pipelines", 200,
        gl::pipelines({{9800000000077, 77, sha('7'), "2026-03-14T11:00:00Z"}}));
    serve(projectPath(77) + "/repository/commits/" + sha('7').toLatin1(), 200, gl::commit("Newer app"));

    // Connected anew while the earlier token's list is on its way.
    auto earlier = source.projects(fakeToken);
    ASSERT_TRUE(awaitHeld(server));
    EXPECT_EQ(runTask(source.account(newerToken)), "newer.dev");
    EXPECT_EQ(runTask(source.projects(newerToken)), newerList);
    server.releaseHeld();
    EXPECT_EQ(runTask(std::move(earlier)).value(1), (KitProject {"5200000002", "acme/web"}));
    EXPECT_EQ(
        ids(runTask(source.deployments(newerToken, std::nullopt, 3))), QStringList {"77/9800000000077"});
    EXPECT_EQ(server.count("/api/v4/projects"), 2);
    // A turn that still goes by the earlier token, once the newer one is connected, keeps its list
    // to itself.
    server.handle("GET", "/api/v4/projects", byToken(octoProjects, newerProjects));
    runTask(source.account(newerToken));
    runTask(source.projects(fakeToken));
    EXPECT_EQ(runTask(source.projects(newerToken)), newerList);

    // The account that answers last is not the one connected last.
    server.handle("GET", "/api/v4/user", byToken(CannedReply(octo).heldBack(), newer));
    auto identify = source.account(fakeToken);
    ASSERT_TRUE(awaitHeld(server));
    runTask(source.account(newerToken));
    server.releaseHeld();
    EXPECT_EQ(runTask(std::move(identify)), "octo.dev");
    runTask(source.accountIcon(newerToken));
    EXPECT_EQ(icons.first(), QUrl("https://gitlab.example.com/newer.dev.png"));
}

TEST_F(GitLabTest, APickedProjectIsVisitedEvenWhenItLeftTheList)
{
    projects();
    serve(projectPath(5200000005) + "/pipelines", 200,
        gl::pipelines({{9800000000050, 5200000005, sha('5'), "2026-03-01T09:00:00Z", "failed"}}));
    serve(commitPath(5200000005, '5'), 200, gl::commit("Old fix"));
    EXPECT_EQ(rows("5200000005").value(0).project, "archive-tools");

    QJsonArray fewer = fixtureArray("gitlab/projects.json");
    fewer.removeLast();
    serve("/api/v4/projects", 200, body(fewer));
    clock.advance(301);
    const auto list = rows("5200000005");
    ASSERT_EQ(list.size(), 1) << "no longer among the most active, still picked";
    EXPECT_EQ(list[0].project, "archive-tools") << "named from the list it was last seen in";
    EXPECT_EQ(list[0].id, "5200000005/9800000000050");

    serve(projectPath(6200000009) + "/pipelines", 200,
        gl::pipelines({{9800000000090, 6200000009, sha('9'), "2026-03-14T09:00:00Z"}}));
    EXPECT_EQ(rows("6200000009").value(0).project, "6200000009") << "never seen: named by its id";
    server.clearRequests();
    EXPECT_TRUE(rows("payments-api").isEmpty()) << "a pick that is no id gives nothing and fails nothing";
    EXPECT_EQ(server.requests().size(), 0u);
}

TEST_F(GitLabTest, ARowListFailsOnlyWhenNoProjectCouldBeRead)
{
    projects();
    serve(paymentsPath + "/pipelines", 500, R"({"message":"500 Internal Server Error"})");
    server.route("GET", projectPath(5200000002) + "/pipelines", CannedReply::dropped());
    serve(projectPath(5200000003) + "/pipelines", 403, R"({"message":"403 Forbidden"})");
    EXPECT_EQ(failureOf<ServiceFailure>(walk()), ServiceFailure::refused(500, "500 Internal Server Error"));

    serve(projectPath(5200000003) + "/pipelines", 200,
        gl::pipelines({{9800000000020, 5200000003, sha('e'), "2026-03-14T11:50:00Z"}}));
    serve(commitPath(5200000003, 'e'), 200, gl::commit("Pin terraform"));
    EXPECT_EQ(rows().size(), 1);

    serve("/api/v4/projects", 401, R"({"message":"401 Unauthorized"})");
    clock.advance(301);
    EXPECT_EQ(failureOf<ServiceFailure>(walk()), ServiceFailure::rejected());
    serve("/api/v4/projects", 200, "{}");
    EXPECT_THROW(rows(), DecodingFailure);
}

TEST_F(GitLabTest, ATitleIsKeptOnlyOnceGitLabHasAnswered)
{
    projects();
    serve(paymentsPath + "/pipelines", 200,
        gl::pipelines(
            {{3, payments, sha('3'), "2026-03-14T11:00:00Z"}, {2, payments, sha('2'), "2026-03-14T10:00:00Z"},
                {1, payments, sha('1'), "2026-03-14T09:00:00Z"}}));
    serve(commitPath(payments, '3'), 502, "<html>Bad gateway</html>");
    serve(commitPath(payments, '2'), 404, R"({"message":"404 Commit Not Found"})");
    serve(commitPath(payments, '1'), 429, R"({"message":"Retry later"})");
    for (int i = 0; i < 2; ++i) {
        const auto list = rows("5200000001");
        ASSERT_EQ(list.size(), 3);
        EXPECT_EQ(list[0].message, "Pipeline #3");
        EXPECT_EQ(list[1].message, "Pipeline #2");
        EXPECT_EQ(list[2].message, "Pipeline #1");
    }
    EXPECT_EQ(server.count(commitPath(payments, '3')), 2) << "a network blip is asked again";
    EXPECT_EQ(server.count(commitPath(payments, '2')), 1) << "GitLab said there is none";
    EXPECT_EQ(server.count(commitPath(payments, '1')), 2) << "throttled is no answer";
    serve(commitPath(payments, '3'), 200, gl::commit("Add refunds"));
    EXPECT_EQ(rows("5200000001").value(0).message, "Add refunds");
}

TEST_F(GitLabTest, OpeningAndRetryingARow)
{
    serveFixture(pipelinePath, "pipeline");
    serve(pipelinePath + "/jobs", 200, "[]");
    const QString id = "5200000001/9800000000003";
    for (const auto& [row, redeploys] : QList<std::pair<Deployment, bool>> {{rowOf(id, State::failed), true},
             {rowOf(id, State::canceled), true}, {rowOf(id, State::canceled, "Manual"), false},
             {rowOf(id, State::ready), false}, {rowOf(id, State::building), false}})
        EXPECT_EQ(runTask(source.details(fakeToken, row)).canRedeploy, redeploys)
            << row.stateNote.value_or("").toStdString();

    server.clearRequests();
    for (const char* odd : {"5200000001", "5200000001/x/9800000000003/1", "-5/3", "a/b"}) {
        const auto empty = runTask(source.details(fakeToken, rowOf(odd, State::failed)));
        EXPECT_TRUE(empty.canRedeploy) << odd;
        EXPECT_TRUE(empty.checks.isEmpty());
        EXPECT_EQ(runTask(source.redeploy(fakeToken, rowOf(odd, State::failed))), std::nullopt);
    }
    EXPECT_EQ(server.requests().size(), 0u);
    EXPECT_EQ(GitLabSource::pipelineIDs(rowOf("/5200000001//x/9800000000003/", State::ready)),
        (std::pair<qint64, qint64>(5200000001, 9800000000003)));

    serve(pipelinePath + "/retry", 201, "{}", "POST");
    EXPECT_EQ(runTask(source.redeploy(fakeToken, rowOf(id, State::failed))), std::nullopt);
    EXPECT_TRUE(server.requests().back().body.isEmpty());
    serve(pipelinePath + "/retry", 403, R"({"message":"403 Forbidden"})", "POST");
    EXPECT_EQ(failureOf<ServiceFailure>(source.redeploy(fakeToken, rowOf(id, State::failed))),
        ServiceFailure::explained("GitLab will not let this token retry pipelines. It needs the api scope: "
                                  "make a token with it and connect again."));
    serve(pipelinePath + "/retry", 404, R"({"message":"404 Not found"})", "POST");
    EXPECT_EQ(failureOf<ServiceFailure>(source.redeploy(fakeToken, rowOf(id, State::failed))),
        ServiceFailure::refused(404, "404 Not found"));
}

TEST_F(GitLabTest, AvatarsOfProjectsAndAccount)
{
    Deployment row = rowOf("5200000001/9800000000003", State::ready);
    row.scope = "5200000001";
    EXPECT_EQ(runTask(source.projectIcon(fakeToken, row)), std::nullopt)
        << "the list is not read for an icon";
    EXPECT_EQ(runTask(source.accountIcon(fakeToken)), std::nullopt);
    EXPECT_TRUE(icons.http->requests.empty());
    EXPECT_EQ(server.requests().size(), 0u);

    projects();
    user();
    runTask(source.account(fakeToken));
    runTask(source.projects(fakeToken));
    EXPECT_TRUE(runTask(source.projectIcon(fakeToken, row)).has_value());
    EXPECT_TRUE(runTask(source.accountIcon(fakeToken)).has_value());
    ASSERT_EQ(icons.http->requests.size(), 2u);
    EXPECT_EQ(icons.http->requests[0].url,
        QUrl("https://gitlab.example.com/uploads/-/system/project/avatar/5200000001/logo.png"));
    EXPECT_EQ(icons.http->requests[1].url,
        QUrl("https://gitlab.example.com/uploads/-/system/user/avatar/7100000001/avatar.png"));
}

} // namespace
