#include "http/SiteIconLoader.h"

#include <QBuffer>
#include <QCoroFuture>
#include <QElapsedTimer>
#include <QFuture>
#include <QImageReader>
#include <QPainter>
#include <QPromise>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QThreadPool>

#include <algorithm>
#include <mutex>

namespace brenvo {

namespace {

using std::chrono::milliseconds;

QString urlKey(const QUrl& url)
{
    return url.toString(QUrl::FullyEncoded);
}

QString pathExtension(const QUrl& url)
{
    QString path = url.path();
    while (path.endsWith(u'/'))
        path.chop(1);
    const QString last = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = last.lastIndexOf(u'.');
    return dot > 0 ? last.mid(dot + 1) : QString();
}

// True when the bytes are an SVG document: its root element comes first after the XML prolog.
bool looksLikeSvg(const QByteArray& bytes)
{
    QByteArrayView rest(bytes);
    rest = rest.first(std::min<qsizetype>(rest.size(), 64 * 1024));
    if (rest.startsWith("\xEF\xBB\xBF"))
        rest = rest.sliced(3);
    for (;;) {
        rest = rest.trimmed();
        if (rest.startsWith("<?")) {
            const qsizetype end = rest.indexOf("?>");
            if (end < 0)
                return false;
            rest = rest.sliced(end + 2);
        } else if (rest.startsWith("<!--")) {
            const qsizetype end = rest.indexOf("-->");
            if (end < 0)
                return false;
            rest = rest.sliced(end + 3);
        } else if (rest.startsWith("<!")) {
            const qsizetype end = rest.indexOf('>');
            if (end < 0)
                return false;
            rest = rest.sliced(end + 1);
        } else {
            return rest.startsWith("<svg") && rest.size() > 4
                && (rest[4] == '>' || rest[4] == ' ' || rest[4] == '\n' || rest[4] == '\t'
                    || rest[4] == '\r');
        }
    }
}

std::optional<QImage> renderSvg(const QByteArray& bytes, int side)
{
    QSvgRenderer renderer(bytes);
    if (!renderer.isValid())
        return std::nullopt;
    const QSizeF declared = renderer.defaultSize();
    if (!(declared.width() > 0) || !(declared.height() > 0))
        return std::nullopt;
    // Only the declared proportions count; the picture is always drawn at side.
    QSize size(side, side);
    if (declared.width() > declared.height())
        size.setHeight(std::max(1, qRound(side * declared.height() / declared.width())));
    else
        size.setWidth(std::max(1, qRound(side * declared.width() / declared.height())));
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    painter.end();
    return image;
}

struct Candidate {
    qint64 score;
    QUrl url;
};

QCoro::Task<HTTPResponse> fetch(std::shared_ptr<HTTPClient> http, QUrl url, SiteIconLoader::Limits limits,
    qint64 cap, milliseconds deadline, bool keepsFirstBytes = false)
{
    HTTPRequest request;
    request.url = std::move(url);
    request.timeout = limits.fetchTimeout;
    request.deadline = std::min(deadline, limits.fetchDeadline);
    request.maxBodyBytes = cap;
    request.keepsFirstBytes = keepsFirstBytes;
    request.maxRedirects = limits.maxRedirects;
    co_return co_await http->data(std::move(request));
}

// Decoding has no asynchronous form: it runs on a pooled thread and hands back only its result.
QFuture<std::optional<QImage>> decodeElsewhere(QByteArray bytes, int vectorSide, qint64 maxPixels)
{
    auto promise = std::make_shared<QPromise<std::optional<QImage>>>();
    QFuture<std::optional<QImage>> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, bytes = std::move(bytes), vectorSide, maxPixels]() {
        promise->addResult(SiteIconLoader::decodeImage(bytes, vectorSide, maxPixels));
        promise->finish();
    });
    return future;
}

QCoro::Task<std::optional<QImage>> picture(SiteIconLoader loader, QUrl url, milliseconds deadline)
{
    try {
        if (!loader.http)
            co_return std::nullopt;
        const HTTPResponse response = co_await fetch(
            loader.http, std::move(url), loader.limits, loader.limits.maxImageBytes, deadline);
        if (response.status < 200 || response.status > 299 || response.body.isEmpty())
            co_return std::nullopt;
        co_return co_await decodeElsewhere(response.body, loader.limits.vectorSide, loader.limits.maxPixels);
    } catch (...) {
        co_return std::nullopt;
    }
}

QCoro::Task<std::optional<QImage>> hostIcon(SiteIconLoader loader, QString host)
{
    try {
        const QUrl page(loader.limits.pageScheme + QStringLiteral("://") + host + u'/', QUrl::StrictMode);
        if (host.isEmpty() || !page.isValid() || page.host().isEmpty() || !loader.http)
            co_return std::nullopt;
        QElapsedTimer clock;
        clock.start();
        auto remaining
            = [&clock, &loader]() { return loader.limits.lookupDeadline - milliseconds(clock.elapsed()); };

        QList<QUrl> list = SiteIconLoader::iconCandidates(QString(), page, loader.limits.maxCandidates);
        try {
            const HTTPResponse response = co_await fetch(
                loader.http, page, loader.limits, loader.limits.maxPageBytes, remaining(), true);
            if (response.status >= 200 && response.status <= 299)
                list = SiteIconLoader::iconCandidates(
                    QString::fromUtf8(response.body), page, loader.limits.maxCandidates);
        } catch (...) {
            // The page is only a hint: without it the site's /favicon.ico is still tried.
        }
        for (const QUrl& url : std::as_const(list)) {
            const milliseconds left = remaining();
            if (left <= milliseconds(0))
                break;
            if (auto image = co_await picture(loader, url, left))
                co_return image;
        }
        co_return std::nullopt;
    } catch (...) {
        co_return std::nullopt;
    }
}

QCoro::Task<std::optional<QImage>> nothing()
{
    co_return std::nullopt;
}

} // namespace

SiteIconLoader::SiteIconLoader() = default;

SiteIconLoader::SiteIconLoader(std::shared_ptr<HTTPClient> http)
    : http(std::move(http))
{
}

SiteIconLoader::SiteIconLoader(std::shared_ptr<HTTPClient> http, Limits limits)
    : http(std::move(http))
    , limits(std::move(limits))
{
}

QCoro::Task<std::optional<QImage>> SiteIconLoader::iconForHost(QString host) const
{
    return hostIcon(*this, std::move(host));
}

QCoro::Task<std::optional<QImage>> SiteIconLoader::iconForWebsite(QString website) const
{
    QString text = website.trimmed();
    if (!text.contains(QStringLiteral("://")))
        text.prepend(QStringLiteral("https://"));
    const QUrl url(text, QUrl::StrictMode);
    const QString host = url.isValid() ? url.host(QUrl::FullyEncoded) : QString();
    if (host.isEmpty())
        return nothing();
    return hostIcon(*this, host);
}

QCoro::Task<std::optional<QImage>> SiteIconLoader::image(QUrl url) const
{
    return picture(*this, std::move(url), limits.fetchDeadline);
}

QList<QUrl> SiteIconLoader::iconCandidates(const QString& html, const QUrl& base, int maxCandidates)
{
    static const QRegularExpression linkTag(QStringLiteral("<link\\b[^>]*>"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    std::vector<Candidate> candidates;
    auto tags = linkTag.globalMatch(html);
    while (tags.hasNext()) {
        const QMap<QString, QString> attrs = attributes(tags.next().captured(0));
        const auto rel = attrs.find(QStringLiteral("rel"));
        const auto href = attrs.find(QStringLiteral("href"));
        if (rel == attrs.end() || href == attrs.end() || href->isEmpty())
            continue;
        const QString relation = rel->toLower();
        const QUrl reference(*href, QUrl::TolerantMode);
        if (!reference.isValid())
            continue;
        const QUrl url = base.resolved(reference);
        if (!url.isValid() || (url.scheme() != u"https" && url.scheme() != u"http"))
            continue;
        if (relation.contains(QStringLiteral("apple-touch-icon"))) {
            candidates.push_back({1000, url});
            continue;
        }
        if (relation.split(u' ', Qt::SkipEmptyParts).contains(QStringLiteral("icon"))) {
            const auto sizes = attrs.find(QStringLiteral("sizes"));
            const std::optional<QString> sizesValue
                = sizes == attrs.end() ? std::nullopt : std::optional<QString>(*sizes);
            candidates.push_back({iconScore(sizesValue, pathExtension(url).toLower() == u"svg"), url});
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(),
        [](const Candidate& a, const Candidate& b) { return a.score > b.score; });

    QList<QUrl> urls;
    for (const Candidate& c : candidates) {
        if (urls.size() >= maxCandidates)
            break;
        urls.append(c.url);
    }
    const QUrl fallback = base.resolved(QUrl(QStringLiteral("/favicon.ico")));
    const bool listed = std::any_of(
        urls.begin(), urls.end(), [&fallback](const QUrl& u) { return urlKey(u) == urlKey(fallback); });
    if (fallback.isValid() && !listed)
        urls.append(fallback);
    return urls;
}

QMap<QString, QString> SiteIconLoader::attributes(const QString& tag)
{
    static const QRegularExpression attribute(
        QStringLiteral(R"re(([a-zA-Z-]+)\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s>]+)))re"),
        QRegularExpression::UseUnicodePropertiesOption);
    QMap<QString, QString> out;
    auto matches = attribute.globalMatch(tag);
    while (matches.hasNext()) {
        const QRegularExpressionMatch m = matches.next();
        int group = 4;
        if (m.capturedStart(2) >= 0)
            group = 2;
        else if (m.capturedStart(3) >= 0)
            group = 3;
        out.insert(m.captured(1).toLower(), m.captured(group));
    }
    return out;
}

qint64 SiteIconLoader::iconScore(const std::optional<QString>& sizes, bool isVector)
{
    if (isVector)
        return 512;
    if (!sizes)
        return 16;
    const QString value = sizes->toLower();
    if (value == u"any")
        return 512;
    const QStringList pieces = value.split(u'x', Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return 16;
    static const QRegularExpression integer(QStringLiteral("^[+-]?[0-9]+$"));
    if (!integer.match(pieces.first()).hasMatch())
        return 16;
    bool ok = false;
    const qint64 width = pieces.first().toLongLong(&ok);
    return ok ? width : 16;
}

std::optional<QImage> SiteIconLoader::decodeImage(const QByteArray& bytes, int vectorSide, qint64 maxPixels)
{
    if (bytes.isEmpty())
        return std::nullopt;
    if (looksLikeSvg(bytes))
        return renderSvg(bytes, vectorSide);

    // Qt's decoders refuse, before decoding, a frame whose pixels would take more than this, also
    // one nested in an icon file or behind a smaller declared size. The limit is the process's.
    static std::once_flag limited;
    std::call_once(limited, [] { QImageReader::setAllocationLimit(33); });

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    // Vector pictures are drawn above at a size of our choosing, never decoded at their own.
    // (Icon files name no format here, yet read.)
    if (reader.format().toLower().startsWith("svg"))
        return std::nullopt;

    auto fits = [maxPixels](QSize size) {
        return !size.isValid() || qint64(size.width()) * qint64(size.height()) <= maxPixels;
    };
    // A declared size may be smaller than what decoding makes (an animation's canvas, an icon file's
    // directory): both are checked.
    QImage best;
    // An icon file holds several sizes: keep the largest. Animations give their first frame.
    const int frames = reader.supportsAnimation() ? 1 : std::clamp(reader.imageCount(), 1, 16);
    for (int i = 0; i < frames; ++i) {
        if (!fits(reader.size()))
            return std::nullopt;
        QImage frame = reader.read();
        if (frame.isNull())
            break;
        if (!fits(frame.size()))
            return std::nullopt;
        if (qint64(frame.width()) * frame.height() > qint64(best.width()) * best.height())
            best = std::move(frame);
        if (i + 1 < frames && !reader.jumpToNextImage())
            break;
    }
    if (best.isNull() || best.width() <= 0)
        return std::nullopt;
    return best;
}

} // namespace brenvo
