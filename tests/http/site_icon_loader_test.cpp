// Website icons: which links count and in what order, and the lookup against a loopback site.
#include "http/NetworkHTTPClient.h"
#include "http/SiteIconLoader.h"
#include "support/FakeHTTPClient.h"
#include "support/LoopbackServer.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDataStream>
#include <QSemaphore>
#include <QThreadPool>

using namespace brenvo;
using namespace brenvo::test;
using namespace std::chrono_literals;

namespace {

const QUrl page(QStringLiteral("https://example.test/"));

QStringList candidates(const QString& html, const QUrl& base = page)
{
    QStringList out;
    for (const QUrl& url : SiteIconLoader::iconCandidates(html, base))
        out << url.toString();
    return out;
}

QByteArray png(int width, int height, QImage::Format format = QImage::Format_ARGB32)
{
    QImage image(width, height, format);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// An icon file whose frames are PNG pictures of the given sides, in that order, listed as their
// own size or as listed.
QByteArray ico(const QList<int>& sides, int listed = 0)
{
    QByteArray head, frames;
    QDataStream out(&head, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(sides.size());
    for (int side : sides) {
        const QByteArray frame = listed ? png(side, side, QImage::Format_Mono) : png(side, side);
        const int entry = listed ? listed : side % 256;
        out << quint8(entry) << quint8(entry) << quint16(0) << quint16(1) << quint16(32)
            << quint32(frame.size()) << quint32(6 + 16 * sides.size() + frames.size());
        frames += frame;
    }
    return head + frames;
}

// 35 bytes: one pixel on a canvas of side × side.
QByteArray gif(quint16 side)
{
    QByteArray bytes("GIF89a");
    QDataStream out(&bytes, QIODevice::Append);
    out.setByteOrder(QDataStream::LittleEndian);
    out << side << side << quint8(0x80) << quint16(0) << quint16(0) << quint8(0) << quint16(0xffff)
        << quint8(0xff) << quint8(0x2c) << quint16(0) << quint16(0) << quint16(1) << quint16(1) << quint8(0)
        << quint8(2) << quint8(2) << quint16(0x0144) << quint8(0) << quint8(0x3b);
    return bytes;
}

const QByteArray hugeSvg = R"(<?xml version="1.0"?>
<!-- drawn for the test -->
<svg xmlns="http://www.w3.org/2000/svg" width="200000" height="100000" viewBox="0 0 20 10">
  <rect width="20" height="10" fill="#0a0"/>
</svg>)";

TEST(IconCandidates, WhichLinksCountAndInWhatOrder)
{
    const QString html = QStringLiteral(R"(
        <LINK REL="Shortcut Icon" HREF="/upper.ico">
        <link rel="mask-icon" href="/mask.svg">
        <link rel="apple-touch-icon-precomposed" sizes="16x16" href="/apple.png">
        <link rel="icon" sizes="1024x1024" href="big.png">
        <link rel="icon" href="data:image/png;base64,AAAA">
        <link rel='icon' sizes='32x32' href='//cdn.example.test/32.png'>
        <link
           rel="icon" sizes="32X32" href=/second32.png>
        <link rel="icon" href="/logo.SVG" sizes="16x16">
        <link rel="preload icon" href="ftp://example.test/x.ico">
        <linkx rel="icon" href="/not-a-link.png">
        <!-- <link rel="icon" href="/commented.png" sizes="64x64"> -->
    )");
    EXPECT_EQ(candidates(html),
        (QStringList {"https://example.test/big.png", "https://example.test/apple.png",
            "https://example.test/logo.SVG", "https://example.test/commented.png",
            "https://cdn.example.test/32.png", "https://example.test/second32.png",
            "https://example.test/upper.ico", "https://example.test/favicon.ico"}));

    // The fallback, attributes and scores.
    EXPECT_EQ(candidates(QString(), QUrl("https://example.test/docs/page.html")),
        QStringList {"https://example.test/favicon.ico"});
    // Declared by the page: tried in its scored place, not again at the end.
    EXPECT_EQ(
        candidates(R"(<link rel="icon" href="/favicon.ico"><link rel="icon" sizes="64x64" href="/64.png">)"),
        (QStringList {"https://example.test/64.png", "https://example.test/favicon.ico"}));

    const auto attrs = SiteIconLoader::attributes(
        QStringLiteral(R"(<link REL="Icon" href='/a b.png' sizes=32x32 data-x = "1" hidden rel="icon">)"));
    EXPECT_EQ(attrs.value("rel"), "icon") << "the later value wins";
    EXPECT_EQ(attrs.value("href"), "/a b.png");
    EXPECT_EQ(attrs.value("sizes"), "32x32");

    const std::vector<std::pair<std::optional<QString>, qint64>> table = {{std::nullopt, 16}, {"32x32", 32},
        {"16x16 32x32", 16}, {"ANY", 512}, {"abc", 16}, {" 32x32", 16}, {"99999999999999999999x1", 16}};
    for (const auto& [sizes, score] : table)
        EXPECT_EQ(SiteIconLoader::iconScore(sizes, false), score) << sizes.value_or("(none)").toStdString();
    EXPECT_EQ(SiteIconLoader::iconScore(QStringLiteral("16x16"), true), 512);
}

TEST(IconImage, DecodesRastersIconsAndVectors)
{
    auto sizeOf = [](const QByteArray& bytes) {
        return SiteIconLoader::decodeImage(bytes, 128, 200 * 200).value_or(QImage()).size();
    };
    EXPECT_EQ(sizeOf(png(20, 10)), QSize(20, 10));
    EXPECT_EQ(sizeOf(ico({16, 48, 32})), QSize(48, 48)) << "the largest frame";
    // Drawn at the fixed side, never at the 200000 points it declares.
    EXPECT_EQ(sizeOf(hugeSvg), QSize(128, 64));

    for (const QByteArray& bad :
        {QByteArray(R"(<svg xmlns="http://www.w3.org/2000/svg" width="0" height="10"/>)"),
            QByteArray("<!doctype html><html><body><svg></svg></body></html>"), QByteArray(), png(300, 300)})
        EXPECT_FALSE(SiteIconLoader::decodeImage(bad, 128, 200 * 200))
            << "over the pixel limit, or not a picture";
    // About 32 MB at most, whatever a picture declares before it is decoded.
    for (const QByteArray& bad :
        {png(4096, 4096, QImage::Format_Mono), gif(5000), ico({5000, 5000, 5000}, 16)})
        EXPECT_FALSE(SiteIconLoader::decodeImage(bad)) << bad.size();
}

TEST(IconImage, DecodesOffTheCallersThread)
{
    auto http = std::make_shared<FakeHTTPClient>();
    http->otherwise = HTTPResponse {png(8, 8), 200};
    // Every pooled thread busy: the decoding waits for one, and the caller is not held.
    QThreadPool& pool = *QThreadPool::globalInstance();
    auto held = std::make_shared<QSemaphore>();
    const int threads = pool.maxThreadCount();
    for (int i = 0; i < threads; ++i)
        pool.start([held] { held->acquire(); });
    auto task = SiteIconLoader(http).image(QUrl("https://example.test/a.png"));
    EXPECT_FALSE(task.isReady());
    held->release(threads);
    EXPECT_EQ(runTask(std::move(task)).value_or(QImage()).size(), QSize(8, 8));
}

class IconLookup : public ::testing::Test {
protected:
    LoopbackServer site;
    SiteIconLoader loader {std::make_shared<NetworkHTTPClient>(), plainLimits()};

    static SiteIconLoader::Limits plainLimits()
    {
        SiteIconLoader::Limits limits;
        limits.pageScheme = QStringLiteral("http");
        return limits;
    }
    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(site.port()); }

    QList<QByteArray> paths() const
    {
        QList<QByteArray> out;
        for (const auto& r : site.requests())
            out << r.path;
        return out;
    }
};

TEST_F(IconLookup, FindsTheBestIconThatLoads)
{
    site.route("GET", "/", CannedReply::text(200, R"(<html><head>
        <link rel="icon" sizes="1024x1024" href="/broken.png">
        <link rel="apple-touch-icon" href="/apple.png">
        <link rel="icon" type="image/svg+xml" href="/logo.svg">
        <link rel="shortcut icon" href="/favicon.ico">
        </head></html>)"));
    site.route("GET", "/broken.png", CannedReply::text(200, "<html>not a picture</html>"));
    site.route("GET", "/apple.png", CannedReply::text(404, "gone"));
    site.route("GET", "/logo.svg", CannedReply::text(200, hugeSvg, "image/svg+xml"));
    site.route("GET", "/favicon.ico", CannedReply::text(200, ico({16}), "image/x-icon"));

    const auto icon = runTask(loader.iconForHost(host()));
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->width(), 128);
    EXPECT_EQ(paths(), (QList<QByteArray> {"/", "/broken.png", "/apple.png", "/logo.svg"}));
    for (const auto& r : site.requests())
        EXPECT_TRUE(r.method == "GET" && !r.hasHeader("Authorization")) << r.path.toStdString();
}

TEST_F(IconLookup, FallsBackToFaviconWhenThePageFails)
{
    site.route("GET", "/favicon.ico", CannedReply::text(200, ico({16, 48, 32}), "image/x-icon"));
    for (const CannedReply& page : {CannedReply::text(500, "down"), CannedReply::dropped()}) {
        site.clearRequests();
        site.route("GET", "/", page);
        EXPECT_EQ(runTask(loader.iconForHost(host())).value_or(QImage()).size(), QSize(48, 48));
        // (Qt may ask once more itself when a kept-alive connection drops.)
        EXPECT_EQ(paths().first(), "/");
        EXPECT_EQ(paths().last(), "/favicon.ico");
        EXPECT_EQ(site.count("/favicon.ico"), 1);
    }
}

TEST_F(IconLookup, ImagesAndBounds)
{
    // Thirty candidates that all fail: eight are tried, then the fallback.
    QByteArray html;
    for (int i = 0; i < 30; ++i)
        html += QStringLiteral(R"(<link rel="icon" href="/%1.png">)").arg(i).toUtf8();
    site.route("GET", "/", CannedReply::text(200, html));
    EXPECT_FALSE(runTask(loader.iconForHost(host())));
    EXPECT_EQ(site.requests().size(), 1u + 8u + 1u);

    // A page over its cap is read as far as the cap.
    site.clearRequests();
    const QByteArray head = R"(<link rel="icon" href="/early.png">)";
    site.route("GET", "/",
        CannedReply::text(200, head + QByteArray(2 * 1024 * 1024, ' ') + "<link rel=icon href=/late.png>"));
    site.route("GET", "/early.png", CannedReply::text(200, png(16, 16), "image/png"));
    EXPECT_TRUE(runTask(loader.iconForHost(host())));
    EXPECT_EQ(paths(), (QList<QByteArray> {"/", "/early.png"}));
    site.route("GET", "/favicon.ico", CannedReply::text(200, png(16, 16), "image/png"));

    // Five redirects are followed, not six.
    site.handle("GET", "/hop", [this](const RecordedRequest& r) {
        const int left = r.query.toInt();
        return left > 0 ? CannedReply::redirect(site.url("/hop?" + QString::number(left - 1)))
                        : CannedReply::text(200, png(8, 8), "image/png");
    });
    EXPECT_TRUE(runTask(loader.image(site.url("/hop?5"))));
    EXPECT_FALSE(runTask(loader.image(site.url("/hop?6"))));

    // An image is a picture that loads whole, under its cap, from the web.
    site.route("GET", "/avatar.png", CannedReply::text(200, png(40, 40), "image/png"));
    site.route("GET", "/profile", CannedReply::text(200, "<html>a profile page</html>"));
    site.route("GET", "/missing.png", CannedReply::text(404, png(40, 40), "image/png"));
    site.route("GET", "/big.png", CannedReply::huge(3 * 1024 * 1024));
    EXPECT_EQ(runTask(loader.image(site.url("/avatar.png")))->size(), QSize(40, 40));
    for (const char* path : {"/profile", "/missing.png", "/big.png"})
        EXPECT_FALSE(runTask(loader.image(site.url(path)))) << path;
    EXPECT_FALSE(runTask(loader.image(QUrl::fromLocalFile("/etc/hostname"))));

    // A site that trickles and hangs is given up as a whole.
    site.clearRequests();
    SiteIconLoader::Limits tight = plainLimits();
    tight.fetchDeadline = 300ms;
    tight.lookupDeadline = 500ms;
    site.route("GET", "/", CannedReply::slow(QByteArray(64, ' '), 50ms));
    site.route("GET", "/favicon.ico", CannedReply::hanging());
    EXPECT_FALSE(runTask(SiteIconLoader(loader.http, tight).iconForHost(host()), 5s));
}

TEST(IconForWebsite, AlwaysAsksTheHostsRootOverHttps)
{
    auto http = std::make_shared<FakeHTTPClient>();
    SiteIconLoader loader(http);
    auto firstAsked = [&](const QString& website) {
        http->requests.clear();
        EXPECT_FALSE(runTask(loader.iconForWebsite(website)));
        return http->requests.empty() ? QString() : http->requests.front().url.toString();
    };
    EXPECT_EQ(firstAsked(QStringLiteral("  example.test/docs?x=1\n")), "https://example.test/");
    EXPECT_EQ(firstAsked(QStringLiteral("http://example.test:8080/blog")), "https://example.test/");
    EXPECT_EQ(http->requests.size(), 2u) << "page, then /favicon.ico";
    for (const char* unusable : {"   ", "", "https://"})
        EXPECT_EQ(firstAsked(QString::fromLatin1(unusable)), QString()) << unusable;
    http->requests.clear();
    EXPECT_FALSE(runTask(loader.iconForHost(QStringLiteral("not a host"))));
    EXPECT_TRUE(http->requests.empty());

    http->failure = TransportFailure::Kind::cannotConnect;
    EXPECT_FALSE(runTask(loader.iconForHost(QStringLiteral("example.test"))));
    EXPECT_FALSE(runTask(SiteIconLoader().iconForHost(QStringLiteral("example.test"))));
}

} // namespace
