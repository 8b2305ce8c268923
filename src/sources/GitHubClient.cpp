#include "sources/GitHubClient.h"

#include "sources/GitHubReplies.h"
#include "sources/SourceSupport.h"

#include <QSet>

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

using namespace github;

namespace {

// A reply's text as a web address; anything else is as good as missing.
std::optional<QUrl> address(const std::optional<QString>& text)
{
    return text ? webAddress(*text) : std::nullopt;
}

// Each element of a reply as a model, in the reply's order.
template <typename Item, typename Map> auto mapped(const QList<Item>& items, Map map)
{
    QList<decltype(map(items.front()))> out;
    out.reserve(items.size());
    for (const auto& item : items)
        out.append(map(item));
    return out;
}

const QSet<QString>& failingStepConclusions()
{
    static const QSet<QString> set {u"failure"_s, u"timed_out"_s, u"startup_failure"_s};
    return set;
}

QString repoPath(const QString& repository)
{
    return u"repos/"_s + repository;
}

GitHubClient::CommitInfo commitInfo(const CommitItemResponse& item)
{
    GitHubClient::CommitInfo info;
    info.sha = item.sha;
    info.message = ServiceAPI::firstLine(item.commit.message);
    if (item.commit.committer)
        info.date = ServiceAPI::date(item.commit.committer->date);
    if (!info.date && item.commit.author)
        info.date = ServiceAPI::date(item.commit.author->date);
    if (item.author && item.author->login)
        info.author = item.author->login;
    else if (item.commit.author)
        info.author = item.commit.author->name;
    return info;
}

GitHubClient::Run run(const RunsResponse::Item& item)
{
    GitHubClient::Run out;
    out.id = item.id;
    out.name = item.name.value_or(u"Workflow"_s);
    out.sha = item.headSha;
    out.branch = item.headBranch;
    out.message = ServiceAPI::firstLine(item.headCommit ? item.headCommit->message : std::nullopt);
    if (out.message.isEmpty())
        out.message = item.displayTitle.value_or(QString());
    const auto stateNote = GitHubClient::state(item.status, item.conclusion);
    out.state = stateNote.state;
    out.stateNote = stateNote.note;
    out.started = ServiceAPI::date(item.runStartedAt)
                      .value_or(ServiceAPI::date(item.createdAt).value_or(distantPast()));
    out.updated = ServiceAPI::date(item.updatedAt).value_or(out.started);
    out.url = address(item.htmlUrl);
    if (item.actor)
        out.actor = item.actor->login;
    return out;
}

GitHubClient::Job job(const JobsResponse::Item& item)
{
    GitHubClient::Job out;
    out.id = item.id;
    out.name = item.name;
    const auto stateNote = GitHubClient::state(item.status, item.conclusion);
    out.state = stateNote.state;
    out.stateNote = stateNote.note;
    const auto started = ServiceAPI::date(item.startedAt);
    const auto completed = ServiceAPI::date(item.completedAt);
    if (started && completed && *completed >= *started)
        out.duration = static_cast<double>(started->msecsTo(*completed)) / 1000.0;
    if (out.state == Deployment::State::failed && item.steps) {
        for (const auto& step : *item.steps) {
            if (step.conclusion && failingStepConclusions().contains(*step.conclusion)) {
                out.failedStep = step.name;
                break;
            }
        }
    }
    out.url = address(item.htmlUrl);
    return out;
}

GitHubClient::Status status(const CombinedStatusResponse::Item& item)
{
    GitHubClient::Status out;
    out.context = item.context;
    if (item.state == u"success")
        out.state = Deployment::State::ready;
    else if (item.state == u"failure" || item.state == u"error")
        out.state = Deployment::State::failed;
    else
        out.state = Deployment::State::building;
    out.description = item.description;
    out.url = address(item.targetUrl);
    out.updated = ServiceAPI::date(item.updatedAt);
    if (!out.updated)
        out.updated = ServiceAPI::date(item.createdAt);
    return out;
}

GitHubClient::Placement placement(const PlacementResponse& item)
{
    GitHubClient::Placement out;
    out.id = item.id;
    out.sha = item.sha;
    out.ref = item.ref;
    out.environment = item.environment.value_or(u"production"_s);
    out.created = ServiceAPI::date(item.createdAt).value_or(distantPast());
    if (item.creator)
        out.creator = item.creator->login;
    return out;
}

} // namespace

QUrl GitHubClient::defaultBaseURL()
{
    return QUrl(u"https://api.github.com"_s);
}

QString GitHubClient::webURL()
{
    return u"https://github.com/"_s;
}

GitHubClient::GitHubClient(std::shared_ptr<HTTPClient> http, QUrl baseURL)
    : http(std::move(http))
    , baseURL(std::move(baseURL))
{
}

ServiceAPI GitHubClient::api() const
{
    ServiceAPI a;
    a.http = http;
    a.baseURL = baseURL;
    a.headers
        = {{u"Accept"_s, u"application/vnd.github+json"_s}, {u"X-GitHub-Api-Version"_s, u"2022-11-28"_s}};
    a.readsSnakeCase = true;
    return a;
}

QCoro::Task<GitHubClient::User> GitHubClient::user(QString token) const
{
    const ServiceAPI a = api();
    const ServiceAPI::Query none;
    const auto reply = co_await a.request<UserResponse>(u"user"_s, none, token);
    co_return User {reply.login, address(reply.avatarUrl)};
}

QCoro::Task<QList<GitHubClient::Repository>> GitHubClient::repositories(QString token, int limit) const
{
    const ServiceAPI a = api();
    const ServiceAPI::Query query {{u"sort"_s, u"pushed"_s}, {u"per_page"_s, QString::number(limit)}};
    const auto reply = co_await a.request<QList<RepositoryResponse>>(u"user/repos"_s, query, token);
    QList<Repository> out;
    out.reserve(reply.size());
    for (const auto& item : reply)
        out.append(Repository {item.fullName, nonEmpty(item.homepage), item.defaultBranch});
    co_return out;
}

QCoro::Task<QList<GitHubClient::CommitInfo>> GitHubClient::commits(
    QString token, QString repository, int limit) const
{
    const ServiceAPI a = api();
    const ServiceAPI::Query query {{u"per_page"_s, QString::number(limit)}};
    const QString path = repoPath(repository) + u"/commits"_s;
    QList<CommitItemResponse> reply;
    try {
        reply = co_await a.request<QList<CommitItemResponse>>(path, query, token);
    } catch (const ServiceFailure& failure) {
        // GitHub answers 409 for a repository without any commit yet.
        if (!failure.isRefused() || failure.status() != 409)
            throw;
    }
    co_return mapped(reply, commitInfo);
}

QCoro::Task<QList<GitHubClient::Run>> GitHubClient::runs(
    QString token, QString repository, std::optional<QString> sha, int limit) const
{
    const ServiceAPI a = api();
    ServiceAPI::Query query {{u"per_page"_s, QString::number(limit)}};
    if (sha)
        query.insert(u"head_sha"_s, *sha);
    const QString path = repoPath(repository) + u"/actions/runs"_s;
    const auto reply = co_await a.request<RunsResponse>(path, query, token);
    co_return mapped(reply.workflowRuns, run);
}

QCoro::Task<QList<GitHubClient::Job>> GitHubClient::jobs(
    QString token, QString repository, qint64 runID) const
{
    const ServiceAPI a = api();
    const ServiceAPI::Query query {{u"filter"_s, u"latest"_s}, {u"per_page"_s, u"100"_s}};
    const QString path = repoPath(repository) + u"/actions/runs/"_s + QString::number(runID) + u"/jobs"_s;
    const auto reply = co_await a.request<JobsResponse>(path, query, token);
    co_return mapped(reply.jobs, job);
}

QCoro::Task<QList<GitHubClient::Status>> GitHubClient::statuses(
    QString token, QString repository, QString sha) const
{
    const ServiceAPI a = api();
    const QString path = repoPath(repository) + u"/commits/"_s + sha + u"/status"_s;
    const ServiceAPI::Query none;
    const auto reply = co_await a.request<CombinedStatusResponse>(path, none, token);
    co_return mapped(reply.statuses, status);
}

QCoro::Task<QList<GitHubClient::Placement>> GitHubClient::placements(
    QString token, QString repository, std::optional<QString> sha, int limit) const
{
    const ServiceAPI a = api();
    ServiceAPI::Query query {{u"per_page"_s, QString::number(limit)}};
    if (sha)
        query.insert(u"sha"_s, *sha);
    const QString path = repoPath(repository) + u"/deployments"_s;
    const auto reply = co_await a.request<QList<PlacementResponse>>(path, query, token);
    co_return mapped(reply, placement);
}

QCoro::Task<GitHubClient::PlacementStatus> GitHubClient::latestStatus(
    QString token, QString repository, Placement of, QDateTime now) const
{
    const ServiceAPI a = api();
    const ServiceAPI::Query query {{u"per_page"_s, u"5"_s}};
    const QString path = repoPath(repository) + u"/deployments/"_s + QString::number(of.id) + u"/statuses"_s;
    const auto reply = co_await a.request<QList<PlacementStatusResponse>>(path, query, token);
    co_return latestStatus(reply, of, now);
}

QCoro::Task<std::optional<QString>> GitHubClient::commitMessage(
    QString token, QString repository, QString sha) const
{
    const ServiceAPI a = api();
    const QString path = repoPath(repository) + u"/commits/"_s + sha;
    const ServiceAPI::Query none;
    const auto reply = co_await a.request<CommitResponse>(path, none, token);
    if (!reply.commit.message)
        co_return std::nullopt;
    co_return ServiceAPI::firstLine(reply.commit.message);
}

QCoro::Task<void> GitHubClient::rerunFailedJobs(QString token, QString repository, qint64 runID) const
{
    const ServiceAPI a = api();
    const QString path
        = repoPath(repository) + u"/actions/runs/"_s + QString::number(runID) + u"/rerun-failed-jobs"_s;
    const ServiceAPI::Query none;
    co_await a.send(path, none, u"POST"_s, std::nullopt, token);
}

GitHubClient::StateNote GitHubClient::state(
    const std::optional<QString>& status, const std::optional<QString>& conclusion)
{
    using S = Deployment::State;
    if (!status || *status != u"completed")
        return {S::building, std::nullopt};
    if (!conclusion)
        return {S::canceled, std::nullopt};
    const QString& c = *conclusion;
    if (c == u"success")
        return {S::ready, std::nullopt};
    if (c == u"failure" || c == u"startup_failure")
        return {S::failed, std::nullopt};
    if (c == u"timed_out")
        return {S::failed, u"Timed out"_s};
    if (c == u"cancelled")
        return {S::canceled, std::nullopt};
    if (c == u"action_required")
        return {S::canceled, u"Needs approval"_s};
    return {S::canceled, capitalised(spaced(c))};
}

GitHubClient::PlacementStatus GitHubClient::placementStatus(const PlacementStatusResponse& response)
{
    PlacementStatus out;
    if (response.state == u"success") {
        out.state = Deployment::State::ready;
        out.isFinal = true;
    } else if (response.state == u"failure" || response.state == u"error") {
        out.state = Deployment::State::failed;
        out.isFinal = true;
    } else if (response.state == u"inactive") {
        out.state = Deployment::State::canceled;
        out.stateNote = u"Inactive"_s;
        out.isFinal = true;
    } else {
        out.state = Deployment::State::building;
    }
    out.environmentURL = address(response.environmentUrl);
    out.logURL = address(response.logUrl);
    out.description = response.description;
    return out;
}

GitHubClient::PlacementStatus GitHubClient::latestStatus(
    const QList<PlacementStatusResponse>& statuses, const Placement& placement, const QDateTime& now)
{
    if (statuses.isEmpty()) {
        if (placement.created.msecsTo(now) < 1800 * 1000LL)
            return PlacementStatus {};
        PlacementStatus none;
        none.state = Deployment::State::canceled;
        none.stateNote = u"No status"_s;
        none.isFinal = true;
        return none;
    }
    const PlacementStatusResponse* chosen = &statuses.front();
    for (const auto& item : statuses) {
        if (item.state != u"inactive") {
            chosen = &item;
            break;
        }
    }
    PlacementStatus out = placementStatus(*chosen);
    out.environmentURL.reset();
    for (const auto& item : statuses) {
        if (auto url = address(item.environmentUrl)) {
            out.environmentURL = url;
            break;
        }
    }
    if (out.state == Deployment::State::building) {
        const auto at = ServiceAPI::date(chosen->updatedAt ? chosen->updatedAt : chosen->createdAt);
        if (at && at->msecsTo(now) > 21600 * 1000LL) {
            out.state = Deployment::State::canceled;
            out.stateNote = u"Stalled"_s;
            out.isFinal = true;
        }
    }
    return out;
}

} // namespace brenvo
