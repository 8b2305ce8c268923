#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QCoroTask>
#include <QList>
#include <QString>
#include <QUrl>

#include <chrono>
#include <exception>
#include <optional>
#include <utility>

namespace brenvo {

// One request, complete as its caller built it. The transport sends it as it is, adding only what
// HTTP itself needs (Host, Content-Length) and a User-Agent when none is given.
struct HTTPRequest {
    QUrl url;
    QByteArray method = "GET";
    // Header fields in the order they were set; names compare without regard to case.
    QList<std::pair<QByteArray, QByteArray>> headers;
    // Absent: no body and no Content-Length beyond what the method needs.
    std::optional<QByteArray> body;
    // Longest silence between two bytes before the request is given up.
    std::chrono::milliseconds timeout {15000};
    // Longest time for the whole exchange, redirects included, however steadily bytes arrive.
    std::chrono::milliseconds deadline {60000};
    // Longest reply body accepted.
    qint64 maxBodyBytes = 16 * 1024 * 1024;
    // True: a longer body is cut to its first maxBodyBytes instead of failing the request.
    bool keepsFirstBytes = false;
    // Redirects followed at most; the transport may allow fewer.
    int maxRedirects = 8;
    // The name of the header field that carries a secret, empty when none. A request that carries
    // one follows redirects only within its origin and may be answered from the transport's
    // conditional cache.
    QByteArray credentialHeader;

    // Sets a field, replacing every field of the same name (any letter case) set before.
    void setHeader(const QByteArray& name, const QByteArray& value);
    std::optional<QByteArray> header(QByteArrayView name) const;
    void removeHeader(QByteArrayView name);
};

// A reply: its body, whatever the status, the status (0 when the answer was not HTTP) and its header
// fields as they came.
struct HTTPResponse {
    QByteArray body;
    int status = 0;
    QList<std::pair<QByteArray, QByteArray>> headers;

    HTTPResponse() = default;
    HTTPResponse(QByteArray body, int status, QList<std::pair<QByteArray, QByteArray>> headers = {})
        : body(std::move(body))
        , status(status)
        , headers(std::move(headers))
    {
    }

    // The first field of that name, any letter case.
    std::optional<QByteArray> header(QByteArrayView name) const;
};

// A request that got no reply. Detail is for the log and never holds a query, a header or a body.
class TransportFailure : public std::exception {
public:
    enum class Kind {
        badURL, // the address could not be made
        unsupportedURL, // not an http or https address
        invalidRequest, // a header value with a control character, or another unsendable request
        cannotFindHost, // the name did not resolve
        cannotConnect, // refused or unreachable
        connectionLost, // the connection closed before the reply was whole
        secureConnectionFailed, // TLS
        timedOut, // silence longer than the request's timeout
        deadlineExceeded, // the whole exchange took longer than its deadline
        tooLarge, // the body passed the request's cap
        cancelled,
        other
    };

    explicit TransportFailure(Kind kind, QString detail = {});

    Kind kind() const { return m_kind; }
    const QString& detail() const { return m_detail; }
    const char* what() const noexcept override { return m_what.constData(); }

    static const char* name(Kind kind);

private:
    Kind m_kind;
    QString m_detail;
    QByteArray m_what;
};

// The one seam between the application and the web. Implementations run on the GUI thread.
class HTTPClient {
public:
    virtual ~HTTPClient() = default;

    // Sends request and gives back the body and status for every status; throws TransportFailure
    // only when no reply arrived.
    virtual QCoro::Task<HTTPResponse> data(HTTPRequest request) = 0;
};

} // namespace brenvo
