#include "sources/CloudflareClient.h"
#include "sources/CloudflareReplies.h"
#include "sources/SourceSupport.h"
#include "sources/SourcesTestKit.h"

#include <QJsonArray>

#include <gtest/gtest.h>

using namespace brenvo;
using namespace brenvo::test;
using Build = CloudflareClient::Build;
using State = Deployment::State;

namespace {

QDateTime at(const char* iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

QByteArray fixture(const char* name)
{
    return LoopbackServer::fixture(
        QStringLiteral("sources/fixtures/cloudflare/") + QString::fromLatin1(name));
}

class CloudflareWire : public ::testing::Test {
protected:
    LoopbackServer server;
    std::shared_ptr<NetworkHTTPClient> http = std::make_shared<NetworkHTTPClient>();
    CloudflareClient client {http, server.url(QStringLiteral("/client/v4"))};

    void serve(const QByteArray& path, int status, const QByteArray& body)
    {
        server.route("GET", "/client/v4/" + path, status, body);
    }
};

Build buildFrom(const char* text)
{
    return CloudflareClient::build(
        decodeJson<cloudflare::BuildResponse>(QByteArray(text), KeyStyle::snakeCase));
}

CloudflareClient::StageState stageOf(const char* text)
{
    return CloudflareClient::stageState(
        decodeJson<cloudflare::PagesDeploymentResponse>(QByteArray(text), KeyStyle::snakeCase));
}

} // namespace

TEST(CloudflareRefusal, ReadsOnlyWholeNumberCodesOfAnArrayOfObjects)
{
    EXPECT_TRUE(
        CloudflareClient::rejectsToken(json(R"({"errors":[{"code":6003,"message":"Invalid headers"}]})")));
    EXPECT_TRUE(CloudflareClient::rejectsToken(json(R"({"errors":[{"code":7003},{"code":1000}]})")));
    EXPECT_TRUE(CloudflareClient::rejectsToken(json(R"({"errors":[{"code":"x"},{"code":6003}]})")));
    EXPECT_FALSE(CloudflareClient::rejectsToken(json(R"({"errors":[{"code":"1000"}]})")));
    EXPECT_FALSE(CloudflareClient::rejectsToken(json(R"({"errors":["oops",{"code":1000}]})")));
    EXPECT_FALSE(CloudflareClient::rejectsToken(json(R"({"errors":{"code":1000}})")));
    EXPECT_FALSE(CloudflareClient::rejectsToken(json(R"({"errors":[{"code":1000.5}]})")));
}

TEST(CloudflareRefusal, ABadRequestNamingTheTokenIsARejection)
{
    auto fake = std::make_shared<FakeHTTPClient>();
    fake->answer("/client/v4/accounts", 400, R"({"success":false,"errors":[{"code":9109},{"code":1000}]})");
    CloudflareClient client(fake, QUrl("https://cloudflare.invalid/client/v4"));
    EXPECT_TRUE(failureOf<ServiceFailure>(client.accounts(fakeToken))->isRejected());
}

TEST_F(CloudflareWire, AccountsCarryTheTokenAndFallBackToTheirId)
{
    serve("accounts", 200, R"({"success":true,"result":[{"id":"acc-1","name":"Studio"},{"id":"acc-2"},
        {"id":"acc-3","name":null}],"result_info":{"page":1}})");
    const auto accounts = runTask(client.accounts(fakeToken));
    const QList<CloudflareClient::Account> expected {
        {"acc-1", "Studio"}, {"acc-2", "acc-2"}, {"acc-3", "acc-3"}};
    EXPECT_EQ(accounts, expected);
    ASSERT_EQ(server.requests().size(), 1u);
    const auto& request = server.requests().front();
    EXPECT_EQ(request.path, "/client/v4/accounts");
    EXPECT_EQ(request.query, "per_page=50");
    EXPECT_EQ(request.header("Authorization"), QByteArray("Bearer test-token-not-real"));
}

TEST_F(CloudflareWire, FailuresPassUnchanged)
{
    serve("accounts", 403, R"({"success":false,"errors":[{"code":9109,"message":"x"},{"code":6003}]})");
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

TEST_F(CloudflareWire, PagesProjectsListOwnDomainsFirstAndOnce)
{
    serve("accounts/acc-1/pages/projects", 200, fixture("pages_projects.json"));
    const auto projects = runTask(client.pagesProjects(fakeToken, "acc-1"));
    ASSERT_EQ(projects.size(), 5);
    EXPECT_EQ(projects[0].domains, (QList<QString> {"shop.example.com", "shop.pages.dev"}));
    EXPECT_EQ(projects[0].deployed, at("2026-03-14T10:00:00Z"));
    EXPECT_EQ(projects[1].domains, (QList<QString> {"docs.example.com", "docs-3ab.pages.dev"}));
    EXPECT_EQ(projects[2].deployed, std::nullopt);
    EXPECT_EQ(server.requests().front().hasQuery, false);
}

TEST(CloudflarePages, StageStateRules)
{
    auto expectStage = [](const char* text, State state, std::optional<QString> note) {
        const auto stage = stageOf(text);
        EXPECT_EQ(stage.state, state) << text;
        EXPECT_EQ(stage.note, note) << text;
    };
    expectStage(R"({"id":"a","is_skipped":true,"latest_stage":{"name":"deploy","status":"success"}})",
        State::canceled, "Skipped");
    expectStage(R"({"id":"a"})", State::building, std::nullopt);
    expectStage(R"({"id":"a","latest_stage":{"name":"build"}})", State::building, std::nullopt);
    expectStage(
        R"({"id":"a","latest_stage":{"name":"build","status":"failure"}})", State::failed, std::nullopt);
    expectStage(R"({"id":"a","latest_stage":{"status":"canceled"}})", State::canceled, std::nullopt);
    expectStage(R"({"id":"a","latest_stage":{"status":"skipped"}})", State::canceled, "Skipped");
    expectStage(
        R"({"id":"a","latest_stage":{"name":"deploy","status":"success"}})", State::ready, std::nullopt);
    expectStage(
        R"({"id":"a","latest_stage":{"name":"build","status":"success"}})", State::building, std::nullopt);
    expectStage(R"({"id":"a","latest_stage":{"status":"success"}})", State::building, std::nullopt);
    EXPECT_THROW(stageOf(R"({"id":"a","is_skipped":1})"), DecodingFailure);
    EXPECT_THROW(stageOf(R"({"id":42})"), DecodingFailure);
}

TEST_F(CloudflareWire, PagesRowsReadEveryField)
{
    serve("accounts/acc-1/pages/projects/shop/deployments", 200, fixture("pages_deployments_shop.json"));
    serve(
        "accounts/acc-1/pages/projects/landing/deployments", 200, fixture("pages_deployments_landing.json"));
    serve("accounts/acc-1/pages/projects/docs/deployments", 200, fixture("pages_deployments_docs.json"));

    const auto shop = runTask(client.pagesDeployments(fakeToken, "acc-1", "shop", 3));
    EXPECT_EQ(server.requests().back().query, "per_page=3");
    ASSERT_EQ(shop.size(), 2);
    Deployment failed;
    failed.id = "pages:5b2e7a10-1111-4222-8333-444444444444";
    failed.project = "shop";
    failed.message = "Fix the basket total";
    failed.state = State::failed;
    failed.date = at("2026-03-14T10:00:00Z");
    failed.environment = "Production";
    failed.url
        = QUrl("https://dash.cloudflare.com/acc-1/pages/view/shop/5b2e7a10-1111-4222-8333-444444444444");
    failed.scope = "acc-1";
    EXPECT_EQ(shop[0], failed);
    EXPECT_EQ(shop[1].message, "Deployment 7c1d9e22");
    EXPECT_EQ(shop[1].branch, "feature/cart");
    EXPECT_EQ(shop[1].environment, "Preview");
    EXPECT_EQ(shop[1].stateNote, "Skipped");

    const auto landing = runTask(client.pagesDeployments(fakeToken, "acc-1", "landing", 3));
    ASSERT_EQ(landing.size(), 1);
    EXPECT_EQ(landing[0].message, "Ship the spring landing page");
    EXPECT_EQ(landing[0].branch, "main");
    EXPECT_EQ(landing[0].date, at("2026-03-14T11:00:00Z"));
    EXPECT_EQ(landing[0].state, State::ready);

    const auto docs = runTask(client.pagesDeployments(fakeToken, "acc-1", "docs", 3));
    EXPECT_EQ(docs.at(0).environment, "Custom env");
    EXPECT_EQ(docs.at(0).state, State::building);
}

TEST_F(CloudflareWire, PagesDetailsOfFailedAndReadyDeployments)
{
    const QByteArray failedPath = "accounts/acc-1/pages/projects/shop/deployments/d-1";
    serve(failedPath, 200, R"({"success":true,"result":{"id":"d-1","created_on":"2026-03-14T10:00:00.5Z",
        "latest_stage":{"name":"Build_Site","status":"failure","ended_on":"2026-03-14T10:01:40Z"}}})");
    serve(failedPath + "/history/logs", 200, fixture("pages_logs.json"));
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

    server.clearRequests();
    const QByteArray landing = fixture("pages_deployments_landing.json");
    const QJsonObject first = QJsonDocument::fromJson(landing).object()["result"].toArray().at(0).toObject();
    serve("accounts/acc-1/pages/projects/landing/deployments/d-2", 200,
        QJsonDocument(QJsonObject {{"result", first}}).toJson());
    details = runTask(client.pagesDeploymentLog(fakeToken, "acc-1", "landing", "d-2"));
    EXPECT_EQ(details.domains,
        (QList<QString> {"landing.example.com", "landing-7xk.pages.dev", "9f1c2d3e.landing-7xk.pages.dev"}));
    EXPECT_EQ(details.buildDuration, 150.0);
    EXPECT_EQ(details.errorMessage, std::nullopt);
    EXPECT_EQ(
        server.count("/client/v4/accounts/acc-1/pages/projects/landing/deployments/d-2/history/logs"), 0);
}

TEST_F(CloudflareWire, WorkerDeploymentItemsAreReadLeniently)
{
    serve("accounts/acc-1/workers/scripts/api/deployments", 200, fixture("worker_deployments_api.json"));
    auto items = runTask(client.workerDeployments(fakeToken, "acc-1", "api"));
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0].version, "ver-b");
    EXPECT_EQ(items[0].message, "Roll out rate limits");
    EXPECT_EQ(items[0].author, "dev@example.com");
    EXPECT_EQ(items[0].source, "wrangler");
    EXPECT_EQ(items[2].version, "ver-c");

    serve("accounts/acc-1/workers/scripts/api/deployments", 200, R"({"result":{"deployments":[
        {"id":"a","created_on":17,"author_email":null,"source":"","annotations":{"workers/message":"m","n":1},
         "versions":[{"version_id":"v1","percentage":50},{"version_id":"v2","percentage":50}]},
        {"id":"b","versions":[{"version_id":"v1","percentage":"50"}],"annotations":"x"},
        {"id":"c","versions":[{"percentage":80},{"version_id":"v9"}]}]}})");
    items = runTask(client.workerDeployments(fakeToken, "acc-1", "api"));
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0].created, distantPast());
    EXPECT_EQ(items[0].author, std::nullopt);
    EXPECT_EQ(items[0].source, std::nullopt);
    EXPECT_EQ(items[0].message, "");
    EXPECT_EQ(items[0].version, "v1");
    EXPECT_EQ(items[1].version, std::nullopt);
    EXPECT_EQ(items[2].version, std::nullopt);

    serve("accounts/acc-1/workers/scripts/api/deployments", 200, R"({"result":{"deployments":[{"id":5}]}})");
    EXPECT_TRUE(failureOf<DecodingFailure>(client.workerDeployments(fakeToken, "acc-1", "api")));
}

TEST(CloudflareBuilds, StatesNotesAndDurations)
{
    Build b = buildFrom(R"({"build_uuid":"b","status":"stopped","build_outcome":"success",
        "created_on":"2026-03-14T10:00:00Z","initializing_on":"2026-03-14T10:00:10Z","running_on":"2026-03-14T10:00:20Z",
        "stopped_on":"2026-03-14T10:01:00Z","build_trigger_metadata":{"branch":"","commit_hash":"abc",
        "commit_message":"\nFirst\nSecond"},"trigger":{"trigger_uuid":"t"}})");
    EXPECT_EQ(b.state, State::ready);
    EXPECT_EQ(b.duration(), 40.0);
    EXPECT_EQ(b.branch, std::nullopt);
    EXPECT_EQ(b.commit, "abc");
    EXPECT_EQ(b.message, "First");
    EXPECT_EQ(b.trigger, "t");

    b = buildFrom(
        R"({"build_uuid":"b","status":"stopped","build_outcome":"fail","created_on":"2026-03-14T10:00:00Z",
        "initializing_on":"2026-03-14T10:00:10Z","stopped_on":"2026-03-14T10:01:00Z"})");
    EXPECT_EQ(b.state, State::failed);
    EXPECT_EQ(b.duration(), 50.0);

    b = buildFrom(R"({"build_uuid":"b","status":"stopped","build_outcome":"skipped"})");
    EXPECT_EQ(b.state, State::canceled);
    EXPECT_EQ(b.stateNote, "Skipped");
    EXPECT_EQ(b.created, distantPast());

    for (const char* text : {R"({"build_uuid":"b","status":"stopped","build_outcome":"cancelled"})",
             R"({"build_uuid":"b","status":"stopped"})"}) {
        b = buildFrom(text);
        EXPECT_EQ(b.state, State::canceled);
        EXPECT_EQ(b.stateNote, std::nullopt);
    }

    b = buildFrom(R"({"build_uuid":"b","status":"running","created_on":"2026-03-14T10:00:00Z",
        "stopped_on":"2026-03-14T10:01:00Z"})");
    EXPECT_EQ(b.state, State::building);
    EXPECT_EQ(b.duration(), std::nullopt);

    b = buildFrom(
        R"({"build_uuid":"b","status":"stopped","build_outcome":"success","created_on":"2026-03-14T10:02:00Z",
        "stopped_on":"2026-03-14T10:01:00Z"})");
    EXPECT_EQ(b.duration(), std::nullopt);
}

TEST_F(CloudflareWire, BuildsByVersionKeepTheirKeys)
{
    serve("accounts/acc-1/builds/builds", 200, R"({"result":{"builds":{"ver_one":{"build_uuid":"b1"}}}})");
    const auto builds = runTask(client.builds(fakeToken, "acc-1", QList<QString> {"ver_one", "ver-two"}));
    EXPECT_EQ(builds.keys(), QList<QString> {"ver_one"});
    EXPECT_EQ(queryOf(server.requests().back()).value("version_ids"), "ver_one,ver-two");

    serve("accounts/acc-1/builds/builds", 200, R"({"result":{}})");
    EXPECT_TRUE(runTask(client.builds(fakeToken, "acc-1", QList<QString> {"v"})).isEmpty());
}

TEST_F(CloudflareWire, WorkerHostsAreBestEffortAndSayWhenCutShort)
{
    serve("accounts/acc-1/workers/domains", 200,
        R"({"result":[{"id":"d","hostname":"api.example.com","zone_name":"example.com"},{"id":"e"}]})");
    serve("accounts/acc-1/workers/scripts/api/subdomain", 200,
        R"({"result":{"enabled":true,"previews_enabled":true}})");
    serve("accounts/acc-1/workers/subdomain", 200, R"({"result":{"subdomain":"studio"}})");
    auto hosts = runTask(client.workerDomains(fakeToken, "acc-1", "api"));
    EXPECT_EQ(hosts.names, (QList<QString> {"api.example.com", "api.studio.workers.dev"}));
    EXPECT_TRUE(hosts.complete);
    EXPECT_EQ(queryOf(server.requests().front()).value("service"), "api");

    serve("accounts/acc-1/workers/scripts/api/subdomain", 200, R"({"result":{"enabled":false}})");
    server.clearRequests();
    hosts = runTask(client.workerDomains(fakeToken, "acc-1", "api"));
    EXPECT_EQ(hosts.names, QList<QString> {"api.example.com"});
    EXPECT_TRUE(hosts.complete);
    EXPECT_EQ(server.count("/client/v4/accounts/acc-1/workers/subdomain"), 0);

    serve("accounts/acc-1/workers/domains", 200, "null");
    serve("accounts/acc-1/workers/scripts/api/subdomain", 503, R"({"errors":[{"message":"busy"}]})");
    hosts = runTask(client.workerDomains(fakeToken, "acc-1", "api"));
    EXPECT_TRUE(hosts.names.isEmpty());
    EXPECT_FALSE(hosts.complete);

    serve("accounts/acc-1/workers/domains", 403, R"({"errors":[{"code":10000}]})");
    serve("accounts/acc-1/workers/scripts/api/subdomain", 200, R"({"result":{"enabled":true}})");
    hosts = runTask(client.workerDomains(fakeToken, "acc-1", "api"));
    EXPECT_EQ(hosts.names, QList<QString> {"api.studio.workers.dev"});
    EXPECT_FALSE(hosts.complete);
}
