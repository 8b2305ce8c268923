#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <exception>
#include <optional>

namespace brenvo {

// How a web request failed at the tool. Carries no sentence of its own: the store words it.
class ServiceFailure : public std::exception {
public:
    enum class Kind {
        refused, // a status outside 200 to 299 other than a rejection; status and the server's message
        explained, // a finished sentence for the user
        rejected // the tool did not accept the token or key
    };

    static ServiceFailure refused(int status, QString message, std::optional<QDateTime> retryAt = {});
    static ServiceFailure explained(QString text);
    static ServiceFailure rejected();

    Kind kind() const { return m_kind; }
    bool isRefused() const { return m_kind == Kind::refused; }
    bool isExplained() const { return m_kind == Kind::explained; }
    bool isRejected() const { return m_kind == Kind::rejected; }
    // The status of a refusal; 0 for the other cases.
    int status() const { return m_status; }
    // The message of a refusal or the text of an explanation; empty for a rejection.
    const QString& message() const { return m_message; }
    // For a refusal that says the service's request limit is spent (status 429, or 403 with a
    // message about a rate limit) and names when the limit resets (Retry-After, RateLimit-Reset or
    // X-RateLimit-Reset): that moment in UTC, later than the reply and at most one hour after it. Absent
    // when the reply named no future reset, and for every other failure. Nothing should be asked of the
    // service before it.
    const std::optional<QDateTime>& retryAt() const { return m_retryAt; }

    bool operator==(const ServiceFailure& other) const
    {
        return m_kind == other.m_kind && m_status == other.m_status && m_message == other.m_message
            && m_retryAt == other.m_retryAt;
    }

    // The case's name only: server text stays out of generic error paths.
    const char* what() const noexcept override;

private:
    ServiceFailure(Kind kind, int status, QString message, std::optional<QDateTime> retryAt = {});
    Kind m_kind;
    int m_status = 0;
    QString m_message;
    std::optional<QDateTime> m_retryAt;
};

} // namespace brenvo
