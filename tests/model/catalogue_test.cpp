#include "support/QtPrinters.h"

#include "model/KitService.h"
#include "model/StripItem.h"

#include <QSet>
#include <gtest/gtest.h>

namespace brenvo {
namespace {

using K = KitService;
using S = StripItem;

QString joined(QString (K::*name)() const, bool (K::*only)() const = nullptr)
{
    QStringList out;
    for (K service : K::allCases()) {
        if (!only || (service.*only)())
            out.append((service.*name)());
    }
    return out.join(u',');
}

TEST(KitServiceCatalogue, NamesAndGroupsInDeclarationOrder)
{
    ASSERT_EQ(K::allCases().size(), 8u);
    EXPECT_EQ(
        joined(&K::rawValue), QStringLiteral("vercel,cloudflare,github,gitlab,stripe,polar,claude,codex"));
    EXPECT_EQ(joined(&K::displayName),
        QStringLiteral("Vercel,Cloudflare,GitHub,GitLab,Stripe,Polar,Claude Code,Codex"));
    EXPECT_EQ(joined(&K::serviceName),
        QStringLiteral("Vercel,Cloudflare,GitHub,GitLab,Stripe,Polar,Claude,OpenAI Codex"));
    EXPECT_EQ(joined(&K::apiName),
        QStringLiteral("Vercel,Cloudflare,GitHub,GitLab,Stripe,Polar,Claude API,OpenAI API"));
    EXPECT_EQ(joined(&K::section),
        QStringLiteral("Deployments,Deployments,Checks,Pipelines,Payments,Sales,Usage,Usage"));
    EXPECT_EQ(joined(&K::secretKey, &K::isPayment), QStringLiteral("kit.stripe,kit.polar"));
    EXPECT_EQ(joined(&K::rawValue, &K::isUsage), QStringLiteral("claude,codex"));

    for (K service : K::allCases())
        EXPECT_EQ(K::fromRaw(service.rawValue()), service);
    for (const char* wrong : {"Vercel", "vercel ", "", "claude-code", "kit.stripe"})
        EXPECT_EQ(K::fromRaw(QString::fromUtf8(wrong)), std::nullopt) << wrong;
}

TEST(StripItems, LimitHidesToolsBehindMore)
{
    for (int limit : {-3, 0, 1, 4})
        EXPECT_EQ(S::items({}, limit, false), QList<S> {S::settings()}) << limit;

    QList<K> five;
    QList<S> all;
    for (int i = 0; i < 5; ++i) {
        five.append(K::allCases()[static_cast<size_t>(i)]);
        all.append(S::service(five.last()));
    }
    all.append(S::settings());
    EXPECT_EQ(S::items(five, 2, false),
        (QList<S> {S::service(K::vercel), S::service(K::cloudflare), S::settings(), S::more()}));
    for (int limit : {-1, 0, 5, 9})
        EXPECT_EQ(S::items(five, limit, false), all) << limit;
    EXPECT_EQ(S::items(five, 2, true), all);

    EXPECT_EQ(S::more().tool(), std::nullopt);
    EXPECT_EQ((QSet<S> {S::more(), S::settings(), S::service(K::vercel), S::service(K::vercel)}).size(), 3);
}

} // namespace
} // namespace brenvo
