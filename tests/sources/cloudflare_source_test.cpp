#include "sources/CloudflareSource.h"
#include "sources/SourcesTestKit.h"
#include "support/ManualScheduler.h"

#include <gtest/gtest.h>

using namespace brenvo;
using namespace brenvo::test;
using State = Deployment::State;

namespace {

const QString landingID = "9f1c2d3e-aaaa-4bbb-8ccc-111111111111";

class CloudflareSourceTest : public ::testing::Test {
protected:
    LoopbackServer server;
    ManualScheduler clock;
    std::shared_ptr<NetworkHTTPClient> http = std::make_shared<NetworkHTTPClient>();
    IconSites icons;
    CloudflareSource source {CloudflareClient(http, server.url("/client/v4")), SiteIconLoader(icons.http),
        [this] { return clock.wallNow(); }};

    void serve(const QByteArray& path, int status, const QByteArray& body, const QByteArray& method = "GET")
    {
        server.route(method, "/client/v4/" + path, status, body);
    }
    void serveFixture(const QByteArray& path, const char* name)
    {
        serve(path, 200, LoopbackServer::fixture("sources/fixtures/cloudflare/" + QString::fromLatin1(name)));
    }
    int asked(const QByteArray& path) const { return server.count("/client/v4/" + path); }

    // One account with five Pages projects and two Workers, the first built by Workers Builds.
    void serveStudio()
    {
        serveFixture("accounts", "accounts.json");
        serveFixture("accounts/acc-1/pages/projects", "pages_projects.json");
        for (const char* project : {"landing", "shop", "docs"}) {
            serveFixture("accounts/acc-1/pages/projects/" + QByteArray(project) + "/deployments",
                QByteArray("pages_deployments_" + QByteArray(project) + ".json").constData());
        }
        serveFixture("accounts/acc-1/workers/scripts", "workers.json");
        serveFixture("accounts/acc-1/workers/scripts/api/deployments", "worker_deployments_api.json");
        serveFixture("accounts/acc-1/workers/scripts/cron/deployments", "worker_deployments_cron.json");
        serveFixture("accounts/acc-1/builds/workers/tag-api/builds", "builds_api.json");
        serveFixture("accounts/acc-1/builds/builds", "builds_by_version.json");
        serve("accounts/acc-1/workers/domains", 200, R"({"result":[{"hostname":"api.example.com"}]})");
        serve("accounts/acc-1/workers/scripts/api/subdomain", 200, R"({"result":{"enabled":true}})");
        serve("accounts/acc-1/workers/scripts/cron/subdomain", 200, R"({"result":{"enabled":true}})");
        serve("accounts/acc-1/workers/subdomain", 200, R"({"result":{"subdomain":"studio"}})");
    }

    QList<Deployment> rows(int limit = 10)
    {
        return runTask(source.deployments(fakeToken, std::nullopt, limit));
    }

    static QStringList ids(const QList<Deployment>& rows)
    {
        QStringList out;
        for (const auto& row : rows)
            out.append(row.id);
        return out;
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

const QStringList allRows {"pages:" + landingID, "pages:5b2e7a10-1111-4222-8333-444444444444",
    "pages:7c1d9e22-5555-4666-8777-888888888888", "pages:0a0b0c0d-9999-4aaa-8bbb-cccccccccccc",
    "worker:dep-cron-1", "build:bld-new-0001", "build:bld-ver-b", "build:bld-ver-c"};

} // namespace

TEST(CloudflareRowIDs, ReadBackKindAndKey)
{
    using Kind = CloudflareSource::RowKind;
    EXPECT_EQ(CloudflareSource::rowKind("pages:abc")->kind, Kind::pages);
    EXPECT_EQ(CloudflareSource::rowKind("build:b:1")->key, "b:1");
    EXPECT_EQ(CloudflareSource::rowKind("worker:w")->kind, Kind::worker);
    EXPECT_EQ(CloudflareSource::rowKind("other:w")->kind, Kind::worker);
    for (const char* id : {"pages", "pages:", ":abc", ""})
        EXPECT_FALSE(CloudflareSource::rowKind(id).has_value()) << id;
    EXPECT_EQ(CloudflareSource::sourceText("wrangler"), "with Wrangler");
    EXPECT_EQ(CloudflareSource::sourceText("dash_template"), "in the dashboard");
    EXPECT_EQ(CloudflareSource::sourceText("Git_Hub"), "with git hub");
}

TEST_F(CloudflareSourceTest, RowsOfEveryProductNewestFirst)
{
    serveStudio();
    EXPECT_EQ(runTask(source.account(fakeToken)), "Studio Example");
    const auto all = rows();
    EXPECT_EQ(ids(all), allRows);
    EXPECT_EQ(source.advice(), std::nullopt);

    Deployment build = row("build:bld-new-0001", "api", State::building);
    build.branch = "main";
    build.commit = "0123456";
    build.message = "Add cache headers";
    build.date = QDateTime::fromString("2026-03-14T08:30:00Z", Qt::ISODate);
    build.environment = "Worker";
    build.url
        = QUrl("https://dash.cloudflare.com/acc-1/workers/services/view/api/production/builds/bld-new-0001");
    EXPECT_EQ(all[5], build);
    EXPECT_EQ(all[6].message, "Build bld-ver-");
    EXPECT_EQ(all[6].state, State::failed);
    EXPECT_EQ(all[4].message, "Manually deployed");
    EXPECT_EQ(all[4].url,
        QUrl("https://dash.cloudflare.com/acc-1/workers/services/view/cron/production/deployments"));

    // Only the three newest projects are asked, each for the row limit.
    EXPECT_EQ(asked("accounts/acc-1/pages/projects/blog/deployments"), 0);
    EXPECT_EQ(asked("accounts/acc-1/pages/projects/archive/deployments"), 0);
    EXPECT_EQ(
        queryOf(server.requests("GET", "/client/v4/accounts/acc-1/pages/projects/shop/deployments").at(0)),
        (QMap<QString, QString> {{"per_page", "10"}}));
    EXPECT_EQ(server.requests("GET", "/client/v4/accounts/acc-1/builds/workers/tag-api/builds").at(0).query,
        "per_page=5");
    EXPECT_EQ(
        queryOf(server.requests("GET", "/client/v4/accounts/acc-1/builds/builds").at(0)).value("version_ids"),
        "ver-b,ver-c,ver-c");

    EXPECT_EQ(ids(rows(3)), allRows.mid(0, 3));
}

TEST_F(CloudflareSourceTest, ListsLiveFiveMinutesAndConnectingDropsThem)
{
    serveStudio();
    rows(3); // reads the accounts itself
    EXPECT_EQ(asked("accounts"), 1);
    clock.advance(299.0);
    rows(3);
    EXPECT_EQ(asked("accounts/acc-1/pages/projects"), 1);
    EXPECT_EQ(asked("accounts/acc-1/workers/scripts"), 1);
    clock.advance(2.0);
    rows(3);
    EXPECT_EQ(asked("accounts/acc-1/pages/projects"), 2);
    runTask(source.account(fakeToken));
    rows(3);
    EXPECT_EQ(asked("accounts/acc-1/workers/scripts"), 3);
    EXPECT_EQ(asked("accounts"), 2);
}

TEST_F(CloudflareSourceTest, AdviceNamesWhatNoAccountCouldRead)
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
        "This token cannot read Workers (Workers Scripts). Edit the token on Cloudflare and "
        "set that to Read to see it.");

    // Builds refused: the Worker's deployments stand as they are, and its builds are not asked again.
    serveStudio();
    serve("accounts/acc-1/pages/projects", 403, R"({"errors":[{"code":10000}]})");
    serve("accounts/acc-1/builds/workers/tag-api/builds", 403, R"({"errors":[{"code":10000}]})");
    runTask(source.account(fakeToken));
    EXPECT_EQ(ids(rows()),
        (QStringList {"worker:dep-cron-1", "worker:dep-api-3", "worker:dep-api-2", "worker:dep-api-1"}));
    EXPECT_EQ(source.advice(),
        "This token cannot read Pages (Cloudflare Pages), or the builds of Workers, where their commit "
        "messages are (Workers Builds Configuration). Edit the token on Cloudflare and set that to Read to "
        "see "
        "it.");
    rows();
    EXPECT_EQ(asked("accounts/acc-1/builds/workers/tag-api/builds"), 1);
}

TEST_F(CloudflareSourceTest, AListThatFailsIsNoRefusalAndIsNotKept)
{
    serveStudio();
    serve("accounts/acc-1/pages/projects", 500, R"({"errors":[{"code":10000,"message":"Try again"}]})");
    runTask(source.account(fakeToken));
    EXPECT_EQ(ids(rows()), allRows.mid(4));
    EXPECT_EQ(source.advice(), std::nullopt);
    rows();
    EXPECT_EQ(asked("accounts/acc-1/pages/projects"), 2);

    // Nothing listed at all: the first failure, not an empty success.
    server.route("GET", "/client/v4/accounts/acc-1/workers/scripts", CannedReply::dropped());
    EXPECT_EQ(failureOf<ServiceFailure>(source.deployments(fakeToken, std::nullopt, 3)),
        ServiceFailure::refused(500, "Try again"));
    EXPECT_EQ(source.advice(), std::nullopt);

    serve("accounts/acc-1/pages/projects", 401, "{}");
    EXPECT_TRUE(failureOf<ServiceFailure>(source.deployments(fakeToken, std::nullopt, 3))->isRejected());
}

TEST_F(CloudflareSourceTest, RowFailuresCountOnlyWhenEverythingFailed)
{
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
}

TEST_F(CloudflareSourceTest, ATokenWithoutAccountsHasNoRows)
{
    serve("accounts", 200, R"({"success":true,"result":[],"result_info":{"count":0}})");
    EXPECT_EQ(runTask(source.account(fakeToken)), QString());
    EXPECT_TRUE(rows().isEmpty());
    EXPECT_EQ(source.advice(), std::nullopt);
}

TEST_F(CloudflareSourceTest, BuildDetailsOfferRedeployOnlyWithATrigger)
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

    serve("accounts/acc-1/builds/workers/tag-api/builds", 200, R"({"result":[
        {"build_uuid":"bld-ver-b","status":"stopped","build_outcome":"fail","trigger":{"trigger_uuid":"t"}},
        {"build_uuid":"bld-new-0001","status":"running"}]})");
    details = runTask(source.details(fakeToken, all[6]));
    EXPECT_EQ(details.errorMessage, "The build failed. Its log is on its page on Cloudflare.");
    EXPECT_TRUE(details.logTail.isEmpty());
    EXPECT_TRUE(details.domains.isEmpty());
    EXPECT_TRUE(details.canRedeploy);

    EXPECT_FALSE(runTask(source.details(fakeToken, all[5])).canRedeploy); // no trigger
    EXPECT_FALSE(runTask(source.details(fakeToken, row("build:gone", "api", State::failed)))
                     .canRedeploy); // not listed
    EXPECT_FALSE(runTask(source.details(fakeToken, row("build:x", "unknown-worker"))).canRedeploy);

    serve("accounts/acc-1/builds/workers/tag-api/builds", 500, "{}");
    EXPECT_TRUE(failureOf<ServiceFailure>(source.details(fakeToken, all[6])));
}

TEST_F(CloudflareSourceTest, WorkerDetailsAndHostsKeptOnlyWhenWhole)
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

TEST_F(CloudflareSourceTest, RedeployRetriesPagesAndRunsTriggers)
{
    serveStudio();
    const auto all = rows();
    const QByteArray retry
        = "accounts/acc-1/pages/projects/landing/deployments/" + landingID.toUtf8() + "/retry";
    serve(retry, 200, R"({"success":true,"result":{"id":"new-pages-1","project_name":"landing"}})", "POST");
    EXPECT_EQ(runTask(source.redeploy(fakeToken, all[0])), "pages:new-pages-1");
    const auto& posted = server.requests().back();
    EXPECT_EQ(posted.method, "POST");
    EXPECT_TRUE(posted.body.isEmpty());
    EXPECT_FALSE(posted.hasHeader("Content-Type"));

    serve("accounts/acc-1/builds/triggers/trg-1/builds", 200, R"({"result":{"build_uuid":"bld-started"}})",
        "POST");
    EXPECT_EQ(runTask(source.redeploy(fakeToken, all[7])), "build:bld-started");
    EXPECT_EQ(bodyOf(server.requests().back()), json(R"({"commit_hash":"fedcba9876543210"})"));
    EXPECT_EQ(server.requests().back().header("Content-Type"), QByteArray("application/json"));

    serve("accounts/acc-1/builds/workers/tag-api/builds", 200, R"({"result":[
        {"build_uuid":"b-branch","build_trigger_metadata":{"branch":"release"},"trigger":{"trigger_uuid":"trg-1"}},
        {"build_uuid":"b-none","trigger":{"trigger_uuid":"trg-1"}},{"build_uuid":"b-loose"}]})");
    runTask(source.redeploy(fakeToken, row("build:b-branch", "api")));
    EXPECT_EQ(bodyOf(server.requests().back()), json(R"({"branch":"release"})"));
    runTask(source.redeploy(fakeToken, row("build:b-none", "api")));
    EXPECT_EQ(bodyOf(server.requests().back()), json(R"({"branch":"main"})"));

    // Nothing to start with: a clear failure, and nothing posted.
    const int posts = asked("accounts/acc-1/builds/triggers/trg-1/builds");
    EXPECT_TRUE(
        failureOf<ServiceFailure>(source.redeploy(fakeToken, row("build:b-loose", "api")))->isExplained());
    EXPECT_TRUE(
        failureOf<ServiceFailure>(source.redeploy(fakeToken, row("build:b-gone", "api")))->isExplained());
    EXPECT_EQ(asked("accounts/acc-1/builds/triggers/trg-1/builds"), posts);
    EXPECT_EQ(runTask(source.redeploy(fakeToken, all[4])), std::nullopt);
}

TEST_F(CloudflareSourceTest, RedeployRefusalsNameThePermission)
{
    serveStudio();
    const auto all = rows();
    const auto explained = ServiceFailure::explained("Cloudflare will not let this token start a deployment. "
                                                     "Edit the token on Cloudflare and set Cloudflare "
                                                     "Pages and Workers Builds Configuration to Edit.");
    const QByteArray retry
        = "accounts/acc-1/pages/projects/landing/deployments/" + landingID.toUtf8() + "/retry";
    serve(retry, 403, R"({"errors":[{"code":10000,"message":"Authentication error"}]})", "POST");
    EXPECT_EQ(failureOf<ServiceFailure>(source.redeploy(fakeToken, all[0])), explained);
    serve("accounts/acc-1/builds/triggers/trg-1/builds", 403, "{}", "POST");
    EXPECT_EQ(failureOf<ServiceFailure>(source.redeploy(fakeToken, all[7])), explained);
    serve("accounts/acc-1/builds/workers/tag-api/builds", 403, "{}");
    EXPECT_EQ(failureOf<ServiceFailure>(source.redeploy(fakeToken, all[7])), explained);
    serve(retry, 401, "{}", "POST");
    EXPECT_TRUE(failureOf<ServiceFailure>(source.redeploy(fakeToken, all[0]))->isRejected());
    serve(retry, 409, R"({"errors":[{"message":"in progress"}]})", "POST");
    EXPECT_EQ(failureOf<ServiceFailure>(source.redeploy(fakeToken, all[0])),
        ServiceFailure::refused(409, "in progress"));
}

TEST_F(CloudflareSourceTest, IconsTryEachHostInTurn)
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

    Deployment loose = all[0];
    loose.scope.reset();
    EXPECT_EQ(runTask(source.projectIcon(fakeToken, loose)), std::nullopt);
    icons.withIcon.clear();
    EXPECT_EQ(runTask(source.projectIcon(fakeToken, all[0])), std::nullopt);
}

TEST_F(CloudflareSourceTest, ConnectingWhileRowsAreReadLosesNothing)
{
    serveStudio();
    rows();
    clock.advance(301.0);
    // The walk reads fresh lists and rows while the account is read again beside it.
    auto walk = source.deployments(fakeToken, std::nullopt, 10);
    EXPECT_EQ(runTask(source.account(fakeToken)), "Studio Example");
    EXPECT_EQ(ids(runTask(std::move(walk))), allRows);
}
