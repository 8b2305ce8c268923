#include "http/HTTPClient.h"

namespace brenvo {

namespace {
bool sameName(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}
} // namespace

void HTTPRequest::setHeader(const QByteArray& name, const QByteArray& value)
{
    removeHeader(name);
    headers.append({name, value});
}

std::optional<QByteArray> HTTPRequest::header(QByteArrayView name) const
{
    for (const auto& [n, v] : headers) {
        if (sameName(n, name))
            return v;
    }
    return std::nullopt;
}

void HTTPRequest::removeHeader(QByteArrayView name)
{
    headers.removeIf([name](const auto& field) { return sameName(field.first, name); });
}

std::optional<QByteArray> HTTPResponse::header(QByteArrayView name) const
{
    for (const auto& [n, v] : headers) {
        if (sameName(n, name))
            return v;
    }
    return std::nullopt;
}

TransportFailure::TransportFailure(Kind kind, QString detail)
    : m_kind(kind)
    , m_detail(std::move(detail))
{
    m_what = QByteArray(name(kind));
    if (!m_detail.isEmpty())
        m_what += ": " + m_detail.toUtf8();
}

const char* TransportFailure::name(Kind kind)
{
    switch (kind) {
    case Kind::badURL:
        return "bad URL";
    case Kind::unsupportedURL:
        return "unsupported URL";
    case Kind::invalidRequest:
        return "invalid request";
    case Kind::cannotFindHost:
        return "cannot find host";
    case Kind::cannotConnect:
        return "cannot connect to host";
    case Kind::connectionLost:
        return "connection lost";
    case Kind::secureConnectionFailed:
        return "secure connection failed";
    case Kind::timedOut:
        return "timed out";
    case Kind::deadlineExceeded:
        return "deadline exceeded";
    case Kind::tooLarge:
        return "reply too large";
    case Kind::cancelled:
        return "cancelled";
    case Kind::other:
        return "transfer failed";
    }
    return "transfer failed";
}

} // namespace brenvo
