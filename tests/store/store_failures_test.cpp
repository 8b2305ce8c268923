#include "StoreFixture.h"

#include "http/HTTPClient.h"
#include "http/JsonReader.h"
#include "model/AppConfig.h"

using namespace brenvo;
using namespace brenvo::test;

namespace {

class Failures : public StoreTest { };

TEST_F(Failures, EveryKindOfFailureHasItsSentence)
{
    const QString app = AppConfig::main().name.isEmpty() ? u"App"_s : AppConfig::main().name;
    const QString unreachable = u"Cloudflare could not be reached. Check your internet connection."_s;
    const struct {
        std::exception_ptr failure;
        KitService service;
        QString text;
    } cases[] = {{refused(404, u"Not Found"_s), KitService::gitlab, u"GitLab answered 404: Not Found"_s},
        {refused(502, QString()), vercelKit, u"Vercel answered 502: "_s},
        {fail(ServiceFailure::explained(u"No builds."_s)), stripeKit, u"No builds."_s},
        {rejected(), KitService::polar, u"Polar did not accept the token."_s},
        {rejected(), stripeKit, u"Stripe did not accept the key."_s},
        {rejected(), KitService::codex, u"OpenAI Codex did not accept the key."_s},
        {fail(UsageFailure(u"Claude Code is not signed in."_s)), claudeKit,
            u"Claude Code is not signed in."_s},
        {std::make_exception_ptr(DecodingFailure(DecodingFailure::Kind::keyNotFound, u"id"_s, {})), vercelKit,
            u"Vercel answered with something "_s + app + u" does not understand."_s},
        {std::make_exception_ptr(TransportFailure(TransportFailure::Kind::timedOut)), KitService::cloudflare,
            unreachable},
        {std::make_exception_ptr(42), KitService::cloudflare, unreachable},
        {nullptr, KitService::cloudflare, unreachable}};
    for (const auto& c : cases)
        EXPECT_EQ(DevKitStore::failureText(c.failure, c.service), c.text);
}

TEST_F(Failures, OnlyARejectionIsRejectedAndEachFailureIsLoggedOnce)
{
    build();
    LogLines log;
    EXPECT_EQ(store->log(rejected(), githubKit), C::rejected());
    EXPECT_EQ(store->log(refused(401, u"Unauthorized"_s), githubKit),
        C::failing(u"GitHub answered 401: Unauthorized"_s));
    // A sentence with a percent sign is logged as it is, never used as a format.
    EXPECT_EQ(store->log(fail(ServiceFailure::explained(u"Quota at 100%s"_s)), vercelKit),
        C::failing(u"Quota at 100%s"_s));
    EXPECT_EQ(log.errors(),
        (QStringList {
            "GitHub did not accept the token.", "GitHub answered 401: Unauthorized", "Quota at 100%s"}));
    EXPECT_TRUE(log.info().isEmpty());
}

} // namespace
