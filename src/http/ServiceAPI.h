#pragma once

#include "http/HTTPClient.h"
#include "http/JsonReader.h"
#include "http/ServiceFailure.h"

#include <QCoroTask>
#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace brenvo {

// The request value of every web client: built per call with the client's base URL, fixed headers,
// key style and refusal test; the token travels with each call.
//
//     ServiceAPI api{http, QUrl("https://api.github.com"), {{"Accept", "application/vnd.github+json"}},
//     true}; const ServiceAPI::Query query{{"per_page", "5"}}; auto runs = co_await
//     api.request<RunsPage>("repos/" + repo + "/actions/runs", query, token);
//
// (GCC 12 rejects a braced list of pairs inside a co_await expression, "array used as initializer":
// build a query or body in a local first.)
//
// Failures: TransportFailure when no reply came (or the address was unusable), ServiceFailure for
// a status outside 200 to 299 (401 and the client's own refusal test give rejected; a spent rate
// limit carries its reset time) and for a token
// that cannot travel in a header, DecodingFailure when a 2xx body does not fit the reply type.
class ServiceAPI {
public:
    using Query = QMap<QString, QString>;
    using Headers = QMap<QString, QString>;
    // True when an error body says the token was not accepted.
    using RefusalTest = std::function<bool(const QJsonObject&)>;

    static bool neverRejects(const QJsonObject&) { return false; }

    std::shared_ptr<HTTPClient> http;
    QUrl baseURL;
    Headers headers;
    bool readsSnakeCase = false;
    // Absent: "Authorization: Bearer <token>"; present: the field that carries the bare token.
    std::optional<QString> keyHeader;
    RefusalTest rejects = neverRejects;

    // Limits of one call.
    std::chrono::milliseconds timeout {15000};
    std::chrono::milliseconds deadline {60000};
    qint64 maxBodyBytes = 16 * 1024 * 1024;

    // The reply decoded as T. Method absent: POST with a body, GET without.
    template <typename T>
    QCoro::Task<T> request(QString path, Query query, std::optional<QString> method,
        std::optional<QJsonObject> body, QString token) const
    {
        return requestWith<T>(
            *this, std::move(path), std::move(query), std::move(method), std::move(body), std::move(token));
    }

    // A GET decoded as T.
    template <typename T> QCoro::Task<T> request(QString path, Query query, QString token) const
    {
        return requestWith<T>(
            *this, std::move(path), std::move(query), std::nullopt, std::nullopt, std::move(token));
    }

    // Succeeds on any status from 200 to 299 without reading the body.
    QCoro::Task<void> send(QString path, Query query, std::optional<QString> method,
        std::optional<QJsonObject> body, QString token) const;

    // The request that request() and send() would send. Throws TransportFailure(badURL) for an
    // address that cannot be made and ServiceFailure::rejected() for a token with a control character.
    HTTPRequest buildRequest(const QString& path, const Query& query, const std::optional<QString>& method,
        const std::optional<QJsonObject>& body, const QString& token) const;

    // The explanation in a server's error body, or nothing.
    static std::optional<QString> message(const QJsonObject& body);
    // An RFC 3339 time stamp (fractional seconds ignored) as a UTC instant, or nothing.
    static std::optional<QDateTime> date(const std::optional<QString>& text);
    // The first non-empty line of a message; "" when there is none.
    static QString firstLine(const std::optional<QString>& text);

    // The status rules on one reply that arrived at now: returns the body of a 2xx, else throws the
    // ServiceFailure (with the time a spent rate limit resets, see ServiceFailure::retryAt).
    static QByteArray judge(const HTTPResponse& response, const RefusalTest& rejects,
        const QDateTime& now = QDateTime::currentDateTimeUtc());

private:
    // Sends with api's transport and judges the reply; copies everything it needs before waiting.
    static QCoro::Task<QByteArray> exchange(ServiceAPI api, HTTPRequest request);
    static QCoro::Task<void> sendWith(ServiceAPI api, QString path, Query query,
        std::optional<QString> method, std::optional<QJsonObject> body, QString token);

    // Works on a copy, so the value the caller built may go away while the request is out.
    template <typename T>
    static QCoro::Task<T> requestWith(ServiceAPI api, QString path, Query query,
        std::optional<QString> method, std::optional<QJsonObject> body, QString token)
    {
        HTTPRequest built = api.buildRequest(path, query, method, body, token);
        const QByteArray bytes = co_await exchange(api, std::move(built));
        co_return decodeJson<T>(bytes, api.readsSnakeCase ? KeyStyle::snakeCase : KeyStyle::asIs);
    }
};

} // namespace brenvo
