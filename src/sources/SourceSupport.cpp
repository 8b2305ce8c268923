#include "sources/SourceSupport.h"

#include "http/HTTPClient.h"
#include "http/JsonReader.h"
#include "http/ServiceFailure.h"

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

QString spaced(const QString& text)
{
    QString out = text;
    out.replace(u'_', u' ');
    return out;
}

QString capitalised(const QString& text)
{
    if (text.isEmpty())
        return text;
    // A character outside the basic plane is two code units: upper-case it whole.
    const qsizetype head = text.front().isHighSurrogate() && text.size() > 1 ? 2 : 1;
    return text.left(head).toUpper() + text.mid(head);
}

QDateTime distantPast()
{
    return QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
}

std::optional<QString> nonEmpty(const std::optional<QString>& text)
{
    if (!text || text->isEmpty())
        return std::nullopt;
    return text;
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

std::optional<QUrl> webAddress(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid() || url.host().isEmpty())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme != u"https" && scheme != u"http")
        return std::nullopt;
    return url;
}

QString failureName(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const ServiceFailure& failure) {
        if (failure.isRefused())
            return u"status %1"_s.arg(failure.status());
        return QString::fromLatin1(failure.what());
    } catch (const std::exception& other) {
        return QString::fromUtf8(other.what());
    } catch (...) {
        return u"an unknown error"_s;
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

} // namespace brenvo
