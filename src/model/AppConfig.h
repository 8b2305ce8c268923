#pragma once

#include <QString>
#include <QVariantMap>

namespace brenvo {

// The settings fixed when the application is built, read once from the bundle's information
// dictionary.
struct AppConfig {
    QString name;
    QString bundleID;
    QString version;
    QString build;
    QString siteHost; // a bare host name
    QString sitePath; // empty, or "/a/b" without a trailing slash
    QString supportEmail;
    QString sparklePublicKey; // empty: updates are not set up

    bool operator==(const AppConfig&) const = default;

    // The one configuration of the process, read on first use.
    static const AppConfig& main();
    // Reads an information dictionary; missing, non-text and blank values take their defaults.
    static AppConfig fromInfo(const QVariantMap& info);
    // "/a/b" from any run of slashes and pieces; empty when no piece is left.
    static QString normalizedPath(const QString& path);
};

} // namespace brenvo
