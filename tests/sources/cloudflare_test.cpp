// The Cloudflare client and source through the real transport against the loopback server.
#include "sources/CloudflareReplies.h"
#include "sources/CloudflareSource.h"
#include "sources/SourceSupport.h"
#include "sources/SourcesTestKit.h"

#include <gtest/gtest.h>

using namespace brenvo;
using namespace brenvo::test;
using State = Deployment::State;
using Note = std::optional<QString>;

namespace {

const QString landingID = "9f1c2d3e-aaaa-4bbb-8ccc-111111111111";
const QStringList allRows {"pages:" + landingID, "pages:5b2e7a10-1111-4222-8333-444444444444",
    "pages:7c1d9e22-5555-4666-8777-888888888888", "pages:0a0b0c0d-9999-4aaa-8bbb-cccccccccccc",
    "worker:dep-cron-1", "build:bld-new-0001", "build:bld-ver-b", "build:bld-ver-c"};

class CloudflareTest : public SourceTest {
protected:
    CloudflareClient client {http, server.url("/client/v4")};
    CloudflareSource source {client, SiteIconLoader(icons.http), [this] { return clock.wallNow(); }};

    void serve(const QByteArray& path, int status, const QByteArray& body, const QByteArray& method = "GET")
    {
        server.route(method, "/client/v4/" + path, status, body);
    }
    void serveFixture(const QByteArray& path, const QByteArray& name)
    {
        serve(path, 200, fixture("cloudflare/" + QString::fromLatin1(name) + ".json"));
    }
    int asked(const QByteArray& path) const { return server.count("/client/v4/" + path); }

    // One account with five Pages projects and two Workers, the first built by Workers Builds.
    void serveStudio()
    {
        serveFixture("accounts", "accounts");
        serveFixture("accounts/acc-1/pages/projects", "pages_projects");
        for (const QByteArray project : {"landing", "shop", "docs"})
            serveFixture(
                "accounts/acc-1/pages/projects/" + project + "/deployments", "pages_deployments_" + project);
        serveFixture("accounts/acc-1/workers/scripts", "workers");
        serveFixture("accounts/acc-1/workers/scripts/api/deployments", "worker_deployments_api");
        serveFixture("accounts/acc-1/workers/scripts/cron/deployments", "worker_deployments_cron");
        serveFixture("accounts/acc-1/builds/workers/tag-api/builds", "builds_api");
        serveFixture("accounts/acc-1/builds/builds", "builds_by_version");
        serve("accounts/acc-1/workers/domains", 200, R"({"result":[{"hostname":"api.example.com"}]})");
        for (const QByteArray worker : {"api", "cron"})
            serve("accounts/acc-1/workers/scripts/" + worker + "/subdomain", 200,
                R"({"result":{"enabled":true}})");
        serve("accounts/acc-1/workers/subdomain", 200, R"({"result":{"subdomain":"studio"}})");
    }

    QList<Deployment> rows(int limit = 10)
    {
        return runTask(source.deployments(fakeToken, std::nullopt, limit));
    }

    static Deployment row(const QString& id, const QString& project, State state = State::ready)
    {
        Deployment d;
        d.id = id;
        d.project = project;
        d.state = state;
        d.scope = "acc-1";
        return d;
    }
};

CloudflareClient::Build buildFrom(const char* text)
{
    return CloudflareClient::build(
        decodeJson<cloudflare::BuildResponse>(QByteArray(text), KeyStyle::snakeCase));
}

} // namespace

TEST(CloudflareReplies, RefusalCodesBuildsAndRowIDs)
{
    // Only whole-number codes of an array of objects name the token.
    for (const auto& [text, rejects] : QList<std::pair<const char*, bool>> {
             {R"({"errors":[{"code":6003,"message":"Invalid headers"}]})", true},
             {R"({"errors":[{"code":7003},{"code":1000}]})", true},
             {R"({"errors":[{"code":"x"},{"code":6003}]})", true}, {R"({"errors":[{"code":"1000"}]})", false},
             {R"({"errors":["oops",{"code":1000}]})", false}, {R"({"errors":{"code":1000}})", false},
             {R"({"errors":[{"code":1000.5}]})", false}})
        EXPECT_EQ(CloudflareClient::rejectsToken(json(text)), rejects) << text;

    const char* first = R"({"build_uuid":"b","status":"stopped","build_outcome":"success",
        "created_on":"2026-03-14T10:00:00Z","initializing_on":"2026-03-14T10:00:10Z","running_on":"2026-03-14T10:00:20Z",
        "stopped_on":"2026-03-14T10:01:00Z","build_trigger_metadata":{"branch":"","commit_message":"\nFirst\nSecond"}})";
    for (const auto& [text, state, note, duration] :
        QList<std::tuple<const char*, State, Note, std::optional<double>>> {{first, State::ready, {}, 40.0},
            {R"({"build_uuid":"b","status":"stopped","build_outcome":"fail","created_on":"2026-03-14T10:00:00Z",
                 "initializing_on":"2026-03-14T10:00:10Z","stopped_on":"2026-03-14T10:01:00Z"})",
                State::failed, {}, 50.0},
            {R"({"build_uuid":"b","status":"stopped","build_outcome":"skipped"})", State::canceled, "Skipped",
                {}},
            {R"({"build_uuid":"b","status":"stopped","build_outcome":"success","created_on":"2026-03-14T10:02:00Z",
                 "stopped_on":"2026-03-14T10:01:00Z"})",
                State::ready, {}, {}}}) {
        const auto build = buildFrom(text);
        EXPECT_EQ(build.state, state) << text;
        EXPECT_EQ(build.stateNote, note) << text;
        EXPECT_EQ(build.duration(), duration) << text;
    }
    EXPECT_EQ(buildFrom(first).branch, std::nullopt);
    EXPECT_EQ(buildFrom(first).message, "First");

    for (const char* id : {"pages", "pages:", ":abc", ""})
        EXPECT_FALSE(CloudflareSource::rowKind(id).has_value()) << id;
    EXPECT_EQ(CloudflareSource::rowKind("build:b:1")->key, "b:1");
    EXPECT_EQ(CloudflareSource::sourceText("Git_Hub"), "with git hub");
}

TEST_F(CloudflareTest, AccountsCarryTheTokenAndFailuresPassUnchanged)
{
    serve("accounts", 200, R"({"success":true,"result":[{"id":"acc-1","name":"Studio"},{"id":"acc-2"},
        {"id":"acc-3","name":null}],"result_info":{"page":1}})");
    EXPECT_EQ(runTask(client.accounts(fakeToken)),
        (QList<CloudflareClient::Account> {{"acc-1", "Studio"}, {"acc-2", "acc-2"}, {"acc-3", "acc-3"}}));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests().front().target, "/client/v4/accounts?per_page=50");
    EXPECT_EQ(server.requests().front().header("Authorization"), QByteArray("Bearer test-token-not-real"));

    // A 400 naming the token is a rejection.
    serve("accounts", 400, R"({"success":false,"errors":[{"code":9109},{"code":1000}]})");
    EXPECT_TRUE(failureOf<ServiceFailure>(client.accounts(fakeToken))->isRejected());
    serve("accounts", 500, R"({"success":false,"errors":[{"code":10000,"message":"Internal error"}]})");
    EXPECT_EQ(failureOf<ServiceFailure>(client.accounts(fakeToken)),
        ServiceFailure::refused(500, "Internal error"));

    // Malformed replies fail whole: HTML, a null result, an account without id, a name of the wrong type.
    for (const QByteArray& body : {QByteArray("<html>busy</html>"), QByteArray(R"({"result":null})"),
             QByteArray(R"({"result":[{"id":"a"},{"name":"no id"}]})"),
             QByteArray(R"({"result":[{"id":"a","name":7}]})")}) {
        serve("accounts", 200, body);
        EXPECT_TRUE(failureOf<DecodingFailure>(client.accounts(fakeToken))) << body.constData();
    }
    server.route("GET", "/client/v4/accounts", CannedReply::dropped());
    EXPECT_TRUE(failureOf<TransportFailure>(client.accounts(fakeToken)));
}

TEST_F(CloudflareTest, ListsReadLeniently)
{
    const QByteArray path = "accounts/acc-1/workers/scripts/api/deployments";
    serveFixture(path, "worker_deployments_odd");
    const auto items = runTask(client.workerDeployments(fakeToken, "acc-1", "api"));
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0],
        (CloudflareClient::WorkerDeployment {"a", distantPast(), "v1", std::nullopt, std::nullopt, ""}));
    EXPECT_EQ(items[1].version, std::nullopt);
    EXPECT_EQ(items[2].version, std::nullopt);
    serve(path, 200, R"({"result":{"deployments":[{"id":5}]}})");
    EXPECT_TRUE(failureOf<DecodingFailure>(client.workerDeployments(fakeToken, "acc-1", "api")));

    serve("accounts/acc-1/builds/builds", 200, R"({"result":{"builds":{"ver_one":{"build_uuid":"b1"}}}})");
    const auto builds = runTask(client.builds(fakeToken, "acc-1", QList<QString> {"ver_one", "ver-two"}));
    EXPECT_EQ(builds.keys(), QList<QString> {"ver_one"});
    EXPECT_EQ(queryOf(server.requests().back()).value("version_ids"), "ver_one,ver-two");
    serve("accounts/acc-1/builds/builds", 200, R"({"result":{}})");
    EXPECT_TRUE(runTask(client.builds(fakeToken, "acc-1", QList<QString> {"v"})).isEmpty());
}

TEST_F(CloudflareTest, PagesDetailsOfFailedAndReadyDeployments)
{
    const QByteArray failedPath = "accounts/acc-1/pages/projects/shop/deployments/d-1";
    serveFixture(failedPath, "pages_deployment_failed");
    serveFixture(failedPath + "/history/logs", "pages_logs");
    auto details = runTask(client.pagesDeploymentLog(fakeToken, "acc-1", "shop", "d-1"));
    EXPECT_EQ(details.errorMessage, "The build site stage failed.");
    EXPECT_EQ(details.logTail,
        (QList<QString> {"Installing dependencies", "> shop@1.0.0 build", "Error: Cannot find module 'sharp'",
            "Failed: build command exited with code: 1"}));
    EXPECT_EQ(details.buildDuration, 100.0);
    EXPECT_TRUE(details.domains.isEmpty());
    EXPECT_TRUE(details.canRedeploy);

    // A log that cannot be read costs only the lines.
    serve(failedPath + "/history/logs", 500, R"({"errors":[{"code":8000,"message":"later"}]})");
    details = runTask(client.pagesDeploymentLog(fakeToken, "acc-1", "shop", "d-1"));
    EXPECT_EQ(details.errorMessage, "The build site stage failed.");
    EXPECT_TRUE(details.logTail.isEmpty());

    serveFixture("accounts/acc-1/pages/projects/landing/deployments/d-2", "pages_deployment_landing");
    details = runTask(client.pagesDeploymentLog(fakeToken, "acc-1", "landing", "d-2"));
    EXPECT_EQ(details.domains,
        (QList<QString> {"landing.example.com", "landing-7xk.pages.dev", "9f1c2d3e.landing-7xk.pages.dev"}));
    EXPECT_EQ(details.errorMessage, std::nullopt);
    EXPECT_EQ(asked("accounts/acc-1/pages/projects/landing/deployments/d-2/history/logs"), 0);
}

TEST_F(CloudflareTest, WorkerHostsAreBestEffortAndSayWhenCutShort)
{
    struct Case {
        int domainsStatus;
        QByteArray domains, subdomain;
        int subdomainStatus;
        QList<QString> names;
        bool complete;
    };
    const QByteArray listed
        = R"({"result":[{"id":"d","hostname":"api.example.com","zone_name":"example.com"},{"id":"e"}]})";
    serve("accounts/acc-1/workers/subdomain", 200, R"({"result":{"subdomain":"studio"}})");
    for (const Case& c : QList<Case> {{200, listed, R"({"result":{"enabled":true,"previews_enabled":true}})",
                                          200, {"api.example.com", "api.studio.workers.dev"}, true},
             {200, "null", R"({"errors":[{"message":"busy"}]})", 503, {}, false},
             {403, R"({"errors":[{"code":10000}]})", R"({"result":{"enabled":true}})", 200,
                 {"api.studio.workers.dev"}, false},
             {200, listed, R"({"result":{"enabled":false}})", 200, {"api.example.com"}, true}}) {
        serve("accounts/acc-1/workers/domains", c.domainsStatus, c.domains);
        serve("accounts/acc-1/workers/scripts/api/subdomain", c.subdomainStatus, c.subdomain);
        server.clearRequests();
        const auto hosts = runTask(client.workerDomains(fakeToken, "acc-1", "api"));
        EXPECT_EQ(hosts.names, c.names) << c.subdomain.constData();
        EXPECT_EQ(hosts.complete, c.complete) << c.subdomain.constData();
    }
    EXPECT_EQ(asked("accounts/acc-1/workers/subdomain"), 0) << "no account subdomain for a disabled one";
    EXPECT_EQ(
        queryOf(server.requests("GET", "/client/v4/accounts/acc-1/workers/domains").at(0)).value("service"),
        "api");
}

TEST_F(CloudflareTest, RowsOfEveryProductNewestFirst)
{
    serveStudio();
    EXPECT_EQ(runTask(source.account(fakeToken)), "Studio Example");
    const auto all = rows();
    EXPECT_EQ(ids(all), allRows);
    EXPECT_EQ(source.advice(), std::nullopt);

    const QString dash = "https://dash.cloudflare.com/acc-1/";
    EXPECT_EQ(all[1].state, State::failed);
    EXPECT_EQ(all[1].environment, "Production");
    EXPECT_EQ(all[1].url, QUrl(dash + "pages/view/shop/5b2e7a10-1111-4222-8333-444444444444"));
    EXPECT_EQ(all[2].message, "Deployment 7c1d9e22");
    EXPECT_EQ(all[2].environment, "Preview");
    EXPECT_EQ(all[2].stateNote, "Skipped");
    EXPECT_EQ(all[0].state, State::ready);
    EXPECT_EQ(all[3].environment, "Custom env");

    EXPECT_EQ(all[5].state, State::building);
    EXPECT_EQ(all[5].commit, "0123456");
    EXPECT_EQ(all[5].environment, "Worker");
    EXPECT_EQ(all[5].url, QUrl(dash + "workers/services/view/api/production/builds/bld-new-0001"));
    EXPECT_EQ(all[6].message, "Build bld-ver-");
    EXPECT_EQ(all[6].state, State::failed);
    EXPECT_EQ(all[4].message, "Manually deployed");
    EXPECT_EQ(all[4].url, QUrl(dash + "workers/services/view/cron/production/deployments"));

    // Only the three newest projects are asked, each for the row limit.
    EXPECT_EQ(asked("accounts/acc-1/pages/projects/blog/deployments"), 0);
    EXPECT_EQ(asked("accounts/acc-1/pages/projects/archive/deployments"), 0);
    EXPECT_EQ(server.requests("GET", "/client/v4/accounts/acc-1/pages/projects/shop/deployments").at(0).query,
        "per_page=10");
    EXPECT_EQ(server.requests("GET", "/client/v4/accounts/acc-1/builds/workers/tag-api/builds").at(0).query,
        "per_page=5");
    EXPECT_EQ(
        queryOf(server.requests("GET", "/client/v4/accounts/acc-1/builds/builds").at(0)).value("version_ids"),
        "ver-b,ver-c,ver-c");
    EXPECT_EQ(ids(rows(3)), allRows.mid(0, 3));
}

TEST_F(CloudflareTest, ListsLiveFiveMinutesAndConnectingDropsThem)
{
    serveStudio();
    const auto first = rows(3); // reads the accounts itself
    EXPECT_EQ(asked("accounts"), 1);
    clock.advance(299.0);
    EXPECT_EQ(rows(3), first);
    EXPECT_EQ(rows(3), first) << "a cached read keeps the cache";
    EXPECT_EQ(asked("accounts/acc-1/pages/projects"), 1);
    EXPECT_EQ(asked("accounts/acc-1/workers/scripts"), 1);
    clock.advance(2.0);
    rows(3);
    EXPECT_EQ(asked("accounts/acc-1/pages/projects"), 2);
    runTask(source.account(fakeToken));
    rows(3);
    EXPECT_EQ(asked("accounts/acc-1/workers/scripts"), 3);
    EXPECT_EQ(asked("accounts"), 2);

    // The walk reads fresh lists and rows while the account is read again beside it.
    clock.advance(301.0);
    auto walk = source.deployments(fakeToken, std::nullopt, 10);
    EXPECT_EQ(runTask(source.account(fakeToken)), "Studio Example");
    EXPECT_EQ(ids(runTask(std::move(walk))), allRows);
}

TEST_F(CloudflareTest, WhatAReplacedTokenReadIsNotKept)
{
    // The earlier token sees the studio; the newer one another account with one Pages project.
    serveStudio();
    const CannedReply studio = CannedReply::json(200, fixture("cloudflare/accounts.json"));
    const CannedReply newer = CannedReply::json(200, R"({"result":[{"id":"acc-2","name":"Newer"}]})");
    server.handle("GET", "/client/v4/accounts", byToken(studio, newer));
    serve("accounts/acc-2/pages/projects", 200, R"({"result":[{"name":"docs"}]})");
    serve("accounts/acc-2/workers/scripts", 200, R"({"result":[]})");
    serveFixture("accounts/acc-2/pages/projects/docs/deployments", "pages_deployments_docs");

    // Connected anew while the earlier token's accounts or lists are on their way: the newer token
    // reads its own, and what the earlier one brings later is not kept.
    const auto replace = [this](auto earlier, CloudflareSource& from) {
        ASSERT_TRUE(awaitHeld(server));
        EXPECT_EQ(runTask(from.account(newerToken)), "Newer");
        server.clearRequests();
        const auto rows = runTask(from.deployments(newerToken, std::nullopt, 10));
        server.releaseHeld();
        runTask(std::move(earlier));
        EXPECT_EQ(runTask(from.deployments(newerToken, std::nullopt, 10)), rows);
        EXPECT_EQ(asked("accounts/acc-2/pages/projects"), 1);
        EXPECT_FALSE(rows.isEmpty());
        for (const auto& row : rows)
            EXPECT_EQ(row.scope, "acc-2") << row.id.toStdString();
    };
    runTask(source.account(fakeToken));
    server.route("GET", "/client/v4/accounts/acc-1/pages/projects",
        CannedReply::json(200, fixture("cloudflare/pages_projects.json")).heldBack());
    replace(source.deployments(fakeToken, std::nullopt, 10), source);

    serveFixture("accounts/acc-1/pages/projects", "pages_projects");
    server.handle("GET", "/client/v4/accounts", byToken(CannedReply(studio).heldBack(), newer));
    CloudflareSource named {client, SiteIconLoader(icons.http), [this] { return clock.wallNow(); }};
    replace(named.account(fakeToken), named);
    CloudflareSource unnamed {client, SiteIconLoader(icons.http), [this] { return clock.wallNow(); }};
    replace(unnamed.deployments(fakeToken, std::nullopt, 10), unnamed);

    // A turn that still goes by the earlier token keeps what it reads to itself.
    server.handle("GET", "/client/v4/accounts/acc-2/pages/projects",
        byToken(CannedReply::json(403, R"({"errors":[{"code":10000}]})"),
            CannedReply::json(200, R"({"result":[{"name":"docs"}]})")));
    EXPECT_TRUE(runTask(source.deployments(fakeToken, std::nullopt, 10)).isEmpty());
    EXPECT_FALSE(runTask(source.deployments(newerToken, std::nullopt, 10)).isEmpty());
}

TEST_F(CloudflareTest, AdviceNamesWhatNoAccountCouldRead)
{
    serve("accounts", 200, R"({"result":[{"id":"acc-1","name":"One"},{"id":"acc-2","name":"Two"}]})");
    serve("accounts/acc-1/pages/projects", 403,
        R"({"errors":[{"code":10000,"message":"Authentication error"}]})");
    serve("accounts/acc-2/pages/projects", 200, R"({"result":[]})");
    serve("accounts/acc-1/workers/scripts", 403, R"({"errors":[{"code":10000}]})");
    serve("accounts/acc-2/workers/scripts", 403, R"({"errors":[{"code":10000}]})");
    runTask(source.account(fakeToken));
    EXPECT_TRUE(rows().isEmpty());
    EXPECT_EQ(source.advice(),
        "This token cannot read Workers (Workers Scripts). Edit the token on Cloudflare and set that to Read "
        "to see it.");

    // Builds refused (Workers Builds says so with 401): the Worker's deployments stand as they are,
    // and its builds are not asked again.
    serveStudio();
    serve("accounts/acc-1/pages/projects", 403, R"({"errors":[{"code":10000}]})");
    for (const auto& [status, code] : {std::pair(403, "10000"), std::pair(401, "12005")}) {
        serve("accounts/acc-1/builds/workers/tag-api/builds", status,
            R"({"errors":[{"code":)" + QByteArray(code) + R"(,"message":"Unauthorized"}]})");
        server.clearRequests();
        runTask(source.account(fakeToken));
        EXPECT_EQ(ids(rows()),
            (QStringList {"worker:dep-cron-1", "worker:dep-api-3", "worker:dep-api-2", "worker:dep-api-1"}));
        EXPECT_EQ(source.advice(),
            "This token cannot read Pages (Cloudflare Pages), or the builds of Workers, where their commit "
            "messages are (Workers Builds Configuration). Edit the token on Cloudflare and set that to Read "
            "to see it.");
        rows();
        EXPECT_EQ(asked("accounts/acc-1/builds/workers/tag-api/builds"), 1) << status;
    }
}

TEST_F(CloudflareTest, FailuresCountOnlyWhenNothingCouldBeRead)
{
    // A list that fails otherwise than by a 403 is no refusal; it stays out until the lists are read
    // again.
    serveStudio();
    serve("accounts/acc-1/pages/projects", 500, R"({"errors":[{"code":10000,"message":"Try again"}]})");
    runTask(source.account(fakeToken));
    EXPECT_EQ(ids(rows()), allRows.mid(4));
    EXPECT_EQ(source.advice(), std::nullopt);
    rows();
    EXPECT_EQ(asked("accounts/acc-1/pages/projects"), 1);

    // Nothing listed at all: the first failure, not an empty success.
    clock.advance(301.0);
    server.route("GET", "/client/v4/accounts/acc-1/workers/scripts", CannedReply::dropped());
    EXPECT_EQ(failureOf<ServiceFailure>(source.deployments(fakeToken, std::nullopt, 3)),
        ServiceFailure::refused(500, "Try again"));
    EXPECT_EQ(source.advice(), std::nullopt);
    serve("accounts/acc-1/pages/projects", 401, "{}");
    EXPECT_TRUE(failureOf<ServiceFailure>(source.deployments(fakeToken, std::nullopt, 3))->isRejected());
    // Lists that all refuse the token itself: a rejected token, not missing permissions.
    serve("accounts/acc-1/pages/projects", 403,
        R"({"errors":[{"code":9109,"message":"Invalid access token"}]})");
    serve("accounts/acc-1/workers/scripts", 403,
        R"({"errors":[{"code":10000,"message":"Authentication error"}]})");
    EXPECT_TRUE(failureOf<ServiceFailure>(source.deployments(fakeToken, std::nullopt, 3))->isRejected());
    EXPECT_EQ(source.advice(), std::nullopt);

    // Rows that fail cost only themselves, until every one failed.
    serveStudio();
    serve("accounts/acc-1/pages/projects/shop/deployments", 502, R"({"errors":[{"message":"shop down"}]})");
    EXPECT_EQ(
        ids(rows()), (QStringList {allRows[0], allRows[3], allRows[4], allRows[5], allRows[6], allRows[7]}));
    serve("accounts/acc-1/pages/projects/landing/deployments", 500,
        R"({"errors":[{"message":"landing down"}]})");
    serve("accounts/acc-1/pages/projects/docs/deployments", 500, "{}");
    serve("accounts/acc-1/workers/scripts/api/deployments", 500, "{}");
    server.route("GET", "/client/v4/accounts/acc-1/workers/scripts/cron/deployments", CannedReply::dropped());
    EXPECT_EQ(failureOf<ServiceFailure>(source.deployments(fakeToken, std::nullopt, 3)),
        ServiceFailure::refused(500, "landing down"));

    // A token without accounts has no rows, and that is no failure.
    serve("accounts", 200, R"({"success":true,"result":[],"result_info":{"count":0}})");
    EXPECT_EQ(runTask(source.account(fakeToken)), QString());
    EXPECT_TRUE(rows().isEmpty());
    EXPECT_EQ(source.advice(), std::nullopt);
}

TEST_F(CloudflareTest, OneFailingListKeepsWhatTheOthersRead)
{
    // However the Pages list fails, the Workers list is kept: its builds open whole and start again.
    const QByteArray trigger = "accounts/acc-1/builds/triggers/trg-1/builds";
    for (const CannedReply& failure :
        {CannedReply::json(503, R"({"errors":[{"code":10013,"message":"Try again"}]})"),
            CannedReply::dropped(), CannedReply::text(200, "<html>busy</html>")}) {
        serveStudio();
        server.route("GET", "/client/v4/accounts/acc-1/pages/projects", failure);
        serve(trigger, 200, R"({"result":{"build_uuid":"bld-started"}})", "POST");
        server.clearRequests();
        runTask(source.account(fakeToken));
        const auto all = rows();
        ASSERT_EQ(ids(all), allRows.mid(4));
        EXPECT_EQ(source.advice(), std::nullopt) << "a failure is no missing permission";

        const auto details = runTask(source.details(fakeToken, all[3])); // bld-ver-c
        EXPECT_EQ(details.buildDuration, 125.0);
        EXPECT_EQ(details.creator, "ana@example.com");
        EXPECT_TRUE(details.canRedeploy);
        EXPECT_EQ(runTask(source.redeploy(fakeToken, all[3])), "build:bld-started");

        clock.advance(299.0);
        EXPECT_EQ(ids(rows()), allRows.mid(4));
        EXPECT_EQ(asked("accounts/acc-1/workers/scripts"), 1) << "lists are read once in five minutes";
        const int pagesAsked = asked("accounts/acc-1/pages/projects");
        clock.advance(2.0);
        rows();
        EXPECT_EQ(asked("accounts/acc-1/workers/scripts"), 2);
        EXPECT_GT(asked("accounts/acc-1/pages/projects"), pagesAsked) << "then the failed one is asked again";
    }
    const Deployment failedRow = rows().value(2); // bld-ver-b
    serveFixture("accounts/acc-1/builds/workers/tag-api/builds", "builds_triggers");
    const auto failed = runTask(source.details(fakeToken, failedRow));
    EXPECT_EQ(failed.errorMessage, "The build failed. Its log is on its page on Cloudflare.");

    // A failing Workers list leaves the Pages projects for the icons.
    serveStudio();
    server.route("GET", "/client/v4/accounts/acc-1/workers/scripts", CannedReply::dropped());
    runTask(source.account(fakeToken));
    const auto pages = rows();
    ASSERT_EQ(ids(pages), allRows.mid(0, 4));
    icons.withIcon = {"shop.pages.dev"};
    EXPECT_TRUE(runTask(source.projectIcon(fakeToken, pages[1])).has_value());
    EXPECT_EQ(icons.hosts(), (QStringList {"shop.example.com", "shop.pages.dev"}));
}

TEST_F(CloudflareTest, AuthenticationErrorIsAMissingPermission)
{
    // Cloudflare answers 10000 to a valid token that lacks a permission too; 9109 alone is a bad token.
    const QByteArray authentication = R"({"errors":[{"code":10000,"message":"Authentication error"}]})";
    const QByteArray invalid = R"({"errors":[{"code":9109,"message":"Invalid access token"}]})";
    serve("accounts", 403, authentication);
    EXPECT_EQ(failureOf<ServiceFailure>(source.account(fakeToken)),
        ServiceFailure::refused(403, "Authentication error"));
    serve("accounts", 403, invalid);
    EXPECT_TRUE(failureOf<ServiceFailure>(source.account(fakeToken))->isRejected());

    serveStudio();
    serve("accounts/acc-1/pages/projects", 403, authentication);
    serve("accounts/acc-1/workers/scripts", 403, authentication);
    runTask(source.account(fakeToken));
    EXPECT_TRUE(rows().isEmpty());
    EXPECT_EQ(source.advice(),
        "This token cannot read Pages (Cloudflare Pages), or Workers (Workers Scripts). Edit the token on "
        "Cloudflare and set that to Read to see it.");

    serve("accounts/acc-1/pages/projects", 403, invalid);
    serve("accounts/acc-1/workers/scripts", 403, invalid);
    runTask(source.account(fakeToken));
    EXPECT_TRUE(failureOf<ServiceFailure>(source.deployments(fakeToken, std::nullopt, 3))->isRejected());
}

TEST_F(CloudflareTest, BuildDetailsOfferRedeployOnlyWithATrigger)
{
    serveStudio();
    const auto all = rows();
    auto details = runTask(source.details(fakeToken, all[7])); // bld-ver-c, ready
    EXPECT_EQ(details.buildDuration, 125.0);
    EXPECT_EQ(details.creator, "ana@example.com");
    EXPECT_TRUE(details.canRedeploy);
    EXPECT_EQ(details.domains, (QList<QString> {"api.example.com", "api.studio.workers.dev"}));
    EXPECT_EQ(server.requests("GET", "/client/v4/accounts/acc-1/builds/workers/tag-api/builds").back().query,
        "per_page=20");
    runTask(source.details(fakeToken, all[7]));
    EXPECT_EQ(asked("accounts/acc-1/workers/domains"), 1);

    serveFixture("accounts/acc-1/builds/workers/tag-api/builds", "builds_triggers");
    details = runTask(source.details(fakeToken, all[6]));
    EXPECT_EQ(details.errorMessage, "The build failed. Its log is on its page on Cloudflare.");
    EXPECT_TRUE(details.logTail.isEmpty() && details.domains.isEmpty() && details.canRedeploy);

    EXPECT_FALSE(runTask(source.details(fakeToken, all[5])).canRedeploy); // no trigger
    EXPECT_FALSE(runTask(source.details(fakeToken, row("build:gone", "api", State::failed))).canRedeploy);
    EXPECT_FALSE(runTask(source.details(fakeToken, row("build:x", "unknown-worker"))).canRedeploy);
    serve("accounts/acc-1/builds/workers/tag-api/builds", 500, "{}");
    EXPECT_TRUE(failureOf<ServiceFailure>(source.details(fakeToken, all[6])));
}

TEST_F(CloudflareTest, WorkerDetailsAndHostsKeptOnlyWhenWhole)
{
    serveStudio();
    rows();
    auto details = runTask(source.details(fakeToken, row("worker:dep-api-3", "api", State::ready)));
    EXPECT_EQ(details.summary, "Deployed with Wrangler.");
    EXPECT_EQ(details.creator, "dev@example.com");
    EXPECT_FALSE(details.canRedeploy);

    serve("accounts/acc-1/workers/scripts/cron/subdomain", 503, "{}");
    details = runTask(source.details(fakeToken, row("worker:dep-cron-1", "cron")));
    EXPECT_EQ(details.summary, "Deployed in the dashboard.");
    EXPECT_EQ(details.creator, std::nullopt);
    EXPECT_EQ(
        details.domains, QList<QString> {"api.example.com"}); // the loopback answers every service alike
    serve("accounts/acc-1/workers/scripts/cron/subdomain", 200, R"({"result":{"enabled":true}})");
    details = runTask(source.details(fakeToken, row("worker:dep-cron-1", "cron")));
    EXPECT_EQ(details.domains, (QList<QString> {"api.example.com", "cron.studio.workers.dev"}));
    runTask(source.details(fakeToken, row("worker:dep-cron-1", "cron")));
    EXPECT_EQ(asked("accounts/acc-1/workers/scripts/cron/subdomain"), 2);

    details = runTask(source.details(fakeToken, row("worker:missing", "cron")));
    EXPECT_EQ(details.summary, std::nullopt);
    EXPECT_FALSE(details.domains.isEmpty());
}

TEST_F(CloudflareTest, RedeployRetriesPagesAndRunsTriggers)
{
    serveStudio();
    const auto all = rows();
    const QByteArray retry
        = "accounts/acc-1/pages/projects/landing/deployments/" + landingID.toUtf8() + "/retry";
    serve(retry, 200, R"({"success":true,"result":{"id":"new-pages-1","project_name":"landing"}})", "POST");
    EXPECT_EQ(runTask(source.redeploy(fakeToken, all[0])), "pages:new-pages-1");
    EXPECT_TRUE(server.requests().back().body.isEmpty());

    const QByteArray trigger = "accounts/acc-1/builds/triggers/trg-1/builds";
    serve(trigger, 200, R"({"result":{"build_uuid":"bld-started"}})", "POST");
    EXPECT_EQ(runTask(source.redeploy(fakeToken, all[7])), "build:bld-started");
    EXPECT_EQ(bodyOf(server.requests().back()), json(R"({"commit_hash":"fedcba9876543210"})"));
    EXPECT_EQ(server.requests().back().header("Content-Type"), QByteArray("application/json"));

    serveFixture("accounts/acc-1/builds/workers/tag-api/builds", "builds_triggers");
    runTask(source.redeploy(fakeToken, row("build:b-branch", "api")));
    EXPECT_EQ(bodyOf(server.requests().back()), json(R"({"branch":"release"})"));
    runTask(source.redeploy(fakeToken, row("build:b-none", "api")));
    EXPECT_EQ(bodyOf(server.requests().back()), json(R"({"branch":"main"})"));

    // Nothing to start with: a clear failure, and nothing posted.
    const int posts = asked(trigger);
    EXPECT_TRUE(
        failureOf<ServiceFailure>(source.redeploy(fakeToken, row("build:b-loose", "api")))->isExplained());
    EXPECT_TRUE(
        failureOf<ServiceFailure>(source.redeploy(fakeToken, row("build:b-gone", "api")))->isExplained());
    EXPECT_EQ(asked(trigger), posts);
    EXPECT_EQ(runTask(source.redeploy(fakeToken, all[4])), std::nullopt);

    // Refusals name the permission.
    serveStudio();
    const auto explained = ServiceFailure::explained("Cloudflare will not let this token start a deployment. "
                                                     "Edit the token on Cloudflare and set Cloudflare "
                                                     "Pages and Workers Builds Configuration to Edit.");
    serve(retry, 403, R"({"errors":[{"code":10000,"message":"Authentication error"}]})", "POST");
    EXPECT_EQ(failureOf<ServiceFailure>(source.redeploy(fakeToken, all[0])), explained);
    serve(trigger, 403, "{}", "POST");
    EXPECT_EQ(failureOf<ServiceFailure>(source.redeploy(fakeToken, all[7])), explained);
    serve("accounts/acc-1/builds/workers/tag-api/builds", 403, "{}");
    EXPECT_EQ(failureOf<ServiceFailure>(source.redeploy(fakeToken, all[7])), explained);
    serve(retry, 401, "{}", "POST");
    EXPECT_TRUE(failureOf<ServiceFailure>(source.redeploy(fakeToken, all[0]))->isRejected());
}

TEST_F(CloudflareTest, IconsTryEachHostInTurn)
{
    serveStudio();
    const auto all = rows();
    const auto before = server.requests().size();
    icons.withIcon = {"shop.pages.dev", "api.example.com"};
    EXPECT_TRUE(runTask(source.projectIcon(fakeToken, all[1])).has_value()); // shop, from the cached list
    EXPECT_EQ(icons.hosts(), (QStringList {"shop.example.com", "shop.pages.dev"}));
    EXPECT_EQ(server.requests().size(), before);

    icons.forget();
    EXPECT_TRUE(runTask(source.projectIcon(fakeToken, all[5])).has_value()); // api, from its hosts
    EXPECT_EQ(icons.hosts(), QStringList {"api.example.com"});
}
