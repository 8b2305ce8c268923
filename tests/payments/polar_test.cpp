// The Polar client through the real transport against the loopback server.
#include "payments/PaymentsTestKit.h"
#include "payments/PolarClient.h"

#include <gtest/gtest.h>

using namespace brenvo;
using namespace brenvo::test;
using State = Payment::State;

namespace {

class PolarTest : public ::testing::Test {
protected:
    LoopbackServer server;
    std::shared_ptr<NetworkHTTPClient> http = std::make_shared<NetworkHTTPClient>();
    PolarClient client {http, server.url("/v1")};

    PaymentAccountInfo account() { return runTask(client.account(fakeKey)); }
    PaymentAccountInfo accountFrom(const char* organization)
    {
        server.route("GET", "/v1/organizations/", 200,
            R"({"items":[)" + QByteArray(organization) + R"(],"pagination":{"total_count":1,"max_page":1}})");
        return account();
    }
    QList<Payment> payments(std::optional<QString> handle, int limit = 10)
    {
        PaymentAccountInfo info;
        info.handle = std::move(handle);
        return runTask(client.payments(fakeKey, info, limit));
    }
    void serveOrders() { server.route("GET", "/v1/orders/", 200, paymentsFixture("polar/orders.json")); }
};

TEST_F(PolarTest, AccountIsTheFirstOrganization)
{
    EXPECT_EQ(PolarClient(nullptr).baseURL, QUrl("https://api.polar.sh/v1"));
    server.route("GET", "/v1/organizations/", 200, paymentsFixture("polar/organizations.json"));
    EXPECT_EQ(account(),
        (PaymentAccountInfo {QStringLiteral("Quill Studio"), QStringLiteral("https://quill.example.com"),
            QUrl("https://avatars.example.com/quill.png"), QStringLiteral("quill-studio")}));
    ASSERT_EQ(server.requests().size(), 1u);
    const auto& request = server.requests().front();
    EXPECT_EQ(request.path, "/v1/organizations/");
    EXPECT_EQ(queryOf(request), (QMap<QString, QString> {{"limit", "1"}}));
    EXPECT_EQ(request.header("Authorization"), QByteArray("Bearer test-key-not-real"));

    EXPECT_EQ(accountFrom(R"({"id":"o1","name":"","slug":"","avatar_url":"","website":""})"),
        PaymentAccountInfo {});
    EXPECT_EQ(accountFrom(R"js({"id":"o1","name":"Quill","slug":"quill","website":"quill.example.com",
        "avatar_url":"javascript:alert(1)"})js"),
        (PaymentAccountInfo {
            QStringLiteral("Quill"), QStringLiteral("quill.example.com"), {}, QStringLiteral("quill")}));
    EXPECT_EQ(accountFrom(R"({"id":"o1","website":"mailto:owner@example.com",
        "avatar_url":"ftp://avatars.example.com/q.png"})"),
        PaymentAccountInfo {});

    server.route(
        "GET", "/v1/organizations/", 200, R"({"items":[],"pagination":{"total_count":0,"max_page":0}})");
    EXPECT_EQ(account(), PaymentAccountInfo {});

    // It fails only for a refused key.
    expectAccountFailuresGiveNothing(
        server, "/v1/organizations/", [this] { return client.account(fakeKey); });
    EXPECT_EQ(accountFrom(R"({"id":"o1","name":["Quill"]})"), PaymentAccountInfo {});
}

TEST_F(PolarTest, OrdersBecomePaymentsNewestFirst)
{
    serveOrders();
    const auto list = payments(QStringLiteral("quill-studio"));
    EXPECT_EQ(queryOf(server.requests().at(0)),
        (QMap<QString, QString> {{"limit", "10"}, {"sorting", "-created_at"}}));
    EXPECT_EQ(server.count("/v1/organizations/"), 0);

    ASSERT_EQ(list.size(), 5);
    // Partly refunded money was still paid; an order from before states existed goes by its flag.
    EXPECT_EQ(statesOf(list),
        (QList<State> {
            State::succeeded, State::refunded, State::succeeded, State::pending, State::succeeded}));

    EXPECT_EQ(list[0].amount, 2900) << "with tax";
    EXPECT_EQ(list[0].currency, "USD");
    EXPECT_EQ(list[0].country, "GB") << "the order's address before the customer's";
    EXPECT_EQ(list[0].note, "Renewal");
    EXPECT_EQ(list[0].url,
        QUrl("https://polar.sh/dashboard/quill-studio/orders/0d7c2a5e-1f3b-4c8e-9a6d-000000000001"));

    EXPECT_EQ(list[1].country, "DE");
    EXPECT_EQ(list[1].note, std::nullopt);

    EXPECT_EQ(list[2].note, "Partially refunded");
    EXPECT_EQ(list[2].description, std::nullopt);
    EXPECT_EQ(list[3].note, "Subscription change");
    EXPECT_EQ(list[3].description, "Team");
    EXPECT_EQ(list[4].amount, 1500);
    EXPECT_EQ(list[4].customerEmail, std::nullopt);
    for (const auto& payment : list)
        EXPECT_EQ(payment.method, std::nullopt);

    // Dashboard links need the handle, escaped.
    for (const auto& payment : payments(std::nullopt) + payments(QString()))
        EXPECT_EQ(payment.url, std::nullopt);
    EXPECT_EQ(payments(QStringLiteral("quill/../admin?x"), 1).at(0).url,
        QUrl(
            "https://polar.sh/dashboard/quill%2F..%2Fadmin%3Fx/orders/0d7c2a5e-1f3b-4c8e-9a6d-000000000001"));
    expectAtMostTheLimit(server, [this](int limit) { return client.payments(fakeKey, {}, limit); });
}

TEST_F(PolarTest, PaymentFailuresComeThroughUnchanged)
{
    const auto ask = [this] { return client.payments(fakeKey, {}, 3); };
    expectPaymentFailuresUnchanged(server, "/v1/orders/", ask);

    const auto failing
        = [&](const char* order) { return decodingFailureOf(server, "/v1/orders/", "items", order, ask); };
    EXPECT_EQ(failing(R"({"id":"o1","created_at":"yesterday","total_amount":1,"currency":"usd"})")->path(),
        "items[0].created_at");
    EXPECT_EQ(failing(R"({"id":"o1","created_at":"2024-05-01T12:00:00Z","currency":"usd"})")->path(),
        "items[0].amount");
    EXPECT_EQ(failing(R"({"id":"o1","created_at":"2024-05-01T12:00:00Z","total_amount":1,"currency":"usd",
        "customer":"cust-1"})")
                  ->kind(),
        DecodingFailure::Kind::typeMismatch);
}

} // namespace
