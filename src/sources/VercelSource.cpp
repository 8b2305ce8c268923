#include "sources/VercelSource.h"

#include "http/ServiceFailure.h"
#include "model/Log.h"
#include "sources/SourceSupport.h"
#include "sources/VercelReplies.h"

#include <QHash>
#include <QPointer>

#include <algorithm>
#include <exception>

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

using namespace vercel;

namespace {

constexpr int logTailLines = 4;

ServiceAPI::Query scoped(ServiceAPI::Query query, const std::optional<QString>& scope)
{
    if (scope)
        query.insert(u"teamId"_s, *scope);
    return query;
}

void logDropped(const char* what, const std::exception_ptr& error)
{
    qCInfo(logApp, "Vercel %s: %s", what, qUtf8Printable(failureName(error)));
}

// Milliseconds that a date can hold, else nothing.
std::optional<double> usableMilliseconds(std::optional<double> value)
{
    return dateFromMilliseconds(value) ? value : std::nullopt;
}

Deployment row(const DeploymentsResponse::Item& item, const std::optional<QString>& scope)
{
    const VercelSource::CommitInfo commit = VercelSource::commitInfo(item.meta);
    Deployment d;
    d.id = item.uid;
    d.project = item.name;
    d.branch = commit.ref;
    d.message = ServiceAPI::firstLine(commit.message);
    d.state = VercelSource::state(item.state ? item.state : item.readyState);
    d.date = dateFromMilliseconds(item.created).value_or(QDateTime::fromMSecsSinceEpoch(0, Qt::UTC));
    d.environment = item.target ? capitalised(*item.target) : u"Preview"_s;
    d.target = item.target;
    // The inspector page is opened on a click: only a web address qualifies.
    if (item.inspectorUrl)
        d.url = webAddress(*item.inspectorUrl);
    d.scope = scope;
    return d;
}

} // namespace

VercelSource::VercelSource(std::shared_ptr<HTTPClient> http, SiteIconLoader siteIcons, QObject* parent)
    : VercelSource(
        VercelClient(std::move(http), VercelClient::defaultBaseURL()), std::move(siteIcons), parent)
{
}

VercelSource::VercelSource(VercelClient client, SiteIconLoader siteIcons, QObject* parent)
    : QObject(parent)
    , m_client(std::move(client))
    , m_siteIcons(std::move(siteIcons))
{
}

VercelSource::CommitInfo VercelSource::commitInfo(const QMap<QString, QString>& meta)
{
    // Keys in the order of their code points (QString orders UTF-16 units).
    QList<QString> keys = meta.keys();
    std::stable_sort(
        keys.begin(), keys.end(), [](const QString& a, const QString& b) { return a.toUcs4() < b.toUcs4(); });
    auto first = [&](const QString& ending) -> std::optional<QString> {
        for (const QString& key : keys) {
            if (key.endsWith(ending) && !meta.value(key).isEmpty())
                return meta.value(key);
        }
        return std::nullopt;
    };
    return {first(u"CommitRef"_s), first(u"CommitMessage"_s)};
}

Deployment::State VercelSource::state(const std::optional<QString>& text)
{
    if (text == u"READY"_s)
        return Deployment::State::ready;
    if (text == u"ERROR"_s)
        return Deployment::State::failed;
    // A deleted deployment will not build any more.
    if (text == u"CANCELED"_s || text == u"BLOCKED"_s || text == u"DELETED"_s)
        return Deployment::State::canceled;
    return Deployment::State::building;
}

QCoro::Task<QString> VercelSource::account(QString token)
{
    QPointer<VercelSource> self(this);
    const VercelClient client = m_client;
    std::optional<QString> name;
    try {
        const auto reply = co_await client.get<UserResponse>(u"v2/user"_s, {}, token);
        const auto& user = reply.user;
        name = user.username ? user.username : user.name ? user.name : user.email;
    } catch (const ServiceFailure& failure) {
        if (failure.isRejected())
            throw;
        // A team may still name the account.
        logDropped("user", std::current_exception());
    }
    requireAlive(self);

    QList<QString> teamIDs;
    try {
        const ServiceAPI::Query query {{u"limit"_s, u"50"_s}};
        const auto reply = co_await client.get<TeamsResponse>(u"v2/teams"_s, query, token);
        for (const auto& team : reply.teams)
            teamIDs.append(team.id);
        if (!name && !reply.teams.isEmpty())
            name = reply.teams.front().name ? reply.teams.front().name : reply.teams.front().slug;
    } catch (...) {
        logDropped("teams", std::current_exception());
    }
    requireAlive(self);
    m_identity = VercelClient::Identity {name, teamIDs};
    co_return name.value_or(QString());
}

QCoro::Task<QList<Deployment>> VercelSource::deployments(QString token, std::optional<QString>, int limit)
{
    QPointer<VercelSource> self(this);
    limit = std::max(limit, 0);
    const VercelClient client = m_client;
    QList<std::optional<QString>> scopes {std::nullopt};
    for (const QString& team : m_identity.teamIDs)
        scopes.append(team);

    QList<Deployment> rows;
    QHash<QString, qsizetype> byID;
    std::exception_ptr firstFailure;
    bool anySucceeded = false;
    for (const auto& scope : scopes) {
        const ServiceAPI::Query query = scoped({{u"limit"_s, QString::number(limit)}}, scope);
        const auto reply
            = co_await attempt(client.get<DeploymentsResponse>(u"v6/deployments"_s, query, token));
        requireAlive(self);
        if (!reply.value) {
            logDropped("deployments", reply.error);
            if (!firstFailure)
                firstFailure = reply.error;
            continue;
        }
        anySucceeded = true;
        for (const auto& item : reply.value->deployments) {
            Deployment d = row(item, scope);
            const auto known = byID.constFind(d.id);
            if (known != byID.cend()) {
                rows[*known] = std::move(d);
            } else {
                byID.insert(d.id, rows.size());
                rows.append(std::move(d));
            }
        }
    }
    if (!anySucceeded && firstFailure)
        std::rethrow_exception(firstFailure);
    std::stable_sort(
        rows.begin(), rows.end(), [](const Deployment& a, const Deployment& b) { return a.date > b.date; });
    co_return rows.mid(0, limit);
}

QCoro::Task<DeploymentDetails> VercelSource::details(QString token, Deployment deployment)
{
    QPointer<VercelSource> self(this);
    const VercelClient client = m_client;
    const auto reply = co_await client.get<DeploymentResponse>(
        u"v13/deployments/"_s + deployment.id, scoped({}, deployment.scope), token);
    DeploymentDetails details;
    details.errorMessage = reply.errorMessage;
    details.domains = suffixLast(reply.alias.value_or(QList<QString>()), VercelClient::defaultSuffix());
    const auto buildingAt = usableMilliseconds(reply.buildingAt);
    const auto ready = usableMilliseconds(reply.ready);
    if (buildingAt && ready && *buildingAt <= *ready)
        details.buildDuration = (*ready - *buildingAt) / 1000.0;
    if (reply.creator)
        details.creator = reply.creator->username;
    details.canRedeploy = true;
    if (deployment.state == Deployment::State::failed) {
        requireAlive(self);
        details.logTail = co_await logTail(token, deployment.id, deployment.scope);
    }
    co_return details;
}

QCoro::Task<QList<QString>> VercelSource::logTail(QString token, QString id, std::optional<QString> scope)
{
    const VercelClient client = m_client;
    QList<LogEvent> events;
    const ServiceAPI::Query query = scoped({{u"direction"_s, u"backward"_s}, {u"limit"_s, u"40"_s}}, scope);
    try {
        events = co_await client.get<QList<LogEvent>>(u"v3/deployments/"_s + id + u"/events"_s, query, token);
    } catch (...) {
        logDropped("build events", std::current_exception());
        co_return {};
    }
    auto time = [](const LogEvent& e) -> double {
        for (auto value : {e.created, e.date, e.payload ? e.payload->date : std::nullopt}) {
            if (auto usable = usableMilliseconds(value))
                return *usable;
        }
        return 0;
    };
    std::stable_sort(events.begin(), events.end(),
        [&time](const LogEvent& a, const LogEvent& b) { return time(a) < time(b); });
    QList<QString> lines;
    for (const auto& event : events) {
        const auto text = event.text ? event.text : event.payload ? event.payload->text : std::nullopt;
        const QString line = text.value_or(QString()).trimmed();
        if (!line.isEmpty())
            lines.append(line);
    }
    co_return lines.mid(std::max<qsizetype>(0, lines.size() - logTailLines));
}

QCoro::Task<std::optional<QString>> VercelSource::redeploy(QString token, Deployment deployment)
{
    QJsonObject body {{u"name"_s, deployment.project}, {u"deploymentId"_s, deployment.id}};
    if (deployment.target)
        body.insert(u"target"_s, *deployment.target);
    const ServiceAPI::Query query = scoped({{u"forceNew"_s, u"1"_s}}, deployment.scope);
    const auto reply = co_await m_client.post<CreatedResponse>(u"v13/deployments"_s, query, body, token);
    co_return reply.id;
}

QCoro::Task<QList<QString>> VercelSource::projectDomains(
    QString token, QString project, std::optional<QString> scope)
{
    const ServiceAPI::Query query
        = scoped({{u"production"_s, u"true"_s}, {u"redirects"_s, u"false"_s}, {u"limit"_s, u"20"_s}}, scope);
    const auto reply
        = co_await m_client.get<DomainsResponse>(u"v9/projects/"_s + project + u"/domains"_s, query, token);
    QList<QString> names;
    for (const auto& domain : reply.domains) {
        if (!domain.redirect)
            names.append(domain.name);
    }
    co_return suffixLast(names, VercelClient::defaultSuffix());
}

QCoro::Task<std::optional<QImage>> VercelSource::projectIcon(QString token, Deployment deployment)
{
    const SiteIconLoader icons = m_siteIcons;
    QList<QString> names;
    try {
        names = co_await projectDomains(token, deployment.project, deployment.scope);
    } catch (...) {
        logDropped("project domains", std::current_exception());
        co_return std::nullopt;
    }
    co_return co_await firstIcon(icons, names);
}

} // namespace brenvo
