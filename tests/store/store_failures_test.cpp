#include "StoreFixture.h"

#include "http/HTTPClient.h"
#include "http/JsonReader.h"
#include "model/AppConfig.h"

using namespace brenvo;
using namespace brenvo::test;

namespace {

template <typename E> std::exception_ptr error(E e)
{
    return std::make_exception_ptr(std::move(e));
}

TEST(FailureText, EveryKindOfFailureHasItsSentence)
{
    EXPECT_EQ(DevKitStore::failureText(
                  error(ServiceFailure::refused(404, QStringLiteral("Not Found"))), KitService::gitlab),
        QStringLiteral("GitLab answered 404: Not Found"));
    EXPECT_EQ(DevKitStore::failureText(error(ServiceFailure::refused(502, QString())), KitService::vercel),
        QStringLiteral("Vercel answered 502: "));
    const QString explained = QStringLiteral("The token may not read Workers builds.");
    for (auto s : KitService::allCases())
        EXPECT_EQ(DevKitStore::failureText(error(ServiceFailure::explained(explained)), s), explained);

    const auto rejected = error(ServiceFailure::rejected());
    EXPECT_EQ(DevKitStore::failureText(rejected, KitService::polar),
        QStringLiteral("Polar did not accept the token."));
    EXPECT_EQ(DevKitStore::failureText(rejected, KitService::stripe),
        QStringLiteral("Stripe did not accept the key."));
    EXPECT_EQ(DevKitStore::failureText(rejected, KitService::claude),
        QStringLiteral("Claude did not accept the key."));
    EXPECT_EQ(DevKitStore::failureText(rejected, KitService::codex),
        QStringLiteral("OpenAI Codex did not accept the key."));
    EXPECT_EQ(DevKitStore::failureText(rejected, KitService::github),
        QStringLiteral("GitHub did not accept the token."));

    EXPECT_EQ(DevKitStore::failureText(
                  error(UsageFailure(QStringLiteral("Claude Code is not signed in."))), KitService::claude),
        QStringLiteral("Claude Code is not signed in."));
    const QString app = AppConfig::main().name.isEmpty() ? QStringLiteral("App") : AppConfig::main().name;
    EXPECT_EQ(DevKitStore::failureText(
                  error(DecodingFailure(DecodingFailure::Kind::keyNotFound, QStringLiteral("id"), {})),
                  KitService::vercel),
        QStringLiteral("Vercel answered with something ") + app + QStringLiteral(" does not understand."));
    const QString unreachable
        = QStringLiteral("Cloudflare could not be reached. Check your internet connection.");
    EXPECT_EQ(DevKitStore::failureText(
                  error(TransportFailure(TransportFailure::Kind::timedOut)), KitService::cloudflare),
        unreachable);
    EXPECT_EQ(DevKitStore::failureText(error(42), KitService::cloudflare), unreachable);
    EXPECT_EQ(DevKitStore::failureText(nullptr, KitService::cloudflare), unreachable);
}

class FailureLog : public StoreTest { };

TEST_F(FailureLog, OnlyARejectionIsRejectedAndEachFailureIsLoggedOnce)
{
    build();
    LogLines log;
    EXPECT_EQ(store->log(error(ServiceFailure::rejected()), KitService::github), KitConnection::rejected());
    EXPECT_EQ(
        store->log(error(ServiceFailure::refused(401, QStringLiteral("Unauthorized"))), KitService::github),
        KitConnection::failing(QStringLiteral("GitHub answered 401: Unauthorized")));
    // A sentence with a percent sign is logged as it is, never used as a format.
    EXPECT_EQ(
        store->log(error(ServiceFailure::explained(QStringLiteral("Quota at 100%s"))), KitService::vercel),
        KitConnection::failing(QStringLiteral("Quota at 100%s")));
    EXPECT_EQ(log.errors(),
        (QStringList {
            "GitHub did not accept the token.", "GitHub answered 401: Unauthorized", "Quota at 100%s"}));
    EXPECT_TRUE(log.info().isEmpty());
}

} // namespace
