#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

class QTcpSocket;

namespace brenvo::test {

using HeaderList = QList<std::pair<QByteArray, QByteArray>>;

// One request as it arrived on the wire.
struct RecordedRequest {
    QByteArray method;
    QByteArray target; // path and query exactly as sent, percent-encoding untouched
    QByteArray path; // target before "?"
    QByteArray query; // target after "?", raw; empty when none
    bool hasQuery = false;
    HeaderList headers; // in the order sent
    QByteArray body;

    std::optional<QByteArray> header(QByteArrayView name) const; // any letter case
    bool hasHeader(QByteArrayView name) const { return header(name).has_value(); }
};

// What the server answers, and how.
struct CannedReply {
    enum class Behaviour {
        normal,
        slowBody, // headers at once, then the body one byte every byteInterval
        dropBeforeReply, // reads the request and closes the connection
        dropMidBody, // sends headers and half the body, then closes
        hang, // reads the request and never answers
        hugeBody // streams hugeSize bytes of filler
    };

    int status = 200;
    QByteArray body {};
    HeaderList headers {}; // Content-Type defaults to application/json when a body is given
    Behaviour behaviour = Behaviour::normal;
    std::chrono::milliseconds byteInterval {100};
    qint64 hugeSize = 0;
    bool withContentLength = true; // hugeBody may hide the length
    bool held = false; // sent only at LoopbackServer::releaseHeld()

    // Adds a header field: CannedReply::json(200, body).with("ETag", "\"v1\"").
    CannedReply& with(QByteArray name, QByteArray value)
    {
        headers.append(std::pair<QByteArray, QByteArray>(std::move(name), std::move(value)));
        return *this;
    }
    // Kept back until the test lets it go, so that the test decides what happens meanwhile.
    CannedReply& heldBack()
    {
        held = true;
        return *this;
    }

    static CannedReply json(int status, QByteArray body)
    {
        return {.status = status, .body = std::move(body)};
    }
    static CannedReply text(int status, QByteArray body, QByteArray contentType = "text/html; charset=utf-8")
    {
        return {
            .status = status, .body = std::move(body), .headers = {{"Content-Type", std::move(contentType)}}};
    }
    static CannedReply redirect(const QUrl& to, int status = 302)
    {
        return {.status = status, .headers = {{"Location", to.toString(QUrl::FullyEncoded).toUtf8()}}};
    }
    static CannedReply slow(QByteArray body, std::chrono::milliseconds byteInterval)
    {
        return {.body = std::move(body), .behaviour = Behaviour::slowBody, .byteInterval = byteInterval};
    }
    static CannedReply dropped(bool midBody = false)
    {
        if (!midBody)
            return {.behaviour = Behaviour::dropBeforeReply};
        return {.body = R"({"items":[1,2,3,4,5,6,7,8,9,10]})", .behaviour = Behaviour::dropMidBody};
    }
    static CannedReply hanging() { return {.behaviour = Behaviour::hang}; }
    static CannedReply huge(qint64 size, bool withContentLength = true)
    {
        return {.behaviour = Behaviour::hugeBody, .hugeSize = size, .withContentLength = withContentLength};
    }
};

// A small HTTP/1.1 server on 127.0.0.1 and an ephemeral port, on the test's own thread. It serves
// canned replies by method and path, records every request and can misbehave on purpose.
//
//     LoopbackServer server;
//     server.route("GET", "/v6/deployments", 200, LoopbackServer::fixture("sources/fixtures/x.json"));
//     ... client with base URL server.baseUrl() ...
//     EXPECT_EQ(server.requests().at(0).query, "limit=3");
//
// Unrouted requests get the fallback's reply when one is set, else 404 {"message":"Not Found"}.
class LoopbackServer : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<CannedReply(const RecordedRequest&)>;

    LoopbackServer();
    ~LoopbackServer() override;

    quint16 port() const { return m_server.serverPort(); }
    // "http://127.0.0.1:<port>", no trailing slash.
    QUrl baseUrl() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port())); }
    // baseUrl() followed by pathAndQuery ("/a?b=c").
    QUrl url(const QString& pathAndQuery) const { return QUrl(baseUrl().toString() + pathAndQuery); }

    // The reply for every request of method to path (path without query). Replaces an earlier route.
    void route(const QByteArray& method, const QByteArray& path, int status, const QByteArray& body)
    {
        route(method, path, CannedReply::json(status, body));
    }
    void route(const QByteArray& method, const QByteArray& path, CannedReply reply)
    {
        handle(method, path, [reply](const RecordedRequest&) { return reply; });
    }
    // A reply computed from the request.
    void handle(const QByteArray& method, const QByteArray& path, Handler handler)
    {
        m_routes[key(method, path)] = std::move(handler);
    }
    // The reply for every request no route matches.
    void fallback(Handler handler) { m_fallback = std::move(handler); }
    // Served once, before the route, in the order queued.
    void enqueue(const QByteArray& method, const QByteArray& path, CannedReply reply)
    {
        m_queued[key(method, path)].push_back(std::move(reply));
    }

    // A file under tests/, e.g. "sources/fixtures/deployments.json". Fails the test when missing.
    static QByteArray fixture(const QString& relativePath);

    const std::vector<RecordedRequest>& requests() const { return m_requests; }
    std::vector<RecordedRequest> requests(const QByteArray& method, const QByteArray& path) const;
    int count(const QByteArray& path) const;
    void clearRequests() { m_requests.clear(); }

    // Requests whose reply is held back.
    int heldCount() const { return int(m_held.size()); }
    // Sends the held-back replies, in the order their requests came.
    void releaseHeld();

private:
    struct Connection;
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void serve(QTcpSocket* socket, const RecordedRequest& request);
    void send(QTcpSocket* socket, const RecordedRequest& request, CannedReply reply);
    CannedReply replyFor(const RecordedRequest& request);
    static QByteArray key(const QByteArray& method, const QByteArray& path) { return method + ' ' + path; }

    QTcpServer m_server;
    std::map<QByteArray, Handler> m_routes;
    Handler m_fallback;
    std::map<QByteArray, std::vector<CannedReply>> m_queued;
    std::vector<RecordedRequest> m_requests;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    struct Held {
        QPointer<QTcpSocket> socket;
        RecordedRequest request;
        CannedReply reply;
    };
    std::vector<Held> m_held;
};

} // namespace brenvo::test
