#pragma once

#include "http/HTTPClient.h"
#include "http/ServiceAPI.h"

#include <QCoroTask>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>
#include <utility>

namespace brenvo {

// The Vercel REST API as the Vercel source asks it: a plain value with the transport and the base
// URL, never a token. Every call builds its own ServiceAPI, so a call outlives the value it was made on.
class VercelClient {
public:
    // Whose deployments to read: the name to show and the teams the token can see.
    struct Identity {
        std::optional<QString> name;
        QList<QString> teamIDs;
        bool operator==(const Identity&) const = default;
    };

    // The API host, no path.
    static QUrl defaultBaseURL();
    // The domain under which Vercel gives every deployment and project an address, with its dot.
    static QString defaultSuffix();

    VercelClient() = default;
    VercelClient(std::shared_ptr<HTTPClient> http, QUrl baseURL)
        : http(std::move(http))
        , baseURL(std::move(baseURL))
    {
    }

    std::shared_ptr<HTTPClient> http;
    QUrl baseURL;

    // A GET of path (relative, no leading "/") decoded as T.
    template <typename T> QCoro::Task<T> get(QString path, ServiceAPI::Query query, QString token) const
    {
        return api().request<T>(std::move(path), std::move(query), std::move(token));
    }

    // A POST of a JSON body decoded as T.
    template <typename T>
    QCoro::Task<T> post(QString path, ServiceAPI::Query query, QJsonObject body, QString token) const
    {
        return api().request<T>(
            std::move(path), std::move(query), std::nullopt, std::move(body), std::move(token));
    }

    // True when a failed reply's "error" object marks the token invalid or missing.
    static bool rejectsToken(const QJsonObject& body);

private:
    ServiceAPI api() const;
};

} // namespace brenvo
