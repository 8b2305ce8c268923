#include "http/ServiceFailure.h"

namespace brenvo {

ServiceFailure::ServiceFailure(Kind kind, int status, QString message, std::optional<QDateTime> retryAt)
    : m_kind(kind)
    , m_status(status)
    , m_message(std::move(message))
    , m_retryAt(std::move(retryAt))
{
}

ServiceFailure ServiceFailure::refused(int status, QString message, std::optional<QDateTime> retryAt)
{
    return ServiceFailure(Kind::refused, status, std::move(message), std::move(retryAt));
}

ServiceFailure ServiceFailure::explained(QString text)
{
    return ServiceFailure(Kind::explained, 0, std::move(text));
}

ServiceFailure ServiceFailure::rejected()
{
    return ServiceFailure(Kind::rejected, 0, {});
}

const char* ServiceFailure::what() const noexcept
{
    switch (m_kind) {
    case Kind::refused:
        return "service refused the request";
    case Kind::explained:
        return "service failure with an explanation";
    case Kind::rejected:
        return "service rejected the credential";
    }
    return "service failure";
}

} // namespace brenvo
