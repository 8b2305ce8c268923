// The GitHub client through the real transport against the loopback server.
#include "sources/CheckFixtures.h"
#include "sources/GitHubClient.h"
#include "sources/SourcesTestKit.h"

#include <gtest/gtest.h>

using namespace brenvo;
using namespace brenvo::test;
using State = Deployment::State;

namespace {

const QString& token = fakeToken;
const QString repo = QStringLiteral("acme-labs/storefront");
const QString sha1 = QStringLiteral("8cf1d2a3b4c5d6e7f8091a2b3c4d5e6f70819203");
const QByteArray repoPath = "/repos/acme-labs/storefront";

QDateTime at(const char* iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

class GitHubClientTest : public ::testing::Test {
protected:
    LoopbackServer server;
    std::shared_ptr<NetworkHTTPClient> http = std::make_shared<NetworkHTTPClient>();
    GitHubClient client {http, server.baseUrl()};

    template <typename T> T run(QCoro::Task<T> task) { return runTask(std::move(task)); }

    QJsonObject firstOf(const char* fixture, const char* list = nullptr) const
    {
        const QString path = QStringLiteral("sources/fixtures/github/") + QLatin1StringView(fixture);
        if (list)
            return fixtureObject(path).value(QLatin1StringView(list)).toArray().at(0).toObject();
        return fixtureArray(path).at(0).toObject();
    }

    QList<GitHubClient::Run> runsOf(const QJsonObject& item)
    {
        QJsonObject reply;
        reply.insert(QStringLiteral("workflow_runs"), QJsonArray {item});
        server.route("GET", repoPath + "/actions/runs", 200, body(reply));
        return run(client.runs(token, repo, std::nullopt, 20));
    }

    QList<GitHubClient::Job> jobsOf(const QJsonObject& item)
    {
        QJsonObject reply;
        reply.insert(QStringLiteral("jobs"), QJsonArray {item});
        server.route("GET", repoPath + "/actions/runs/1/jobs", 200, body(reply));
        return run(client.jobs(token, repo, 1));
    }

    GitHubClient::PlacementStatus standing(const QByteArray& statuses, const QDateTime& now,
        const QDateTime& created = at("2026-03-14T10:00:00Z"))
    {
        server.route("GET", repoPath + "/deployments/7/statuses", 200, statuses);
        GitHubClient::Placement placement;
        placement.id = 7;
        placement.created = created;
        return run(client.latestStatus(token, repo, placement, now));
    }
};

TEST_F(GitHubClientTest, EachOperationAsksItsPathWithTheTokenAndGitHubHeaders)
{
    server.route("GET", "/user", 200, LoopbackServer::fixture("sources/fixtures/github/user.json"));
    server.route("GET", "/user/repos", 200, "[]");
    server.route("GET", repoPath + "/commits", 200, "[]");
    server.route("GET", repoPath + "/actions/runs", 200, R"({"workflow_runs":[]})");
    server.route("GET", repoPath + "/actions/runs/9100000000001/jobs", 200, R"({"jobs":[]})");
    server.route("GET", repoPath + "/commits/" + sha1.toLatin1() + "/status", 200, R"({"statuses":[]})");
    server.route("GET", repoPath + "/deployments", 200, "[]");
    server.route("GET", repoPath + "/deployments/4200000000001/statuses", 200, "[]");
    server.route("GET", repoPath + "/commits/" + sha1.toLatin1(), 200,
        LoopbackServer::fixture("sources/fixtures/github/commit.json"));
    server.route("POST", repoPath + "/actions/runs/9100000000001/rerun-failed-jobs", 201, "");

    GitHubClient::Placement placement;
    placement.id = 4200000000001;
    placement.created = at("2026-03-14T10:00:00Z");
    run(client.user(token));
    run(client.repositories(token, 50));
    run(client.commits(token, repo, 5));
    run(client.runs(token, repo, std::nullopt, 20));
    run(client.runs(token, repo, sha1, 50));
    run(client.jobs(token, repo, 9100000000001));
    run(client.statuses(token, repo, sha1));
    run(client.placements(token, repo, std::nullopt, 5));
    run(client.placements(token, repo, sha1, 10));
    run(client.latestStatus(token, repo, placement, at("2026-03-14T10:10:00Z")));
    run(client.commitMessage(token, repo, sha1));
    runTask(client.rerunFailedJobs(token, repo, 9100000000001));

    const QList<QByteArray> expected {"GET /user", "GET /user/repos?per_page=50&sort=pushed",
        "GET " + repoPath + "/commits?per_page=5", "GET " + repoPath + "/actions/runs?per_page=20",
        "GET " + repoPath + "/actions/runs?head_sha=" + sha1.toLatin1() + "&per_page=50",
        "GET " + repoPath + "/actions/runs/9100000000001/jobs?filter=latest&per_page=100",
        "GET " + repoPath + "/commits/" + sha1.toLatin1() + "/status",
        "GET " + repoPath + "/deployments?per_page=5",
        "GET " + repoPath + "/deployments?per_page=10&sha=" + sha1.toLatin1(),
        "GET " + repoPath + "/deployments/4200000000001/statuses?per_page=5",
        "GET " + repoPath + "/commits/" + sha1.toLatin1(),
        "POST " + repoPath + "/actions/runs/9100000000001/rerun-failed-jobs"};
    ASSERT_EQ(server.requests().size(), size_t(expected.size()));
    for (size_t i = 0; i < server.requests().size(); ++i) {
        const RecordedRequest& r = server.requests().at(i);
        EXPECT_EQ(r.method + ' ' + r.target, expected.at(qsizetype(i)));
        EXPECT_EQ(r.header("Authorization"), QByteArray("Bearer test-token-not-real"));
        EXPECT_EQ(r.header("Accept"), QByteArray("application/vnd.github+json"));
        EXPECT_EQ(r.header("X-GitHub-Api-Version"), QByteArray("2022-11-28"));
    }
    const RecordedRequest& rerun = server.requests().back();
    EXPECT_TRUE(rerun.body.isEmpty());
    EXPECT_FALSE(rerun.hasHeader("Content-Type"));
}

TEST_F(GitHubClientTest, UserRepositoriesAndCommitsReadAsGitHubSendsThem)
{
    server.route("GET", "/user", 200, LoopbackServer::fixture("sources/fixtures/github/user.json"));
    const auto user = run(client.user(token));
    EXPECT_EQ(user.login, "octo-dev");
    EXPECT_EQ(user.avatar, QUrl("https://avatars.githubusercontent.com/u/4100000001?v=4"));

    QJsonArray repos = fixtureArray("sources/fixtures/github/repos.json");
    QJsonObject camel = repos.at(3).toObject();
    camel.insert("fullName", camel.take("full_name"));
    repos.replace(3, camel);
    server.route("GET", "/user/repos", 200, body(repos));
    const auto list = run(client.repositories(token, 50));
    ASSERT_EQ(list.size(), 4);
    EXPECT_EQ(
        list[0], (GitHubClient::Repository {"acme-labs/storefront", "https://shop.example.com", "main"}));
    EXPECT_EQ(list[1], (GitHubClient::Repository {"acme-labs/api", std::nullopt, "trunk"}))
        << "an empty homepage is none";
    EXPECT_EQ(list[2].homepage, std::nullopt);
    EXPECT_EQ(list[3].fullName, "acme-labs/legacy") << "a member under the field's own name fills it";

    QJsonArray commits = fixtureArray("sources/fixtures/github/commits.json");
    auto variant = [&commits](qsizetype i, auto change) {
        QJsonObject item = commits.at(i).toObject();
        QJsonObject commit = item.value("commit").toObject();
        change(item, commit);
        item.insert("commit", commit);
        commits.append(item);
    };
    auto person = [](QJsonObject& commit, const char* who, const char* key, QJsonValue value) {
        QJsonObject p = commit.value(QLatin1StringView(who)).toObject();
        p.insert(QLatin1StringView(key), value);
        commit.insert(QLatin1StringView(who), p);
    };
    variant(0, [&](QJsonObject&, QJsonObject& c) {
        person(c, "committer", "date", "2026-03-11T08:00:00.123Z");
        c.insert("message", "\n\r\nFirst real line\nsecond");
    });
    variant(0, [&](QJsonObject&, QJsonObject& c) {
        person(c, "committer", "date", "yesterday");
        c.remove("message");
    });
    variant(1, [&](QJsonObject&, QJsonObject& c) {
        c.remove("committer");
        c.remove("author");
    });
    server.route("GET", repoPath + "/commits", 200, body(commits));
    const auto got = run(client.commits(token, repo, 5));
    ASSERT_EQ(got.size(), 5);
    EXPECT_EQ(got[0],
        (GitHubClient::CommitInfo {sha1, "Fix checkout rounding", at("2026-03-10T09:30:00Z"), "octo-dev"}));
    EXPECT_EQ(got[1].author, "Octo Dev") << "without a linked account, the git author's name";
    EXPECT_EQ(got[2].date, at("2026-03-11T08:00:00Z")) << "the committer's time goes first, to the second";
    EXPECT_EQ(got[2].message, "First real line");
    EXPECT_EQ(got[3].date, at("2026-03-10T09:30:00Z"))
        << "an unreadable committer time falls back to the author's";
    EXPECT_EQ(got[3].message, "");
    EXPECT_EQ(got[4].date, std::nullopt);
    EXPECT_EQ(got[4].author, std::nullopt);
}

TEST_F(GitHubClientTest, FailuresPassThroughButAnEmptyRepositoryHasNoCommits)
{
    server.route("GET", repoPath + "/commits", 409,
        LoopbackServer::fixture("sources/fixtures/github/empty_repository.json"));
    EXPECT_TRUE(run(client.commits(token, repo, 5)).isEmpty());

    server.route("GET", repoPath + "/commits", 404, R"({"message":"Not Found","status":"404"})");
    EXPECT_EQ(
        failureOf<ServiceFailure>(client.commits(token, repo, 5)), ServiceFailure::refused(404, "Not Found"));

    server.route("GET", "/user", 401, R"({"message":"Bad credentials","status":"401"})");
    EXPECT_EQ(failureOf<ServiceFailure>(client.user(token)), ServiceFailure::rejected());

    server.route(
        "GET", "/user/repos", 403, LoopbackServer::fixture("sources/fixtures/github/rate_limited.json"));
    const auto limited = failureOf<ServiceFailure>(client.repositories(token, 50));
    ASSERT_TRUE(limited);
    EXPECT_EQ(limited->status(), 403);
    EXPECT_TRUE(limited->message().startsWith("API rate limit exceeded"))
        << "GitHub's own sentence, not a rejection";

    server.route("GET", repoPath + "/deployments", 502, "<html>Bad gateway</html>");
    EXPECT_EQ(failureOf<ServiceFailure>(client.placements(token, repo, std::nullopt, 5)),
        ServiceFailure::refused(502, "No explanation given"));

    server.route("GET", repoPath + "/actions/runs", 200, R"({"workflow_runs":[{"id":1)");
    EXPECT_THROW(run(client.runs(token, repo, std::nullopt, 20)), DecodingFailure);
    server.route("GET", repoPath + "/actions/runs", 200, "[]");
    EXPECT_THROW(run(client.runs(token, repo, std::nullopt, 20)), DecodingFailure)
        << "an array where an object is due";

    server.route("GET", repoPath + "/commits/" + sha1.toLatin1() + "/status", CannedReply::dropped());
    EXPECT_THROW(run(client.statuses(token, repo, sha1)), TransportFailure);
}

TEST_F(GitHubClientTest, RunsReadWithTheirFallbacks)
{
    const QJsonObject base = firstOf("runs.json", "workflow_runs");
    auto only = [this](const QJsonObject& item) {
        const auto list = runsOf(item);
        EXPECT_EQ(list.size(), 1);
        return list.value(0);
    };

    const auto failed = only(base);
    EXPECT_EQ(failed.id, 9100000000001);
    EXPECT_EQ(failed.name, "CI");
    EXPECT_EQ(failed.sha, sha1);
    EXPECT_EQ(failed.branch, "main");
    EXPECT_EQ(failed.message, "Fix checkout rounding");
    EXPECT_EQ(failed.state, State::failed);
    EXPECT_EQ(failed.started, at("2026-03-10T09:31:00Z"));
    EXPECT_EQ(failed.updated, at("2026-03-10T09:35:30Z"));
    EXPECT_EQ(failed.url, QUrl("https://github.com/acme-labs/storefront/actions/runs/9100000000001"));
    EXPECT_EQ(failed.actor, "octo-dev");

    QJsonObject bare = base;
    bare.insert("name", QJsonValue());
    bare.remove("display_title");
    bare.remove("head_commit");
    bare.remove("run_started_at");
    bare.remove("updated_at");
    const auto nameless = only(bare);
    EXPECT_EQ(nameless.name, "Workflow");
    EXPECT_EQ(nameless.message, "");
    EXPECT_EQ(nameless.started, at("2026-03-10T09:31:00Z")) << "created_at stands in";
    EXPECT_EQ(nameless.updated, nameless.started);

    bare.insert("display_title", "Nightly build");
    bare.remove("created_at");
    bare.insert("html_url", "javascript:alert(1)");
    const auto titled = only(bare);
    EXPECT_EQ(titled.message, "Nightly build");
    EXPECT_EQ(titled.started, QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC));
    EXPECT_EQ(titled.url, std::nullopt) << "only web addresses are kept";

    QJsonObject noSha = base;
    noSha.remove("head_sha");
    EXPECT_THROW(runsOf(noSha), DecodingFailure);
    QJsonObject textID = base;
    textID.insert("id", "9100000000001");
    EXPECT_THROW(runsOf(textID), DecodingFailure);
}

TEST_F(GitHubClientTest, ActionsWordsMapToStatesAndNotes)
{
    using N = std::optional<QString>;
    struct Case {
        N status, conclusion;
        State state;
        N note;
    };
    const QList<Case> cases {
        {std::nullopt, "success", State::building, std::nullopt},
        {"queued", std::nullopt, State::building, std::nullopt},
        {"in_progress", "failure", State::building, std::nullopt},
        {"completed", std::nullopt, State::canceled, std::nullopt},
        {"completed", "success", State::ready, std::nullopt},
        {"completed", "failure", State::failed, std::nullopt},
        {"completed", "startup_failure", State::failed, std::nullopt},
        {"completed", "timed_out", State::failed, "Timed out"},
        {"completed", "cancelled", State::canceled, std::nullopt},
        {"completed", "action_required", State::canceled, "Needs approval"},
        {"completed", "neutral", State::canceled, "Neutral"},
        {"completed", "skipped_by_policy", State::canceled, "Skipped by policy"},
        {"Completed", "success", State::building, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto got = GitHubClient::state(c.status, c.conclusion);
        EXPECT_EQ(got, (GitHubClient::StateNote {c.state, c.note}))
            << c.status.value_or("-").toStdString() << " " << c.conclusion.value_or("-").toStdString();
    }
}

TEST_F(GitHubClientTest, JobsKnowTheirDurationAndFailedStep)
{
    server.route("GET", repoPath + "/actions/runs/9100000000001/jobs", 200,
        LoopbackServer::fixture("sources/fixtures/github/jobs.json"));
    const auto jobs = run(client.jobs(token, repo, 9100000000001));
    ASSERT_EQ(jobs.size(), 2);
    EXPECT_EQ(jobs[0],
        (GitHubClient::Job {52000000000001, "build", State::ready, std::nullopt, std::nullopt, 125.0,
            QUrl("https://github.com/acme-labs/storefront/actions/runs/9100000000001/job/52000000000001")}));
    EXPECT_EQ(jobs[1].state, State::failed);
    EXPECT_EQ(jobs[1].failedStep, "Run tests")
        << "a skipped step is no failure; the first failing one counts";

    const QJsonObject failing
        = fixtureObject("sources/fixtures/github/jobs.json").value("jobs").toArray().at(1).toObject();
    QJsonObject item = failing;
    item.insert("completed_at", "2026-03-10T09:31:09Z");
    EXPECT_EQ(jobsOf(item).value(0).duration, std::nullopt) << "completed before it started";
    item.insert("completed_at", item.value("started_at"));
    EXPECT_EQ(jobsOf(item).value(0).duration, 0.0);

    item.insert("conclusion", "cancelled");
    EXPECT_EQ(jobsOf(item).value(0).failedStep, std::nullopt) << "only a failed job names a step";

    item = failing;
    QJsonArray steps = item.value("steps").toArray();
    QJsonObject unfinished = steps.at(2).toObject();
    unfinished.remove("conclusion");
    steps.replace(2, unfinished);
    item.insert("steps", steps);
    EXPECT_EQ(jobsOf(item).value(0).failedStep, "Upload report")
        << "timed out counts; no conclusion never does";

    item.insert("steps", QJsonArray());
    EXPECT_EQ(jobsOf(item).value(0).failedStep, std::nullopt);
    item.remove("steps");
    EXPECT_EQ(jobsOf(item).value(0).failedStep, std::nullopt);
}

TEST_F(GitHubClientTest, CommitStatusesAndDeploymentsRead)
{
    QJsonObject combined = fixtureObject("sources/fixtures/github/status.json");
    QJsonArray list = combined.value("statuses").toArray();
    QJsonObject pending = list.at(0).toObject();
    pending.insert("state", "pending");
    pending.insert("context", "ci/circle");
    pending.remove("updated_at");
    list.append(pending);
    QJsonObject error = pending;
    error.insert("state", "error");
    error.insert("created_at", QJsonValue());
    list.append(error);
    combined.insert("statuses", list);
    server.route("GET", repoPath + "/commits/" + sha1.toLatin1() + "/status", 200, body(combined));
    const auto statuses = run(client.statuses(token, repo, sha1));
    ASSERT_EQ(statuses.size(), 4);
    EXPECT_EQ(statuses[0],
        (GitHubClient::Status {"vercel", State::ready, "Deployment has completed",
            QUrl("https://vercel.com/acme-labs/storefront/Aq1"), at("2026-03-10T09:33:00Z")}));
    EXPECT_EQ(statuses[1].state, State::failed);
    EXPECT_EQ(statuses[1].url, std::nullopt) << "an empty target is none";
    EXPECT_EQ(statuses[2].state, State::building);
    EXPECT_EQ(statuses[2].updated, at("2026-03-10T09:31:00Z")) << "created_at stands in";
    EXPECT_EQ(statuses[3].state, State::failed);
    EXPECT_EQ(statuses[3].updated, std::nullopt);

    QJsonObject stateless = pending;
    stateless.remove("state");
    combined.insert("statuses", QJsonArray {stateless});
    server.route("GET", repoPath + "/commits/" + sha1.toLatin1() + "/status", 200, body(combined));
    EXPECT_THROW(run(client.statuses(token, repo, sha1)), DecodingFailure);

    QJsonArray deployments = fixtureArray("sources/fixtures/github/deployments.json");
    QJsonObject plain = deployments.at(0).toObject();
    plain.remove("environment");
    plain.remove("created_at");
    plain.insert("creator", QJsonValue());
    deployments.append(plain);
    server.route("GET", repoPath + "/deployments", 200, body(deployments));
    const auto placements = run(client.placements(token, repo, std::nullopt, 5));
    ASSERT_EQ(placements.size(), 2);
    EXPECT_EQ(placements[0],
        (GitHubClient::Placement {
            4200000000001, sha1, "main", "Production", at("2026-03-10T09:31:00Z"), "vercel[bot]"}));
    EXPECT_EQ(placements[1].environment, "production");
    EXPECT_EQ(placements[1].created, QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC));
    EXPECT_EQ(placements[1].creator, std::nullopt);
}

TEST_F(GitHubClientTest, WhereADeploymentStands)
{
    const QDateTime created = at("2026-03-14T10:00:00Z");
    auto none = standing("[]", created.addSecs(1799));
    EXPECT_EQ(none, GitHubClient::PlacementStatus {}) << "building, not final";
    none = standing("[]", created.addSecs(1800));
    EXPECT_EQ(none.state, State::canceled);
    EXPECT_EQ(none.stateNote, "No status");
    EXPECT_TRUE(none.isFinal);

    const auto ready
        = standing(LoopbackServer::fixture("sources/fixtures/github/deployment_statuses.json"), created);
    EXPECT_EQ(ready,
        (GitHubClient::PlacementStatus {State::ready, std::nullopt, true, QUrl("https://shop.example.com"),
            QUrl("https://vercel.com/acme-labs/storefront/Aq1"), "Deployment has completed"}));

    const QDateTime now = at("2026-03-14T12:00:00Z");
    using gh::PlacementStatusSpec;
    auto later
        = standing(gh::deploymentStatuses({PlacementStatusSpec {"inactive", "2026-03-14T11:00:00Z"},
                       PlacementStatusSpec {"success", "2026-03-14T10:00:00Z", "https://old.example.com"}}),
            now);
    EXPECT_EQ(later.state, State::ready) << "an inactive status gives way to the next";
    EXPECT_EQ(later.environmentURL, QUrl("https://old.example.com")) << "the address of a later element";

    auto inactive = standing(gh::deploymentStatuses({PlacementStatusSpec {"inactive", "2026-03-14T11:00:00Z"},
                                 PlacementStatusSpec {"inactive", "2026-03-14T10:00:00Z"}}),
        now);
    EXPECT_EQ(inactive.state, State::canceled);
    EXPECT_EQ(inactive.stateNote, "Inactive");
    EXPECT_TRUE(inactive.isFinal);

    const QByteArray pending
        = gh::deploymentStatuses({PlacementStatusSpec {"in_progress", "2026-03-14T06:00:00Z"}});
    const QDateTime since = at("2026-03-14T06:00:00Z");
    EXPECT_EQ(standing(pending, since.addSecs(21600)).state, State::building);
    const auto stalled = standing(pending, since.addSecs(21601));
    EXPECT_EQ(stalled.state, State::canceled);
    EXPECT_EQ(stalled.stateNote, "Stalled");
    EXPECT_TRUE(stalled.isFinal);
    EXPECT_EQ(stalled.description, "Deployment has completed") << "its description stays";

    QJsonArray createdOnly = QJsonDocument::fromJson(pending).array();
    QJsonObject item = createdOnly.at(0).toObject();
    item.remove("updated_at");
    createdOnly.replace(0, item);
    EXPECT_EQ(standing(body(createdOnly), since.addSecs(21601)).stateNote, "Stalled")
        << "created_at stands in";
}

} // namespace
