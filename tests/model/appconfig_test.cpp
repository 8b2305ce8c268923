#include "Printers.h"

#include "model/AppConfig.h"

#include <gtest/gtest.h>

namespace brenvo {
namespace {

QVariantMap info(std::initializer_list<std::pair<const char*, QVariant>> entries)
{
    QVariantMap map;
    for (const auto& [key, value] : entries)
        map.insert(QString::fromLatin1(key), value);
    return map;
}

TEST(BundleConfiguration, ReadsTheBuiltInDictionary)
{
    const AppConfig& config = AppConfig::main();
    EXPECT_EQ(&config, &AppConfig::main());
    EXPECT_EQ(config.name, QStringLiteral("Brenvo"));
    EXPECT_EQ(config.bundleID, QStringLiteral("dev.brenvo.Brenvo"));
    EXPECT_FALSE(config.version.isEmpty());
    EXPECT_FALSE(config.sitePath.endsWith(u'/'));
}

TEST(BundleConfiguration, MissingBlankOrWrongValuesTakeDefaults)
{
    const AppConfig none = AppConfig::fromInfo({});
    EXPECT_EQ(none, (AppConfig {QStringLiteral("App"), {}, {}, {}, {}, {}, {}, {}}));

    const AppConfig odd = AppConfig::fromInfo(info({{"CFBundleName", QStringLiteral(" \t\n ")},
        {"CFBundleVersion", 42}, {"CFBundleIdentifier", QStringLiteral("  dev.brenvo.Brenvo\n")},
        {"TolvSiteHost", QStringLiteral("https://example.com")},
        {"SUPublicEDKey", QStringList {QStringLiteral("k")}}}));
    EXPECT_EQ(odd.name, QStringLiteral("App"));
    EXPECT_EQ(odd.build, QString());
    EXPECT_EQ(odd.bundleID, QStringLiteral("dev.brenvo.Brenvo"));
    EXPECT_EQ(odd.siteHost, QStringLiteral("https://example.com")); // used as given, only trimmed
    EXPECT_EQ(odd.sparklePublicKey, QString());

    const AppConfig full = AppConfig::fromInfo(info(
        {{"CFBundleName", QStringLiteral("Brenvo")}, {"CFBundleShortVersionString", QStringLiteral("1.2")},
            {"CFBundleVersion", QStringLiteral("7")}, {"TolvSitePath", QStringLiteral(" //app//tools/ ")},
            {"TolvSupportEmail", QStringLiteral("help@example.com")}}));
    EXPECT_EQ(full.version, QStringLiteral("1.2"));
    EXPECT_EQ(full.build, QStringLiteral("7"));
    EXPECT_EQ(full.sitePath, QStringLiteral("/app/tools"));
    AppConfig other = full;
    other.supportEmail = QStringLiteral("other@example.com");
    EXPECT_NE(full, other);
}

TEST(BundleConfiguration, PathNormalisation)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {{"", ""}, {"/", ""}, {"///", ""}, {"app/", "/app"}, {"/app", "/app"}, {"a//b/", "/a/b"},
        {"//a///b//c//", "/a/b/c"}};
    for (const auto& c : cases)
        EXPECT_EQ(AppConfig::normalizedPath(QString::fromLatin1(c.in)), QString::fromLatin1(c.out)) << c.in;
    EXPECT_EQ(AppConfig::fromInfo(info({{"TolvSitePath", QStringLiteral("  /brenvo/  ")}})).sitePath,
        QStringLiteral("/brenvo"));
}

} // namespace
} // namespace brenvo
