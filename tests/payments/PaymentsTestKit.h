#pragma once

// What the Stripe and Polar client tests share: the key, the fixtures, and the failure rules that
// both clients follow.
#include "http/ServiceAPI.h"
#include "model/Payment.h"
#include "sources/SourcesTestKit.h"

#include <functional>

namespace brenvo::test {

inline const QString fakeKey = QStringLiteral("test-key-not-real");

inline QByteArray paymentsFixture(const char* name)
{
    return LoopbackServer::fixture(QStringLiteral("payments/fixtures/") + QString::fromLatin1(name));
}

// The states of a list, in order.
inline QList<Payment::State> statesOf(const QList<Payment>& payments)
{
    QList<Payment::State> out;
    for (const auto& payment : payments)
        out.append(payment.state);
    return out;
}

// An account lookup fails only for a refused key: every other misbehaviour of the server on path
// gives an account with nothing known.
inline void expectAccountFailuresGiveNothing(LoopbackServer& server, const QByteArray& path,
    const std::function<QCoro::Task<PaymentAccountInfo>()>& ask)
{
    server.route("GET", path, 401, R"({"error":{"message":"Invalid API Key provided"}})");
    EXPECT_TRUE(failureOf<ServiceFailure>(ask())->isRejected());

    const std::vector<std::pair<const char*, CannedReply>> others {
        {"forbidden", CannedReply::json(403, R"({"error":{"message":"Missing permission"}})")},
        {"server error", CannedReply::json(500, "{}")},
        {"not JSON", CannedReply::text(200, "<html>maintenance</html>")},
        {"an array", CannedReply::json(200, "[]")},
        {"dropped", CannedReply::dropped()},
        {"dropped mid-body", CannedReply::dropped(true)},
    };
    for (const auto& [name, reply] : others) {
        SCOPED_TRACE(name);
        server.route("GET", path, reply);
        EXPECT_EQ(runTask(ask()), PaymentAccountInfo {});
    }
}

// A payments call passes every failure on as it came, a refusal without the key in its message.
inline void expectPaymentFailuresUnchanged(
    LoopbackServer& server, const QByteArray& path, const std::function<QCoro::Task<QList<Payment>>()>& ask)
{
    server.route("GET", path, 401, R"({"error":{"message":"Expired"}})");
    EXPECT_TRUE(failureOf<ServiceFailure>(ask())->isRejected());

    server.route("GET", path, 503, R"({"error":{"message":"Try again later","type":"api_error"}})");
    EXPECT_EQ(
        failureOf<ServiceFailure>(ask()), ServiceFailure::refused(503, QStringLiteral("Try again later")));

    server.route("GET", path, 400, R"({"detail":"Unknown key test-key-not-real for this account"})");
    EXPECT_EQ(failureOf<ServiceFailure>(ask()),
        ServiceFailure::refused(400, QStringLiteral("Unknown key \u2026 for this account")));

    server.route("GET", path, CannedReply::text(200, "<html>maintenance</html>"));
    EXPECT_EQ(failureOf<DecodingFailure>(ask())->kind(), DecodingFailure::Kind::dataCorrupted);
    server.route("GET", path, 200, "[]");
    EXPECT_EQ(failureOf<DecodingFailure>(ask())->kind(), DecodingFailure::Kind::typeMismatch);
    server.route("GET", path, CannedReply::dropped());
    EXPECT_TRUE(failureOf<TransportFailure>(ask()));
}

// Reads a reply whose list under listKey holds the one element, and gives back how that failed.
inline std::optional<DecodingFailure> decodingFailureOf(LoopbackServer& server, const QByteArray& path,
    const char* listKey, const char* element, const std::function<QCoro::Task<QList<Payment>>()>& ask)
{
    server.route("GET", path, 200, "{\"" + QByteArray(listKey) + "\":[" + QByteArray(element) + "]}");
    return failureOf<DecodingFailure>(ask());
}

// The list is cut to the limit whatever the server sends (it must send more than two), the limit
// asked for is capped at a page of 100, and no limit asks nothing.
inline void expectAtMostTheLimit(
    LoopbackServer& server, const std::function<QCoro::Task<QList<Payment>>(int)>& ask)
{
    const auto all = runTask(ask(10));
    ASSERT_GT(all.size(), 2);
    EXPECT_EQ(queryOf(server.requests().back()).value("limit"), "10");

    EXPECT_EQ(runTask(ask(2)), all.mid(0, 2));
    EXPECT_EQ(queryOf(server.requests().back()).value("limit"), "2");
    runTask(ask(1000));
    EXPECT_EQ(queryOf(server.requests().back()).value("limit"), "100");

    server.clearRequests();
    EXPECT_TRUE(runTask(ask(0)).isEmpty());
    EXPECT_TRUE(runTask(ask(-1)).isEmpty());
    EXPECT_TRUE(server.requests().empty());
}

} // namespace brenvo::test
