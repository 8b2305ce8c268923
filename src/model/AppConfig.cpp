#include "model/AppConfig.h"

#include "BundleInfo.h"

#include <QMetaType>
#include <QStringList>

namespace brenvo {

namespace {

QString trimmedText(const QVariantMap& info, const char* key)
{
    const QVariant value = info.value(QLatin1String(key));
    if (value.typeId() != QMetaType::QString)
        return QString();
    return value.toString().trimmed();
}

} // namespace

AppConfig AppConfig::fromInfo(const QVariantMap& info)
{
    AppConfig config;
    config.name = trimmedText(info, "CFBundleName");
    if (config.name.isEmpty())
        config.name = QStringLiteral("App");
    config.bundleID = trimmedText(info, "CFBundleIdentifier");
    config.version = trimmedText(info, "CFBundleShortVersionString");
    config.build = trimmedText(info, "CFBundleVersion");
    config.siteHost = trimmedText(info, "TolvSiteHost");
    config.sitePath = normalizedPath(trimmedText(info, "TolvSitePath"));
    config.supportEmail = trimmedText(info, "TolvSupportEmail");
    config.sparklePublicKey = trimmedText(info, "SUPublicEDKey");
    return config;
}

const AppConfig& AppConfig::main()
{
    static const AppConfig config = fromInfo(bundleInfoDictionary());
    return config;
}

QString AppConfig::normalizedPath(const QString& path)
{
    const QStringList pieces = path.split(u'/', Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return QString();
    return u'/' + pieces.join(u'/');
}

} // namespace brenvo
