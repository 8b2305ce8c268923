#include "http/NetworkHTTPClient.h"

#include "BundleInfo.h"

#include <QCoroSignal>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRandomGenerator>
#include <QSet>
#include <QTimer>

#include <unordered_map>

namespace brenvo {

namespace {

using std::chrono::milliseconds;

struct CacheEntry {
    QByteArray etag;
    QByteArray body;
    quint64 lastUse = 0;
};

struct HopResult {
    int status = 0;
    QByteArray body;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray etag;
    QByteArray location;
};

bool isHttp(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

bool sameOrigin(const QUrl& a, const QUrl& b)
{
    const int defaultA = a.scheme().compare(u"https", Qt::CaseInsensitive) == 0 ? 443 : 80;
    const int defaultB = b.scheme().compare(u"https", Qt::CaseInsensitive) == 0 ? 443 : 80;
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0
        && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && a.port(defaultA) == b.port(defaultB);
}

bool unsendable(QByteArrayView value)
{
    for (char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7f)
            return true;
    }
    return false;
}

bool validName(QByteArrayView name)
{
    if (name.isEmpty())
        return false;
    for (char c : name) {
        const bool token = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
        if (!token)
            return false;
    }
    return true;
}

TransportFailure::Kind kindOf(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyNotFoundError:
        return TransportFailure::Kind::cannotConnect;
    case QNetworkReply::HostNotFoundError:
        return TransportFailure::Kind::cannotFindHost;
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::ProxyConnectionClosedError:
        return TransportFailure::Kind::connectionLost;
    case QNetworkReply::TimeoutError:
    case QNetworkReply::ProxyTimeoutError:
        return TransportFailure::Kind::timedOut;
    case QNetworkReply::OperationCanceledError:
        return TransportFailure::Kind::cancelled;
    case QNetworkReply::SslHandshakeFailedError:
        return TransportFailure::Kind::secureConnectionFailed;
    case QNetworkReply::ProtocolUnknownError:
        return TransportFailure::Kind::unsupportedURL;
    default:
        return TransportFailure::Kind::other;
    }
}

// Errors below the HTTP layer mean no whole reply came; the others come with a status.
// Connection and proxy errors mean no reply. Qt files some HTTP statuses (400 among them) under its
// protocol errors, so those count as no reply only when no status line arrived.
bool noReply(QNetworkReply::NetworkError error, bool hasStatus)
{
    const int code = static_cast<int>(error);
    return (code > 0 && code < 200) || (code >= 300 && code < 400 && !hasStatus);
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

QByteArray defaultUserAgent()
{
    const QVariantMap info = bundleInfoDictionary();
    return info.value(QStringLiteral("CFBundleName")).toString().toUtf8() + '/'
        + info.value(QStringLiteral("CFBundleShortVersionString")).toString().toUtf8();
}

} // namespace

struct NetworkHTTPClient::Shared {
    QNetworkAccessManager manager;
    Options options;
    QByteArray salt;
    std::unordered_map<std::string, CacheEntry> cache;
    qint64 cachedBytes = 0;
    quint64 useClock = 0;
    QSet<QNetworkReply*> live;

    std::string cacheKey(const HTTPRequest& request) const
    {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(salt);
        hash.addData(request.url.toString(QUrl::FullyEncoded).toUtf8());
        hash.addData(QByteArrayView("\0", 1));
        hash.addData(request.credentialHeader.toLower());
        hash.addData(QByteArrayView("\0", 1));
        hash.addData(request.header(request.credentialHeader).value_or(QByteArray()));
        return hash.result().toStdString();
    }

    void remember(const std::string& key, QByteArray etag, QByteArray body)
    {
        forget(key);
        if (body.size() > options.cacheBytes / 4 || options.cacheEntries <= 0)
            return;
        cachedBytes += body.size();
        cache[key] = CacheEntry {std::move(etag), std::move(body), ++useClock};
        while (static_cast<int>(cache.size()) > options.cacheEntries || cachedBytes > options.cacheBytes) {
            auto oldest = cache.begin();
            for (auto it = cache.begin(); it != cache.end(); ++it) {
                if (it->second.lastUse < oldest->second.lastUse)
                    oldest = it;
            }
            cachedBytes -= oldest->second.body.size();
            cache.erase(oldest);
        }
    }

    void forget(const std::string& key)
    {
        auto it = cache.find(key);
        if (it == cache.end())
            return;
        cachedBytes -= it->second.body.size();
        cache.erase(it);
    }
};

namespace {

void validate(const HTTPRequest& request)
{
    if (!request.url.isValid())
        throw TransportFailure(TransportFailure::Kind::badURL);
    if (!isHttp(request.url))
        throw TransportFailure(TransportFailure::Kind::unsupportedURL, request.url.scheme());
    if (!validName(request.method))
        throw TransportFailure(TransportFailure::Kind::invalidRequest, QStringLiteral("method"));
    for (const auto& [name, value] : request.headers) {
        if (!validName(name) || unsendable(value))
            throw TransportFailure(TransportFailure::Kind::invalidRequest,
                QStringLiteral("header %1").arg(QString::fromLatin1(validName(name) ? name : "?")));
    }
}

QNetworkReply* start(QNetworkAccessManager& manager, const HTTPRequest& hop, const QByteArray& userAgent)
{
    QNetworkRequest request(hop.url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(0); // silence is watched here, across the whole exchange
    for (const auto& [name, value] : hop.headers)
        request.setRawHeader(name, value);
    if (!hop.header("User-Agent"))
        request.setRawHeader("User-Agent", userAgent);
    if (hop.body)
        return manager.sendCustomRequest(request, hop.method, *hop.body);
    if (hop.method == "GET")
        return manager.get(request);
    if (hop.method == "HEAD")
        return manager.head(request);
    // A bodiless POST still says so, with no Content-Type of Qt's choosing.
    if (hop.method == "POST" || hop.method == "PUT" || hop.method == "PATCH")
        request.setHeader(QNetworkRequest::ContentLengthHeader, 0);
    return manager.sendCustomRequest(request, hop.method);
}

// One request without following redirects. Every wait ends: by the reply, the idle timer, the
// deadline or the body cap.
QCoro::Task<HopResult> sendOnce(
    std::shared_ptr<NetworkHTTPClient::Shared> shared, HTTPRequest hop, milliseconds remaining)
{
    struct Watch {
        QByteArray body;
        bool idle = false;
        bool late = false;
        bool tooLarge = false;
        bool cut = false; // the first bytes were enough
    };
    auto watch = std::make_shared<Watch>();
    const QByteArray userAgent
        = shared->options.userAgent.isEmpty() ? defaultUserAgent() : shared->options.userAgent;
    QNetworkReply* const started = start(shared->manager, hop, userAgent);
    QPointer<QNetworkReply> reply = started;
    shared->live.insert(started);
    // Connections live on this context and end with it, before the reply is let go.
    auto context = std::make_unique<QObject>();
    const qint64 cap = hop.maxBodyBytes;
    const bool keepsFirst = hop.keepsFirstBytes;

    // Aborts are queued: an abort finishes the reply at once, and this wait must not resume inside
    // a handler that still runs.
    auto abortLater = [reply]() {
        if (reply)
            QMetaObject::invokeMethod(reply.data(), &QNetworkReply::abort, Qt::QueuedConnection);
    };
    auto* idleTimer = new QTimer(context.get());
    idleTimer->setSingleShot(true);
    QObject::connect(idleTimer, &QTimer::timeout, context.get(), [watch, abortLater]() {
        watch->idle = true;
        abortLater();
    });
    auto* deadlineTimer = new QTimer(context.get());
    deadlineTimer->setSingleShot(true);
    QObject::connect(deadlineTimer, &QTimer::timeout, context.get(), [watch, abortLater]() {
        watch->late = true;
        abortLater();
    });
    auto drain = [watch, reply, idleTimer, cap, keepsFirst, abortLater]() {
        if (!reply || watch->tooLarge || watch->cut)
            return;
        idleTimer->start();
        watch->body += reply->readAll();
        if (watch->body.size() > cap) {
            if (keepsFirst) {
                watch->cut = true;
                watch->body.truncate(cap);
            } else {
                watch->tooLarge = true;
                watch->body.clear();
            }
            abortLater();
        }
    };
    QObject::connect(reply.data(), &QNetworkReply::readyRead, context.get(), drain);
    QObject::connect(reply.data(), &QNetworkReply::metaDataChanged, context.get(),
        [watch, reply, cap, keepsFirst, abortLater]() {
            const QVariant length = reply ? reply->header(QNetworkRequest::ContentLengthHeader) : QVariant();
            if (!keepsFirst && length.isValid() && length.toLongLong() > cap && !watch->tooLarge) {
                watch->tooLarge = true;
                abortLater();
            }
        });
    QObject::connect(reply.data(), &QNetworkReply::uploadProgress, idleTimer, qOverload<>(&QTimer::start));
    QObject::connect(reply.data(), &QNetworkReply::downloadProgress, idleTimer, qOverload<>(&QTimer::start));
    idleTimer->start(std::max<milliseconds>(hop.timeout, milliseconds(1)));
    deadlineTimer->start(std::max<milliseconds>(remaining, milliseconds(1)));

    if (!reply->isFinished())
        co_await qCoro(reply.data(), &QNetworkReply::finished);

    context.reset();
    shared->live.remove(started);
    if (!reply)
        throw TransportFailure(TransportFailure::Kind::cancelled);
    reply->deleteLater();

    const QString host = hop.url.host();
    if (watch->tooLarge)
        throw TransportFailure(TransportFailure::Kind::tooLarge, host);
    if (watch->late)
        throw TransportFailure(TransportFailure::Kind::deadlineExceeded, host);
    if (watch->idle)
        throw TransportFailure(TransportFailure::Kind::timedOut, host);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!watch->cut && noReply(reply->error(), status > 0))
        throw TransportFailure(kindOf(reply->error()), host);
    // Qt reports a body it could not decompress as an error beside a success status, and an empty body.
    if (!watch->cut && status >= 200 && status <= 299 && reply->error() != QNetworkReply::NoError)
        throw TransportFailure(TransportFailure::Kind::other, host);

    HopResult result;
    result.status = status;
    result.body = std::move(watch->body);
    if (!watch->cut)
        result.body += reply->readAll();
    if (result.body.size() > cap && keepsFirst)
        result.body.truncate(cap);
    else if (result.body.size() > cap)
        throw TransportFailure(TransportFailure::Kind::tooLarge, host);
    result.headers = reply->rawHeaderPairs();
    result.etag = reply->rawHeader("ETag");
    result.location = reply->rawHeader("Location");
    co_return result;
}

QCoro::Task<HTTPResponse> exchange(std::shared_ptr<NetworkHTTPClient::Shared> shared, HTTPRequest request)
{
    validate(request);
    QElapsedTimer clock;
    clock.start();

    const bool conditional = shared->options.conditionalRequests && request.method == "GET"
        && !request.credentialHeader.isEmpty() && request.header(request.credentialHeader)
        && !request.header("If-None-Match") && !request.header("If-Modified-Since");
    std::string key;
    bool asked = false;
    if (conditional) {
        key = shared->cacheKey(request);
        auto it = shared->cache.find(key);
        if (it != shared->cache.end()) {
            request.setHeader("If-None-Match", it->second.etag);
            asked = true;
        }
    }

    const QUrl origin = request.url;
    HTTPRequest hop = request;
    HopResult result;
    for (int redirects = 0;; ++redirects) {
        const milliseconds remaining = request.deadline - milliseconds(clock.elapsed());
        if (remaining <= milliseconds(0))
            throw TransportFailure(TransportFailure::Kind::deadlineExceeded, hop.url.host());
        result = co_await sendOnce(shared, hop, remaining);
        if (!isRedirect(result.status) || result.location.isEmpty()
            || redirects >= std::min(shared->options.maxRedirects, request.maxRedirects))
            break;
        const QUrl next = hop.url.resolved(QUrl::fromEncoded(result.location));
        if (!next.isValid() || !isHttp(next))
            break;
        if (hop.url.scheme().compare(u"https", Qt::CaseInsensitive) == 0
            && next.scheme().compare(u"http", Qt::CaseInsensitive) == 0)
            break;
        if (!sameOrigin(origin, next)) {
            // A credential never leaves its origin: the redirect is handed back unfollowed.
            if (!request.credentialHeader.isEmpty())
                break;
            hop.removeHeader("Authorization");
            hop.removeHeader("Cookie");
        }
        if (result.status == 303
            || ((result.status == 301 || result.status == 302) && hop.method == "POST")) {
            hop.method = "GET";
            hop.body.reset();
            hop.removeHeader("Content-Type");
        }
        hop.url = next;
    }

    if (conditional) {
        auto it = shared->cache.find(key);
        if (result.status == 304 && asked && it != shared->cache.end()) {
            it->second.lastUse = ++shared->useClock;
            co_return HTTPResponse {it->second.body, 200, std::move(result.headers)};
        }
        if (result.status == 200) {
            if (result.etag.isEmpty())
                shared->forget(key);
            else
                shared->remember(key, result.etag, result.body);
        }
    }
    co_return HTTPResponse {std::move(result.body), result.status, std::move(result.headers)};
}

} // namespace

NetworkHTTPClient::NetworkHTTPClient()
    : NetworkHTTPClient(Options {})
{
}

NetworkHTTPClient::NetworkHTTPClient(Options options)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->options = std::move(options);
    m_shared->salt.resize(32);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(m_shared->salt.data()), 8);
}

NetworkHTTPClient::~NetworkHTTPClient()
{
    // Requests still out end now, as cancelled; their waits hold the manager until they return.
    const auto live = m_shared->live;
    for (QNetworkReply* reply : live)
        QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
}

QCoro::Task<HTTPResponse> NetworkHTTPClient::data(HTTPRequest request)
{
    return exchange(m_shared, std::move(request));
}

int NetworkHTTPClient::cachedReplies() const
{
    return static_cast<int>(m_shared->cache.size());
}

} // namespace brenvo
