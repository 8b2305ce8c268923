#pragma once

#include "http/HTTPClient.h"
#include "http/NetworkHTTPClient.h"
#include "http/SiteIconLoader.h"
#include "support/LoopbackServer.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"

#include <QBuffer>
#include <QImage>
#include <QJsonDocument>
#include <QSet>
#include <QStringList>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <exception>
#include <memory>

namespace brenvo::test {

inline const QString fakeToken = QStringLiteral("test-token-not-real");

// The transport under the icon loader: records each host asked for and has a favicon only on the
// hosts it is told of.
class FakeIconTransport final : public HTTPClient {
public:
    QSet<QString> withIcon;
    QStringList hosts; // in the order first asked

    QCoro::Task<HTTPResponse> data(HTTPRequest request) override
    {
        const QString host = request.url.host();
        if (!hosts.contains(host))
            hosts.append(host);
        if (withIcon.contains(host) && request.url.path() == u"/favicon.ico")
            co_return HTTPResponse {png(), 200};
        co_return HTTPResponse {QByteArray(), 404};
    }

    static QByteArray png()
    {
        QImage image(4, 4, QImage::Format_ARGB32);
        image.fill(Qt::red);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes;
    }
};

// The decoded query of a recorded request.
inline QMap<QString, QString> queryOf(const RecordedRequest& request)
{
    QMap<QString, QString> out;
    for (const auto& [name, value] :
        QUrlQuery(QString::fromUtf8(request.query)).queryItems(QUrl::FullyDecoded))
        out.insert(name, value);
    return out;
}

inline QJsonObject bodyOf(const RecordedRequest& request)
{
    return QJsonDocument::fromJson(request.body).object();
}

inline QJsonObject json(const char* text)
{
    return QJsonDocument::fromJson(QByteArray(text)).object();
}

// Runs a task that should fail and gives back its error as E; fails the test when it succeeds or
// fails otherwise.
template <typename E, typename T> std::optional<E> failureOf(QCoro::Task<T> task)
{
    try {
        runTask(std::move(task));
    } catch (const E& error) {
        return error;
    } catch (const std::exception& other) {
        ADD_FAILURE() << "other failure: " << other.what();
        return std::nullopt;
    }
    ADD_FAILURE() << "no failure";
    return std::nullopt;
}

} // namespace brenvo::test
