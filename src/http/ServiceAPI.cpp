#include "http/ServiceAPI.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>

#include <cmath>

namespace brenvo {

namespace {

// Path characters that stay as they are besides letters, digits and "-._~". ";" does not: some
// servers cut a path segment at it.
constexpr char pathKeeps[] = "!$&'()*+,=:@/";
// Query characters that stay: as above without the item separators "&" and "=", and without "+",
// which many servers read as a space.
constexpr char queryKeeps[] = "!$'()*,;:@/?";

// A token that cannot travel in a header as it is: a pasted line break, a tab or another control.
bool hasControl(const QString& token)
{
    for (QChar c : token) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7f && u <= 0x9f) || u == 0x2028 || u == 0x2029)
            return true;
    }
    return false;
}

QJsonObject errorBody(const QByteArray& body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    return doc.isObject() ? doc.object() : QJsonObject();
}

std::optional<QString> nestedMessage(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonValue message = v.toObject().value(QLatin1StringView("message"));
    if (!message.isString())
        return std::nullopt;
    return message.toString();
}

// Retry-After: seconds from now, or an HTTP date.
std::optional<QDateTime> retryAfter(const std::optional<QByteArray>& value, const QDateTime& now)
{
    if (!value)
        return std::nullopt;
    bool isNumber = false;
    const qint64 seconds = value->trimmed().toLongLong(&isNumber);
    if (isNumber)
        return seconds >= 0 ? std::optional(now.addSecs(seconds)) : std::nullopt;
    QDateTime date = QLocale::c().toDateTime(
        QString::fromLatin1(value->trimmed()), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    if (!date.isValid())
        return std::nullopt;
    date.setTimeSpec(Qt::UTC);
    return date;
}

// The reset headers count seconds: from now, or since 1970 when the number is that large.
std::optional<QDateTime> resetAt(const std::optional<QByteArray>& value, const QDateTime& now)
{
    bool isNumber = false;
    const qint64 seconds = value ? value->trimmed().toLongLong(&isNumber) : 0;
    if (!isNumber || seconds < 0)
        return std::nullopt;
    return seconds >= 1000000000 ? QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC) : now.addSecs(seconds);
}

// When a reply that says the request limit is spent lets the next request through.
std::optional<QDateTime> retryTime(const HTTPResponse& response, const QString& message, const QDateTime& now)
{
    const bool limited = response.status == 429
        || (response.status == 403 && message.contains(QStringLiteral("rate limit"), Qt::CaseInsensitive));
    if (!limited)
        return std::nullopt;
    // A reset of a window that still has requests left is not what ran out (GitHub's secondary limits).
    auto spent = [&response](QByteArrayView remaining) {
        const auto left = response.header(remaining);
        return !left || left->trimmed() == "0";
    };
    std::optional<QDateTime> at = retryAfter(response.header("Retry-After"), now);
    if (!at && spent("RateLimit-Remaining"))
        at = resetAt(response.header("RateLimit-Reset"), now);
    if (!at && spent("X-RateLimit-Remaining"))
        at = resetAt(response.header("X-RateLimit-Reset"), now);
    if (!at || *at <= now)
        return std::nullopt;
    return std::min(*at, now.addSecs(3600));
}

bool isLineBreak(char16_t u)
{
    return u == 0x0a || u == 0x0b || u == 0x0c || u == 0x0d || u == 0x85 || u == 0x2028 || u == 0x2029;
}

} // namespace

HTTPRequest ServiceAPI::buildRequest(const QString& path, const Query& query,
    const std::optional<QString>& method, const std::optional<QJsonObject>& body, const QString& token) const
{
    QByteArray encodedPath = QUrl::toPercentEncoding(path, pathKeeps);
    const QString text = baseURL.toString(QUrl::FullyEncoded) + u'/' + QString::fromLatin1(encodedPath);
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        throw TransportFailure(TransportFailure::Kind::badURL);
    if (!query.isEmpty()) {
        // QMap keeps its keys sorted, so the items go out ordered by name.
        QByteArray encodedQuery;
        for (auto it = query.begin(); it != query.end(); ++it) {
            if (!encodedQuery.isEmpty())
                encodedQuery += '&';
            encodedQuery += QUrl::toPercentEncoding(it.key(), queryKeeps) + '='
                + QUrl::toPercentEncoding(it.value(), queryKeeps);
        }
        url.setQuery(QString::fromLatin1(encodedQuery), QUrl::StrictMode);
        if (!url.isValid())
            throw TransportFailure(TransportFailure::Kind::badURL);
    }

    if (hasControl(token))
        throw ServiceFailure::rejected();

    HTTPRequest request;
    request.url = url;
    request.timeout = timeout;
    request.deadline = deadline;
    request.maxBodyBytes = maxBodyBytes;
    if (body) {
        request.method = "POST";
        request.setHeader("Content-Type", "application/json");
        request.body = QJsonDocument(*body).toJson(QJsonDocument::Compact);
    }
    if (method)
        request.method = method->toUtf8();
    if (keyHeader) {
        request.credentialHeader = keyHeader->toUtf8();
        request.setHeader(request.credentialHeader, token.toUtf8());
    } else {
        request.credentialHeader = "Authorization";
        request.setHeader("Authorization", "Bearer " + token.toUtf8());
    }
    for (auto it = headers.begin(); it != headers.end(); ++it)
        request.setHeader(it.key().toUtf8(), it.value().toUtf8());
    return request;
}

QByteArray ServiceAPI::judge(const HTTPResponse& response, const RefusalTest& rejects, const QDateTime& now)
{
    if (response.status >= 200 && response.status <= 299)
        return response.body;
    const QJsonObject body = errorBody(response.body);
    if (response.status == 401)
        throw ServiceFailure::rejected();
    if (rejects && rejects(body))
        throw ServiceFailure::rejected();
    const QString explanation = message(body).value_or(QStringLiteral("No explanation given"));
    throw ServiceFailure::refused(response.status, explanation, retryTime(response, explanation, now));
}

QCoro::Task<QByteArray> ServiceAPI::exchange(ServiceAPI api, HTTPRequest request)
{
    if (!api.http)
        throw TransportFailure(TransportFailure::Kind::invalidRequest, QStringLiteral("no transport"));
    const HTTPResponse response = co_await api.http->data(std::move(request));
    co_return judge(response, api.rejects, QDateTime::currentDateTimeUtc());
}

QCoro::Task<void> ServiceAPI::send(QString path, Query query, std::optional<QString> method,
    std::optional<QJsonObject> body, QString token) const
{
    return sendWith(
        *this, std::move(path), std::move(query), std::move(method), std::move(body), std::move(token));
}

QCoro::Task<void> ServiceAPI::sendWith(ServiceAPI api, QString path, Query query,
    std::optional<QString> method, std::optional<QJsonObject> body, QString token)
{
    HTTPRequest built = api.buildRequest(path, query, method, body, token);
    co_await exchange(api, std::move(built));
}

std::optional<QString> ServiceAPI::message(const QJsonObject& body)
{
    if (auto found = nestedMessage(body.value(QLatin1StringView("error"))))
        return found;
    const QJsonValue errors = body.value(QLatin1StringView("errors"));
    if (errors.isArray()) {
        const QJsonArray list = errors.toArray();
        const bool allObjects
            = std::all_of(list.begin(), list.end(), [](const QJsonValue& v) { return v.isObject(); });
        if (allObjects && !list.isEmpty()) {
            if (auto found = nestedMessage(list.first()))
                return found;
        }
    }
    for (const char* key : {"message", "error_description", "detail", "error"}) {
        const QJsonValue v = body.value(QLatin1StringView(key));
        if (v.isString() && !v.toString().isEmpty())
            return v.toString();
    }
    return std::nullopt;
}

std::optional<QDateTime> ServiceAPI::date(const std::optional<QString>& text)
{
    if (!text)
        return std::nullopt;
    // A fraction only right after the seconds, and nothing after the zone (\z: no final newline).
    static const QRegularExpression stamp(
        QStringLiteral("^([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})(?:\\.[0-9]+)?"
                       "(?:(Z)|([+-])([0-9]{2}):([0-9]{2}))\\z"));
    const QRegularExpressionMatch m = stamp.match(*text);
    if (!m.hasMatch())
        return std::nullopt;
    auto number = [&m](int group) { return m.capturedView(group).toInt(); };
    const QDate day(number(1), number(2), number(3));
    // A leap second is read as the first second of the next minute.
    const int seconds = number(6);
    const QTime time(number(4), number(5), seconds == 60 ? 59 : seconds);
    if (!day.isValid() || !time.isValid())
        return std::nullopt;
    int offset = seconds == 60 ? -1 : 0;
    if (!m.capturedView(8).isEmpty()) {
        const int hours = number(9);
        const int minutes = number(10);
        if (hours > 23 || minutes > 59)
            return std::nullopt;
        offset += (hours * 3600 + minutes * 60) * (m.capturedView(8) == u"-" ? -1 : 1);
    }
    return QDateTime(day, time, Qt::UTC).addSecs(-offset);
}

QString ServiceAPI::firstLine(const std::optional<QString>& text)
{
    if (!text)
        return {};
    const QString& s = *text;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= s.size(); ++i) {
        if (i == s.size() || isLineBreak(s[i].unicode())) {
            if (i > start)
                return s.mid(start, i - start);
            start = i + 1;
        }
    }
    return {};
}

} // namespace brenvo
