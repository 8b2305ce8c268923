#include "support/QtPrinters.h"

#include "model/AppConfig.h"

#include <gtest/gtest.h>

namespace brenvo {
namespace {

TEST(BundleConfiguration, ReadsTheBuiltInDictionary)
{
    const AppConfig& config = AppConfig::main();
    EXPECT_EQ(config.name, QStringLiteral("Brenvo"));
    EXPECT_EQ(config.bundleID, QStringLiteral("dev.brenvo.Brenvo"));
    EXPECT_FALSE(config.version.isEmpty());
    EXPECT_FALSE(config.sitePath.endsWith(u'/'));
}

TEST(BundleConfiguration, MissingBlankOrWrongValuesTakeDefaults)
{
    EXPECT_EQ(AppConfig::fromInfo({}), (AppConfig {QStringLiteral("App"), {}, {}, {}, {}, {}, {}, {}}));
    const AppConfig odd = AppConfig::fromInfo(
        {{QStringLiteral("CFBundleName"), QStringLiteral(" \t\n ")}, {QStringLiteral("CFBundleVersion"), 42},
            {QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.2")},
            {QStringLiteral("CFBundleIdentifier"), QStringLiteral("  dev.brenvo.Brenvo\n")},
            {QStringLiteral("TolvSiteHost"), QStringLiteral("https://example.com")},
            {QStringLiteral("SUPublicEDKey"), QStringList {QStringLiteral("k")}},
            {QStringLiteral("TolvSitePath"), QStringLiteral(" //app//tools/ ")}});
    EXPECT_EQ(odd.name, QStringLiteral("App"));
    EXPECT_EQ(odd.build, QString());
    EXPECT_EQ(odd.version, QStringLiteral("1.2"));
    EXPECT_EQ(odd.bundleID, QStringLiteral("dev.brenvo.Brenvo"));
    EXPECT_EQ(odd.siteHost, QStringLiteral("https://example.com")); // used as given, only trimmed
    EXPECT_EQ(odd.sparklePublicKey, QString());
    EXPECT_EQ(odd.sitePath, QStringLiteral("/app/tools"));

    const std::pair<const char*, const char*> paths[]
        = {{"", ""}, {"///", ""}, {"app/", "/app"}, {"/app", "/app"}, {"//a///b//c//", "/a/b/c"}};
    for (const auto& [in, out] : paths)
        EXPECT_EQ(AppConfig::normalizedPath(QString::fromLatin1(in)), QString::fromLatin1(out)) << in;
}

} // namespace
} // namespace brenvo
