// The GitHub client and source through the real transport against the loopback server, on virtual time.
#include "sources/GitHubSource.h"
#include "sources/SourcesTestKit.h"

#include <gtest/gtest.h>

using namespace brenvo;
using namespace brenvo::test;
using State = Deployment::State;
using namespace brenvo::test::gh;

namespace {

const QString storefront = QStringLiteral("acme-labs/storefront");
const QString api = QStringLiteral("acme-labs/api");
const QString docs = QStringLiteral("acme-labs/docs");
const QString sha1 = QStringLiteral("8cf1d2a3b4c5d6e7f8091a2b3c4d5e6f70819203"); // the fixtures' commit
const QDateTime distant(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);

QByteArray repoPath(const QString& repository = storefront)
{
    return "/repos/" + repository.toLatin1();
}

QByteArray statusPath(const QString& repository, const QString& commit)
{
    return repoPath(repository) + "/commits/" + commit.toLatin1() + "/status";
}

Deployment rowOf(const QString& repository, const QString& commit, const QDateTime& date)
{
    Deployment row;
    row.id = repository + u'@' + commit;
    row.scope = repository;
    row.date = date;
    return row;
}

class GitHubTest : public SourceTest {
protected:
    GitHubClient client {http, server.baseUrl()};
    GitHubSource source {client, SiteIconLoader(icons.http), [this] { return clock.wallNow(); }};

    GitHubTest() { icons.everywhere = true; }

    void serveFixture(const QByteArray& path, const char* name, int status = 200)
    {
        serve(path, status, fixture("github/" + QString::fromLatin1(name) + ".json"));
    }
    void repositories() { serveFixture("/user/repos", "repos"); }
    void user() { serveFixture("/user", "user"); }

    // A repository whose three listings answer as given, each commit named without statuses.
    void world(const QString& repository, const QList<CommitBlueprint>& commits,
        const QList<RunBlueprint>& runs = {}, const QList<PlacementBlueprint>& placements = {})
    {
        serve(repoPath(repository) + "/commits", 200, gh::commits(commits));
        serve(repoPath(repository) + "/actions/runs", 200, gh::runs(runs));
        serve(repoPath(repository) + "/deployments", 200, gh::deployments(placements));
        for (const auto& c : commits)
            statuses(repository, c.sha, {});
        for (const auto& r : runs)
            statuses(repository, r.sha, {});
        for (const auto& p : placements)
            statuses(repository, p.sha, {});
    }
    void statuses(const QString& repository, const QString& commit, const QList<StatusBlueprint>& list)
    {
        serve(statusPath(repository, commit), 200, gh::statuses(list));
    }
    void placementStatuses(const QString& repository, qint64 id, const QList<PlacementStatusBlueprint>& list)
    {
        serve(repoPath(repository) + "/deployments/" + QByteArray::number(id) + "/statuses", 200,
            gh::deploymentStatuses(list));
    }

    QCoro::Task<QList<Deployment>> walk(std::optional<QString> project = std::nullopt, int limit = 3)
    {
        return source.deployments(fakeToken, project, limit);
    }
    QList<Deployment> rows(std::optional<QString> project = std::nullopt, int limit = 3)
    {
        return runTask(walk(project, limit));
    }
    int total() const { return int(server.requests().size()); }

    QList<GitHubClient::Run> runsOf(const QJsonObject& item)
    {
        serve(repoPath() + "/actions/runs", 200, body(QJsonObject {{"workflow_runs", QJsonArray {item}}}));
        return runTask(client.runs(fakeToken, storefront, std::nullopt, 20));
    }
    GitHubClient::PlacementStatus standing(const QByteArray& statuses, const QDateTime& now,
        const QDateTime& created = at("2026-03-14T10:00:00Z"))
    {
        serve(repoPath() + "/deployments/7/statuses", 200, statuses);
        return runTask(client.latestStatus(fakeToken, storefront, {7, {}, {}, {}, created, {}}, now));
    }
};

TEST_F(GitHubTest, EachOperationAsksItsPathWithTheTokenAndGitHubHeaders)
{
    const QByteArray repo = repoPath(), commit = sha1.toLatin1(), runs = R"({"workflow_runs":[]})";
    const QList<std::pair<QByteArray, QByteArray>> asks {{"GET /user", fixture("github/user.json")},
        {"GET /user/repos?per_page=50&sort=pushed", "[]"},
        {"GET " + repo + "/actions/runs?head_sha=" + commit + "&per_page=50", runs},
        {"GET " + repo + "/actions/runs/9100000000001/jobs?filter=latest&per_page=100", R"({"jobs":[]})"},
        {"GET " + repo + "/deployments?per_page=10&sha=" + commit, "[]"},
        {"POST " + repo + "/actions/runs/9100000000001/rerun-failed-jobs", ""}};
    for (const auto& [ask, reply] : asks) {
        const auto parts = ask.split(' ');
        serve(parts[1].split('?').front(), parts[0] == "POST" ? 201 : 200, reply, parts[0]);
    }
    runTask(client.user(fakeToken));
    runTask(client.repositories(fakeToken, 50));
    runTask(client.runs(fakeToken, storefront, sha1, 50));
    runTask(client.jobs(fakeToken, storefront, 9100000000001));
    runTask(client.placements(fakeToken, storefront, sha1, 10));
    runTask(client.rerunFailedJobs(fakeToken, storefront, 9100000000001));

    ASSERT_EQ(server.requests().size(), size_t(asks.size()));
    for (size_t i = 0; i < server.requests().size(); ++i) {
        const RecordedRequest& r = server.requests().at(i);
        EXPECT_EQ(r.method + ' ' + r.target, asks.at(qsizetype(i)).first);
        EXPECT_EQ(r.header("Authorization"), QByteArray("Bearer test-token-not-real"));
        EXPECT_EQ(r.header("Accept"), QByteArray("application/vnd.github+json"));
        EXPECT_EQ(r.header("X-GitHub-Api-Version"), QByteArray("2022-11-28"));
    }
    EXPECT_TRUE(server.requests().back().body.isEmpty());
    EXPECT_FALSE(server.requests().back().hasHeader("Content-Type"));
}

TEST_F(GitHubTest, RepliesReadWithTheirFallbacks)
{
    QJsonArray commits = fixtureArray("github/commits.json");
    QJsonObject item = commits.at(0).toObject(), commit = item.value("commit").toObject();
    QJsonObject committer = commit.value("committer").toObject();
    committer.insert("date", "2026-03-11T08:00:00.123Z");
    set(commit, {{"committer", committer}, {"message", "\n\r\nFirst real line\nsecond"}});
    item.insert("commit", commit);
    commits.append(item);
    item = commits.at(1).toObject();
    item.insert("commit", QJsonObject {{"message", "No people"}});
    commits.append(item);
    serve(repoPath() + "/commits", 200, body(commits));
    const auto got = runTask(client.commits(fakeToken, storefront, 5));
    ASSERT_EQ(got.size(), 4);
    EXPECT_EQ(got[0].author, "octo-dev");
    EXPECT_EQ(got[1].author, "Octo Dev") << "without a linked account, the git author's name";
    EXPECT_EQ(got[2].date, at("2026-03-11T08:00:00Z")) << "the committer's time goes first, to the second";
    EXPECT_EQ(got[2].message, "First real line");
    EXPECT_EQ(got[3].date, std::nullopt);
    EXPECT_EQ(got[3].author, std::nullopt);

    const QJsonObject base
        = fixtureObject("github/runs.json").value("workflow_runs").toArray().at(0).toObject();
    QJsonObject bare = base;
    set(bare,
        {{"name", QJsonValue()}, {"display_title", QJsonValue::Undefined},
            {"head_commit", QJsonValue::Undefined}, {"run_started_at", QJsonValue::Undefined},
            {"updated_at", QJsonValue::Undefined}});
    const auto nameless = runsOf(bare).value(0);
    EXPECT_EQ(nameless.name, "Workflow");
    EXPECT_EQ(nameless.message, "");
    EXPECT_EQ(nameless.started, at("2026-03-10T09:31:00Z")) << "created_at stands in";
    EXPECT_EQ(nameless.updated, nameless.started);
    set(bare,
        {{"display_title", "Nightly build"}, {"created_at", QJsonValue::Undefined},
            {"html_url", "javascript:alert(1)"}});
    const auto titled = runsOf(bare).value(0);
    EXPECT_EQ(titled.message, "Nightly build");
    EXPECT_EQ(titled.started, distant);
    EXPECT_EQ(titled.url, std::nullopt) << "only web addresses are kept";

    using N = std::optional<QString>;
    for (const auto& [status, conclusion, state, note] :
        QList<std::tuple<N, N, State, N>> {{std::nullopt, "success", State::building, {}},
            {"completed", "timed_out", State::failed, "Timed out"},
            {"completed", "action_required", State::canceled, "Needs approval"},
            {"completed", "skipped_by_policy", State::canceled, "Skipped by policy"},
            {"Completed", "success", State::building, {}}})
        EXPECT_EQ(GitHubClient::state(status, conclusion), (GitHubClient::StateNote {state, note}))
            << status.value_or("-").toStdString() << " " << conclusion.value_or("-").toStdString();
}

TEST_F(GitHubTest, JobsStatusesAndDeploymentsReadWithTheirFallbacks)
{
    QJsonObject job = fixtureObject("github/jobs.json").value("jobs").toArray().at(1).toObject();
    QJsonArray steps = job.value("steps").toArray();
    QJsonObject unfinished = steps.at(2).toObject();
    unfinished.remove("conclusion");
    steps.replace(2, unfinished);
    set(job, {{"steps", steps}, {"completed_at", "2026-03-10T09:31:09Z"}});
    serve(repoPath() + "/actions/runs/1/jobs", 200, body(QJsonObject {{"jobs", QJsonArray {job}}}));
    const auto jobs = runTask(client.jobs(fakeToken, storefront, 1));
    ASSERT_EQ(jobs.size(), 1);
    EXPECT_EQ(jobs[0].duration, std::nullopt) << "completed before it started";
    EXPECT_EQ(jobs[0].failedStep, "Upload report") << "timed out counts; no conclusion never does";

    QJsonObject combined = fixtureObject("github/status.json");
    QJsonArray list = combined.value("statuses").toArray();
    QJsonObject pending = list.at(0).toObject();
    set(pending, {{"state", "pending"}, {"updated_at", QJsonValue::Undefined}});
    list.append(pending);
    combined.insert("statuses", list);
    serve(statusPath(storefront, sha1), 200, body(combined));
    const auto statuses = runTask(client.statuses(fakeToken, storefront, sha1));
    ASSERT_EQ(statuses.size(), 3);
    EXPECT_EQ(statuses[1].state, State::failed);
    EXPECT_EQ(statuses[1].url, std::nullopt) << "an empty target is none";
    EXPECT_EQ(statuses[2].state, State::building);
    EXPECT_EQ(statuses[2].updated, at("2026-03-10T09:31:00Z")) << "created_at stands in";
}

TEST_F(GitHubTest, WhereADeploymentStands)
{
    EXPECT_EQ(standing("[]", at("2026-03-14T10:29:59Z")), GitHubClient::PlacementStatus {})
        << "building, not final";
    const QDateTime now = at("2026-03-14T12:00:00Z");
    const auto later = standing(gh::deploymentStatuses({{"inactive", "2026-03-14T11:00:00Z"},
                                    {"success", "2026-03-14T10:00:00Z", "https://old.example.com"}}),
        now);
    EXPECT_EQ(later.state, State::ready) << "an inactive status gives way to the next";
    EXPECT_EQ(later.environmentURL, QUrl("https://old.example.com")) << "the address of a later element";
    const auto inactive = standing(
        gh::deploymentStatuses({{"inactive", "2026-03-14T11:00:00Z"}, {"inactive", "2026-03-14T10:00:00Z"}}),
        now);
    EXPECT_EQ(inactive.state, State::canceled);
    EXPECT_EQ(inactive.stateNote, "Inactive");
    EXPECT_TRUE(inactive.isFinal);

    QJsonObject pending = fixtureArray("github/deployment_statuses.json").at(0).toObject();
    set(pending,
        {{"state", "in_progress"}, {"created_at", "2026-03-14T06:00:00Z"},
            {"updated_at", QJsonValue::Undefined}});
    const QDateTime since = at("2026-03-14T06:00:00Z");
    EXPECT_EQ(standing(body(QJsonArray {pending}), since.addSecs(21600)).state, State::building);
    const auto stalled = standing(body(QJsonArray {pending}), since.addSecs(21601));
    EXPECT_EQ(stalled.state, State::canceled);
    EXPECT_EQ(stalled.stateNote, "Stalled") << "created_at stands in";
    EXPECT_TRUE(stalled.isFinal);
    EXPECT_EQ(stalled.description, "Deployment has completed") << "its description stays";
}

TEST_F(GitHubTest, RowsCombineRunsDeploymentsAndStatusesNewestFirst)
{
    repositories();
    world(storefront,
        {{sha('5'), "2026-03-14T09:00:00Z"}, {sha('4'), "2026-03-14T08:00:00Z", "Add gift cards"}},
        {{9100000000001, sha('5'), "2026-03-14T09:01:00Z", "timed_out"},
            {9100000000002, sha('5'), "2026-03-14T09:01:00Z", "success", "Lint"},
            {9100000000003, sha('9'), "2026-03-14T11:00:00Z", std::nullopt, "CI", "feature/pay",
                "Try the new payment form\n\nBehind a flag"}},
        {{4200000000001, sha('5'), "2026-03-14T09:05:00Z"}});
    placementStatuses(
        storefront, 4200000000001, {{"success", "2026-03-14T09:06:00Z", "https://shop.example.com"}});
    statuses(storefront, sha('5'), {{"vercel", "success", "2026-03-14T09:06:00Z"}});
    world(api, {{sha('a'), "2026-03-14T07:00:00Z", "Bump deps"}});
    world(docs, {{sha('d'), "2026-03-14T07:00:00Z", "Typo"}});

    const auto all = rows(std::nullopt, 10);
    EXPECT_EQ(ids(all),
        (QStringList {storefront + "@" + sha('9'), storefront + "@" + sha('5'), storefront + "@" + sha('4'),
            docs + "@" + sha('d'), api + "@" + sha('a')}))
        << "newest first; equal dates by the greater sha; the fourth repository is not visited";
    EXPECT_EQ(asked("/repos/acme-labs/legacy/commits"), 0);

    EXPECT_EQ(all[1].state, State::failed);
    EXPECT_EQ(all[1].stateNote, std::nullopt) << "a failed row carries no note, not even Timed out";
    EXPECT_EQ(all[1].project, "storefront");
    EXPECT_EQ(all[1].commit, "5555555");
    EXPECT_EQ(all[1].url, QUrl("https://github.com/acme-labs/storefront/commit/" + sha('5')));
    EXPECT_EQ(all[0].state, State::building);
    EXPECT_EQ(all[0].message, "Try the new payment form") << "a commit known from its run alone";
    EXPECT_EQ(all[0].branch, "feature/pay");
    EXPECT_EQ(all[2].state, State::canceled);
    EXPECT_EQ(all[2].stateNote, "No checks");
    EXPECT_EQ(all[2].branch, "main") << "the repository's default branch";

    EXPECT_EQ(ids(rows(std::nullopt, 3)), ids(all.mid(0, 3)));
    server.clearRequests();
    EXPECT_TRUE(rows(std::nullopt, 0).isEmpty());
    EXPECT_EQ(total(), 9) << "a limit of 0 still gathers, but asks nothing per row";
}

TEST_F(GitHubTest, RefreshesOfSettledRepositoriesCostFewRequests)
{
    repositories();
    for (const QString& repository : {storefront, api, docs}) {
        world(repository, {{sha('1'), "2026-03-12T10:00:00Z"}},
            {{9100000000001, sha('1'), "2026-03-12T10:01:00Z"}},
            repository == storefront
                ? QList<PlacementBlueprint> {{4200000000001, sha('1'), "2026-03-12T10:02:00Z"}}
                : QList<PlacementBlueprint> {});
        statuses(repository, sha('1'), {{"vercel", "success", "2026-03-12T10:05:00Z"}});
    }
    placementStatuses(storefront, 4200000000001, {{"success", "2026-03-12T10:04:00Z"}});

    EXPECT_EQ(rows().size(), 3);
    EXPECT_EQ(total(), 14)
        << "list, 3 x (commits, runs, deployments), one deployment status, 3 commit statuses";
    server.clearRequests();
    clock.advance(120);
    EXPECT_EQ(rows().size(), 3);
    EXPECT_EQ(total(), 9) << "within 300 s only the three listings of each repository";
    server.clearRequests();
    clock.advance(181);
    rows();
    EXPECT_EQ(total(), 10) << "the repository list is read again after 300 s";
}

TEST_F(GitHubTest, ProjectsAreTheRepositoryListCachedUntilTheAccountIsRead)
{
    user();
    repositories();
    const auto projects = runTask(source.projects(fakeToken));
    ASSERT_EQ(projects.size(), 4);
    EXPECT_EQ(projects[0], (KitProject {storefront, storefront}));
    runTask(source.projects(fakeToken));
    EXPECT_EQ(asked("/user/repos"), 1);
    EXPECT_EQ(runTask(source.account(fakeToken)), "octo-dev");
    runTask(source.projects(fakeToken));
    EXPECT_EQ(asked("/user/repos"), 2) << "reading the account drops the list";

    server.clearRequests();
    world(storefront, {{sha('1'), "2026-03-14T10:00:00Z"}});
    EXPECT_EQ(rows(storefront).size(), 1);
    EXPECT_EQ(asked("/user/repos"), 0) << "a picked repository is not looked up";
    EXPECT_EQ(total(), 4);

    serve("/user/repos", 200, "[]");
    runTask(source.account(fakeToken));
    server.clearRequests();
    EXPECT_TRUE(rows().isEmpty());
    EXPECT_EQ(total(), 1);
}

TEST_F(GitHubTest, WhatAReplacedTokenReadIsNotKept)
{
    // Each token has its own account and repositories.
    const CannedReply octo = CannedReply::json(200, fixture("github/user.json"));
    const CannedReply newer = CannedReply::json(
        200, R"({"login":"newer-dev","avatar_url":"https://avatars.example.com/newer-dev"})");
    const CannedReply octoRepositories = CannedReply::json(200, fixture("github/repos.json"));
    const CannedReply newerRepositories = CannedReply::json(200, R"([{"full_name":"newer-dev/site"}])");
    const QList<KitProject> newerProjects {{"newer-dev/site", "newer-dev/site"}};
    server.handle("GET", "/user", byToken(octo, newer));
    server.handle("GET", "/user/repos", byToken(CannedReply(octoRepositories).heldBack(), newerRepositories));

    // Connected anew while the earlier token's list is on its way.
    auto earlier = source.projects(fakeToken);
    ASSERT_TRUE(awaitHeld(server));
    EXPECT_EQ(runTask(source.account(newerToken)), "newer-dev");
    EXPECT_EQ(runTask(source.projects(newerToken)), newerProjects);
    server.releaseHeld();
    EXPECT_EQ(runTask(std::move(earlier)).size(), 4);
    EXPECT_EQ(runTask(source.projects(newerToken)), newerProjects);
    EXPECT_EQ(asked("/user/repos"), 2);
    // A turn that still goes by the earlier token, once the newer one is connected, keeps its list
    // to itself.
    server.handle("GET", "/user/repos", byToken(octoRepositories, newerRepositories));
    runTask(source.account(newerToken));
    runTask(source.projects(fakeToken));
    EXPECT_EQ(runTask(source.projects(newerToken)), newerProjects);

    // The account that answers last is not the one connected last.
    server.handle("GET", "/user", byToken(CannedReply(octo).heldBack(), newer));
    auto identify = source.account(fakeToken);
    ASSERT_TRUE(awaitHeld(server));
    runTask(source.account(newerToken));
    server.releaseHeld();
    EXPECT_EQ(runTask(std::move(identify)), "octo-dev");
    runTask(source.accountIcon(newerToken));
    EXPECT_EQ(icons.first(), QUrl("https://avatars.example.com/newer-dev"));

    // Nor does what the earlier token was refused hold for the newer one.
    world(storefront, {{sha('1'), "2026-03-14T10:00:00Z"}});
    server.handle("GET", repoPath() + "/commits",
        byToken(CannedReply::json(403, fixture("github/not_accessible.json")).heldBack(),
            CannedReply::json(200, gh::commits({{sha('1'), "2026-03-14T10:00:00Z"}}))));
    auto walk = source.deployments(fakeToken, storefront, 3);
    ASSERT_TRUE(awaitHeld(server));
    runTask(source.account(newerToken));
    server.releaseHeld();
    runTask(std::move(walk));
    server.clearRequests();
    EXPECT_EQ(
        runTask(source.deployments(newerToken, storefront, 3)).value(0).message, "Fix checkout rounding");
    EXPECT_EQ(asked(repoPath() + "/commits"), 1);
    EXPECT_EQ(source.advice(), std::nullopt);
}

TEST_F(GitHubTest, RefusedReadsAreSkippedForFiveMinutesAndNamedInTheAdvice)
{
    repositories();
    for (const QString& repository : {storefront, api, docs}) {
        world(repository, {},
            {{9100000000001, sha('1'), "2026-03-14T10:00:00Z", "success", "CI", "main", std::nullopt}});
        serveFixture(repoPath(repository) + "/commits", "not_accessible", 403);
        serve(repoPath(repository) + "/commits/" + sha('1').toLatin1(), 404, R"({"message":"Not Found"})");
    }
    EXPECT_EQ(rows().size(), 3) << "the runs still give rows";
    EXPECT_EQ(source.advice(),
        "This token cannot read commits (Contents). Edit the token on GitHub and set those to Read-only to "
        "see them.");
    EXPECT_EQ(asked(repoPath() + "/commits/" + sha('1').toLatin1()), 0)
        << "a refused repository's commit message is not asked either";

    server.clearRequests();
    clock.advance(300);
    rows();
    EXPECT_EQ(asked(repoPath() + "/commits"), 0) << "skipped for 300 s";
    EXPECT_EQ(asked(repoPath() + "/actions/runs"), 1);
    server.clearRequests();
    clock.advance(1);
    world(api, {{sha('1'), "2026-03-14T10:00:00Z"}});
    rows();
    EXPECT_EQ(asked(repoPath() + "/commits"), 1) << "tried again after 300 s";
    EXPECT_EQ(source.advice(), std::nullopt) << "one repository that may read commits ends the advice";
}

TEST_F(GitHubTest, AdviceNamesPermissionsInTheirOwnOrderAndOnlyRefusalsCount)
{
    world(storefront, {{sha('1'), "2026-03-14T10:00:00Z"}});
    serve(repoPath() + "/deployments", 404, R"({"message":"Not Found"})");
    serveFixture(statusPath(storefront, sha('1')), "not_accessible", 403);
    EXPECT_EQ(rows(storefront).size(), 1);
    EXPECT_EQ(source.advice(),
        "This token cannot read what other services report (Commit statuses), deployments (Deployments). "
        "Edit the token on GitHub and set those to Read-only to see them.");
    EXPECT_EQ(GitHubSource::permission("deployments (Deployments)"), GitHubSource::Permission::deployments);
    EXPECT_EQ(GitHubSource::permission("deployments"), std::nullopt);
    user();
    runTask(source.account(fakeToken));
    EXPECT_EQ(source.advice(), std::nullopt) << "reading the account clears the records";

    serve(repoPath() + "/commits", 401, R"({"message":"Bad credentials"})");
    serve(repoPath() + "/actions/runs", 500, R"({"message":"Server Error"})");
    serve(repoPath() + "/deployments", 200, "[]");
    server.clearRequests();
    EXPECT_TRUE(rows(storefront).isEmpty());
    rows(storefront);
    EXPECT_EQ(asked(repoPath() + "/commits"), 2) << "a rejection is no refusal";
    EXPECT_EQ(asked(repoPath() + "/actions/runs"), 2) << "nor is a server failure";
    EXPECT_EQ(source.advice(), std::nullopt);
}

TEST_F(GitHubTest, ARateLimitEndsTheWalkAndIsNoRefusal)
{
    repositories();
    world(storefront, {{sha('1'), "2026-03-14T10:00:00Z"}});
    const qint64 reset = QDateTime::currentSecsSinceEpoch() + 1200;
    server.route("GET", repoPath() + "/actions/runs",
        CannedReply::json(403, fixture("github/rate_limited.json"))
            .with("X-RateLimit-Remaining", "0")
            .with("X-RateLimit-Reset", QByteArray::number(reset)));
    world(api, {});
    world(docs, {});
    const auto limited = failureOf<ServiceFailure>(walk());
    ASSERT_TRUE(limited);
    EXPECT_EQ(limited->status(), 403);
    EXPECT_TRUE(limited->message().startsWith("API rate limit exceeded for user ID"))
        << "GitHub's own sentence";
    EXPECT_EQ(limited->retryAt(), QDateTime::fromSecsSinceEpoch(reset, Qt::UTC)) << "for the store";
    EXPECT_EQ(asked(repoPath() + "/deployments"), 0) << "the walk stops at once";
    EXPECT_EQ(asked("/repos/acme-labs/api/commits"), 0);
    EXPECT_EQ(source.advice(), std::nullopt) << "no permission is missing";

    server.clearRequests();
    serve(repoPath() + "/actions/runs", 429, R"({"message":"Too many requests"})");
    EXPECT_EQ(failureOf<ServiceFailure>(walk()), ServiceFailure::refused(429, "Too many requests"));
    EXPECT_EQ(asked(repoPath() + "/actions/runs"), 1) << "not skipped after a limit";

    serve(repoPath() + "/actions/runs", 200, gh::runs({}));
    serve(statusPath(storefront, sha('1')), 403,
        R"({"message":"You have exceeded a secondary rate limit. Please wait a few minutes before you try again."})");
    EXPECT_EQ(failureOf<ServiceFailure>(walk()).value_or(ServiceFailure::rejected()).status(), 403)
        << "a limit met while building rows ends the refresh too";
    statuses(storefront, sha('1'), {{"vercel", "success", "2026-03-14T10:05:00Z"}});
    EXPECT_EQ(rows().value(0).state, State::ready);
    EXPECT_EQ(source.advice(), std::nullopt);
}

TEST_F(GitHubTest, AWalkFailsOnlyWhenNothingSucceeded)
{
    repositories();
    for (const QString& repository : {storefront, api, docs}) {
        for (const char* stage : {"/commits", "/actions/runs", "/deployments"})
            server.route("GET", repoPath(repository) + stage, CannedReply::dropped());
    }
    serve(repoPath() + "/commits", 502, "<html>Bad gateway</html>");
    EXPECT_EQ(failureOf<ServiceFailure>(walk()), ServiceFailure::refused(502, "No explanation given"))
        << "the first failure";
    serve("/user", 401, R"({"message":"Bad credentials","status":"401"})");
    EXPECT_EQ(failureOf<ServiceFailure>(source.account(fakeToken)), ServiceFailure::rejected());

    world(api, {{sha('1'), "2026-03-14T10:00:00Z"}});
    serve(repoPath(api) + "/actions/runs", 200, R"({"workflow_runs":[{"id":1}]})");
    serveFixture(repoPath(api) + "/commits", "empty_repository", 409);
    EXPECT_TRUE(rows().isEmpty()) << "an empty repository and a malformed reply fail nothing";

    for (const QString& repository : {storefront, api, docs}) {
        serve(repoPath(repository) + "/commits", 404, R"({"message":"Not Found"})");
        serveFixture(repoPath(repository) + "/actions/runs", "not_accessible", 403);
        serveFixture(repoPath(repository) + "/deployments", "not_accessible", 403);
    }
    EXPECT_EQ(failureOf<ServiceFailure>(walk()), ServiceFailure::refused(404, "Not Found"));
    server.clearRequests();
    EXPECT_TRUE(rows().isEmpty()) << "every stage skipped: nothing to show, nothing failed";
    EXPECT_EQ(total(), 0);
}

TEST_F(GitHubTest, StalledRunsAndDeploymentsWithoutStatus)
{
    world(storefront,
        {{sha('1'), "2026-03-14T09:00:00Z"}, {sha('2'), "2026-03-14T08:00:00Z"},
            {sha('3'), "2026-03-14T07:00:00Z"}, {sha('4'), "2026-03-14T06:00:00Z"}},
        {{1, sha('1'), "2026-03-13T11:59:59Z", std::nullopt},
            {2, sha('2'), "2026-03-13T12:00:00Z", std::nullopt}},
        {{4200000000003, sha('3'), "2026-03-14T11:30:00Z"},
            {4200000000004, sha('4'), "2026-03-14T11:40:00Z"}});
    placementStatuses(storefront, 4200000000003, {});
    serve(repoPath() + "/deployments/4200000000004/statuses", 500, R"({"message":"Server Error"})");

    const auto list = rows(storefront, 10);
    ASSERT_EQ(list.size(), 4);
    EXPECT_EQ(list[0].state, State::canceled);
    EXPECT_EQ(list[0].stateNote, "Stalled") << "still running a day and a second after it began";
    EXPECT_EQ(list[1].state, State::building) << "exactly a day is not yet stalled";
    EXPECT_EQ(list[2].state, State::canceled);
    EXPECT_EQ(list[2].stateNote, "No status");
    EXPECT_EQ(list[3].state, State::canceled);
    EXPECT_EQ(list[3].stateNote, std::nullopt) << "an unreadable deployment status has no note";

    server.clearRequests();
    placementStatuses(storefront, 4200000000004, {{"success", "2026-03-14T11:45:00Z"}});
    EXPECT_EQ(rows(storefront, 10).value(3).state, State::ready) << "a failed lookup is asked again";
    EXPECT_EQ(asked(repoPath() + "/deployments/4200000000003/statuses"), 0) << "a final one is not";
}

TEST_F(GitHubTest, CommitStatusesAreKeptOnlyOnceTheyCannotChange)
{
    world(storefront,
        {{sha('1'), "2026-03-12T10:00:00Z"}, {sha('2'), "2026-03-14T10:00:00Z"},
            {sha('3'), "2026-03-12T09:00:00Z"}, {sha('4'), "2026-03-12T08:00:00Z"},
            {sha('5'), "2026-03-12T07:00:00Z"}});
    statuses(storefront, sha('1'), {{"vercel", "success", "2026-03-12T10:05:00Z"}});
    statuses(storefront, sha('4'), {{"ci/circle", "pending", "2026-03-14T11:00:00Z"}});
    statuses(storefront, sha('5'), {{"review", "pending", "2026-03-14T05:00:00Z", "Waiting for approval"}});
    for (int i = 0; i < 2; ++i) {
        const auto list = rows(storefront, 10);
        ASSERT_EQ(list.size(), 5);
        EXPECT_EQ(list[4].state, State::canceled) << "a status pending for seven hours has stalled";
        clock.advance(60);
    }
    EXPECT_EQ(asked(statusPath(storefront, sha('1'))), 1) << "settled statuses are asked once";
    EXPECT_EQ(asked(statusPath(storefront, sha('2'))), 2)
        << "a two-hour-old commit may still get its first status";
    EXPECT_EQ(asked(statusPath(storefront, sha('3'))), 1) << "after a day, none is none";
    EXPECT_EQ(asked(statusPath(storefront, sha('4'))), 2) << "pending keeps being asked";
    EXPECT_EQ(asked(statusPath(storefront, sha('5'))), 1) << "a stalled status counts as ended";

    // The kept stalled status still tells its age as of now.
    serve(repoPath() + "/actions/runs", 200, gh::runs({}));
    const Deployment stalled = rowOf(storefront, sha('5'), at("2026-03-12T07:00:00Z"));
    auto opened = runTask(source.details(fakeToken, stalled));
    ASSERT_EQ(opened.checks.size(), 1);
    EXPECT_EQ(opened.checks[0].note, "Stalled: Waiting for approval since 7h ago");
    EXPECT_EQ(opened.checks[0].state, State::canceled);
    clock.advance(3 * 3600);
    opened = runTask(source.details(fakeToken, stalled));
    EXPECT_EQ(opened.checks.value(0).note, "Stalled: Waiting for approval since 10h ago");
    EXPECT_EQ(asked(statusPath(storefront, sha('5'))), 1);
    // A clock set back to before its update, or to within a minute after, has no age to tell.
    for (const double shift : {-39720.0, 3630.0}) {
        clock.shiftWallClock(seconds(shift));
        opened = runTask(source.details(fakeToken, stalled));
        EXPECT_EQ(opened.checks.value(0).note, "Stalled: Waiting for approval")
            << clock.wallNow().toString(Qt::ISODate).toStdString();
    }

    // Details go by the row's own date: a young commit's statuses are asked again.
    statuses(storefront, sha('6'), {});
    for (int i = 0; i < 2; ++i)
        runTask(source.details(fakeToken, rowOf(storefront, sha('6'), at("2026-03-14T11:50:00Z"))));
    EXPECT_EQ(asked(statusPath(storefront, sha('6'))), 2);
}

TEST_F(GitHubTest, MessagesAreKeptOnlyOnceGitHubHasAnswered)
{
    world(storefront, {},
        {{1, sha('1'), "2026-03-14T11:00:00Z", "success", "CI", "main", std::nullopt},
            {2, sha('2'), "2026-03-14T10:00:00Z", "success", "CI", "main", std::nullopt}},
        {{4200000000003, sha('3'), "2026-03-14T09:00:00Z", "Production", sha('3')}});
    placementStatuses(storefront, 4200000000003, {{"success", "2026-03-14T09:02:00Z"}});
    const QByteArray commitPath = repoPath() + "/commits/";
    serveFixture(commitPath + sha('1').toLatin1(), "commit");
    serve(commitPath + sha('2').toLatin1(), 502, "<html>Bad gateway</html>");
    serve(commitPath + sha('3').toLatin1(), 422, R"({"message":"No commit found for SHA"})");

    auto list = rows(storefront, 10);
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[0].message, "Fix checkout rounding");
    EXPECT_EQ(list[1].message, "");
    EXPECT_EQ(list[2].message, "Deploy to Production");
    EXPECT_EQ(list[2].branch, std::nullopt) << "a deployment ref that is the sha itself names no branch";
    serveFixture(commitPath + sha('2').toLatin1(), "commit");
    list = rows(storefront, 10);
    EXPECT_EQ(list[1].message, "Fix checkout rounding") << "a server failure was not taken for an answer";
    rows(storefront, 10);
    EXPECT_EQ(asked(commitPath + sha('1').toLatin1()), 1);
    EXPECT_EQ(asked(commitPath + sha('2').toLatin1()), 2);
    EXPECT_EQ(asked(commitPath + sha('3').toLatin1()), 1) << "a definite 422 is kept";
}

TEST_F(GitHubTest, DetailsGatherJobsStatusesAndDeployments)
{
    QList<RunBlueprint> runs {RunBlueprint {9100000000001, sha('5'), "2026-03-14T09:00:00Z", "failure"}};
    for (qint64 i = 2; i <= 6; ++i)
        runs.append(RunBlueprint {9100000000000 + i, sha('5'), "2026-03-14T09:00:00Z", "success",
            QStringLiteral("Run %1").arg(i), "main", "Fix", "2026-03-14T09:01:00Z"});
    runs.append(RunBlueprint {9100000000007, sha('5'), "2026-03-14T09:00:00Z", std::nullopt, "Run 7"});
    serve(repoPath() + "/actions/runs", 200, gh::runs(runs));
    serve(repoPath() + "/deployments", 200,
        gh::deployments({{4200000000001, sha('5'), "2026-03-14T09:05:00Z"},
            {4200000000002, sha('5'), "2026-03-14T09:06:00Z", "Preview"}}));
    placementStatuses(
        storefront, 4200000000001, {{"success", "2026-03-14T09:07:00Z", "https://shop.example.com"}});
    placementStatuses(storefront, 4200000000002,
        {{"success", "2026-03-14T09:08:00Z", "https://shop.example.com/preview/1"}});
    serveFixture(statusPath(storefront, sha('5')), "status");
    const QByteArray runsPath = repoPath() + "/actions/runs/";
    serveFixture(runsPath + "9100000000001/jobs", "jobs");
    for (int i = 2; i <= 6; ++i)
        serve(runsPath + "910000000000" + QByteArray::number(i) + "/jobs", 200,
            R"({"total_count":0,"jobs":[]})");
    serve(runsPath + "9100000000003/jobs", 500, R"({"message":"Server Error"})");

    const auto details
        = runTask(source.details(fakeToken, rowOf(storefront, sha('5'), at("2026-03-14T09:00:00Z"))));
    QStringList checkIDs;
    for (const auto& check : details.checks)
        checkIDs.append(check.id);
    EXPECT_EQ(checkIDs,
        (QStringList {"job-52000000000002", "status-codecov/project", "run-9100000000007",
            "job-52000000000001", "run-9100000000002", "run-9100000000003", "run-9100000000004",
            "run-9100000000005", "run-9100000000006", "status-vercel", "deploy-4200000000001",
            "deploy-4200000000002"}))
        << "failed, building, ready; the seventh run without jobs; a run whose jobs failed as itself";
    EXPECT_EQ(details.checks[0],
        (DeploymentCheck {"job-52000000000002", "CI / test", State::failed, "Run tests",
            QUrl("https://github.com/acme-labs/storefront/actions/runs/9100000000001/job/52000000000002")}));
    EXPECT_EQ(details.checks[1].note, "62.10% (-1.20%) compared to 1f2e3d4");
    EXPECT_EQ(details.checks[3].note, "2m 5s");
    EXPECT_EQ(details.checks[10],
        (DeploymentCheck {"deploy-4200000000001", "Deploy to Production", State::ready, "shop.example.com",
            QUrl("https://shop.example.com")}));
    EXPECT_EQ(details.creator, "octo-dev");
    EXPECT_TRUE(details.canRedeploy);
    EXPECT_EQ(asked(runsPath + "9100000000007/jobs"), 0) << "jobs of six runs at most";
    EXPECT_EQ(total(), 11);
}

TEST_F(GitHubTest, DetailsWithoutCommitOrActions)
{
    Deployment bare;
    bare.id = "no-scope";
    const auto empty = runTask(source.details(fakeToken, bare));
    EXPECT_TRUE(empty.checks.isEmpty());
    EXPECT_TRUE(empty.canRedeploy);
    EXPECT_EQ(runTask(source.redeploy(fakeToken, bare)), std::nullopt);
    EXPECT_EQ(total(), 0);

    world(storefront, {{sha('1'), "2026-03-14T10:00:00Z"}}, {},
        {{4200000000001, sha('1'), "2026-03-14T10:05:00Z"}});
    serveFixture(repoPath() + "/actions/runs", "not_accessible", 403);
    placementStatuses(storefront, 4200000000001, {{"failure", "2026-03-14T10:06:00Z"}});
    rows(storefront);
    server.clearRequests();
    const Deployment row = rowOf(storefront, sha('1'), at("2026-03-14T10:00:00Z"));
    const auto details = runTask(source.details(fakeToken, row));
    EXPECT_EQ(asked(repoPath() + "/actions/runs"), 0);
    ASSERT_EQ(details.checks.size(), 1);
    EXPECT_EQ(details.checks[0].state, State::failed);
    EXPECT_FALSE(details.canRedeploy) << "without runs nothing can be re-run";
    EXPECT_EQ(details.creator, "vercel[bot]");
}

TEST_F(GitHubTest, RerunAsksForTheFailedRunsAndExplainsARefusal)
{
    serve(repoPath() + "/actions/runs", 200,
        gh::runs({{1, sha('1'), "2026-03-14T10:00:00Z", "failure"},
            {2, sha('1'), "2026-03-14T10:00:00Z", "success"},
            {3, sha('1'), "2026-03-14T10:00:00Z", "timed_out"},
            {4, sha('1'), "2026-03-14T10:00:00Z", "failure"}}));
    const QByteArray runsPath = repoPath() + "/actions/runs/";
    serve(runsPath + "1/rerun-failed-jobs", 201, "", "POST");
    server.route("POST", runsPath + "3/rerun-failed-jobs", 403, fixture("github/not_accessible.json"));
    serve(runsPath + "4/rerun-failed-jobs", 201, "", "POST");
    const Deployment row = rowOf(storefront, sha('1'), at("2026-03-14T10:00:00Z"));

    const QString shortRefusal = "GitHub will not let this token re-run checks. Edit the token on GitHub and "
                                 "set Actions to Read and write.";
    EXPECT_EQ(
        failureOf<ServiceFailure>(source.redeploy(fakeToken, row)), ServiceFailure::explained(shortRefusal));
    EXPECT_EQ(asked(runsPath + "1/rerun-failed-jobs"), 1);
    EXPECT_EQ(asked(runsPath + "2/rerun-failed-jobs"), 0);
    EXPECT_EQ(asked(runsPath + "4/rerun-failed-jobs"), 0) << "no further run after a refusal";

    user();
    runTask(source.account(fakeToken));
    EXPECT_EQ(failureOf<ServiceFailure>(source.redeploy(fakeToken, row))
                  .value_or(ServiceFailure::rejected())
                  .message(),
        "GitHub will not let this token re-run checks in acme-labs/storefront: the token is for repositories "
        "owned by octo-dev, and this one belongs to acme-labs. It takes a token made with acme-labs as its "
        "resource owner, with Actions set to Read and write.");
    EXPECT_EQ(source.rerunRefusal("OCTO-DEV/dotfiles"), shortRefusal) << "the owner compared without case";

    server.route("POST", runsPath + "3/rerun-failed-jobs", 403, fixture("github/rate_limited.json"));
    const auto limited = failureOf<ServiceFailure>(source.redeploy(fakeToken, row));
    ASSERT_TRUE(limited);
    EXPECT_TRUE(limited->isRefused()) << "a rate limit passes on as GitHub said it";
    EXPECT_EQ(limited->status(), 403);

    serve(runsPath + "3/rerun-failed-jobs", 201, "", "POST");
    server.clearRequests();
    EXPECT_EQ(runTask(source.redeploy(fakeToken, row)), std::nullopt);
    EXPECT_EQ(total(), 4) << "the runs, then the three failed ones";
    serve(repoPath() + "/actions/runs", 200, gh::runs({{2, sha('1'), "2026-03-14T10:00:00Z"}}));
    server.clearRequests();
    EXPECT_EQ(runTask(source.redeploy(fakeToken, row)), std::nullopt);
    EXPECT_EQ(total(), 1) << "nothing failed, nothing posted";
}

TEST_F(GitHubTest, IconsComeFromTheHomepageTheDeployedSiteOrTheAvatar)
{
    user();
    runTask(source.account(fakeToken));
    EXPECT_TRUE(runTask(source.accountIcon(fakeToken)).has_value());
    EXPECT_EQ(icons.first(), QUrl("https://avatars.githubusercontent.com/u/4100000001?v=4"));

    repositories();
    world(storefront, {});
    world(api, {});
    placementStatuses(docs, 11, {{"success", "2026-03-14T09:00:00Z", "https://preview.example.com/x"}});
    placementStatuses(docs, 12, {{"success", "2026-03-14T10:00:00Z", "https://staging.example.com"}});
    placementStatuses(docs, 13, {{"success", "2026-03-14T11:00:00Z", "https://docs.acme.dev"}});
    const Deployment docsRow = rowOf(docs, sha('1'), at("2026-03-14T09:00:00Z"));

    QList<PlacementBlueprint> placements;
    for (const auto& [placement, site] : QList<std::pair<PlacementBlueprint, const char*>> {
             {{11, sha('1'), "2026-03-14T09:00:00Z", "Preview"}, "https://preview.example.com/"},
             {{12, sha('2'), "2026-03-14T10:00:00Z", "Staging"}, "https://preview.example.com/"},
             {{13, sha('3'), "2026-03-14T11:00:00Z", "production-eu"}, "https://docs.acme.dev/"}}) {
        placements.append(placement);
        world(docs, {}, {}, placements);
        rows(std::nullopt, 10);
        icons.forget();
        EXPECT_TRUE(runTask(source.projectIcon(fakeToken, docsRow)).has_value());
        EXPECT_EQ(icons.first(), QUrl(site)) << "only production replaces a known site";
    }

    icons.forget();
    EXPECT_TRUE(
        runTask(source.projectIcon(fakeToken, rowOf(storefront, sha('1'), at("2026-03-14T09:00:00Z"))))
            .has_value());
    EXPECT_EQ(icons.first(), QUrl("https://shop.example.com/")) << "the repository's homepage first";
}

} // namespace
