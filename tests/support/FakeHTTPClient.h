#pragma once

// A transport with canned answers and no network, for quick mapping checks. Tests of a client's
// wire format go through NetworkHTTPClient and LoopbackServer instead. Needs brenvo_http.
#include "http/HTTPClient.h"

#include <QHash>

#include <functional>
#include <optional>
#include <vector>

namespace brenvo::test {

class FakeHTTPClient : public HTTPClient {
public:
    // Every request, in order.
    std::vector<HTTPRequest> requests;
    // Answers for a URL path; a path without one gets `otherwise`.
    QHash<QString, HTTPResponse> answers;
    HTTPResponse otherwise {{}, 404};
    // When set, every request fails like this.
    std::optional<TransportFailure::Kind> failure;
    // When set, decides every answer itself.
    std::function<HTTPResponse(const HTTPRequest&)> handler;

    QCoro::Task<HTTPResponse> data(HTTPRequest request) override
    {
        requests.push_back(request);
        if (failure)
            throw TransportFailure(*failure, QStringLiteral("fake"));
        if (handler)
            co_return handler(request);
        co_return answers.value(request.url.path(), otherwise);
    }
};

} // namespace brenvo::test
