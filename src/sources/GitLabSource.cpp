#include "sources/GitLabSource.h"

#include "http/JsonReader.h"
#include "model/Log.h"
#include "sources/SourceSupport.h"

#include <QPointer>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

namespace {

using State = Deployment::State;

constexpr qint64 projectListLife = 300; // seconds
constexpr int projectsAsked = 50;
constexpr int projectsVisited = 3;

// A decimal id as GitLab gives them: digits only.
std::optional<qint64> decimalID(const QString& text)
{
    if (text.isEmpty()
        || !std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isDigit() && c.unicode() < 128; }))
        return std::nullopt;
    bool ok = false;
    const qint64 id = text.toLongLong(&ok);
    return ok ? std::optional<qint64>(id) : std::nullopt;
}

} // namespace

GitLabSource::GitLabSource(
    std::shared_ptr<HTTPClient> http, SiteIconLoader siteIcons, Clock now, QObject* parent)
    : GitLabSource(GitLabClient(std::move(http), GitLabClient::defaultBaseURL()), std::move(siteIcons),
        std::move(now), parent)
{
}

GitLabSource::GitLabSource(GitLabClient client, SiteIconLoader siteIcons, Clock now, QObject* parent)
    : QObject(parent)
    , m_client(std::move(client))
    , m_siteIcons(std::move(siteIcons))
    , m_now(std::move(now))
{
}

QString GitLabSource::retryRefusal()
{
    return u"GitLab will not let this token retry pipelines. It needs the api scope: make a token with it and connect again."_s;
}

QCoro::Task<QString> GitLabSource::account(QString token)
{
    const quint64 generation = ++m_generation;
    m_listed.reset();
    QPointer<GitLabSource> self(this);
    const GitLabClient::User user = co_await m_client.user(token);
    requireAlive(self);
    if (generation == m_generation)
        m_user = user;
    co_return user.username;
}

QCoro::Task<QList<GitLabClient::Project>> GitLabSource::cachedProjects(QString token)
{
    return projectList(std::move(token), m_generation);
}

QCoro::Task<QList<GitLabClient::Project>> GitLabSource::projectList(QString token, quint64 generation)
{
    const QByteArray reader = tokenDigest(token);
    if (m_listed && m_listed->reader == reader) {
        const qint64 age = m_listed->read.msecsTo(m_now());
        if (age >= 0 && age < projectListLife * 1000)
            co_return QList<GitLabClient::Project>(
                m_listed->projects); // a copy: co_return moves from lvalues
    }
    QPointer<GitLabSource> self(this);
    const QList<GitLabClient::Project> list = co_await m_client.projects(token, projectsAsked);
    requireAlive(self);
    if (generation != m_generation)
        co_return list;
    m_listed = Listed {list, m_now(), reader};
    for (const auto& project : list)
        m_seen.insert(project.id, project);
    co_return list;
}

QCoro::Task<QList<KitProject>> GitLabSource::projects(QString token)
{
    QPointer<GitLabSource> self(this);
    const QList<GitLabClient::Project> list = co_await cachedProjects(token);
    requireAlive(self);
    QList<KitProject> out;
    out.reserve(list.size());
    for (const auto& project : list)
        out.append(KitProject {QString::number(project.id), project.path});
    co_return out;
}

std::optional<GitLabClient::Project> GitLabSource::knownProject(qint64 id) const
{
    if (m_listed) {
        for (const auto& project : m_listed->projects) {
            if (project.id == id)
                return project;
        }
    }
    const auto it = m_seen.constFind(id);
    if (it == m_seen.cend())
        return std::nullopt;
    return *it;
}

QCoro::Task<QList<Deployment>> GitLabSource::deployments(
    QString token, std::optional<QString> project, int limit)
{
    QPointer<GitLabSource> self(this);
    const QList<GitLabClient::Project> list = co_await cachedProjects(token);
    requireAlive(self);

    QList<GitLabClient::Project> chosen;
    if (project) {
        for (const auto& p : list) {
            if (QString::number(p.id) == *project)
                chosen.append(p);
        }
        // A picked project that is no longer among the most recently active is still the user's pick.
        if (chosen.isEmpty()) {
            if (const auto id = decimalID(*project))
                chosen.append(
                    knownProject(*id).value_or(GitLabClient::Project {*id, *project, std::nullopt}));
        }
    } else {
        chosen = list.mid(0, projectsVisited);
    }

    QList<std::pair<GitLabClient::Project, GitLabClient::Pipeline>> gathered;
    bool anyRead = false;
    std::exception_ptr firstFailure;
    for (qsizetype i = 0; i < chosen.size(); ++i) {
        const GitLabClient::Project visited = chosen.at(i);
        const auto got = co_await attempt(m_client.pipelines(token, visited.id, limit));
        requireAlive(self);
        if (const std::exception_ptr failure = got.error) {
            qCInfo(logApp, "GitLab pipelines of project %lld: %s", static_cast<long long>(visited.id),
                qUtf8Printable(failureName(failure)));
            if (!firstFailure)
                firstFailure = failure;
            continue;
        }
        anyRead = true;
        for (const auto& pipeline : *got.value)
            gathered.append({visited, pipeline});
    }
    if (!anyRead && firstFailure)
        std::rethrow_exception(firstFailure);

    std::stable_sort(gathered.begin(), gathered.end(),
        [](const auto& a, const auto& b) { return a.second.created > b.second.created; });
    const qsizetype kept = std::min<qsizetype>(std::max(limit, 0), gathered.size());

    QList<Deployment> rows;
    rows.reserve(kept);
    for (qsizetype i = 0; i < kept; ++i) {
        const GitLabClient::Project owner = gathered.at(i).first;
        const GitLabClient::Pipeline pipeline = gathered.at(i).second;
        const QString title = co_await rowTitle(token, pipeline);
        requireAlive(self);
        const QStringList pieces = owner.path.split(u'/', Qt::SkipEmptyParts);
        Deployment row;
        row.id = QString::number(pipeline.projectID) + u'/' + QString::number(pipeline.id);
        row.project = pieces.isEmpty() ? owner.path : pieces.last();
        row.branch = pipeline.ref;
        row.commit = pipeline.sha.left(8);
        row.message = title;
        row.state = pipeline.state;
        row.date = pipeline.created;
        row.url = pipeline.url;
        row.scope = QString::number(pipeline.projectID);
        row.stateNote = pipeline.stateNote;
        rows.append(row);
    }
    co_return rows;
}

QCoro::Task<QString> GitLabSource::rowTitle(QString token, GitLabClient::Pipeline pipeline)
{
    const QString key = QString::number(pipeline.projectID) + u'/' + pipeline.sha;
    if (!m_titles.contains(key)) {
        QPointer<GitLabSource> self(this);
        const auto got = co_await attempt(m_client.commitTitle(token, pipeline.projectID, pipeline.sha));
        requireAlive(self);
        if (const std::exception_ptr failure = got.error; !failure) {
            m_titles.insert(key, *got.value);
        } else {
            qCInfo(logApp, "GitLab commit title: %s", qUtf8Printable(failureName(failure)));
            // Only an answer that will not change is kept; a blip is asked again next time.
            if (isDefinitiveAnswer(failure))
                m_titles.insert(key, QString());
        }
    }
    const QString title = m_titles.value(key);
    if (title.isEmpty())
        co_return u"Pipeline #"_s + QString::number(pipeline.id);
    co_return title;
}

std::optional<std::pair<qint64, qint64>> GitLabSource::pipelineIDs(const Deployment& row)
{
    QList<qint64> ids;
    for (const QString& piece : row.id.split(u'/', Qt::SkipEmptyParts)) {
        if (const auto id = decimalID(piece))
            ids.append(*id);
    }
    if (ids.size() != 2)
        return std::nullopt;
    return std::pair<qint64, qint64>(ids.at(0), ids.at(1));
}

QCoro::Task<DeploymentDetails> GitLabSource::details(QString token, Deployment deployment)
{
    const auto ids = pipelineIDs(deployment);
    if (!ids) {
        DeploymentDetails empty;
        empty.canRedeploy = true;
        co_return empty;
    }
    DeploymentDetails out = co_await m_client.details(token, ids->first, ids->second);
    out.canRedeploy
        = deployment.state == State::failed || (deployment.state == State::canceled && !deployment.stateNote);
    co_return out;
}

QCoro::Task<std::optional<QString>> GitLabSource::redeploy(QString token, Deployment deployment)
{
    const auto ids = pipelineIDs(deployment);
    if (!ids)
        co_return std::nullopt;
    std::exception_ptr failure;
    try {
        co_await m_client.retry(token, ids->first, ids->second);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!failure)
        co_return std::nullopt;
    try {
        std::rethrow_exception(failure);
    } catch (const ServiceFailure& f) {
        if (f.isRefused() && f.status() == 403)
            throw ServiceFailure::explained(retryRefusal());
        throw;
    }
}

QCoro::Task<std::optional<QImage>> GitLabSource::projectIcon(QString, Deployment deployment)
{
    if (!m_listed || m_listed->projects.isEmpty() || !deployment.scope)
        co_return std::nullopt;
    const auto id = decimalID(*deployment.scope);
    const auto project = id ? knownProject(*id) : std::nullopt;
    if (!project || !project->avatar)
        co_return std::nullopt;
    const SiteIconLoader icons = m_siteIcons;
    const QUrl avatar = *project->avatar;
    co_return co_await icons.image(avatar);
}

QCoro::Task<std::optional<QImage>> GitLabSource::accountIcon(QString)
{
    if (!m_user || !m_user->avatar)
        co_return std::nullopt;
    const SiteIconLoader icons = m_siteIcons;
    const QUrl avatar = *m_user->avatar;
    co_return co_await icons.image(avatar);
}

} // namespace brenvo
