#pragma once

#include "model/Log.h"
#include "sources/GitHubSource.h"
#include "sources/SourceSupport.h"

#include <QCoroTask>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <exception>
#include <optional>

// Shared by the files of GitHubSource only.
namespace brenvo::github {

inline void logDropped(const char* what, const QString& repository, const std::exception_ptr& failure)
{
    qCInfo(logApp, "GitHub %s of %s: %s", what, qUtf8Printable(repository),
        qUtf8Printable(failureName(failure)));
}

inline std::optional<QString> hostOf(const std::optional<QUrl>& url)
{
    if (!url)
        return std::nullopt;
    const QString host = url->host(QUrl::FullyEncoded);
    if (host.isEmpty())
        return std::nullopt;
    return host;
}

// One lookup of a refresh: a rate limit ends the refresh, any other failure is logged and handed
// back for the caller to carry on past. Throws a cancellation when the source went away meanwhile.
template <typename T>
QCoro::Task<Attempt<T>> lookUp(
    QPointer<GitHubSource> self, QCoro::Task<T> call, const char* what, QString repository)
{
    Attempt<T> got = co_await attempt(std::move(call));
    requireAlive(self);
    if (got.error) {
        if (GitHubSource::isRateLimit(got.error))
            std::rethrow_exception(got.error);
        logDropped(what, repository, got.error);
    }
    co_return got;
}

} // namespace brenvo::github
