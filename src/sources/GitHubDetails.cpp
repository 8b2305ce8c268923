#include "sources/GitHubSource.h"

#include "model/KitText.h"
#include "sources/GitHubLookup.h"
#include "sources/SourceSupport.h"

#include <QPointer>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

// A deployment's details and the re-run of its failed checks.
namespace brenvo {

using namespace github;

namespace {

using State = Deployment::State;

constexpr int jobsForRuns = 6;

DeploymentCheck jobCheck(const GitHubClient::Run& run, const GitHubClient::Job& job)
{
    DeploymentCheck check;
    check.id = u"job-"_s + QString::number(job.id);
    check.name = run.name + u" / "_s + job.name;
    check.state = job.state;
    check.note = job.failedStep ? job.failedStep : job.stateNote;
    if (!check.note)
        check.note = elapsedText(job.duration);
    check.url = job.url ? job.url : run.url;
    return check;
}

DeploymentCheck runCheck(const GitHubClient::Run& run)
{
    DeploymentCheck check;
    check.id = u"run-"_s + QString::number(run.id);
    check.name = run.name;
    check.state = run.state;
    check.note = run.stateNote;
    if (!check.note && run.state != State::building)
        check.note = elapsedText(static_cast<double>(run.started.msecsTo(run.updated)) / 1000.0);
    check.url = run.url;
    return check;
}

DeploymentCheck statusCheck(const GitHubClient::Status& status)
{
    return DeploymentCheck {u"status-"_s + status.context, status.context, status.state,
        nonEmpty(status.description), status.url};
}

DeploymentCheck placementCheck(
    const GitHubClient::Placement& placement, const GitHubClient::PlacementStatus& status)
{
    DeploymentCheck check;
    check.id = u"deploy-"_s + QString::number(placement.id);
    check.name = u"Deploy to "_s + placement.environment;
    check.state = status.state;
    check.note = status.stateNote;
    if (!check.note && status.state == State::ready)
        check.note = hostOf(status.environmentURL);
    if (!check.note)
        check.note = nonEmpty(status.description);
    check.url = status.environmentURL ? status.environmentURL : status.logURL;
    return check;
}

} // namespace

std::optional<std::pair<QString, QString>> GitHubSource::repositoryAndSha(const Deployment& row)
{
    if (!row.scope)
        return std::nullopt;
    const QStringList pieces = row.id.split(u'@', Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return std::nullopt;
    return std::pair<QString, QString>(*row.scope, pieces.last());
}

QCoro::Task<DeploymentDetails> GitHubSource::details(QString token, Deployment deployment)
{
    const auto found = repositoryAndSha(deployment);
    if (!found) {
        DeploymentDetails empty;
        empty.canRedeploy = true;
        co_return empty;
    }
    const QString repository = found->first;
    const QString sha = found->second;
    QPointer<GitHubSource> self(this);
    const quint64 generation = m_generation;

    QList<GitHubClient::Run> runs;
    if (!isRefused(Permission::actions, repository)) {
        const QList<GitHubClient::Run> got = co_await m_client.runs(token, repository, sha, 50);
        requireAlive(self);
        runs = withStalledRuns(got);
    }

    QList<GitHubClient::Placement> placements;
    if (!isRefused(Permission::deployments, repository)) {
        const auto got = co_await lookUp(
            self, m_client.placements(token, repository, sha, 10), "deployments", repository);
        placements = got.value.value_or(QList<GitHubClient::Placement>());
    }

    QList<DeploymentCheck> checks;
    for (qsizetype i = 0; i < runs.size(); ++i) {
        const GitHubClient::Run run = runs.at(i);
        QList<GitHubClient::Job> jobs;
        if (i < jobsForRuns) {
            const auto got
                = co_await lookUp(self, m_client.jobs(token, repository, run.id), "jobs", repository);
            jobs = got.value.value_or(QList<GitHubClient::Job>());
        }
        if (jobs.isEmpty())
            checks.append(runCheck(run));
        for (const auto& job : std::as_const(jobs))
            checks.append(jobCheck(run, job));
    }

    // The row's date stands for the commit's: statuses of a young commit are asked again.
    Commit commit {repository, sha, std::nullopt, {}, {}};
    if (deployment.date.isValid())
        commit.info = GitHubClient::CommitInfo {sha, QString(), deployment.date, std::nullopt};
    const QList<GitHubClient::Status> statusList = co_await statuses(commit, token, generation);
    requireAlive(self);
    for (const auto& status : statusList)
        checks.append(statusCheck(status));

    DeploymentDetails out;
    for (qsizetype i = 0; i < placements.size(); ++i) {
        const GitHubClient::Placement placement = placements.at(i);
        const GitHubClient::PlacementStatus status = co_await latestStatus(placement, repository, token);
        requireAlive(self);
        checks.append(placementCheck(placement, status));
        if (status.state == State::ready) {
            if (const auto host = hostOf(status.environmentURL))
                out.domains.append(*host);
        }
    }

    if (!runs.isEmpty() && runs.first().actor)
        out.creator = runs.first().actor;
    else if (!placements.isEmpty())
        out.creator = placements.first().creator;
    out.checks = DeploymentCheck::sortedForDisplay(checks);
    out.canRedeploy = std::any_of(
        runs.cbegin(), runs.cend(), [](const GitHubClient::Run& run) { return run.state == State::failed; });
    co_return out;
}

QCoro::Task<std::optional<QString>> GitHubSource::redeploy(QString token, Deployment deployment)
{
    const auto found = repositoryAndSha(deployment);
    if (!found)
        co_return std::nullopt;
    const QString repository = found->first;
    const QString sha = found->second;
    QPointer<GitHubSource> self(this);
    const QList<GitHubClient::Run> runs = co_await m_client.runs(token, repository, sha, 50);
    requireAlive(self);
    for (qsizetype i = 0; i < runs.size(); ++i) {
        const GitHubClient::Run run = runs.at(i);
        if (run.state != State::failed)
            continue;
        std::exception_ptr failure;
        try {
            co_await m_client.rerunFailedJobs(token, repository, run.id);
        } catch (...) {
            failure = std::current_exception();
        }
        requireAlive(self);
        if (!failure)
            continue;
        try {
            std::rethrow_exception(failure);
        } catch (const ServiceFailure& f) {
            if (f.isRefused() && f.status() == 403 && !isRateLimit(failure))
                throw ServiceFailure::explained(rerunRefusal(repository));
            throw;
        }
    }
    co_return std::nullopt;
}

QString GitHubSource::rerunRefusal(const QString& repository) const
{
    const QStringList pieces = repository.split(u'/', Qt::SkipEmptyParts);
    const QString owner = pieces.isEmpty() ? repository : pieces.first();
    if (m_user && m_user->login.compare(owner, Qt::CaseInsensitive) != 0) {
        return u"GitHub will not let this token re-run checks in "_s + repository
            + u": the token is for repositories owned by "_s + m_user->login + u", and this one belongs to "_s
            + owner + u". It takes a token made with "_s + owner
            + u" as its resource owner, with Actions set to Read and write."_s;
    }
    return u"GitHub will not let this token re-run checks. Edit the token on GitHub and set Actions to Read and write."_s;
}

} // namespace brenvo
