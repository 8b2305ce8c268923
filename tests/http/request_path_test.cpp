// The request path through the real transport against the loopback server.
#include "http/NetworkHTTPClient.h"
#include "http/ServiceAPI.h"
#include "support/FakeHTTPClient.h"
#include "support/LoopbackServer.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QLocale>

using namespace brenvo;
using namespace brenvo::test;
using namespace std::chrono_literals;

namespace {

const QString token = QStringLiteral("test-token-not-real");

struct Item {
    QString id;
    static Item fromJson(const JsonObject& o) { return {o.required<QString>("id")}; }
};

// What run gives, in words: its own text or "done", "rejected", "refused <status>: <message>", "undecodable",
// or the name of the transport failure.
template <typename F> std::string outcome(F&& run)
{
    try {
        if constexpr (std::is_void_v<decltype(run())>) {
            run();
            return "done";
        } else {
            return run();
        }
    } catch (const ServiceFailure& f) {
        return f.isRejected()
            ? "rejected"
            : QStringLiteral("refused %1: %2").arg(f.status()).arg(f.message()).toStdString();
    } catch (const TransportFailure& f) {
        return TransportFailure::name(f.kind());
    } catch (const DecodingFailure&) {
        return "undecodable";
    }
}

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
    // A GET through a, as "id <id>" or its failure.
    static std::string get(const ServiceAPI& a, const QString& path, const QString& key = token)
    {
        return outcome([&] { return "id " + runTask(a.request<Item>(path, {}, key)).id.toStdString(); });
    }
    // A plain request through the transport, as "status <status>" or its failure.
    std::string fetch(const QUrl& url)
    {
        HTTPRequest request;
        request.url = url;
        return outcome([&] { return "status " + std::to_string(runTask(http->data(request)).status); });
    }
};

TEST_F(RequestPath, AddressIsSortedAndPercentEncodedOnTheWire)
{
    // Separators and "+" inside a value stay data, never new items or spaces.
    server.route("GET", "/v1/items", 200, R"({"id":"a"})");
    const ServiceAPI::Query tricky {{"q", "a b&c=d+e#f%g/h:i"}, {"é", "ü"}, {"branch", "main"}};
    runTask(api().request<Item>("items", tricky, token));
    EXPECT_EQ(only().query, "branch=main&q=a%20b%26c%3Dd%2Be%23f%25g/h:i&%C3%A9=%C3%BC");

    server.clearRequests();
    server.route("GET", "/v1/a%20b%3Fc/%C3%A9%25%3Bv", 200, R"({"id":"a"})");
    EXPECT_EQ(get(api(), "a b?c/é%;v"), "id a");
    EXPECT_EQ(only().target, "/v1/a%20b%3Fc/%C3%A9%25%3Bv");
}

TEST_F(RequestPath, MethodBodyAndCredentialHeaders)
{
    server.route("POST", "/v1/hooks", 200, R"({"id":"a"})");
    const QJsonObject body {{"ref", "main"}, {"n", 2}};
    runTask(api().request<Item>("hooks", {}, std::nullopt, body, token));
    const RecordedRequest sent = only();
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.header("Content-Type"), "application/json");
    EXPECT_EQ(sent.body, QJsonDocument(body).toJson(QJsonDocument::Compact));
    EXPECT_EQ(sent.header("Authorization"), "Bearer " + token.toUtf8());
    EXPECT_TRUE(sent.header("User-Agent").value_or("").startsWith("Brenvo/"));

    // POST without a body: an explicit empty length and no content type of anyone's choosing.
    server.clearRequests();
    runTask(api().send("hooks", {}, QStringLiteral("POST"), std::nullopt, token));
    EXPECT_EQ(only().header("Content-Length"), "0");
    EXPECT_FALSE(only().hasHeader("Content-Type"));

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
        EXPECT_EQ(get(api(), "me", pasted), "rejected");
    }
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(RequestPath, StatusAndBodyRules)
{
    int asked = 0;
    ServiceAPI judged = api();
    judged.rejects = [&asked](const QJsonObject& body) {
        ++asked;
        return body.value("code").toString() == "bad_token";
    };
    server.route("GET", "/v1/a", 401, R"({"code":"fine"})");
    EXPECT_EQ(get(judged, "a"), "rejected");
    EXPECT_EQ(asked, 0) << "401 never asks the client's test";

    const std::vector<std::tuple<QString, CannedReply, std::string>> cases {
        {"b", CannedReply::json(403, R"({"code":"bad_token","message":"no"})"), "rejected"},
        {"c", CannedReply::json(403, R"({"code":"scope","message":"Resource not accessible"})"),
            "refused 403: Resource not accessible"},
        {"d", CannedReply::text(500, "<html><body>oops</body></html>"), "refused 500: No explanation given"},
        {"e", CannedReply::json(299, R"({"id":"edge"})"), "id edge"},
        {"f", CannedReply::json(300, R"({"error":{"message":"choose"}})"), "refused 300: choose"},
        {"empty", CannedReply::json(204, ""), "undecodable"},
        {"null", CannedReply::json(200, "null"), "undecodable"},
        {"html", CannedReply::text(200, "<!doctype html><p>maintenance</p>"), "undecodable"},
    };
    for (const auto& [path, reply, expected] : cases) {
        server.route("GET", "/v1/" + path.toUtf8(), reply);
        EXPECT_EQ(get(judged, path), expected) << path.toStdString();
    }
    EXPECT_EQ(runTask(api().request<std::optional<Item>>("null", {}, token)), std::nullopt);
    EXPECT_THROW(runTask(api().request<std::optional<Item>>("html", {}, token)), DecodingFailure);

    // send() judges the status the same way and ignores a 2xx body.
    runTask(api().send("empty", {}, std::nullopt, std::nullopt, token));
    server.route("POST", "/v1/g", 202, "not json at all");
    runTask(api().send("g", {}, QStringLiteral("POST"), std::nullopt, token));
    EXPECT_EQ(outcome([&] { runTask(api().send("f", {}, std::nullopt, std::nullopt, token)); }),
        "refused 300: choose");

    // A transport that answers without HTTP: status 0 is a refusal like any other.
    ServiceAPI odd = api();
    odd.http = std::make_shared<FakeHTTPClient>();
    static_cast<FakeHTTPClient&>(*odd.http).otherwise = HTTPResponse {"plain bytes", 0};
    EXPECT_EQ(get(odd, "x"), "refused 0: No explanation given");
    EXPECT_FALSE(QByteArray(ServiceFailure::refused(500, "secret server text").what()).contains("secret"));
}

TEST_F(RequestPath, TransportReturnsEveryStatusAndThrowsOnlyWithoutReply)
{
    // Qt files statuses such as 400, 405 and 409 under its protocol errors; they are replies all the same.
    for (int status : {400, 404, 405, 409, 422}) {
        server.route("GET", "/protocol", CannedReply::text(status, "<h1>Not here</h1>"));
        EXPECT_EQ(fetch(server.url(QStringLiteral("/protocol"))), "status " + std::to_string(status));
    }

    // Only http and https are fetched.
    EXPECT_EQ(fetch(QUrl::fromLocalFile(QStringLiteral(BRENVO_SOURCE_DIR "/README.md"))), "unsupported URL");
    ServiceAPI local = api();
    local.baseURL = QUrl(QStringLiteral("file:///etc"));
    EXPECT_EQ(get(local, "passwd"), "unsupported URL");

    // A port nobody listens on.
    const quint16 closedPort = LoopbackServer().port();
    EXPECT_EQ(fetch(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort))), "cannot connect to host");
}

TEST_F(RequestPath, MisbehavingServersEndInTransportFailures)
{
    ServiceAPI quick = api();
    quick.timeout = 300ms;
    quick.deadline = 800ms;
    quick.maxBodyBytes = 64 * 1024;
    // A byte every 100 ms never trips the idle timeout; the deadline ends it. After all that the
    // transport is still good for the next request.
    const std::vector<std::tuple<QString, CannedReply, std::string>> cases {
        {"hang", CannedReply::hanging(), "timed out"},
        {"trickle", CannedReply::slow(QByteArray(100, ' ') + R"({"id":"late"})", 100ms), "deadline exceeded"},
        {"drop", CannedReply::dropped(), "connection lost"},
        {"half", CannedReply::dropped(true), "connection lost"},
        {"huge", CannedReply::huge(4 * 1024 * 1024), "reply too large"},
        {"endless", CannedReply::huge(4 * 1024 * 1024, false), "reply too large"},
        {"gzip", CannedReply::json(200, R"({"id":"raw"})").with("Content-Encoding", "gzip"),
            "transfer failed"},
        {"ok", CannedReply::json(200, R"({"id":"ok"})"), "id ok"}};
    for (const auto& [path, reply, expected] : cases) {
        server.route("GET", "/v1/" + path.toUtf8(), reply);
        EXPECT_EQ(get(quick, path), expected) << path.toStdString();
    }
}

TEST_F(RequestPath, ASpentRateLimitSaysWhenItResets)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QByteArray inTenMinutes = QByteArray::number(now.toSecsSinceEpoch() + 600);
    const QByteArray limited = R"({"message":"API rate limit exceeded for user ID 1."})";
    const QByteArray httpDate
        = QLocale::c()
              .toString(now.addSecs(300), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"))
              .toLatin1();
    // Seconds from now to the reset, or -1 for none.
    const std::vector<std::tuple<CannedReply, int>> cases {
        {CannedReply::json(429, "{}").with("Retry-After", "120"), 120},
        {CannedReply::json(429, "{}").with("Retry-After", httpDate), 300},
        {CannedReply::json(429, "{}").with("RateLimit-Reset", "30"), 30},
        {CannedReply::json(403, limited)
                .with("X-RateLimit-Remaining", "0")
                .with("X-RateLimit-Reset", inTenMinutes),
            600},
        {CannedReply::json(429, "{}").with("Retry-After", "86400"), 3600},
        {CannedReply::json(429, "{}"), -1},
        {CannedReply::json(429, "{}").with("Retry-After", "Sun, 06 Nov 1994 08:49:37 GMT"), -1},
        {CannedReply::json(403, limited)
                .with("X-RateLimit-Remaining", "7")
                .with("X-RateLimit-Reset", inTenMinutes),
            -1},
        {CannedReply::json(403, R"({"message":"Forbidden"})").with("Retry-After", "60"), -1},
    };
    for (const auto& [reply, seconds] : cases) {
        server.route("GET", "/v1/limited", reply);
        try {
            runTask(api().request<Item>("limited", {}, token));
            ADD_FAILURE() << "no failure";
        } catch (const ServiceFailure& f) {
            EXPECT_EQ(f.retryAt().has_value(), seconds >= 0) << seconds;
            if (f.retryAt()) {
                EXPECT_NEAR(now.secsTo(*f.retryAt()), seconds, 2);
            }
        }
    }
}

TEST_F(RequestPath, TokenNeverFollowsARedirectToAnotherOrigin)
{
    LoopbackServer other;
    other.route("GET", "/steal", 200, R"({"id":"stolen"})");
    server.route("GET", "/v1/away", CannedReply::redirect(other.url(QStringLiteral("/steal"))));
    EXPECT_EQ(get(api(), "away").substr(0, 12), "refused 302:");
    EXPECT_TRUE(other.requests().empty());

    // Within the origin the redirect is followed, credential and all.
    server.route("GET", "/v1/old", CannedReply::redirect(server.url(QStringLiteral("/v1/new")), 301));
    server.route("GET", "/v1/new", 200, R"({"id":"moved"})");
    EXPECT_EQ(get(api(), "old"), "id moved");
    EXPECT_EQ(server.requests("GET", "/v1/new").at(0).header("Authorization"), "Bearer " + token.toUtf8());

    // A request without a credential may go elsewhere, and a loop ends.
    EXPECT_EQ(fetch(server.url(QStringLiteral("/v1/away"))), "status 200");
    ASSERT_EQ(other.requests().size(), 1u);
    EXPECT_FALSE(other.requests().at(0).hasHeader("Authorization"));
    server.route("GET", "/loop", CannedReply::redirect(server.url(QStringLiteral("/loop"))));
    EXPECT_EQ(fetch(server.url(QStringLiteral("/loop"))), "status 302");
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
    EXPECT_EQ(get(api(), "runs"), "id run-1");
    EXPECT_EQ(get(api(), "runs"), "id run-1");
    EXPECT_EQ(full, 1);
    EXPECT_EQ(server.requests().at(1).header("If-None-Match"), "\"v1\"");

    // Another token, or no token at all, never gets the remembered body.
    EXPECT_EQ(get(api(), "runs", QStringLiteral("other-token-not-real")), "id run-1");
    EXPECT_FALSE(server.requests().at(2).hasHeader("If-None-Match"));
    fetch(server.url(QStringLiteral("/v1/runs")));
    fetch(server.url(QStringLiteral("/v1/runs")));
    EXPECT_FALSE(server.requests().back().hasHeader("If-None-Match"));
    EXPECT_EQ(full, 4);

    // Without conditional requests every GET is whole.
    auto fresh
        = std::make_shared<NetworkHTTPClient>(NetworkHTTPClient::Options {.conditionalRequests = false});
    ServiceAPI unconditional = api();
    unconditional.http = fresh;
    get(unconditional, "runs");
    get(unconditional, "runs");
    EXPECT_EQ(full, 6);
    EXPECT_EQ(fresh->cachedReplies(), 0);

    // The cache stays bounded.
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

TEST_F(RequestPath, ATransportGoneMidRequestEndsItsRequests)
{
    server.route("GET", "/slow", CannedReply::hanging());
    auto transport = std::make_unique<NetworkHTTPClient>();
    HTTPRequest request;
    request.url = server.url(QStringLiteral("/slow"));
    QCoro::Task<HTTPResponse> pending = transport->data(request);
    transport.reset();
    EXPECT_EQ(outcome([&] { runTask(std::move(pending), 5s); }), "cancelled");
}

} // namespace
