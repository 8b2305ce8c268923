#include "http/ReplySupport.h"

#include "http/HTTPClient.h"
#include "http/ServiceFailure.h"

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

std::optional<QString> nonEmpty(const std::optional<QString>& text)
{
    if (!text || text->isEmpty())
        return std::nullopt;
    return text;
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

} // namespace brenvo
