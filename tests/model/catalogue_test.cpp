#include "Printers.h"

#include "model/KitService.h"
#include "model/StripItem.h"

#include <QHash>
#include <QSet>
#include <gtest/gtest.h>

#include <unordered_set>

namespace brenvo {
namespace {

using K = KitService;

TEST(KitServiceCatalogue, NameTablesInDeclarationOrder)
{
    struct Row {
        K service;
        const char* raw;
        const char* display;
        const char* sentence;
        const char* api;
        const char* title;
        const char* section;
    };
    const Row rows[] = {
        {K::vercel, "vercel", "Vercel", "Vercel", "Vercel", "Vercel", "Deployments"},
        {K::cloudflare, "cloudflare", "Cloudflare", "Cloudflare", "Cloudflare", "Cloudflare", "Deployments"},
        {K::github, "github", "GitHub", "GitHub", "GitHub", "GitHub", "Checks"},
        {K::gitlab, "gitlab", "GitLab", "GitLab", "GitLab", "GitLab", "Pipelines"},
        {K::stripe, "stripe", "Stripe", "Stripe", "Stripe", "Stripe", "Payments"},
        {K::polar, "polar", "Polar", "Polar", "Polar", "Polar", "Sales"},
        {K::claude, "claude", "Claude Code", "Claude", "Claude API", "Claude", "Usage"},
        {K::codex, "codex", "Codex", "OpenAI Codex", "OpenAI API", "OpenAI Codex", "Usage"},
    };
    ASSERT_EQ(K::allCases().size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(row.raw);
        EXPECT_EQ(K::allCases()[i], row.service);
        EXPECT_EQ(row.service.index(), static_cast<int>(i));
        EXPECT_EQ(row.service.rawValue(), QString::fromUtf8(row.raw));
        EXPECT_EQ(row.service.displayName(), QString::fromUtf8(row.display));
        EXPECT_EQ(row.service.serviceName(), QString::fromUtf8(row.sentence));
        EXPECT_EQ(row.service.apiName(), QString::fromUtf8(row.api));
        EXPECT_EQ(row.service.title(), QString::fromUtf8(row.title));
        EXPECT_EQ(row.service.section(), QString::fromUtf8(row.section));
        EXPECT_EQ(row.service.secretKey(), QStringLiteral("kit.") + QString::fromUtf8(row.raw));
    }
    EXPECT_EQ(K(K::stripe).secretKey(), QStringLiteral("kit.stripe"));
}

TEST(KitServiceCatalogue, GroupsFollowTheIndexMasks)
{
    for (K service : K::allCases()) {
        SCOPED_TRACE(service.rawValue().toStdString());
        const int bit = 1 << service.index();
        EXPECT_EQ(service.isActivity(), (bit & 15) != 0);
        EXPECT_EQ(service.isPayment(), (bit & 48) != 0);
        EXPECT_EQ(service.isUsage(), service.index() >= 6);
        EXPECT_EQ(int(service.isActivity()) + int(service.isPayment()) + int(service.isUsage()), 1);
    }
    EXPECT_TRUE(K(K::gitlab).isActivity());
    EXPECT_TRUE(K(K::polar).isPayment());
    EXPECT_TRUE(K(K::codex).isUsage());
}

TEST(KitServiceCatalogue, ConstructionFromRawValueIsExact)
{
    for (K service : K::allCases())
        EXPECT_EQ(K::fromRaw(service.rawValue()), service);
    for (const char* wrong : {"Vercel", "vercel ", " vercel", "", "GITHUB", "claude-code", "kit.stripe"})
        EXPECT_EQ(K::fromRaw(QString::fromUtf8(wrong)), std::nullopt) << wrong;
}

TEST(KitServiceCatalogue, OneByteHashableAndUsableAsKeys)
{
    static_assert(sizeof(K) == 1);
    EXPECT_EQ(qHash(K(K::github), 7), qHash(QStringLiteral("github"), 7));
    std::unordered_set<K> set(K::allCases().begin(), K::allCases().end());
    EXPECT_EQ(set.size(), 8u);
    QSet<K> qset {K::vercel, K::vercel, K::codex};
    EXPECT_EQ(qset.size(), 2);
    QMap<K, int> ordered {{K::codex, 1}, {K::vercel, 2}, {K::stripe, 3}};
    EXPECT_EQ(ordered.firstKey(), K::vercel);
    EXPECT_EQ(ordered.lastKey(), K::codex);
}

QList<K> firstServices(int n)
{
    QList<K> list;
    for (int i = 0; i < n; ++i)
        list.append(K::allCases()[static_cast<size_t>(i)]);
    return list;
}

TEST(StripItems, LimitHidesToolsBehindMore)
{
    using S = StripItem;
    const QList<K> defaults {K::vercel, K::github, K::stripe, K::claude};
    for (int limit : {-3, 0, 1, 4})
        EXPECT_EQ(S::items({}, limit, false), QList<S> {S::settings()}) << limit;

    EXPECT_EQ(S::items(defaults, 4, false),
        (QList<S> {S::service(K::vercel), S::service(K::github), S::service(K::stripe), S::service(K::claude),
            S::settings()}));
    const QList<K> five = firstServices(5);
    EXPECT_EQ(S::items(five, 2, false),
        (QList<S> {S::service(K::vercel), S::service(K::cloudflare), S::settings(), S::more()}));
    QList<S> all;
    for (K service : five)
        all.append(S::service(service));
    all.append(S::settings());
    EXPECT_EQ(S::items(five, 2, true), all);
    EXPECT_EQ(S::items(five, 0, false), all);
    EXPECT_EQ(S::items(five, -1, false), all);
    EXPECT_EQ(S::items(five, 5, false), all);
    EXPECT_EQ(S::items(five, 9, false), all);
    EXPECT_EQ(S::items(five, 4, false).size(), 6);
}

TEST(StripItems, EqualityHashAndPayload)
{
    using S = StripItem;
    static_assert(sizeof(S) == 1);
    EXPECT_EQ(S::service(K::polar), S::service(K::polar));
    EXPECT_NE(S::service(K::polar), S::service(K::stripe));
    EXPECT_NE(S::service(K::vercel), S::more());
    EXPECT_NE(S::more(), S::settings());
    EXPECT_EQ(S::service(K::codex).tool(), K::codex);
    EXPECT_EQ(S::service(K::codex).kind(), S::Kind::service);
    EXPECT_EQ(S::more().tool(), std::nullopt);
    EXPECT_EQ(S::settings().kind(), S::Kind::settings);
    EXPECT_EQ(qHash(S::service(K::github), 3), qHashMulti(3, 0, QStringLiteral("github")));
    EXPECT_EQ(qHash(S::more(), 3), qHashMulti(3, 1));
    EXPECT_EQ(qHash(S::settings(), 3), qHashMulti(3, 2));
    QSet<S> set {S::more(), S::settings(), S::service(K::vercel), S::service(K::vercel)};
    EXPECT_EQ(set.size(), 3);
}

} // namespace
} // namespace brenvo
