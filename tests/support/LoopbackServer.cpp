#include "support/LoopbackServer.h"

#include <QFile>
#include <QTcpSocket>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

namespace brenvo::test {

namespace {

// Clients read the status code only; a few phrases keep the wire readable.
QByteArray reason(int status)
{
    static const QHash<int, QByteArray> phrases {{200, "OK"}, {302, "Found"}, {401, "Unauthorized"},
        {404, "Not Found"}, {500, "Internal Server Error"}};
    return phrases.value(status, "Status");
}

bool bodyless(int status)
{
    return (status >= 100 && status < 200) || status == 204 || status == 304;
}

std::optional<QByteArray> field(const HeaderList& headers, QByteArrayView name)
{
    for (const auto& [n, v] : headers) {
        if (QByteArrayView(n).compare(name, Qt::CaseInsensitive) == 0)
            return v;
    }
    return std::nullopt;
}

QByteArray head(const CannedReply& reply, std::optional<qint64> length, bool close)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reason(reply.status) + "\r\n";
    for (const auto& [name, value] : reply.headers)
        out += name + ": " + value + "\r\n";
    if (length && !bodyless(reply.status))
        out += "Content-Length: " + QByteArray::number(*length) + "\r\n";
    if (close)
        out += "Connection: close\r\n";
    out += "\r\n";
    return out;
}

} // namespace

std::optional<QByteArray> RecordedRequest::header(QByteArrayView name) const
{
    return field(headers, name);
}

LoopbackServer::LoopbackServer()
{
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        ADD_FAILURE() << "loopback server cannot listen: " << m_server.errorString().toStdString();
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackServer::onNewConnection);
}

LoopbackServer::~LoopbackServer()
{
    m_server.close();
    const auto sockets = findChildren<QTcpSocket*>();
    for (QTcpSocket* socket : sockets) {
        socket->disconnect(this);
        socket->abort();
    }
}

QByteArray LoopbackServer::fixture(const QString& relativePath)
{
    QFile file(QStringLiteral(BRENVO_SOURCE_DIR "/tests/") + relativePath);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "missing fixture " << relativePath.toStdString();
        return {};
    }
    return file.readAll();
}

std::vector<RecordedRequest> LoopbackServer::requests(const QByteArray& method, const QByteArray& path) const
{
    std::vector<RecordedRequest> out;
    for (const auto& r : m_requests) {
        if (r.method == method && r.path == path)
            out.push_back(r);
    }
    return out;
}

int LoopbackServer::count(const QByteArray& path) const
{
    return std::count_if(m_requests.begin(), m_requests.end(), [&](const auto& r) { return r.path == path; });
}

void LoopbackServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket]() {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
    }
}

void LoopbackServer::onReadyRead(QTcpSocket* socket)
{
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    for (;;) {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        RecordedRequest request;
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.target = first.value(1);
        const qsizetype mark = request.target.indexOf('?');
        request.hasQuery = mark >= 0;
        request.path = mark >= 0 ? request.target.left(mark) : request.target;
        request.query = mark >= 0 ? request.target.mid(mark + 1) : QByteArray();
        qint64 length = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = line.left(colon).trimmed();
            const QByteArray value = line.mid(colon + 1).trimmed();
            request.headers.append({name, value});
            if (name.compare("content-length", Qt::CaseInsensitive) == 0)
                length = value.toLongLong();
        }
        if (buffer.size() < end + 4 + length)
            return;
        request.body = buffer.mid(end + 4, length);
        buffer.remove(0, end + 4 + length);
        m_requests.push_back(request);
        serve(socket, request);
        if (!m_buffers.contains(socket))
            return;
    }
}

CannedReply LoopbackServer::replyFor(const RecordedRequest& request)
{
    const QByteArray k = key(request.method, request.path);
    auto queued = m_queued.find(k);
    if (queued != m_queued.end() && !queued->second.empty()) {
        CannedReply reply = queued->second.front();
        queued->second.erase(queued->second.begin());
        return reply;
    }
    auto routed = m_routes.find(k);
    if (routed != m_routes.end())
        return routed->second(request);
    if (m_fallback)
        return m_fallback(request);
    return CannedReply::json(404, R"({"message":"Not Found"})");
}

void LoopbackServer::serve(QTcpSocket* socket, const RecordedRequest& request)
{
    CannedReply reply = replyFor(request);
    if (reply.held) {
        reply.held = false;
        m_held.push_back({socket, request, std::move(reply)});
        return;
    }
    send(socket, request, std::move(reply));
}

void LoopbackServer::releaseHeld()
{
    const std::vector<Held> held = std::exchange(m_held, {});
    for (const auto& [socket, request, reply] : held) {
        if (socket)
            send(socket, request, reply);
    }
}

void LoopbackServer::send(QTcpSocket* socket, const RecordedRequest& request, CannedReply reply)
{
    if (!reply.body.isEmpty() && !field(reply.headers, "Content-Type"))
        reply.with("Content-Type", "application/json");
    const bool headOnly = request.method == "HEAD";

    switch (reply.behaviour) {
    case CannedReply::Behaviour::normal:
        socket->write(head(reply, reply.body.size(), false));
        if (!headOnly && !bodyless(reply.status))
            socket->write(reply.body);
        return;
    case CannedReply::Behaviour::dropBeforeReply:
        m_buffers.remove(socket);
        socket->disconnectFromHost();
        return;
    case CannedReply::Behaviour::dropMidBody:
        m_buffers.remove(socket);
        socket->write(head(reply, reply.body.size(), false));
        socket->write(reply.body.left(reply.body.size() / 2));
        socket->disconnectFromHost();
        return;
    case CannedReply::Behaviour::hang:
        return;
    case CannedReply::Behaviour::slowBody: {
        socket->write(head(reply, reply.body.size(), false));
        auto* timer = new QTimer(socket);
        auto sent = std::make_shared<qsizetype>(0);
        connect(timer, &QTimer::timeout, socket, [socket, timer, sent, body = reply.body]() {
            if (*sent >= body.size())
                return timer->stop();
            socket->write(body.mid((*sent)++, 1));
        });
        timer->start(reply.byteInterval);
        return;
    }
    case CannedReply::Behaviour::hugeBody: {
        const bool close = !reply.withContentLength;
        socket->write(head(
            reply, reply.withContentLength ? std::optional<qint64>(reply.hugeSize) : std::nullopt, close));
        // Written as the socket drains, so a huge body never sits in memory.
        auto left = std::make_shared<qint64>(reply.hugeSize);
        auto push = [this, socket, left, close]() {
            static const QByteArray chunk(64 * 1024, 'x');
            while (*left > 0 && socket->bytesToWrite() < 256 * 1024) {
                const qint64 n = std::min<qint64>(*left, chunk.size());
                socket->write(chunk.constData(), n);
                *left -= n;
            }
            if (*left == 0 && close) {
                *left = -1;
                m_buffers.remove(socket);
                socket->disconnectFromHost();
            }
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, push);
        push();
        return;
    }
    }
}

} // namespace brenvo::test
