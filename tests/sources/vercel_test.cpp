// The Vercel client and source through the real transport against the loopback server.
#include "sources/SourcesTestKit.h"
#include "sources/VercelSource.h"

#include <gtest/gtest.h>

using namespace brenvo;
using namespace brenvo::test;
using State = Deployment::State;

namespace {

class VercelTest : public SourceTest {
protected:
    VercelSource source {VercelClient(http, server.baseUrl()), SiteIconLoader(icons.http)};

    // The user and two teams, each scope with its own deployments.
    void serveAccount()
    {
        serve("/v2/user", 200, fixture("vercel/user.json"));
        serve("/v2/teams", 200, fixture("vercel/teams.json"));
        server.handle("GET", "/v6/deployments", [](const RecordedRequest& request) {
            const QString team = queryOf(request).value("teamId");
            return CannedReply::json(
                200, fixture("vercel/deployments_" + (team.isEmpty() ? "user" : team.mid(5)) + ".json"));
        });
    }
    QList<Deployment> rows(int limit) { return runTask(source.deployments(fakeToken, std::nullopt, limit)); }
};

Deployment rowOf(
    const QString& id, const QString& project, std::optional<QString> scope, State state = State::ready)
{
    Deployment row;
    row.id = id;
    row.project = project;
    row.scope = std::move(scope);
    row.state = state;
    return row;
}

Deployment byID(const QList<Deployment>& rows, const QString& id)
{
    for (const auto& row : rows) {
        if (row.id == id)
            return row;
    }
    ADD_FAILURE() << "no row " << id.toStdString();
    return {};
}

} // namespace

TEST(VercelReplies, RefusalFlagsStatesAndCommitInfo)
{
    for (const auto& [text, rejects] :
        QList<std::pair<const char*, bool>> {{R"({"error":{"invalidToken":true}})", true},
            {R"({"error":{"invalidToken":false,"missingToken":true}})", true},
            {R"({"error":{"invalidToken":"true"}})", false}, {R"({"error":"invalidToken"})", false},
            {R"({"invalidToken":true})", false}})
        EXPECT_EQ(VercelClient::rejectsToken(json(text)), rejects) << text;

    EXPECT_EQ(VercelSource::state(std::nullopt), State::building);
    EXPECT_EQ(VercelSource::state(QStringLiteral("DELETED")), State::canceled);
    const auto info = VercelSource::commitInfo(
        {{"aCommitRef", ""}, {"zCommitRef", "late"}, {"mCommitRef", "main"}, {"gitCommitMessage", "Ship"}});
    EXPECT_EQ(info.ref, "main");
    EXPECT_EQ(info.message, "Ship");
    EXPECT_EQ(VercelSource::commitInfo({{"commitref", "x"}}).ref, std::nullopt);
}

TEST_F(VercelTest, AccountIsNamedByUserThenTeam)
{
    serveAccount();
    EXPECT_EQ(runTask(source.account(fakeToken)), "ana-example");
    EXPECT_EQ(source.identity(), (VercelClient::Identity {"ana-example", {"team_alpha", "team_beta"}}));
    EXPECT_EQ(server.requests("GET", "/v2/teams").at(0).query, "limit=50");
    EXPECT_EQ(server.requests().at(0).header("Authorization"), QByteArray("Bearer test-token-not-real"));

    for (const auto& [user, name] : QList<std::pair<QByteArray, QString>> {
             {R"({"user":{"name":"Ana Example","email":"ana@example.com"}})", "Ana Example"},
             {R"({"user":{"email":"ana@example.com","username":null}})", "ana@example.com"}}) {
        serve("/v2/user", 200, user);
        EXPECT_EQ(runTask(source.account(fakeToken)), name);
    }
    // A user that cannot be read leaves the naming to the first team.
    serve("/v2/user", 500, R"({"error":{"code":"internal","message":"oops"}})");
    serve("/v2/teams", 200, R"({"teams":[{"id":"team_solo","slug":"solo-labs"}]})");
    EXPECT_EQ(runTask(source.account(fakeToken)), "solo-labs");
    EXPECT_EQ(source.identity().teamIDs, QList<QString> {"team_solo"});

    serveAccount();
    serve("/v2/teams", 401, "{}");
    EXPECT_EQ(runTask(source.account(fakeToken)), "ana-example");
    EXPECT_TRUE(source.identity().teamIDs.isEmpty());
    serve("/v2/user", 500, "{}");
    serve("/v2/teams", 500, "{}");
    EXPECT_EQ(runTask(source.account(fakeToken)), QString());

    // Failures keep the identity.
    serveAccount();
    runTask(source.account(fakeToken));
    const auto before = source.identity();
    const int teamsAsked = server.count("/v2/teams");
    serve("/v2/user", 403, R"({"error":{"code":"forbidden","invalidToken":true}})");
    EXPECT_TRUE(failureOf<ServiceFailure>(source.account(fakeToken))->isRejected());
    serve("/v2/user", 200, R"({"user":"nobody"})");
    EXPECT_TRUE(failureOf<DecodingFailure>(source.account(fakeToken)));
    server.route("GET", "/v2/user", CannedReply::dropped());
    EXPECT_TRUE(failureOf<TransportFailure>(source.account(fakeToken)));
    EXPECT_EQ(source.identity(), before);
    EXPECT_EQ(server.count("/v2/teams"), teamsAsked);
}

TEST_F(VercelTest, RowsOfEveryScopeNewestFirst)
{
    serveAccount();
    // No identity yet: the user's own scope only.
    EXPECT_EQ(ids(rows(3)), (QStringList {"dpl_user3", "dpl_shared", "dpl_user1"}));
    EXPECT_EQ(server.count("/v6/deployments"), 1);
    runTask(source.account(fakeToken));
    server.clearRequests();

    EXPECT_EQ(ids(rows(3)), (QStringList {"dpl_alpha1", "dpl_beta1", "dpl_user3"}));
    const auto asked = server.requests("GET", "/v6/deployments");
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].query, "limit=3");
    EXPECT_EQ(asked[1].query, "limit=3&teamId=team_alpha");
    EXPECT_EQ(asked[2].query, "limit=3&teamId=team_beta");

    const auto all = rows(10);
    ASSERT_EQ(all.size(), 6);
    EXPECT_EQ(ids(all.mid(0, 4)), (QStringList {"dpl_alpha1", "dpl_beta1", "dpl_user3", "dpl_shared"}));
    const auto user3 = byID(all, "dpl_user3");
    EXPECT_EQ(user3.date, QDateTime::fromMSecsSinceEpoch(1773482400000, Qt::UTC));
    EXPECT_EQ(user3.environment, "Production");
    EXPECT_EQ(user3.url, QUrl("https://vercel.com/ana-example/portfolio/dpl_user3"));
    const auto shared = byID(all, "dpl_shared"); // listed by the user and by a team: the team's row stays
    EXPECT_EQ(shared.scope, "team_alpha");
    EXPECT_EQ(shared.url, QUrl("https://vercel.com/alpha-studio/portfolio/dpl_shared"));
    EXPECT_EQ(shared.state, State::failed);
    const auto notes = byID(all, "dpl_user1");
    EXPECT_EQ(notes.state, State::canceled);
    EXPECT_EQ(notes.date, QDateTime::fromMSecsSinceEpoch(0, Qt::UTC));
    EXPECT_EQ(notes.url, std::nullopt); // not a web address
    const auto far = byID(all, "dpl_alpha0");
    EXPECT_EQ(far.date, QDateTime::fromMSecsSinceEpoch(0, Qt::UTC)); // beyond any date
    EXPECT_EQ(far.state, State::building);
    EXPECT_EQ(byID(all, "dpl_alpha1").environment, "Preview");
    EXPECT_EQ(byID(all, "dpl_alpha1").target, std::nullopt);
    EXPECT_EQ(byID(all, "dpl_beta1").environment, "Staging");
}

TEST_F(VercelTest, ScopesFailOnlyTogether)
{
    serveAccount();
    runTask(source.account(fakeToken));
    server.handle("GET", "/v6/deployments", [](const RecordedRequest& request) {
        if (queryOf(request).value("teamId") == u"team_beta")
            return CannedReply::json(200, fixture("vercel/deployments_beta.json"));
        if (queryOf(request).contains("teamId"))
            return CannedReply::json(200, R"({"deployments":[{"uid":"dpl_x"}]})"); // no name: malformed
        return CannedReply::json(401, "{}");
    });
    EXPECT_EQ(ids(rows(3)), QStringList {"dpl_beta1"});

    server.handle("GET", "/v6/deployments", [](const RecordedRequest& request) {
        return CannedReply::json(queryOf(request).contains("teamId") ? 500 : 401, "{}");
    });
    EXPECT_TRUE(failureOf<ServiceFailure>(source.deployments(fakeToken, std::nullopt, 3))->isRejected());
    serve("/v2/teams", 200, R"({"teams":[]})");
    runTask(source.account(fakeToken));
    serve("/v6/deployments", 200, R"({"pagination":{}})");
    EXPECT_TRUE(failureOf<DecodingFailure>(source.deployments(fakeToken, std::nullopt, 3)));
}

TEST_F(VercelTest, DetailsOfAFailedDeploymentCarryItsLogTail)
{
    serve("/v13/deployments/dpl_shared", 200, fixture("vercel/deployment_failed.json"));
    serve("/v3/deployments/dpl_shared/events", 200, fixture("vercel/events_failed.json"));
    Deployment row = rowOf("dpl_shared", "portfolio", "team_alpha", State::failed);
    DeploymentDetails expected;
    expected.errorMessage = "Command \"npm run build\" exited with 1";
    expected.domains = {"ana.example.com", "portfolio-ana.vercel.app"};
    expected.buildDuration = 60.5;
    expected.creator = "ana-example";
    expected.logTail = {"Installing dependencies", "Running \"npm run build\"", "Module not found: sharp",
        "Error: build failed"};
    expected.canRedeploy = true;
    EXPECT_EQ(runTask(source.details(fakeToken, row)), expected);
    EXPECT_EQ(server.requests().at(0).query, "teamId=team_alpha");
    EXPECT_EQ(queryOf(server.requests().at(1)),
        (QMap<QString, QString> {{"direction", "backward"}, {"limit", "40"}, {"teamId", "team_alpha"}}));

    // The log is extra: without it the details still come.
    serve("/v3/deployments/dpl_shared/events", 200, R"({"not":"a list"})");
    auto details = runTask(source.details(fakeToken, row));
    EXPECT_TRUE(details.logTail.isEmpty());
    EXPECT_EQ(details.errorMessage, expected.errorMessage);

    server.clearRequests();
    row.state = State::ready;
    row.scope.reset();
    serve("/v13/deployments/dpl_shared", 200, R"({"buildingAt":2000,"ready":1000})");
    EXPECT_EQ(runTask(source.details(fakeToken, row)).buildDuration, std::nullopt);
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_FALSE(server.requests().at(0).hasQuery);
    serve("/v13/deployments/dpl_shared", 200, R"({"buildingAt":1000,"ready":1000,"creator":{}})");
    details = runTask(source.details(fakeToken, row));
    EXPECT_EQ(details.buildDuration, 0.0);
    EXPECT_EQ(details.creator, std::nullopt);
    serve("/v13/deployments/dpl_shared", 404, R"({"error":{"code":"not_found","message":"Gone"}})");
    EXPECT_EQ(
        failureOf<ServiceFailure>(source.details(fakeToken, row)), ServiceFailure::refused(404, "Gone"));
}

TEST_F(VercelTest, RedeployPostsTheRowBack)
{
    serve("/v13/deployments", 200, R"({"id":"dpl_new","url":"x.vercel.app"})", "POST");
    Deployment row = rowOf("dpl_alpha1", "shop", "team_alpha");
    EXPECT_EQ(runTask(source.redeploy(fakeToken, row)), "dpl_new");
    EXPECT_EQ(server.requests().back().query, "forceNew=1&teamId=team_alpha");
    EXPECT_EQ(bodyOf(server.requests().back()), json(R"({"name":"shop","deploymentId":"dpl_alpha1"})"));
    EXPECT_EQ(server.requests().back().header("Content-Type"), QByteArray("application/json"));

    row.scope.reset();
    row.target = "production";
    runTask(source.redeploy(fakeToken, row));
    EXPECT_EQ(server.requests().back().query, "forceNew=1");
    EXPECT_EQ(bodyOf(server.requests().back()),
        json(R"({"name":"shop","deploymentId":"dpl_alpha1","target":"production"})"));
    serve("/v13/deployments", 403, R"({"error":{"code":"forbidden","message":"Not allowed"}})", "POST");
    EXPECT_EQ(failureOf<ServiceFailure>(source.redeploy(fakeToken, row)),
        ServiceFailure::refused(403, "Not allowed"));
}

TEST_F(VercelTest, IconsComeFromOwnDomainsFirst)
{
    serve("/v9/projects/portfolio/domains", 200, fixture("vercel/domains.json"));
    const Deployment row = rowOf("dpl_user3", "portfolio", "team_alpha");
    icons.withIcon = {"blog.ana.example.com", "portfolio-ana.vercel.app"};
    EXPECT_TRUE(runTask(source.projectIcon(fakeToken, row)).has_value());
    EXPECT_EQ(icons.hosts(), (QStringList {"ana.example.com", "blog.ana.example.com"}));
    EXPECT_EQ(queryOf(server.requests().back()),
        (QMap<QString, QString> {
            {"production", "true"}, {"redirects", "false"}, {"limit", "20"}, {"teamId", "team_alpha"}}));

    icons.forget();
    serve("/v9/projects/portfolio/domains", 500, "{}");
    EXPECT_EQ(runTask(source.projectIcon(fakeToken, row)), std::nullopt);
    EXPECT_TRUE(icons.hosts().isEmpty());
}
