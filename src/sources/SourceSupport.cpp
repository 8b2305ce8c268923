#include "sources/SourceSupport.h"

#include "http/HTTPClient.h"
#include "http/JsonReader.h"
#include "http/ServiceFailure.h"

#include <QCryptographicHash>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

QDateTime distantPast()
{
    return QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
}

std::optional<QDateTime> dateFromMilliseconds(std::optional<double> milliseconds)
{
    // 100 million days either side of 1970, the range web dates are given in; well inside qint64.
    constexpr double limit = 8.64e15;
    if (!milliseconds || !std::isfinite(*milliseconds) || std::fabs(*milliseconds) > limit)
        return std::nullopt;
    const QDateTime date = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(*milliseconds), Qt::UTC);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

QList<QString> suffixLast(const QList<QString>& names, const QString& suffix)
{
    QList<QString> own;
    QList<QString> defaults;
    for (const QString& name : names)
        (name.endsWith(suffix) ? defaults : own).append(name);
    return own + defaults;
}

bool isDefinitiveAnswer(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const ServiceFailure& failure) {
        return failure.isRefused() && failure.status() >= 400 && failure.status() <= 499
            && failure.status() != 429;
    } catch (const DecodingFailure&) {
        return true;
    } catch (...) {
        return false;
    }
}

QCoro::Task<std::optional<QImage>> firstIcon(SiteIconLoader loader, QList<QString> hosts)
{
    for (const QString& host : hosts) {
        auto image = co_await loader.iconForHost(host);
        if (image)
            co_return image;
    }
    co_return std::nullopt;
}

void requireAlive(const QObject* owner)
{
    if (!owner)
        throw TransportFailure(TransportFailure::Kind::cancelled, u"the source went away"_s);
}

QByteArray tokenDigest(const QString& token)
{
    return QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256);
}

} // namespace brenvo
