#include "sources/GitHubSource.h"

#include "http/JsonReader.h"
#include "model/KitText.h"
#include "model/Log.h"
#include "sources/GitHubLookup.h"
#include "sources/SourceSupport.h"

#include <QPointer>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

using namespace github;

namespace {

using State = Deployment::State;

constexpr qint64 repositoryListLife = 300; // seconds
constexpr qint64 refusalLife = 300;
constexpr qint64 runStallAfter = 86400;
constexpr qint64 statusStallAfter = 21600;
constexpr qint64 settleAfter = 3600;
// Other services may post their first status well after the commit was made (it can be pushed
// later): an empty list is kept only for commits older than this.
constexpr qint64 settleEmptyAfter = 86400;
constexpr int repositoriesAsked = 50;
constexpr int repositoriesVisited = 3;

// Less than seconds since then; a clock set back before then ends it too.
bool isWithin(const QDateTime& since, const QDateTime& now, qint64 seconds)
{
    const qint64 ms = since.msecsTo(now);
    return ms >= 0 && ms < seconds * 1000;
}

bool hasLapsed(const QDateTime& since, const QDateTime& now, qint64 seconds)
{
    const qint64 ms = since.msecsTo(now);
    return ms < 0 || ms > seconds * 1000;
}

bool isOlderThan(const QDateTime& then, const QDateTime& now, qint64 seconds)
{
    return then.msecsTo(now) > seconds * 1000;
}

QString lastPiece(const QString& text, QChar separator)
{
    const QStringList pieces = text.split(separator, Qt::SkipEmptyParts);
    return pieces.isEmpty() ? text : pieces.last();
}

struct StageResult {
    QList<GitHubClient::CommitInfo> commits;
    QList<GitHubClient::Run> runs;
    QList<GitHubClient::Placement> placements;
};

// The one request of a stage of the walk.
QCoro::Task<StageResult> fetchStage(
    GitHubClient client, GitHubSource::Permission stage, QString token, QString repository)
{
    StageResult got;
    switch (stage) {
    case GitHubSource::Permission::contents:
        got.commits = co_await client.commits(token, repository, 5);
        break;
    case GitHubSource::Permission::actions:
        got.runs = co_await client.runs(token, repository, std::nullopt, 20);
        break;
    case GitHubSource::Permission::deployments:
        got.placements = co_await client.placements(token, repository, std::nullopt, 5);
        break;
    case GitHubSource::Permission::statuses:
        break;
    }
    co_return got;
}

} // namespace

QList<GitHubSource::Permission> GitHubSource::allPermissions()
{
    return {Permission::contents, Permission::actions, Permission::statuses, Permission::deployments};
}

QString GitHubSource::text(Permission permission)
{
    switch (permission) {
    case Permission::contents:
        return u"commits (Contents)"_s;
    case Permission::actions:
        return u"workflow runs (Actions)"_s;
    case Permission::statuses:
        return u"what other services report (Commit statuses)"_s;
    case Permission::deployments:
        return u"deployments (Deployments)"_s;
    }
    return {};
}

std::optional<GitHubSource::Permission> GitHubSource::permission(const QString& text)
{
    for (Permission p : allPermissions()) {
        if (GitHubSource::text(p) == text)
            return p;
    }
    return std::nullopt;
}

QDateTime GitHubSource::Commit::date() const
{
    if (info && info->date)
        return *info->date;
    std::optional<QDateTime> earliest;
    for (const auto& run : runs) {
        if (!earliest || run.started < *earliest)
            earliest = run.started;
    }
    for (const auto& placement : placements) {
        if (!earliest || placement.created < *earliest)
            earliest = placement.created;
    }
    return earliest.value_or(distantPast());
}

GitHubSource::GitHubSource(
    std::shared_ptr<HTTPClient> http, SiteIconLoader siteIcons, Clock now, QObject* parent)
    : GitHubSource(GitHubClient(std::move(http), GitHubClient::defaultBaseURL()), std::move(siteIcons),
        std::move(now), parent)
{
}

GitHubSource::GitHubSource(GitHubClient client, SiteIconLoader siteIcons, Clock now, QObject* parent)
    : QObject(parent)
    , m_client(std::move(client))
    , m_siteIcons(std::move(siteIcons))
    , m_now(std::move(now))
{
}

QCoro::Task<QString> GitHubSource::account(QString token)
{
    const quint64 generation = ++m_generation;
    m_repositories.reset();
    m_refused.clear();
    m_allowed.clear();
    m_refusedSince.reset();
    QPointer<GitHubSource> self(this);
    const GitHubClient::User user = co_await m_client.user(token);
    requireAlive(self);
    if (generation == m_generation)
        m_user = user;
    co_return user.login;
}

QCoro::Task<QList<GitHubClient::Repository>> GitHubSource::cachedRepositories(QString token)
{
    return repositoryList(std::move(token), m_generation);
}

QCoro::Task<QList<GitHubClient::Repository>> GitHubSource::repositoryList(QString token, quint64 generation)
{
    const QByteArray reader = tokenDigest(token);
    // A copy: QCoro moves from an lvalue handed to co_return, which would empty the cache.
    if (m_repositories && m_repositories->reader == reader
        && isWithin(m_repositories->read, m_now(), repositoryListLife))
        co_return QList<GitHubClient::Repository>(m_repositories->list);
    QPointer<GitHubSource> self(this);
    const QList<GitHubClient::Repository> list = co_await m_client.repositories(token, repositoriesAsked);
    requireAlive(self);
    if (generation == m_generation)
        m_repositories = CachedRepositories {list, m_now(), reader};
    co_return list;
}

QCoro::Task<QList<KitProject>> GitHubSource::projects(QString token)
{
    QPointer<GitHubSource> self(this);
    const QList<GitHubClient::Repository> list = co_await cachedRepositories(token);
    requireAlive(self);
    QList<KitProject> out;
    out.reserve(list.size());
    for (const auto& repository : list)
        out.append(KitProject {repository.fullName, repository.fullName});
    co_return out;
}

QCoro::Task<QList<Deployment>> GitHubSource::deployments(
    QString token, std::optional<QString> project, int limit)
{
    QPointer<GitHubSource> self(this);
    const quint64 generation = m_generation;
    if (m_refusedSince && hasLapsed(*m_refusedSince, m_now(), refusalLife)) {
        m_refused.clear();
        m_refusedSince.reset();
    }

    QList<QString> repositories;
    if (project) {
        repositories.append(*project);
    } else {
        const QList<GitHubClient::Repository> list = co_await repositoryList(token, generation);
        requireAlive(self);
        for (qsizetype i = 0; i < list.size() && i < repositoriesVisited; ++i)
            repositories.append(list.at(i).fullName);
    }

    const QList<Permission> stages {Permission::contents, Permission::actions, Permission::deployments};
    QHash<QString, Commit> gathered;
    bool succeeded = false;
    std::exception_ptr firstFailure;
    for (qsizetype r = 0; r < repositories.size(); ++r) {
        const QString repository = repositories.at(r);
        for (qsizetype s = 0; s < stages.size(); ++s) {
            const Permission stage = stages.at(s);
            if (isRefused(stage, repository))
                continue;
            // Going on past a rate limit would only meet the same limit and show half-built rows.
            const Attempt<StageResult> got
                = co_await lookUp(self, fetchStage(m_client, stage, token, repository), "checks", repository);
            const bool current = generation == m_generation;
            if (const std::exception_ptr failure = got.error) {
                if (current)
                    note(failure, stage, repository);
                if (!firstFailure)
                    firstFailure = failure;
                continue;
            }
            if (current)
                allow(stage, repository);
            succeeded = true;
            addCommits(gathered, repository, got.value->commits);
            addRuns(gathered, repository, got.value->runs);
            addPlacements(gathered, repository, got.value->placements);
        }
    }
    if (!succeeded && firstFailure)
        std::rethrow_exception(firstFailure);

    QList<Commit> ordered = gathered.values();
    // Sort on precomputed dates: date() walks runs and deployments.
    QList<std::pair<QDateTime, qsizetype>> keys;
    keys.reserve(ordered.size());
    for (qsizetype i = 0; i < ordered.size(); ++i)
        keys.append({ordered.at(i).date(), i});
    std::sort(keys.begin(), keys.end(), [&ordered](const auto& a, const auto& b) {
        if (a.first != b.first)
            return a.first > b.first;
        const Commit& x = ordered.at(a.second);
        const Commit& y = ordered.at(b.second);
        // The repository only settles commits shared by two repositories, for a steady order.
        return x.sha != y.sha ? x.sha > y.sha : x.repository < y.repository;
    });
    const qsizetype kept = std::min<qsizetype>(std::max(limit, 0), keys.size());

    QList<Deployment> rows;
    rows.reserve(kept);
    for (qsizetype i = 0; i < kept; ++i) {
        const Commit commit = ordered.at(keys.at(i).second);
        const Deployment made = co_await row(commit, token, generation);
        requireAlive(self);
        rows.append(made);
    }
    co_return rows;
}

void GitHubSource::addCommits(
    QHash<QString, Commit>& into, const QString& repository, const QList<GitHubClient::CommitInfo>& commits)
{
    for (const auto& info : commits) {
        Commit& entry = into[repository + u'@' + info.sha];
        entry.repository = repository;
        entry.sha = info.sha;
        entry.info = info;
    }
}

QList<GitHubClient::Run> GitHubSource::withStalledRuns(QList<GitHubClient::Run> runs) const
{
    const QDateTime now = m_now();
    for (auto& run : runs) {
        if (run.state == State::building && isOlderThan(run.started, now, runStallAfter)) {
            run.state = State::canceled;
            run.stateNote = u"Stalled"_s;
        }
    }
    return runs;
}

void GitHubSource::addRuns(
    QHash<QString, Commit>& into, const QString& repository, QList<GitHubClient::Run> runs) const
{
    for (const auto& run : withStalledRuns(std::move(runs))) {
        Commit& entry = into[repository + u'@' + run.sha];
        entry.repository = repository;
        entry.sha = run.sha;
        entry.runs.append(run);
    }
}

void GitHubSource::addPlacements(
    QHash<QString, Commit>& into, const QString& repository, const QList<GitHubClient::Placement>& placements)
{
    for (const auto& placement : placements) {
        Commit& entry = into[repository + u'@' + placement.sha];
        entry.repository = repository;
        entry.sha = placement.sha;
        entry.placements.append(placement);
    }
}

std::optional<QString> GitHubSource::defaultBranch(const QString& repository) const
{
    if (!m_repositories)
        return std::nullopt;
    for (const auto& r : m_repositories->list) {
        if (r.fullName == repository)
            return r.defaultBranch;
    }
    return std::nullopt;
}

QCoro::Task<Deployment> GitHubSource::row(Commit commit, QString token, quint64 generation)
{
    QPointer<GitHubSource> self(this);
    QList<State> states;
    QList<QString> notes;
    for (const auto& run : commit.runs) {
        states.append(run.state);
        if (run.stateNote)
            notes.append(*run.stateNote);
    }
    for (qsizetype i = 0; i < commit.placements.size(); ++i) {
        const GitHubClient::Placement placement = commit.placements.at(i);
        const GitHubClient::PlacementStatus status
            = co_await latestStatus(placement, commit.repository, token);
        requireAlive(self);
        states.append(status.state);
        if (status.stateNote)
            notes.append(*status.stateNote);
    }
    const QList<GitHubClient::Status> statusList = co_await statuses(commit, token, generation);
    requireAlive(self);
    for (const auto& status : statusList)
        states.append(status.state);
    const State state = State::rollUp(states);

    QString text = commit.info ? commit.info->message
                               : (commit.runs.isEmpty() ? QString() : commit.runs.first().message);
    if (text.isEmpty()) {
        text = co_await message(commit, token, generation);
        requireAlive(self);
        if (text.isEmpty() && !commit.placements.isEmpty())
            text = u"Deploy to "_s + commit.placements.first().environment;
    }

    std::optional<QString> branch;
    if (!commit.runs.isEmpty())
        branch = commit.runs.first().branch;
    if (!branch && commit.info)
        branch = defaultBranch(commit.repository);
    if (!branch && !commit.placements.isEmpty() && commit.placements.first().ref != commit.sha)
        branch = commit.placements.first().ref;

    Deployment out;
    out.id = commit.key();
    out.project = lastPiece(commit.repository, u'/');
    out.branch = branch;
    out.commit = commit.sha.left(7);
    out.message = text;
    out.state = state;
    out.date = commit.date();
    const QUrl url(GitHubClient::webURL() + commit.repository + u"/commit/"_s + commit.sha, QUrl::StrictMode);
    if (url.isValid())
        out.url = url;
    out.scope = commit.repository;
    if (state == State::canceled) {
        if (!notes.isEmpty())
            out.stateNote = notes.first();
        else if (states.isEmpty())
            out.stateNote = u"No checks"_s;
    }
    co_return out;
}

QCoro::Task<GitHubClient::PlacementStatus> GitHubSource::latestStatus(
    GitHubClient::Placement placement, QString repository, QString token)
{
    if (m_settled.contains(placement.id))
        co_return m_settled.value(placement.id);
    QPointer<GitHubSource> self(this);
    const QDateTime now = m_now();
    const auto got = co_await lookUp(
        self, m_client.latestStatus(token, repository, placement, now), "deployment status", repository);
    if (got.error) {
        GitHubClient::PlacementStatus unknown;
        unknown.state = State::canceled;
        co_return unknown;
    }
    const GitHubClient::PlacementStatus answer = *got.value;
    if (answer.isFinal)
        m_settled.insert(placement.id, answer);
    if (answer.state == State::ready) {
        if (const auto host = hostOf(answer.environmentURL)) {
            if (!m_sites.contains(repository) || placement.environment.toLower().startsWith(u"prod"_s))
                m_sites.insert(repository, *host);
        }
    }
    co_return answer;
}

QList<GitHubClient::Status> GitHubSource::withStalledStatuses(
    QList<GitHubClient::Status> list, bool kept) const
{
    const QDateTime now = m_now();
    for (auto& status : list) {
        // A kept list held no status still building: a clock set back does not revive one.
        if (status.state == State::building && status.updated
            && (kept || isOlderThan(*status.updated, now, statusStallAfter))) {
            status.state = State::canceled;
            status.description = u"Stalled: "_s + nonEmpty(status.description).value_or(u"pending"_s);
            // Under a minute, or with the clock set back behind the update, the age reads "now".
            if (status.updated->msecsTo(now) >= 60 * 1000)
                *status.description += u" since "_s + ageText(*status.updated, now) + u" ago"_s;
        }
    }
    return list;
}

QCoro::Task<QList<GitHubClient::Status>> GitHubSource::statuses(
    Commit commit, QString token, quint64 generation)
{
    const QString key = commit.key();
    // Kept as GitHub sent them, so that the age of a stalled one is told anew on every read.
    if (m_settledStatuses.contains(key))
        co_return withStalledStatuses(m_settledStatuses.value(key), true);
    if (isRefused(Permission::statuses, commit.repository))
        co_return QList<GitHubClient::Status>();
    QPointer<GitHubSource> self(this);
    const auto got = co_await lookUp(
        self, m_client.statuses(token, commit.repository, commit.sha), "commit statuses", commit.repository);
    const bool current = generation == m_generation;
    if (const std::exception_ptr failure = got.error) {
        if (current)
            note(failure, Permission::statuses, commit.repository);
        co_return QList<GitHubClient::Status>();
    }

    const QList<GitHubClient::Status> sent = *got.value;
    const QList<GitHubClient::Status> list = withStalledStatuses(sent, false);
    if (current)
        allow(Permission::statuses, commit.repository);
    // A stalled status counts as ended, like the rest: nothing is asked again once none is building.
    const bool building = std::any_of(list.cbegin(), list.cend(),
        [](const GitHubClient::Status& status) { return status.state == State::building; });
    const QDateTime now = m_now();
    const QDateTime made = commit.date();
    if (!building && isOlderThan(made, now, settleAfter)
        && (!list.isEmpty() || isOlderThan(made, now, settleEmptyAfter)))
        m_settledStatuses.insert(key, sent);
    co_return list;
}

QCoro::Task<QString> GitHubSource::message(Commit commit, QString token, quint64 generation)
{
    const QString key = commit.key();
    if (m_messages.contains(key))
        co_return m_messages.value(key);
    if (isRefused(Permission::contents, commit.repository))
        co_return QString();
    QPointer<GitHubSource> self(this);
    const auto got = co_await lookUp(self, m_client.commitMessage(token, commit.repository, commit.sha),
        "commit message", commit.repository);
    const std::exception_ptr failure = got.error;
    if (!failure) {
        const QString text = got.value->value_or(QString());
        m_messages.insert(key, text);
        co_return text;
    }
    // What a replaced token was refused says nothing of the token now connected.
    if (generation != m_generation)
        co_return QString();
    note(failure, Permission::contents, commit.repository);
    // Only an answer that will not change is kept; a blip is asked again on the next refresh.
    if (isDefinitiveAnswer(failure) && !isRefused(Permission::contents, commit.repository))
        m_messages.insert(key, QString());
    co_return QString();
}

QCoro::Task<std::optional<QImage>> GitHubSource::projectIcon(QString, Deployment deployment)
{
    if (!deployment.scope)
        co_return std::nullopt;
    const QString repository = *deployment.scope;
    QPointer<GitHubSource> self(this);
    const SiteIconLoader icons = m_siteIcons;
    std::optional<QString> homepage;
    if (m_repositories) {
        for (const auto& r : m_repositories->list) {
            if (r.fullName == repository && r.homepage) {
                homepage = r.homepage;
                break;
            }
        }
    }
    if (homepage) {
        const std::optional<QImage> image = co_await icons.iconForWebsite(*homepage);
        if (image || !self)
            co_return image;
    }
    if (!m_sites.contains(repository))
        co_return std::nullopt;
    const QString host = m_sites.value(repository);
    co_return co_await icons.iconForHost(host);
}

QCoro::Task<std::optional<QImage>> GitHubSource::accountIcon(QString)
{
    if (!m_user || !m_user->avatar)
        co_return std::nullopt;
    const SiteIconLoader icons = m_siteIcons;
    const QUrl avatar = *m_user->avatar;
    co_return co_await icons.image(avatar);
}

std::optional<QString> GitHubSource::advice() const
{
    QStringList missing;
    for (Permission p : allPermissions()) {
        if (!m_refused.value(p).isEmpty() && m_allowed.value(p).isEmpty())
            missing.append(text(p));
    }
    if (missing.isEmpty())
        return std::nullopt;
    return u"This token cannot read "_s + missing.join(u", "_s)
        + u". Edit the token on GitHub and set those to Read-only to see them."_s;
}

bool GitHubSource::isRefused(Permission permission, const QString& repository) const
{
    const auto it = m_refused.constFind(permission);
    return it != m_refused.cend() && it->contains(repository);
}

void GitHubSource::allow(Permission permission, const QString& repository)
{
    m_allowed[permission].insert(repository);
}

bool GitHubSource::isRateLimit(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const ServiceFailure& f) {
        if (!f.isRefused())
            return false;
        return f.status() == 429
            || (f.status() == 403 && f.message().contains(u"rate limit"_s, Qt::CaseInsensitive));
    } catch (...) {
        return false;
    }
}

void GitHubSource::note(const std::exception_ptr& failure, Permission permission, const QString& repository)
{
    if (!failure || isRateLimit(failure))
        return;
    try {
        std::rethrow_exception(failure);
    } catch (const ServiceFailure& f) {
        if (!f.isRefused() || (f.status() != 403 && f.status() != 404))
            return;
    } catch (...) {
        return;
    }
    m_refused[permission].insert(repository);
    if (!m_refusedSince)
        m_refusedSince = m_now();
}

} // namespace brenvo
