#pragma once

#include "http/HTTPClient.h"

#include <QCoroTask>
#include <QImage>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

namespace brenvo {

// Finds and downloads a website's own icon, or a picture at a known address. Every answer is a
// picture or nothing: it never throws and logs nothing. Requests are plain GETs without any
// credential, one after another; pictures are decoded on a pooled thread, and only the finished
// picture comes back to the caller's thread. Copies are free and share nothing but the transport.
class SiteIconLoader {
public:
    // About 32 MB of four-byte pixels.
    static constexpr qint64 defaultMaxPixels = 8LL * 1024 * 1024;

    struct Limits {
        std::chrono::milliseconds fetchTimeout {15000}; // silence on one request
        std::chrono::milliseconds fetchDeadline {20000}; // one request as a whole
        std::chrono::milliseconds lookupDeadline {45000}; // a whole iconForHost
        qint64 maxPageBytes = 1024 * 1024; // a longer page is read as far as this
        int maxRedirects = 5;
        qint64 maxImageBytes = 2 * 1024 * 1024;
        int maxCandidates = 8; // link candidates tried, not counting /favicon.ico
        int vectorSide = 128; // SVG icons are drawn at this square size, whatever they declare
        qint64 maxPixels = defaultMaxPixels;
        // The home page is always asked for over https; tests point this at a plain loopback server.
        QString pageScheme = QStringLiteral("https");
    };

    SiteIconLoader();
    explicit SiteIconLoader(std::shared_ptr<HTTPClient> http);
    SiteIconLoader(std::shared_ptr<HTTPClient> http, Limits limits);

    std::shared_ptr<HTTPClient> http;
    Limits limits;

    // The best icon that https://<host>/ declares, else its /favicon.ico.
    QCoro::Task<std::optional<QImage>> iconForHost(QString host) const;
    // The same for a website address as written (with or without scheme, maybe with a path).
    QCoro::Task<std::optional<QImage>> iconForWebsite(QString website) const;
    // The picture at url.
    QCoro::Task<std::optional<QImage>> image(QUrl url) const;

    // The addresses to try for a page, best first, at most maxCandidates of them, then the site's
    // /favicon.ico unless already listed.
    static QList<QUrl> iconCandidates(const QString& html, const QUrl& base, int maxCandidates = 8);
    // The attributes of one tag: lower-cased names to values as written.
    static QMap<QString, QString> attributes(const QString& tag);
    // The score of an "icon" link.
    static qint64 iconScore(const std::optional<QString>& sizes, bool isVector);
    // Reads bytes as a picture: SVG drawn at vectorSide, multi-frame icons by their largest frame.
    // Nothing when a frame declares or decodes to more than maxPixels; no frame is decoded into more
    // than about 32 MB, whatever it declares. Blocking: safe on any thread.
    static std::optional<QImage> decodeImage(
        const QByteArray& bytes, int vectorSide = 128, qint64 maxPixels = defaultMaxPixels);
};

} // namespace brenvo
