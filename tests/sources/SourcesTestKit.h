#pragma once

#include "http/HTTPClient.h"
#include "http/NetworkHTTPClient.h"
#include "http/SiteIconLoader.h"
#include "support/FakeHTTPClient.h"
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

// Websites for the icon loader: a favicon only on the hosts named, and the hosts asked, in order.
class IconSites {
public:
    std::shared_ptr<FakeHTTPClient> http = std::make_shared<FakeHTTPClient>();
    QSet<QString> withIcon;

    IconSites()
    {
        http->handler = [this](const HTTPRequest& request) {
            if (withIcon.contains(request.url.host()) && request.url.path() == u"/favicon.ico")
                return HTTPResponse {png(), 200};
            return HTTPResponse {QByteArray(), 404};
        };
    }
    IconSites(const IconSites&) = delete;
    IconSites& operator=(const IconSites&) = delete;

    QStringList hosts() const
    {
        QStringList out;
        for (const auto& request : http->requests) {
            if (!out.contains(request.url.host()))
                out.append(request.url.host());
        }
        return out;
    }
    void forget() { http->requests.clear(); }

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
