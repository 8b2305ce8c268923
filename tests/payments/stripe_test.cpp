// The Stripe client through the real transport against the loopback server.
#include "payments/PaymentsTestKit.h"
#include "payments/StripeClient.h"

#include <gtest/gtest.h>

using namespace brenvo;
using namespace brenvo::test;
using State = Payment::State;

namespace {

class StripeTest : public ::testing::Test {
protected:
    LoopbackServer server;
    std::shared_ptr<NetworkHTTPClient> http = std::make_shared<NetworkHTTPClient>();
    StripeClient client {http, server.url("/v1")};

    PaymentAccountInfo account() { return runTask(client.account(fakeKey)); }
    PaymentAccountInfo accountFrom(const char* body)
    {
        server.route("GET", "/v1/account", 200, body);
        return account();
    }
    QList<Payment> payments(int limit) { return runTask(client.payments(fakeKey, {}, limit)); }
    void serveCharges() { server.route("GET", "/v1/charges", 200, paymentsFixture("stripe/charges.json")); }
};

TEST_F(StripeTest, AccountIsNamedByTheDashboardThenTheBusiness)
{
    EXPECT_EQ(StripeClient(nullptr).baseURL, QUrl("https://api.stripe.com/v1"));
    server.route("GET", "/v1/account", 200, paymentsFixture("stripe/account.json"));
    EXPECT_EQ(account(),
        (PaymentAccountInfo {QStringLiteral("Quill"), QStringLiteral("https://quill.example.com"), {}, {}}));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests().front().target, "/v1/account");
    EXPECT_EQ(server.requests().front().header("Authorization"), QByteArray("Bearer test-key-not-real"));

    EXPECT_EQ(accountFrom(R"({"settings":{"dashboard":{"display_name":""}},
        "business_profile":{"name":"Quill Studio Ltd","url":"quill.example.com"}})"),
        (PaymentAccountInfo {
            QStringLiteral("Quill Studio Ltd"), QStringLiteral("quill.example.com"), {}, {}}));
    EXPECT_EQ(accountFrom(R"({"settings":{"dashboard":null},"business_profile":{"name":"","url":""}})"),
        PaymentAccountInfo {});
    EXPECT_EQ(accountFrom(R"({"id":"acct_1QuillExample","object":"account"})"), PaymentAccountInfo {});
    // Only web addresses count as a site.
    for (const char* url : {"javascript:alert(1)", "ftp://files.example.com", "mailto:owner@example.com",
             "https://user@quill.example.com"}) {
        SCOPED_TRACE(url);
        const QByteArray body = R"({"business_profile":{"url":")" + QByteArray(url) + R"("}})";
        EXPECT_EQ(accountFrom(body.constData()).site, std::nullopt);
    }

    // It fails only for a refused key.
    expectAccountFailuresGiveNothing(server, "/v1/account", [this] { return client.account(fakeKey); });
    // A member of the wrong type spoils the reply, not the call.
    EXPECT_EQ(accountFrom(R"({"settings":{"dashboard":{"display_name":7}}})"), PaymentAccountInfo {});
    // A key that cannot travel in a header is refused before anything is sent.
    server.clearRequests();
    EXPECT_TRUE(failureOf<ServiceFailure>(client.account(fakeKey + "\n"))->isRejected());
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(StripeTest, ChargesBecomePaymentsInStripesOrder)
{
    serveCharges();
    const auto list = payments(10);
    EXPECT_EQ(server.count("/v1/account"), 0);

    ASSERT_EQ(list.size(), 6);
    EXPECT_EQ(statesOf(list),
        (QList<State> {State::succeeded, State::refunded, State::disputed, State::failed, State::pending,
            State::succeeded}));

    EXPECT_EQ(list[0].currency, "USD");
    EXPECT_EQ(list[0].date, QDateTime::fromSecsSinceEpoch(1714561200, Qt::UTC));
    EXPECT_EQ(list[0].method, "Visa \u2022\u2022\u2022\u2022 4242");
    EXPECT_EQ(list[0].reference, "1042-7731");
    EXPECT_EQ(list[0].url, QUrl("https://dashboard.stripe.com/payments/pi_3PaidExample0001"));

    // Refunded in full: no name given, the receipt address stands in; the card's country too.
    const Payment& refunded = list[1];
    EXPECT_EQ(refunded.customerName, std::nullopt);
    EXPECT_EQ(refunded.customerEmail, "jonah@example.org");
    EXPECT_EQ(refunded.country, "DE");
    EXPECT_EQ(refunded.note, std::nullopt);

    // Empty texts are no texts.
    const Payment& disputed = list[2];
    EXPECT_EQ(disputed.customerName, std::nullopt);
    EXPECT_EQ(disputed.description, std::nullopt);

    // A declined test-mode charge without an intent: the decline reason, the charge's own test page.
    const Payment& failed = list[3];
    EXPECT_EQ(failed.note, "Your card was declined.");
    EXPECT_EQ(failed.url, QUrl("https://dashboard.stripe.com/test/payments/ch_3FailedExample04"));

    EXPECT_EQ(list[4].method, "SEPA Direct Debit \u2022\u2022\u2022\u2022 3000");

    const Payment& partly = list[5];
    EXPECT_EQ(partly.note, "Partially refunded");
    EXPECT_EQ(partly.method, "PayPal");
    EXPECT_EQ(partly.currency, "JPY");
    EXPECT_EQ(partly.amount, 5000);
    expectAtMostTheLimit(server, [this](int limit) { return client.payments(fakeKey, {}, limit); });
}

TEST_F(StripeTest, StateOfAChargeFollowsItsFlags)
{
    const auto stateOf = [this](const char* status, bool refunded, bool disputed) {
        const QByteArray body
            = QByteArray(R"({"object":"list","data":[{"id":"ch_1","amount":100,"currency":"usd",)")
            + R"("created":1714561200,"status":")" + status + R"(","refunded":)"
            + (refunded ? "true" : "false") + R"(,"disputed":)" + (disputed ? "true" : "false") + "}]}";
        server.route("GET", "/v1/charges", 200, body);
        return payments(3).at(0).state;
    };
    EXPECT_EQ(stateOf("succeeded", true, true), State::disputed);
    EXPECT_EQ(stateOf("failed", false, true), State::failed);
    EXPECT_EQ(stateOf("pending", true, false), State::pending);
    EXPECT_EQ(stateOf("requires_review", false, false), State::pending);
}

TEST_F(StripeTest, PaymentFailuresComeThroughUnchanged)
{
    const auto ask = [this] { return client.payments(fakeKey, {}, 3); };
    expectPaymentFailuresUnchanged(server, "/v1/charges", ask);

    const auto failing
        = [&](const char* charge) { return decodingFailureOf(server, "/v1/charges", "data", charge, ask); };
    EXPECT_EQ(failing(R"({"id":"ch_1","currency":"usd","status":"succeeded","created":1})")->path(),
        "data[0].amount");
    EXPECT_EQ(failing(R"({"id":"ch_1","amount":"29.00","currency":"usd","status":"succeeded","created":1})")
                  ->kind(),
        DecodingFailure::Kind::typeMismatch);
    const auto farFuture = failing(
        R"({"id":"ch_1","amount":1,"currency":"usd","status":"succeeded","created":9000000000000000})");
    EXPECT_EQ(farFuture->path(), "data[0].created");
}

TEST_F(StripeTest, ACallOutlivesItsClient)
{
    serveCharges();
    auto client = std::make_unique<StripeClient>(http, server.url("/v1"));
    auto call = client->payments(fakeKey, {}, 2);
    client.reset();
    EXPECT_EQ(runTask(std::move(call)).size(), 2);
}

} // namespace
