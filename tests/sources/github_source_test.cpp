// The GitHub source through the real transport against the loopback server, on virtual time.
#include "sources/CheckFixtures.h"
#include "sources/GitHubSource.h"
#include "sources/SourcesTestKit.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

using namespace brenvo;
using namespace brenvo::test;
using State = Deployment::State;
using gh::CommitSpec;
using gh::PlacementSpec;
using gh::PlacementStatusSpec;
using gh::RunSpec;
using gh::StatusSpec;

namespace {

const QString& token = fakeToken;
const QString storefront = QStringLiteral("acme-labs/storefront");

QString sha(char c)
{
    return QString(40, QLatin1Char(c));
}

QByteArray repoPath(const QString& repository)
{
    return "/repos/" + repository.toLatin1();
}

QByteArray statusPath(const QString& repository, const QString& commit)
{
    return repoPath(repository) + "/commits/" + commit.toLatin1() + "/status";
}

QDateTime at(const char* iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

class GitHubSourceTest : public ::testing::Test {
protected:
    LoopbackServer server;
    std::shared_ptr<NetworkHTTPClient> http = std::make_shared<NetworkHTTPClient>();
    // Every address answers a picture.
    std::shared_ptr<FakeHTTPClient> icons = pictures();
    ManualScheduler clock; // 2026-03-14 12:00 UTC
    GitHubSource source {
        GitHubClient(http, server.baseUrl()), SiteIconLoader(icons), [this] { return clock.wallNow(); }};

    void repositories()
    {
        server.route(
            "GET", "/user/repos", 200, LoopbackServer::fixture("sources/fixtures/github/repos.json"));
    }

    // A repository whose three listings answer as given; statuses of its commits answer nothing.
    void world(const QString& repository, const QList<CommitSpec>& commits, const QList<RunSpec>& runs = {},
        const QList<PlacementSpec>& placements = {})
    {
        server.route("GET", repoPath(repository) + "/commits", 200, gh::commits(commits));
        server.route("GET", repoPath(repository) + "/actions/runs", 200, gh::runs(runs));
        server.route("GET", repoPath(repository) + "/deployments", 200, gh::deployments(placements));
    }

    void statuses(const QString& repository, const QString& commit, const QList<StatusSpec>& list)
    {
        server.route("GET", statusPath(repository, commit), 200, gh::statuses(list));
    }

    void placementStatuses(const QString& repository, qint64 id, const QList<PlacementStatusSpec>& list)
    {
        server.route("GET", repoPath(repository) + "/deployments/" + QByteArray::number(id) + "/statuses",
            200, gh::deploymentStatuses(list));
    }

    QCoro::Task<QList<Deployment>> walk(std::optional<QString> project = std::nullopt, int limit = 3)
    {
        return source.deployments(token, project, limit);
    }
    QList<Deployment> rows(std::optional<QString> project = std::nullopt, int limit = 3)
    {
        return runTask(walk(project, limit));
    }
    QUrl firstAsked() const { return icons->requests.empty() ? QUrl() : icons->requests.front().url; }

    int asked(const QByteArray& path) const { return server.count(path); }
    int total() const { return int(server.requests().size()); }

    static QList<QString> ids(const QList<Deployment>& list)
    {
        QList<QString> out;
        for (const auto& d : list)
            out.append(d.id);
        return out;
    }

    static Deployment rowOf(const QString& repository, const QString& commit, const QDateTime& date)
    {
        Deployment row;
        row.id = repository + u'@' + commit;
        row.scope = repository;
        row.date = date;
        return row;
    }
};

TEST_F(GitHubSourceTest, RowsCombineRunsDeploymentsAndStatusesNewestFirst)
{
    repositories();
    const QString api = QStringLiteral("acme-labs/api");
    const QString docs = QStringLiteral("acme-labs/docs");
    world(storefront,
        {CommitSpec {sha('5'), "2026-03-14T09:00:00Z"},
            CommitSpec {sha('4'), "2026-03-14T08:00:00Z", "Add gift cards"}},
        {RunSpec {9100000000001, sha('5'), "2026-03-14T09:01:00Z", "timed_out"},
            RunSpec {9100000000002, sha('5'), "2026-03-14T09:01:00Z", "success", "Lint"},
            RunSpec {9100000000003, sha('9'), "2026-03-14T11:00:00Z", std::nullopt, "CI", "feature/pay",
                "Try the new payment form\n\nBehind a flag"}},
        {PlacementSpec {4200000000001, sha('5'), "2026-03-14T09:05:00Z"}});
    placementStatuses(storefront, 4200000000001,
        {PlacementStatusSpec {"success", "2026-03-14T09:06:00Z", "https://shop.example.com"}});
    statuses(storefront, sha('5'), {StatusSpec {"vercel", "success", "2026-03-14T09:06:00Z"}});
    statuses(storefront, sha('4'), {});
    statuses(storefront, sha('9'), {});
    world(api, {CommitSpec {sha('a'), "2026-03-14T07:00:00Z", "Bump deps"}});
    statuses(api, sha('a'), {});
    world(docs, {CommitSpec {sha('d'), "2026-03-14T07:00:00Z", "Typo"}});
    statuses(docs, sha('d'), {});

    const auto all = rows(std::nullopt, 10);
    EXPECT_EQ(ids(all),
        (QList<QString> {storefront + "@" + sha('9'), storefront + "@" + sha('5'),
            storefront + "@" + sha('4'), docs + "@" + sha('d'), api + "@" + sha('a')}))
        << "newest first; equal dates by the greater sha; the fourth repository is not visited";
    EXPECT_EQ(asked("/repos/acme-labs/legacy/commits"), 0);

    Deployment failed;
    failed.id = storefront + "@" + sha('5');
    failed.project = "storefront";
    failed.branch = "main";
    failed.commit = "5555555";
    failed.message = "Fix checkout rounding";
    failed.state = State::failed;
    failed.date = at("2026-03-14T09:00:00Z");
    failed.url = QUrl("https://github.com/acme-labs/storefront/commit/" + sha('5'));
    failed.scope = storefront;
    EXPECT_EQ(all[1], failed) << "a failed row carries no note, not even Timed out";

    EXPECT_EQ(all[0].state, State::building);
    EXPECT_EQ(all[0].message, "Try the new payment form") << "a commit known from its run alone";
    EXPECT_EQ(all[0].branch, "feature/pay");
    EXPECT_EQ(all[0].date, at("2026-03-14T11:00:00Z"));
    EXPECT_EQ(all[2].state, State::canceled);
    EXPECT_EQ(all[2].stateNote, "No checks");
    EXPECT_EQ(all[2].branch, "main") << "the repository's default branch";
    EXPECT_EQ(all[4].branch, "trunk");

    server.clearRequests();
    EXPECT_EQ(ids(rows(std::nullopt, 3)), ids(all.mid(0, 3)));
    server.clearRequests();
    EXPECT_TRUE(rows(std::nullopt, 0).isEmpty());
    EXPECT_EQ(total(), 9) << "a limit of 0 still gathers, but asks nothing per row";
}

TEST_F(GitHubSourceTest, RefreshesOfSettledRepositoriesCostFewRequests)
{
    repositories();
    const QList<QString> visited {storefront, "acme-labs/api", "acme-labs/docs"};
    for (const QString& repository : visited) {
        const bool deploys = repository == storefront;
        world(repository, {CommitSpec {sha('1'), "2026-03-12T10:00:00Z"}},
            {RunSpec {9100000000001, sha('1'), "2026-03-12T10:01:00Z"}},
            deploys ? QList<PlacementSpec> {PlacementSpec {4200000000001, sha('1'), "2026-03-12T10:02:00Z"}}
                    : QList<PlacementSpec> {});
        statuses(repository, sha('1'), {StatusSpec {"vercel", "success", "2026-03-12T10:05:00Z"}});
    }
    placementStatuses(storefront, 4200000000001, {PlacementStatusSpec {"success", "2026-03-12T10:04:00Z"}});

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

TEST_F(GitHubSourceTest, ProjectsAreTheRepositoryListCachedUntilTheAccountIsRead)
{
    server.route("GET", "/user", 200, LoopbackServer::fixture("sources/fixtures/github/user.json"));
    repositories();
    const auto projects = runTask(source.projects(token));
    ASSERT_EQ(projects.size(), 4);
    EXPECT_EQ(projects[0], (KitProject {storefront, storefront}));
    runTask(source.projects(token));
    EXPECT_EQ(asked("/user/repos"), 1);

    EXPECT_EQ(runTask(source.account(token)), "octo-dev");
    runTask(source.projects(token));
    EXPECT_EQ(asked("/user/repos"), 2) << "reading the account drops the list";

    server.clearRequests();
    world(storefront, {CommitSpec {sha('1'), "2026-03-14T10:00:00Z"}});
    statuses(storefront, sha('1'), {});
    EXPECT_EQ(rows(storefront).size(), 1);
    EXPECT_EQ(asked("/user/repos"), 0) << "a picked repository is not looked up";
    EXPECT_EQ(total(), 4);

    server.route("GET", "/user/repos", 200, "[]");
    runTask(source.account(token));
    server.clearRequests();
    EXPECT_TRUE(rows().isEmpty());
    EXPECT_EQ(total(), 1);
}

TEST_F(GitHubSourceTest, RefusedReadsAreSkippedForFiveMinutesAndNamedInTheAdvice)
{
    repositories();
    const QList<QString> visited {storefront, "acme-labs/api", "acme-labs/docs"};
    for (const QString& repository : visited) {
        world(repository, {},
            {RunSpec {
                9100000000001, sha('1'), "2026-03-14T10:00:00Z", "success", "CI", "main", std::nullopt}});
        server.route("GET", repoPath(repository) + "/commits", 403,
            LoopbackServer::fixture("sources/fixtures/github/not_accessible.json"));
        statuses(repository, sha('1'), {});
        server.route("GET", repoPath(repository) + "/commits/" + sha('1').toLatin1(), 404,
            R"({"message":"Not Found"})");
    }

    EXPECT_EQ(rows().size(), 3) << "the runs still give rows";
    EXPECT_EQ(source.advice(),
        "This token cannot read commits (Contents). Edit the token on GitHub and set those to Read-only to "
        "see them.");
    EXPECT_EQ(asked(repoPath(storefront) + "/commits/" + sha('1').toLatin1()), 0)
        << "a refused repository's commit message is not asked either";

    server.clearRequests();
    clock.advance(300);
    rows();
    EXPECT_EQ(asked(repoPath(storefront) + "/commits"), 0) << "skipped for 300 s";
    EXPECT_EQ(asked(repoPath(storefront) + "/actions/runs"), 1);

    server.clearRequests();
    clock.advance(1);
    world("acme-labs/api", {CommitSpec {sha('1'), "2026-03-14T10:00:00Z"}});
    rows();
    EXPECT_EQ(asked(repoPath(storefront) + "/commits"), 1) << "tried again after 300 s";
    EXPECT_EQ(source.advice(), std::nullopt) << "one repository that may read commits ends the advice";
}

TEST_F(GitHubSourceTest, AdviceNamesPermissionsInTheirOwnOrderAndOnlyRefusalsCount)
{
    world(storefront, {CommitSpec {sha('1'), "2026-03-14T10:00:00Z"}});
    server.route("GET", repoPath(storefront) + "/deployments", 404, R"({"message":"Not Found"})");
    server.route("GET", statusPath(storefront, sha('1')), 403,
        LoopbackServer::fixture("sources/fixtures/github/not_accessible.json"));
    EXPECT_EQ(rows(storefront).size(), 1);
    EXPECT_EQ(source.advice(),
        "This token cannot read what other services report (Commit statuses), deployments (Deployments). "
        "Edit the "
        "token on GitHub and set those to Read-only to see them.");
    EXPECT_EQ(GitHubSource::permission("deployments (Deployments)"), GitHubSource::Permission::deployments);
    EXPECT_EQ(GitHubSource::permission("deployments"), std::nullopt);

    server.route("GET", "/user", 200, LoopbackServer::fixture("sources/fixtures/github/user.json"));
    runTask(source.account(token));
    EXPECT_EQ(source.advice(), std::nullopt) << "reading the account clears the records";

    server.route("GET", repoPath(storefront) + "/commits", 401, R"({"message":"Bad credentials"})");
    server.route("GET", repoPath(storefront) + "/actions/runs", 500, R"({"message":"Server Error"})");
    server.route("GET", repoPath(storefront) + "/deployments", 200, "[]");
    server.clearRequests();
    EXPECT_TRUE(rows(storefront).isEmpty());
    rows(storefront);
    EXPECT_EQ(asked(repoPath(storefront) + "/commits"), 2) << "a rejection is no refusal";
    EXPECT_EQ(asked(repoPath(storefront) + "/actions/runs"), 2) << "nor is a server failure";
    EXPECT_EQ(source.advice(), std::nullopt);
}

TEST_F(GitHubSourceTest, ARateLimitEndsTheWalkAndIsNoRefusal)
{
    repositories();
    world(storefront, {CommitSpec {sha('1'), "2026-03-14T10:00:00Z"}});
    server.route("GET", repoPath(storefront) + "/actions/runs", 403,
        LoopbackServer::fixture("sources/fixtures/github/rate_limited.json"));
    world("acme-labs/api", {});
    world("acme-labs/docs", {});

    const auto limited = failureOf<ServiceFailure>(walk());
    ASSERT_TRUE(limited);
    EXPECT_EQ(limited->status(), 403);
    EXPECT_TRUE(limited->message().startsWith("API rate limit exceeded for user ID"))
        << "GitHub's own sentence";
    EXPECT_EQ(asked(repoPath(storefront) + "/deployments"), 0) << "the walk stops at once";
    EXPECT_EQ(asked("/repos/acme-labs/api/commits"), 0);
    EXPECT_EQ(source.advice(), std::nullopt) << "no permission is missing";

    server.clearRequests();
    server.route("GET", repoPath(storefront) + "/actions/runs", 429, R"({"message":"Too many requests"})");
    EXPECT_EQ(failureOf<ServiceFailure>(walk()), ServiceFailure::refused(429, "Too many requests"));
    EXPECT_EQ(asked(repoPath(storefront) + "/actions/runs"), 1) << "not skipped after a limit";

    server.route("GET", repoPath(storefront) + "/actions/runs", 200, gh::runs({}));
    server.route("GET", statusPath(storefront, sha('1')), 403,
        R"({"message":"You have exceeded a secondary rate limit. Please wait a few minutes before you try again."})");
    EXPECT_EQ(failureOf<ServiceFailure>(walk()).value_or(ServiceFailure::rejected()).status(), 403)
        << "a limit met while building rows ends the refresh too";
    statuses(storefront, sha('1'), {StatusSpec {"vercel", "success", "2026-03-14T10:05:00Z"}});
    EXPECT_EQ(rows().value(0).state, State::ready);
    EXPECT_EQ(source.advice(), std::nullopt);
}

TEST_F(GitHubSourceTest, AWalkFailsOnlyWhenNothingSucceeded)
{
    repositories();
    for (const char* name : {"storefront", "api", "docs"}) {
        const QByteArray base = "/repos/acme-labs/" + QByteArray(name);
        for (const char* stage : {"/commits", "/actions/runs", "/deployments"})
            server.route("GET", base + stage, CannedReply::dropped());
    }
    server.route("GET", repoPath(storefront) + "/commits", 500, R"({"message":"Server Error"})");
    EXPECT_EQ(failureOf<ServiceFailure>(walk()), ServiceFailure::refused(500, "Server Error"))
        << "the first failure";

    world("acme-labs/api", {CommitSpec {sha('1'), "2026-03-14T10:00:00Z"}});
    server.route("GET", "/repos/acme-labs/api/actions/runs", 200, R"({"workflow_runs":[{"id":1}]})");
    server.route("GET", "/repos/acme-labs/api/commits", 409,
        LoopbackServer::fixture("sources/fixtures/github/empty_repository.json"));
    EXPECT_TRUE(rows().isEmpty()) << "an empty repository and a malformed reply fail nothing";

    for (const char* name : {"storefront", "api", "docs"}) {
        const QByteArray base = "/repos/acme-labs/" + QByteArray(name);
        server.route("GET", base + "/commits", 404, R"({"message":"Not Found"})");
        server.route(
            "GET", base + "/actions/runs", 403, R"({"message":"Resource not accessible by integration"})");
        server.route(
            "GET", base + "/deployments", 403, R"({"message":"Resource not accessible by integration"})");
    }
    EXPECT_EQ(failureOf<ServiceFailure>(walk()), ServiceFailure::refused(404, "Not Found"));
    server.clearRequests();
    EXPECT_TRUE(rows().isEmpty()) << "every stage skipped: nothing to show, nothing failed";
    EXPECT_EQ(total(), 0);
}

TEST_F(GitHubSourceTest, StalledRunsAndDeploymentsWithoutStatus)
{
    world(storefront,
        {CommitSpec {sha('1'), "2026-03-14T09:00:00Z"}, CommitSpec {sha('2'), "2026-03-14T08:00:00Z"},
            CommitSpec {sha('3'), "2026-03-14T07:00:00Z"}, CommitSpec {sha('4'), "2026-03-14T06:00:00Z"}},
        {RunSpec {1, sha('1'), "2026-03-13T11:59:59Z", std::nullopt},
            RunSpec {2, sha('2'), "2026-03-13T12:00:00Z", std::nullopt}},
        {PlacementSpec {4200000000003, sha('3'), "2026-03-14T11:30:00Z"},
            PlacementSpec {4200000000004, sha('4'), "2026-03-14T11:40:00Z"}});
    for (char c : {'1', '2', '3', '4'})
        statuses(storefront, sha(c), {});
    placementStatuses(storefront, 4200000000003, {});
    server.route("GET", repoPath(storefront) + "/deployments/4200000000004/statuses", 500,
        R"({"message":"Server Error"})");

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
    placementStatuses(storefront, 4200000000004, {PlacementStatusSpec {"success", "2026-03-14T11:45:00Z"}});
    EXPECT_EQ(rows(storefront, 10).value(3).state, State::ready) << "a failed lookup is asked again";
    EXPECT_EQ(asked(repoPath(storefront) + "/deployments/4200000000003/statuses"), 0) << "a final one is not";
}

TEST_F(GitHubSourceTest, CommitStatusesAreKeptOnlyOnceTheyCannotChange)
{
    world(storefront,
        {CommitSpec {sha('1'), "2026-03-12T10:00:00Z"}, CommitSpec {sha('2'), "2026-03-14T10:00:00Z"},
            CommitSpec {sha('3'), "2026-03-12T09:00:00Z"}, CommitSpec {sha('4'), "2026-03-12T08:00:00Z"},
            CommitSpec {sha('5'), "2026-03-12T07:00:00Z"}});
    statuses(storefront, sha('1'), {StatusSpec {"vercel", "success", "2026-03-12T10:05:00Z"}});
    statuses(storefront, sha('2'), {});
    statuses(storefront, sha('3'), {});
    statuses(storefront, sha('4'), {StatusSpec {"ci/circle", "pending", "2026-03-14T11:00:00Z"}});
    statuses(storefront, sha('5'),
        {StatusSpec {"review", "pending", "2026-03-14T05:00:00Z", "Waiting for approval"}});

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
    EXPECT_EQ(asked(statusPath(storefront, sha('5'))), 2) << "a stalled status may still finish";

    server.route("GET", repoPath(storefront) + "/actions/runs", 200, gh::runs({}));
    const auto opened
        = runTask(source.details(token, rowOf(storefront, sha('5'), at("2026-03-12T07:00:00Z"))));
    ASSERT_EQ(opened.checks.size(), 1);
    EXPECT_EQ(opened.checks[0].note, "Stalled: Waiting for approval since 7h ago");
}

TEST_F(GitHubSourceTest, MessagesAreKeptOnlyOnceGitHubHasAnswered)
{
    world(storefront, {},
        {RunSpec {1, sha('1'), "2026-03-14T11:00:00Z", "success", "CI", "main", std::nullopt},
            RunSpec {2, sha('2'), "2026-03-14T10:00:00Z", "success", "CI", "main", std::nullopt}},
        {PlacementSpec {4200000000003, sha('3'), "2026-03-14T09:00:00Z", "Production", sha('3')}});
    placementStatuses(storefront, 4200000000003, {PlacementStatusSpec {"success", "2026-03-14T09:02:00Z"}});
    for (char c : {'1', '2', '3'})
        statuses(storefront, sha(c), {});
    const QByteArray commitPath = repoPath(storefront) + "/commits/";
    server.route("GET", commitPath + sha('1').toLatin1(), 200,
        LoopbackServer::fixture("sources/fixtures/github/commit.json"));
    server.route("GET", commitPath + sha('2').toLatin1(), 502, "<html>Bad gateway</html>");
    server.route("GET", commitPath + sha('3').toLatin1(), 422, R"({"message":"No commit found for SHA"})");

    auto list = rows(storefront, 10);
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[0].message, "Fix checkout rounding");
    EXPECT_EQ(list[1].message, "");
    EXPECT_EQ(list[2].message, "Deploy to Production");
    EXPECT_EQ(list[2].branch, std::nullopt) << "a deployment ref that is the sha itself names no branch";

    server.route("GET", commitPath + sha('2').toLatin1(), 200,
        LoopbackServer::fixture("sources/fixtures/github/commit.json"));
    list = rows(storefront, 10);
    EXPECT_EQ(list[1].message, "Fix checkout rounding") << "a server failure was not taken for an answer";
    rows(storefront, 10);
    EXPECT_EQ(asked(commitPath + sha('1').toLatin1()), 1);
    EXPECT_EQ(asked(commitPath + sha('2').toLatin1()), 2);
    EXPECT_EQ(asked(commitPath + sha('3').toLatin1()), 1) << "a definite 422 is kept";
}

TEST_F(GitHubSourceTest, DetailsGatherJobsStatusesAndDeployments)
{
    QList<RunSpec> runs {RunSpec {9100000000001, sha('5'), "2026-03-14T09:00:00Z", "failure"}};
    for (qint64 i = 2; i <= 6; ++i)
        runs.append(RunSpec {9100000000000 + i, sha('5'), "2026-03-14T09:00:00Z", "success",
            QStringLiteral("Run %1").arg(i), "main", "Fix", "2026-03-14T09:01:00Z"});
    runs.append(RunSpec {9100000000007, sha('5'), "2026-03-14T09:00:00Z", std::nullopt, "Run 7"});
    server.route("GET", repoPath(storefront) + "/actions/runs", 200, gh::runs(runs));
    server.route("GET", repoPath(storefront) + "/deployments", 200,
        gh::deployments({PlacementSpec {4200000000001, sha('5'), "2026-03-14T09:05:00Z"},
            PlacementSpec {4200000000002, sha('5'), "2026-03-14T09:06:00Z", "Preview"}}));
    placementStatuses(storefront, 4200000000001,
        {PlacementStatusSpec {"success", "2026-03-14T09:07:00Z", "https://shop.example.com"}});
    placementStatuses(storefront, 4200000000002,
        {PlacementStatusSpec {"success", "2026-03-14T09:08:00Z", "https://shop.example.com/preview/1"}});
    server.route("GET", statusPath(storefront, sha('5')), 200,
        LoopbackServer::fixture("sources/fixtures/github/status.json"));
    const QByteArray runsPath = repoPath(storefront) + "/actions/runs/";
    server.route("GET", runsPath + "9100000000001/jobs", 200,
        LoopbackServer::fixture("sources/fixtures/github/jobs.json"));
    for (int i = 2; i <= 6; ++i)
        server.route("GET", runsPath + "910000000000" + QByteArray::number(i) + "/jobs", 200,
            R"({"total_count":0,"jobs":[]})");
    server.route("GET", runsPath + "9100000000003/jobs", 500, R"({"message":"Server Error"})");

    const auto details
        = runTask(source.details(token, rowOf(storefront, sha('5'), at("2026-03-14T09:00:00Z"))));
    QList<QString> checkIDs;
    for (const auto& check : details.checks)
        checkIDs.append(check.id);
    EXPECT_EQ(checkIDs,
        (QList<QString> {"job-52000000000002", "status-codecov/project", "run-9100000000007",
            "job-52000000000001", "run-9100000000002", "run-9100000000003", "run-9100000000004",
            "run-9100000000005", "run-9100000000006", "status-vercel", "deploy-4200000000001",
            "deploy-4200000000002"}))
        << "failed, building, ready; the seventh run without jobs; a run whose jobs failed as itself";
    EXPECT_EQ(details.checks[0],
        (DeploymentCheck {"job-52000000000002", "CI / test", State::failed, "Run tests",
            QUrl("https://github.com/acme-labs/storefront/actions/runs/9100000000001/job/52000000000002")}));
    EXPECT_EQ(details.checks[1].note, "62.10% (-1.20%) compared to 1f2e3d4");
    EXPECT_EQ(details.checks[2].note, std::nullopt) << "a running run has no duration yet";
    EXPECT_EQ(details.checks[3].note, "2m 5s");
    EXPECT_EQ(details.checks[4].note, "1m 0s");
    EXPECT_EQ(details.checks[10],
        (DeploymentCheck {"deploy-4200000000001", "Deploy to Production", State::ready, "shop.example.com",
            QUrl("https://shop.example.com")}));
    EXPECT_EQ(details.domains, (QList<QString> {"shop.example.com", "shop.example.com"}));
    EXPECT_EQ(details.creator, "octo-dev");
    EXPECT_TRUE(details.canRedeploy);
    EXPECT_EQ(asked(runsPath + "9100000000007/jobs"), 0) << "jobs of six runs at most";
    EXPECT_EQ(total(), 11);
}

TEST_F(GitHubSourceTest, DetailsWithoutCommitOrActions)
{
    Deployment bare;
    bare.id = "no-scope";
    const auto empty = runTask(source.details(token, bare));
    EXPECT_TRUE(empty.checks.isEmpty());
    EXPECT_TRUE(empty.canRedeploy);
    EXPECT_EQ(runTask(source.redeploy(token, bare)), std::nullopt);
    EXPECT_EQ(total(), 0);

    world(storefront, {CommitSpec {sha('1'), "2026-03-14T10:00:00Z"}}, {},
        {PlacementSpec {4200000000001, sha('1'), "2026-03-14T10:05:00Z"}});
    server.route("GET", repoPath(storefront) + "/actions/runs", 403,
        LoopbackServer::fixture("sources/fixtures/github/not_accessible.json"));
    placementStatuses(storefront, 4200000000001, {PlacementStatusSpec {"failure", "2026-03-14T10:06:00Z"}});
    statuses(storefront, sha('1'), {});
    rows(storefront);
    server.clearRequests();
    const auto details
        = runTask(source.details(token, rowOf(storefront, sha('1'), at("2026-03-14T10:00:00Z"))));
    EXPECT_EQ(asked(repoPath(storefront) + "/actions/runs"), 0);
    ASSERT_EQ(details.checks.size(), 1);
    EXPECT_EQ(details.checks[0].state, State::failed);
    EXPECT_FALSE(details.canRedeploy) << "without runs nothing can be re-run";
    EXPECT_EQ(details.creator, "vercel[bot]");

    server.route("GET", repoPath(storefront) + "/actions/runs", 200,
        gh::runs({RunSpec {1, sha('1'), "2026-03-13T11:59:59Z", std::nullopt},
            RunSpec {2, sha('1'), "2026-03-13T12:00:00Z", std::nullopt}}));
    server.route("GET", "/user", 200, LoopbackServer::fixture("sources/fixtures/github/user.json"));
    runTask(source.account(token));
    const auto stalled
        = runTask(source.details(token, rowOf(storefront, sha('1'), at("2026-03-14T10:00:00Z"))));
    ASSERT_EQ(stalled.checks.size(), 3);
    EXPECT_EQ(stalled.checks[1],
        (DeploymentCheck {"run-2", "CI", State::building, std::nullopt,
            QUrl("https://github.com/acme-labs/storefront/actions/runs/9100000000001")}));
    EXPECT_EQ(stalled.checks[2].state, State::canceled);
    EXPECT_EQ(stalled.checks[2].note, "Stalled");
    EXPECT_EQ(stalled.creator, "octo-dev");
}

TEST_F(GitHubSourceTest, OpeningAYoungCommitAsksItsStatusesAgain)
{
    server.route("GET", repoPath(storefront) + "/actions/runs", 200, gh::runs({}));
    server.route("GET", repoPath(storefront) + "/deployments", 200, "[]");
    statuses(storefront, sha('1'), {});
    statuses(storefront, sha('2'), {StatusSpec {"vercel", "success", "2026-03-12T10:05:00Z"}});
    for (int i = 0; i < 2; ++i) {
        runTask(source.details(token, rowOf(storefront, sha('1'), at("2026-03-14T11:50:00Z"))));
        runTask(source.details(token, rowOf(storefront, sha('2'), at("2026-03-12T10:00:00Z"))));
    }
    EXPECT_EQ(asked(statusPath(storefront, sha('1'))), 2);
    EXPECT_EQ(asked(statusPath(storefront, sha('2'))), 1);
}

TEST_F(GitHubSourceTest, RerunAsksForTheFailedRunsAndExplainsARefusal)
{
    server.route("GET", repoPath(storefront) + "/actions/runs", 200,
        gh::runs({RunSpec {1, sha('1'), "2026-03-14T10:00:00Z", "failure"},
            RunSpec {2, sha('1'), "2026-03-14T10:00:00Z", "success"},
            RunSpec {3, sha('1'), "2026-03-14T10:00:00Z", "timed_out"},
            RunSpec {4, sha('1'), "2026-03-14T10:00:00Z", "failure"}}));
    const QByteArray runsPath = repoPath(storefront) + "/actions/runs/";
    server.route("POST", runsPath + "1/rerun-failed-jobs", 201, "");
    server.route("POST", runsPath + "3/rerun-failed-jobs", 403,
        LoopbackServer::fixture("sources/fixtures/github/not_accessible.json"));
    server.route("POST", runsPath + "4/rerun-failed-jobs", 201, "");
    const Deployment row = rowOf(storefront, sha('1'), at("2026-03-14T10:00:00Z"));

    const QString shortRefusal = "GitHub will not let this token re-run checks. Edit the token on GitHub and "
                                 "set Actions to Read and write.";
    EXPECT_EQ(
        failureOf<ServiceFailure>(source.redeploy(token, row)), ServiceFailure::explained(shortRefusal));
    EXPECT_EQ(asked(runsPath + "1/rerun-failed-jobs"), 1);
    EXPECT_EQ(asked(runsPath + "2/rerun-failed-jobs"), 0);
    EXPECT_EQ(asked(runsPath + "4/rerun-failed-jobs"), 0) << "no further run after a refusal";

    server.route("GET", "/user", 200, LoopbackServer::fixture("sources/fixtures/github/user.json"));
    runTask(source.account(token));
    EXPECT_EQ(
        failureOf<ServiceFailure>(source.redeploy(token, row)).value_or(ServiceFailure::rejected()).message(),
        "GitHub will not let this token re-run checks in acme-labs/storefront: the token is for repositories "
        "owned by "
        "octo-dev, and this one belongs to acme-labs. It takes a token made with acme-labs as its resource "
        "owner, with "
        "Actions set to Read and write.");
    EXPECT_EQ(source.rerunRefusal("OCTO-DEV/dotfiles"), shortRefusal) << "the owner compared without case";

    server.route("POST", runsPath + "3/rerun-failed-jobs", 403,
        LoopbackServer::fixture("sources/fixtures/github/rate_limited.json"));
    const auto limited = failureOf<ServiceFailure>(source.redeploy(token, row));
    ASSERT_TRUE(limited);
    EXPECT_TRUE(limited->isRefused()) << "a rate limit passes on as GitHub said it";
    EXPECT_EQ(limited->status(), 403);

    server.route("POST", runsPath + "3/rerun-failed-jobs", 404, R"({"message":"Not Found"})");
    EXPECT_EQ(
        failureOf<ServiceFailure>(source.redeploy(token, row)), ServiceFailure::refused(404, "Not Found"));

    server.route("POST", runsPath + "3/rerun-failed-jobs", 201, "");
    server.clearRequests();
    EXPECT_EQ(runTask(source.redeploy(token, row)), std::nullopt);
    EXPECT_EQ(total(), 4) << "the runs, then the three failed ones";

    server.route("GET", repoPath(storefront) + "/actions/runs", 200,
        gh::runs({RunSpec {2, sha('1'), "2026-03-14T10:00:00Z"}}));
    server.clearRequests();
    EXPECT_EQ(runTask(source.redeploy(token, row)), std::nullopt);
    EXPECT_EQ(total(), 1) << "nothing failed, nothing posted";
}

TEST_F(GitHubSourceTest, IconsComeFromTheHomepageTheDeployedSiteOrTheAvatar)
{
    EXPECT_EQ(runTask(source.accountIcon(token)), std::nullopt) << "no user read yet";
    server.route("GET", "/user", 200, LoopbackServer::fixture("sources/fixtures/github/user.json"));
    runTask(source.account(token));
    EXPECT_TRUE(runTask(source.accountIcon(token)).has_value());
    EXPECT_EQ(firstAsked(), QUrl("https://avatars.githubusercontent.com/u/4100000001?v=4"));

    repositories();
    const QString docs = QStringLiteral("acme-labs/docs");
    world(storefront, {});
    world("acme-labs/api", {});
    auto deployDocs = [&](const QList<PlacementSpec>& placements) {
        world(docs, {}, {}, placements);
        for (const auto& p : placements)
            statuses(docs, p.sha, {});
        rows(std::nullopt, 10);
    };
    placementStatuses(
        docs, 11, {PlacementStatusSpec {"success", "2026-03-14T09:00:00Z", "https://preview.example.com/x"}});
    placementStatuses(
        docs, 12, {PlacementStatusSpec {"success", "2026-03-14T10:00:00Z", "https://staging.example.com"}});
    placementStatuses(
        docs, 13, {PlacementStatusSpec {"success", "2026-03-14T11:00:00Z", "https://docs.acme.dev"}});
    Deployment docsRow = rowOf(docs, sha('1'), at("2026-03-14T09:00:00Z"));

    icons->requests.clear();
    EXPECT_EQ(runTask(source.projectIcon(token, docsRow)), std::nullopt);
    EXPECT_TRUE(icons->requests.empty()) << "no homepage and no site: nothing is fetched";

    deployDocs({PlacementSpec {11, sha('1'), "2026-03-14T09:00:00Z", "Preview"}});
    EXPECT_TRUE(runTask(source.projectIcon(token, docsRow)).has_value());
    EXPECT_EQ(firstAsked(), QUrl("https://preview.example.com/"));

    deployDocs({PlacementSpec {11, sha('1'), "2026-03-14T09:00:00Z", "Preview"},
        PlacementSpec {12, sha('2'), "2026-03-14T10:00:00Z", "Staging"}});
    icons->requests.clear();
    runTask(source.projectIcon(token, docsRow));
    EXPECT_EQ(firstAsked(), QUrl("https://preview.example.com/")) << "only production replaces a known site";

    deployDocs({PlacementSpec {11, sha('1'), "2026-03-14T09:00:00Z", "Preview"},
        PlacementSpec {12, sha('2'), "2026-03-14T10:00:00Z", "Staging"},
        PlacementSpec {13, sha('3'), "2026-03-14T11:00:00Z", "production-eu"}});
    icons->requests.clear();
    runTask(source.projectIcon(token, docsRow));
    EXPECT_EQ(firstAsked(), QUrl("https://docs.acme.dev/"));

    icons->requests.clear();
    EXPECT_TRUE(runTask(source.projectIcon(token, rowOf(storefront, sha('1'), at("2026-03-14T09:00:00Z"))))
                    .has_value());
    EXPECT_EQ(firstAsked(), QUrl("https://shop.example.com/")) << "the repository's homepage first";

    icons->requests.clear();
    Deployment unscoped;
    unscoped.id = storefront + "@" + sha('1');
    EXPECT_EQ(runTask(source.projectIcon(token, unscoped)), std::nullopt);
    EXPECT_TRUE(icons->requests.empty());
}

} // namespace
