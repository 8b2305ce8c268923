#include "sources/GitLabClient.h"

#include "model/KitText.h"
#include "model/Log.h"
#include "sources/GitLabReplies.h"
#include "sources/SourceSupport.h"

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

using namespace gitlab;

namespace {

// A reply's text as a web address; anything else is as good as missing.
std::optional<QUrl> address(const std::optional<QString>& text)
{
    return text ? webAddress(*text) : std::nullopt;
}

QString projectPath(qint64 project)
{
    return u"projects/"_s + QString::number(project);
}

QString pipelinePath(qint64 project, qint64 pipeline)
{
    return projectPath(project) + u"/pipelines/"_s + QString::number(pipeline);
}

} // namespace

QUrl GitLabClient::defaultBaseURL()
{
    return QUrl(u"https://gitlab.com/api/v4"_s);
}

GitLabClient::GitLabClient(std::shared_ptr<HTTPClient> http, QUrl baseURL)
    : http(std::move(http))
    , baseURL(std::move(baseURL))
{
}

ServiceAPI GitLabClient::api() const
{
    ServiceAPI a;
    a.http = http;
    a.baseURL = baseURL;
    a.readsSnakeCase = true;
    return a;
}

QCoro::Task<GitLabClient::User> GitLabClient::user(QString token) const
{
    const ServiceAPI a = api();
    const ServiceAPI::Query none;
    const auto reply = co_await a.request<UserResponse>(u"user"_s, none, token);
    co_return User {reply.username, address(reply.avatarUrl)};
}

QCoro::Task<QList<GitLabClient::Project>> GitLabClient::projects(QString token, int limit) const
{
    const ServiceAPI a = api();
    const ServiceAPI::Query query {{u"membership"_s, u"true"_s}, {u"order_by"_s, u"last_activity_at"_s},
        {u"sort"_s, u"desc"_s}, {u"simple"_s, u"true"_s}, {u"archived"_s, u"false"_s},
        {u"per_page"_s, QString::number(limit)}};
    const auto reply = co_await a.request<QList<ProjectResponse>>(u"projects"_s, query, token);
    QList<Project> out;
    out.reserve(reply.size());
    for (const auto& item : reply)
        out.append(Project {item.id, item.pathWithNamespace, address(item.avatarUrl)});
    co_return out;
}

QCoro::Task<QList<GitLabClient::Pipeline>> GitLabClient::pipelines(
    QString token, qint64 project, int limit) const
{
    const ServiceAPI a = api();
    const ServiceAPI::Query query {{u"per_page"_s, QString::number(limit)}};
    const QString path = projectPath(project) + u"/pipelines"_s;
    const auto reply = co_await a.request<QList<PipelineResponse>>(path, query, token);
    QList<Pipeline> out;
    out.reserve(reply.size());
    for (const auto& item : reply)
        out.append(pipeline(item, project));
    co_return out;
}

QCoro::Task<QString> GitLabClient::commitTitle(QString token, qint64 project, QString sha) const
{
    const ServiceAPI a = api();
    const ServiceAPI::Query none;
    const QString path = projectPath(project) + u"/repository/commits/"_s + sha;
    const auto reply = co_await a.request<CommitResponse>(path, none, token);
    co_return reply.title.value_or(QString());
}

QCoro::Task<DeploymentDetails> GitLabClient::details(QString token, qint64 project, qint64 pipelineID) const
{
    const ServiceAPI a = api();
    const ServiceAPI::Query none;
    const ServiceAPI::Query jobsQuery {{u"per_page"_s, u"100"_s}};
    const QString path = pipelinePath(project, pipelineID);
    const QString jobsPath = path + u"/jobs"_s;
    const auto detail = co_await a.request<PipelineDetailResponse>(path, none, token);

    // The pipeline still shows when its jobs cannot be read.
    const auto jobs
        = co_await attempt(a.request<std::optional<QList<JobResponse>>>(jobsPath, jobsQuery, token));
    if (jobs.error)
        qCInfo(logApp, "GitLab jobs of a pipeline: %s", qUtf8Printable(failureName(jobs.error)));
    QList<DeploymentCheck> checks;
    if (jobs.value && *jobs.value) {
        for (const auto& job : **jobs.value)
            checks.append(check(job));
    }

    DeploymentDetails out;
    out.errorMessage = detail.yamlErrors;
    out.buildDuration = detail.duration;
    if (detail.user)
        out.creator = detail.user->username;
    out.checks = DeploymentCheck::sortedForDisplay(checks);
    out.canRedeploy = true;
    co_return out;
}

QCoro::Task<void> GitLabClient::retry(QString token, qint64 project, qint64 pipelineID) const
{
    const ServiceAPI a = api();
    const ServiceAPI::Query none;
    const QString path = pipelinePath(project, pipelineID) + u"/retry"_s;
    co_await a.send(path, none, u"POST"_s, std::nullopt, token);
}

GitLabClient::StateNote GitLabClient::state(const std::optional<QString>& status)
{
    using S = Deployment::State;
    if (!status)
        return {S::building, std::nullopt};
    const QString& s = *status;
    if (s == u"success")
        return {S::ready, std::nullopt};
    if (s == u"failed")
        return {S::failed, std::nullopt};
    if (s == u"canceled" || s == u"canceling")
        return {S::canceled, std::nullopt};
    if (s == u"skipped")
        return {S::canceled, u"Skipped"_s};
    if (s == u"manual")
        return {S::canceled, u"Manual"_s};
    if (s == u"scheduled")
        return {S::canceled, u"Scheduled"_s};
    return {S::building, std::nullopt};
}

GitLabClient::Pipeline GitLabClient::pipeline(const PipelineResponse& response, qint64 project)
{
    Pipeline out;
    out.id = response.id;
    out.projectID = project;
    out.sha = response.sha;
    const StateNote mapped = state(response.status);
    out.state = mapped.state;
    out.stateNote = mapped.note;
    if (response.ref) {
        const QStringList pieces = response.ref->split(u'/', Qt::SkipEmptyParts);
        if (pieces.size() >= 3 && pieces.at(0) == u"refs" && pieces.at(1) == u"merge-requests")
            out.ref = u"!"_s + pieces.at(2);
        else
            out.ref = response.ref;
    }
    out.created = ServiceAPI::date(response.createdAt).value_or(distantPast());
    out.url = address(response.webUrl);
    return out;
}

DeploymentCheck GitLabClient::check(const JobResponse& job)
{
    DeploymentCheck out;
    out.id = u"job-"_s + QString::number(job.id);
    out.name = job.name;
    const StateNote mapped = state(job.status);
    out.state = mapped.state;
    switch (mapped.state) {
    case Deployment::State::ready:
        out.note = elapsedText(job.duration);
        break;
    case Deployment::State::failed:
        if (job.allowFailure.value_or(false)) {
            out.state = Deployment::State::canceled;
            out.note = u"Allowed to fail"_s;
        } else if (job.failureReason) {
            out.note = capitalised(spaced(*job.failureReason));
        }
        break;
    case Deployment::State::building:
    case Deployment::State::canceled:
        out.note = mapped.note;
        break;
    }
    out.url = address(job.webUrl);
    return out;
}

} // namespace brenvo
