#include "http/ServiceFailure.h"

namespace brenvo {

ServiceFailure::ServiceFailure(Kind kind, int status, QString message)
    : m_kind(kind)
    , m_status(status)
    , m_message(std::move(message))
{
}

ServiceFailure ServiceFailure::refused(int status, QString message)
{
    return ServiceFailure(Kind::refused, status, std::move(message));
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
