#pragma once

#include "http/HTTPClient.h"

#include <memory>

namespace brenvo {

// The transport of the application: one QNetworkAccessManager on the GUI thread.
//
// Beyond sending: only http and https are fetched; redirects are followed by hand (at most
// maxRedirects or the request's own limit, never from https to http, and for a request that carries a
// credential only within its origin, else the 3xx reply is handed back); the request's timeout,
// deadline and body cap are kept; a body that cannot be decompressed is a failure; a GET that carries a
// credential is made conditional with the last ETag seen for the same address and credential, and a 304 comes
// back as the remembered body with status 200.
class NetworkHTTPClient final : public HTTPClient {
public:
    struct Options {
        bool conditionalRequests = true;
        int cacheEntries = 128;
        qint64 cacheBytes = 16 * 1024 * 1024;
        int maxRedirects = 8;
        // Empty: the application's name and version.
        QByteArray userAgent = {};
    };

    NetworkHTTPClient();
    explicit NetworkHTTPClient(Options options);
    ~NetworkHTTPClient() override;
    NetworkHTTPClient(const NetworkHTTPClient&) = delete;
    NetworkHTTPClient& operator=(const NetworkHTTPClient&) = delete;

    QCoro::Task<HTTPResponse> data(HTTPRequest request) override;

    // Entries of the conditional cache, for tests.
    int cachedReplies() const;

    // The manager and the cache, held by every request still out.
    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};

} // namespace brenvo
