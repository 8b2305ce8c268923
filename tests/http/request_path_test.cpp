// The request path through the real transport against the loopback server.
#include "http/NetworkHTTPClient.h"
#include "http/ServiceAPI.h"
#include "support/FakeHTTPClient.h"
#include "support/LoopbackServer.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

using namespace brenvo;
using namespace brenvo::test;
using namespace std::chrono_literals;

namespace {

const QString token = QStringLiteral("test-token-not-real");

struct Item {
    QString id;
    std::optional<qint64> perPage;
    static Item fromJson(const JsonObject& o)
    {
        return {o.required<QString>("id"), o.optional<qint64>("perPage")};
    }
};

class RequestPath : public ::testing::Test {
protected:
    LoopbackServer server;
    std::shared_ptr<NetworkHTTPClient> http = std::make_shared<NetworkHTTPClient>();

    ServiceAPI api() const
    {
        ServiceAPI a;
        a.http = http;
        a.baseURL = server.url(QStringLiteral("/v1"));
        return a;
    }

    RecordedRequest only() const
    {
        EXPECT_EQ(server.requests().size(), 1u);
        return server.requests().empty() ? RecordedRequest {} : server.requests().front();
    }

    template <typename F> ServiceFailure failureOf(F&& run)
    {
        try {
            run();
        } catch (const ServiceFailure& failure) {
            return failure;
        }
        ADD_FAILURE() << "no ServiceFailure";
        return ServiceFailure::explained(QStringLiteral("none"));
    }

    template <typename F> TransportFailure::Kind transportKindOf(F&& run)
    {
        try {
            run();
        } catch (const TransportFailure& failure) {
            return failure.kind();
        }
        ADD_FAILURE() << "no TransportFailure";
        return TransportFailure::Kind::other;
    }
};

TEST_F(RequestPath, QueryIsSortedByNameAndEncodedOnTheWire)
{
    server.route("GET", "/v1/items", 200, R"({"id":"a"})");
    const ServiceAPI::Query query {{"per_page", "5"}, {"branch", "main"}};
    runTask(api().request<Item>("items", query, token));
    EXPECT_EQ(only().target, "/v1/items?branch=main&per_page=5");

    server.clearRequests();
    runTask(api().request<Item>("items", {}, token));
    EXPECT_EQ(only().target, "/v1/items");
    EXPECT_FALSE(only().hasQuery);

    // Separators and "+" inside a value stay data, never new items or spaces.
    server.clearRequests();
    const ServiceAPI::Query tricky {{"q", "a b&c=d+e#f%g/h:i"}, {"é", "ü"}};
    runTask(api().request<Item>("items", tricky, token));
    EXPECT_EQ(only().query, "q=a%20b%26c%3Dd%2Be%23f%25g/h:i&%C3%A9=%C3%BC");
}

TEST_F(RequestPath, PathIsJoinedWithOneSlashAndPercentEncoded)
{
    server.route("GET", "/v1/a%20b%3Fc/%C3%A9%25", 200, R"({"id":"a"})");
    runTask(api().request<Item>("a b?c/é%", {}, token));
    EXPECT_EQ(only().target, "/v1/a%20b%3Fc/%C3%A9%25");
    EXPECT_FALSE(only().hasQuery);

    // Nothing is trimmed: a base that ends in "/" gives a doubled slash.
    server.clearRequests();
    server.route("GET", "/v1//items", 200, R"({"id":"b"})");
    ServiceAPI slashed = api();
    slashed.baseURL = server.url(QStringLiteral("/v1/"));
    EXPECT_EQ(runTask(slashed.request<Item>("items", {}, token)).id, "b");
    EXPECT_EQ(only().path, "/v1//items");
}

TEST_F(RequestPath, MethodAndBodyRules)
{
    server.route("POST", "/v1/hooks", 200, R"({"id":"a"})");
    server.route("PATCH", "/v1/hooks", 200, R"({"id":"a"})");
    const QJsonObject body {{"ref", "main"}, {"n", 2}};

    runTask(api().request<Item>("hooks", {}, std::nullopt, body, token));
    RecordedRequest sent = only();
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.header("Content-Type"), "application/json");
    EXPECT_EQ(QJsonDocument::fromJson(sent.body).object(), body);
    EXPECT_FALSE(sent.body.contains(' ')) << "compact";

    // POST without a body: an explicit empty length and no content type of anyone's choosing.
    server.clearRequests();
    runTask(api().send("hooks", {}, QStringLiteral("POST"), std::nullopt, token));
    sent = only();
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.header("Content-Length"), "0");
    EXPECT_FALSE(sent.hasHeader("Content-Type"));
    EXPECT_TRUE(sent.body.isEmpty());

    server.clearRequests();
    runTask(api().request<Item>("hooks", {}, QStringLiteral("PATCH"), body, token));
    sent = only();
    EXPECT_EQ(sent.method, "PATCH");
    EXPECT_EQ(QJsonDocument::fromJson(sent.body).object(), body);
}

TEST_F(RequestPath, CredentialHeaders)
{
    server.route("GET", "/v1/me", 200, R"({"id":"a"})");
    runTask(api().request<Item>("me", {}, token));
    EXPECT_EQ(only().header("Authorization"), "Bearer " + token.toUtf8());
    EXPECT_TRUE(only().header("User-Agent").value_or("").startsWith("Brenvo/"));

    // An empty token is sent as it is.
    EXPECT_EQ(api().buildRequest("me", {}, std::nullopt, std::nullopt, QString()).header("Authorization"),
        "Bearer ");

    server.clearRequests();
    ServiceAPI keyed = api();
    keyed.keyHeader = QStringLiteral("x-api-key");
    keyed.headers = {{"anthropic-version", "2023-06-01"}};
    runTask(keyed.request<Item>("me", {}, token));
    EXPECT_EQ(only().header("x-api-key"), token.toUtf8());
    EXPECT_FALSE(only().hasHeader("Authorization"));
    EXPECT_EQ(only().header("anthropic-version"), "2023-06-01");

    // A fixed header of the same name, in any letter case, replaces the credential.
    ServiceAPI basic = api();
    basic.headers = {{"AUTHORIZATION", "Basic dGVzdDo="}};
    const HTTPRequest built = basic.buildRequest("me", {}, std::nullopt, std::nullopt, token);
    EXPECT_EQ(built.header("authorization"), "Basic dGVzdDo=");
    EXPECT_EQ(std::count_if(built.headers.begin(), built.headers.end(),
                  [](const auto& f) { return f.first.compare("authorization", Qt::CaseInsensitive) == 0; }),
        1);
}

TEST_F(RequestPath, TokenWithControlCharacterIsRejectedBeforeSending)
{
    server.route("GET", "/v1/me", 200, R"({"id":"a"})");
    for (const QString& pasted :
        {token + u'\n', QStringLiteral("test\r\nX-Evil: 1"), token + u'\t', token + QChar(0x2028)}) {
        EXPECT_EQ(
            failureOf([&] { runTask(api().request<Item>("me", {}, pasted)); }), ServiceFailure::rejected());
    }
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(RequestPath, StatusRules)
{
    int asked = 0;
    ServiceAPI judged = api();
    judged.rejects = [&asked](const QJsonObject& body) {
        ++asked;
        return body.value("code").toString() == "bad_token";
    };

    server.route("GET", "/v1/a", 401, R"({"code":"fine"})");
    EXPECT_EQ(failureOf([&] { runTask(judged.request<Item>("a", {}, token)); }), ServiceFailure::rejected());
    EXPECT_EQ(asked, 0) << "401 never asks the client's test";

    server.route("GET", "/v1/b", 403, R"({"code":"bad_token","message":"no"})");
    EXPECT_EQ(failureOf([&] { runTask(judged.request<Item>("b", {}, token)); }), ServiceFailure::rejected());

    server.route("GET", "/v1/c", 403, R"({"code":"scope","message":"Resource not accessible"})");
    EXPECT_EQ(failureOf([&] { runTask(judged.request<Item>("c", {}, token)); }),
        ServiceFailure::refused(403, "Resource not accessible"));

    server.route("GET", "/v1/d", CannedReply::text(500, "<html><body>oops</body></html>"));
    EXPECT_EQ(failureOf([&] { runTask(judged.request<Item>("d", {}, token)); }),
        ServiceFailure::refused(500, "No explanation given"));

    server.route("GET", "/v1/e", 299, R"({"id":"edge"})");
    EXPECT_EQ(runTask(api().request<Item>("e", {}, token)).id, "edge");

    server.route("GET", "/v1/f", 300, R"({"error":{"message":"choose"}})");
    EXPECT_EQ(failureOf([&] { runTask(api().request<Item>("f", {}, token)); }),
        ServiceFailure::refused(300, "choose"));

    // send() judges the status the same way and ignores a 2xx body.
    server.route("POST", "/v1/g", 202, "not json at all");
    runTask(api().send("g", {}, QStringLiteral("POST"), std::nullopt, token));
    server.route("POST", "/v1/h", 404, R"({"message":"Not Found"})");
    EXPECT_EQ(failureOf([&] { runTask(api().send("h", {}, QStringLiteral("POST"), std::nullopt, token)); }),
        ServiceFailure::refused(404, "Not Found"));
}

TEST_F(RequestPath, EmptyNullAndForeignBodies)
{
    server.route("GET", "/v1/empty", 204, "");
    EXPECT_THROW(runTask(api().request<Item>("empty", {}, token)), DecodingFailure);
    runTask(api().send("empty", {}, std::nullopt, std::nullopt, token));

    server.route("GET", "/v1/null", 200, "null");
    EXPECT_EQ(runTask(api().request<std::optional<Item>>("null", {}, token)), std::nullopt);
    EXPECT_THROW(runTask(api().request<Item>("null", {}, token)), DecodingFailure);

    server.route("GET", "/v1/html", CannedReply::text(200, "<!doctype html><p>maintenance</p>"));
    EXPECT_THROW(runTask(api().request<std::optional<Item>>("html", {}, token)), DecodingFailure);

    // Snake-case replies fill camelCase fields.
    server.route("GET", "/v1/snake", 200, R"({"id":"s","per_page":30})");
    ServiceAPI snake = api();
    snake.readsSnakeCase = true;
    EXPECT_EQ(runTask(snake.request<Item>("snake", {}, token)).perPage, 30);
    EXPECT_EQ(runTask(api().request<Item>("snake", {}, token)).perPage, std::nullopt);
}

TEST_F(RequestPath, TransportReturnsEveryStatusAndThrowsOnlyWithoutReply)
{
    server.route("GET", "/missing", CannedReply::text(404, "<h1>Not here</h1>"));
    HTTPRequest request;
    request.url = server.url(QStringLiteral("/missing"));
    const HTTPResponse response = runTask(http->data(request));
    EXPECT_EQ(response.status, 404);
    EXPECT_EQ(response.body, "<h1>Not here</h1>");

    // Qt files statuses such as 400, 405 and 409 under its protocol errors; they are replies all the same.
    for (int status : {400, 405, 409, 422}) {
        server.route("GET", "/protocol", CannedReply::text(status, "{}"));
        request.url = server.url(QStringLiteral("/protocol"));
        EXPECT_EQ(runTask(http->data(request)).status, status);
    }

    // Only http and https are fetched.
    request.url = QUrl::fromLocalFile(QStringLiteral(BRENVO_SOURCE_DIR "/README.md"));
    EXPECT_EQ(transportKindOf([&] { runTask(http->data(request)); }), TransportFailure::Kind::unsupportedURL);
    ServiceAPI local = api();
    local.baseURL = QUrl(QStringLiteral("file:///etc"));
    EXPECT_EQ(transportKindOf([&] { runTask(local.request<Item>("passwd", {}, token)); }),
        TransportFailure::Kind::unsupportedURL);

    // A port nobody listens on.
    quint16 closedPort;
    {
        LoopbackServer gone;
        closedPort = gone.port();
    }
    request.url = QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort));
    EXPECT_EQ(transportKindOf([&] { runTask(http->data(request)); }), TransportFailure::Kind::cannotConnect);
}

TEST_F(RequestPath, MisbehavingServersEndInTransportFailures)
{
    ServiceAPI quick = api();
    quick.timeout = 300ms;
    quick.deadline = 800ms;

    server.route("GET", "/v1/hang", CannedReply::hanging());
    EXPECT_EQ(transportKindOf([&] { runTask(quick.request<Item>("hang", {}, token)); }),
        TransportFailure::Kind::timedOut);

    // A byte every 100 ms never trips the idle timeout; the deadline ends it.
    server.route("GET", "/v1/trickle", CannedReply::slow(QByteArray(100, ' ') + R"({"id":"late"})", 100ms));
    EXPECT_EQ(transportKindOf([&] { runTask(quick.request<Item>("trickle", {}, token)); }),
        TransportFailure::Kind::deadlineExceeded);

    server.route("GET", "/v1/drop", CannedReply::dropped());
    EXPECT_EQ(transportKindOf([&] { runTask(quick.request<Item>("drop", {}, token)); }),
        TransportFailure::Kind::connectionLost);
    server.route("GET", "/v1/half", CannedReply::dropped(true));
    EXPECT_EQ(transportKindOf([&] { runTask(quick.request<Item>("half", {}, token)); }),
        TransportFailure::Kind::connectionLost);

    quick.maxBodyBytes = 64 * 1024;
    server.route("GET", "/v1/huge", CannedReply::huge(4 * 1024 * 1024));
    EXPECT_EQ(transportKindOf([&] { runTask(quick.request<Item>("huge", {}, token)); }),
        TransportFailure::Kind::tooLarge);
    server.route("GET", "/v1/endless", CannedReply::huge(4 * 1024 * 1024, false));
    EXPECT_EQ(transportKindOf([&] { runTask(quick.request<Item>("endless", {}, token)); }),
        TransportFailure::Kind::tooLarge);

    // The transport is still good for the next request.
    server.route("GET", "/v1/ok", 200, R"({"id":"ok"})");
    EXPECT_EQ(runTask(quick.request<Item>("ok", {}, token)).id, "ok");
}

TEST_F(RequestPath, TokenNeverFollowsARedirectToAnotherOrigin)
{
    LoopbackServer other;
    other.route("GET", "/steal", 200, R"({"id":"stolen"})");
    server.route("GET", "/v1/away", CannedReply::redirect(other.url(QStringLiteral("/steal"))));
    EXPECT_EQ(failureOf([&] { runTask(api().request<Item>("away", {}, token)); }).status(), 302);
    EXPECT_TRUE(other.requests().empty());

    // Within the origin the redirect is followed, credential and all.
    server.route("GET", "/v1/old", CannedReply::redirect(server.url(QStringLiteral("/v1/new")), 301));
    server.route("GET", "/v1/new", 200, R"({"id":"moved"})");
    EXPECT_EQ(runTask(api().request<Item>("old", {}, token)).id, "moved");
    EXPECT_EQ(server.requests("GET", "/v1/new").at(0).header("Authorization"), "Bearer " + token.toUtf8());

    // A request without a credential may go elsewhere, and a loop ends.
    HTTPRequest plain;
    plain.url = server.url(QStringLiteral("/v1/away"));
    EXPECT_EQ(runTask(http->data(plain)).status, 200);
    ASSERT_EQ(other.requests().size(), 1u);
    EXPECT_FALSE(other.requests().at(0).hasHeader("Authorization"));
    server.route("GET", "/loop", CannedReply::redirect(server.url(QStringLiteral("/loop"))));
    plain.url = server.url(QStringLiteral("/loop"));
    EXPECT_EQ(runTask(http->data(plain)).status, 302);
    EXPECT_EQ(server.count("/loop"), 9);
}

TEST_F(RequestPath, GetWithTokenIsConditional)
{
    int full = 0;
    server.handle("GET", "/v1/runs", [&full](const RecordedRequest& r) {
        if (r.header("If-None-Match") == "\"v1\"")
            return CannedReply::json(304, {});
        ++full;
        return CannedReply::json(200, R"({"id":"run-1"})").with("ETag", "\"v1\"");
    });
    EXPECT_EQ(runTask(api().request<Item>("runs", {}, token)).id, "run-1");
    EXPECT_EQ(runTask(api().request<Item>("runs", {}, token)).id, "run-1");
    EXPECT_EQ(full, 1);
    EXPECT_EQ(server.requests().at(1).header("If-None-Match"), "\"v1\"");

    // Another token, or no token at all, never gets the remembered body.
    EXPECT_EQ(runTask(api().request<Item>("runs", {}, QStringLiteral("other-token-not-real"))).id, "run-1");
    EXPECT_FALSE(server.requests().at(2).hasHeader("If-None-Match"));
    HTTPRequest plain;
    plain.url = server.url(QStringLiteral("/v1/runs"));
    runTask(http->data(plain));
    runTask(http->data(plain));
    EXPECT_FALSE(server.requests().back().hasHeader("If-None-Match"));
    EXPECT_EQ(full, 4);

    // Without conditional requests every GET is whole.
    auto fresh
        = std::make_shared<NetworkHTTPClient>(NetworkHTTPClient::Options {.conditionalRequests = false});
    ServiceAPI unconditional = api();
    unconditional.http = fresh;
    runTask(unconditional.request<Item>("runs", {}, token));
    runTask(unconditional.request<Item>("runs", {}, token));
    EXPECT_EQ(full, 6);
    EXPECT_EQ(fresh->cachedReplies(), 0);
}

TEST_F(RequestPath, ConditionalCacheStaysBounded)
{
    server.handle("GET", "/v1/page", [](const RecordedRequest& r) {
        return CannedReply::json(200, R"({"id":")" + r.query + R"("})").with("ETag", "\"" + r.query + "\"");
    });
    auto small = std::make_shared<NetworkHTTPClient>(NetworkHTTPClient::Options {.cacheEntries = 3});
    ServiceAPI paged = api();
    paged.http = small;
    for (int page = 0; page < 6; ++page) {
        const ServiceAPI::Query q {{"page", QString::number(page)}};
        runTask(paged.request<Item>("page", q, token));
    }
    EXPECT_EQ(small->cachedReplies(), 3);
}

TEST_F(RequestPath, StatusZeroIsARefusal)
{
    // A transport that answers without HTTP: status 0 is a refusal like any other.
    auto fake = std::make_shared<FakeHTTPClient>();
    fake->otherwise = HTTPResponse {"plain bytes", 0};
    ServiceAPI odd = api();
    odd.http = fake;
    EXPECT_EQ(failureOf([&] { runTask(odd.request<Item>("x", {}, token)); }),
        ServiceFailure::refused(0, "No explanation given"));
}

TEST_F(RequestPath, ATransportGoneMidRequestEndsItsRequests)
{
    server.route("GET", "/slow", CannedReply::hanging());
    auto transport = std::make_unique<NetworkHTTPClient>();
    HTTPRequest request;
    request.url = server.url(QStringLiteral("/slow"));
    QCoro::Task<HTTPResponse> pending = transport->data(request);
    transport.reset();
    EXPECT_EQ(transportKindOf([&] { runTask(std::move(pending), 5s); }), TransportFailure::Kind::cancelled);
}

} // namespace
