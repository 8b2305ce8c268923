#include "sources/CloudflareClient.h"

#include "model/Log.h"
#include "sources/CloudflareReplies.h"
#include "sources/SourceSupport.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <exception>

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

using namespace cloudflare;

namespace {

std::optional<QDateTime> parsed(const std::optional<QString>& text)
{
    return ServiceAPI::date(text);
}

QString accountPath(const QString& account)
{
    return u"accounts/"_s + account;
}

QString deploymentPath(const QString& account, const QString& project, const QString& id)
{
    return accountPath(account) + u"/pages/projects/"_s + project + u"/deployments/"_s + id;
}

// A list that answers 403 with 9109 ("Invalid access token") did not take the token. Cloudflare also
// answers 10000 ("Authentication error") to a valid token that lacks a permission, so that one stays a
// refusal the source can name. Whether the whole token is refused is the source's to say.
template <typename T>
QCoro::Task<T> listed(ServiceAPI api, QString path, ServiceAPI::Query query, QString token)
{
    HTTPRequest request = api.buildRequest(path, query, std::nullopt, std::nullopt, token);
    if (!api.http)
        throw TransportFailure(TransportFailure::Kind::invalidRequest, u"no transport"_s);
    const HTTPResponse response = co_await api.http->data(std::move(request));
    if (response.status == 403) {
        const QList<qint64> codes = errorCodes(QJsonDocument::fromJson(response.body).object());
        if (codes.contains(9109))
            throw ServiceFailure::rejected();
    }
    co_return decodeJson<T>(ServiceAPI::judge(response, api.rejects), KeyStyle::snakeCase);
}

void logDropped(const char* what, const std::exception_ptr& error)
{
    qCInfo(logApp, "Cloudflare %s: %s", what, qUtf8Printable(failureName(error)));
}

CloudflareClient::WorkerDeployment workerDeployment(const WorkerDeploymentsResponse::Item& item)
{
    CloudflareClient::WorkerDeployment out;
    out.id = item.id;
    out.created = parsed(item.createdOn).value_or(distantPast());
    if (item.versions && !item.versions->isEmpty()) {
        // The largest share wins; on a tie the earlier version.
        const auto& versions = *item.versions;
        qsizetype best = 0;
        for (qsizetype i = 1; i < versions.size(); ++i) {
            if (versions[i].percentage.value_or(0) > versions[best].percentage.value_or(0))
                best = i;
        }
        out.version = versions[best].versionId;
    }
    out.source = nonEmpty(item.source);
    out.author = nonEmpty(item.authorEmail);
    std::optional<QString> message;
    if (item.annotations && item.annotations->contains(u"workers/message"_s))
        message = item.annotations->value(u"workers/message"_s);
    out.message = ServiceAPI::firstLine(message);
    return out;
}

} // namespace

QUrl CloudflareClient::defaultBaseURL()
{
    return QUrl(u"https://api.cloudflare.com/client/v4"_s);
}

QString CloudflareClient::dashboardURL()
{
    return u"https://dash.cloudflare.com/"_s;
}

QString CloudflareClient::pagesSuffix()
{
    return u".pages.dev"_s;
}

QString CloudflareClient::workersSuffix()
{
    return u".workers.dev"_s;
}

CloudflareClient::CloudflareClient(std::shared_ptr<HTTPClient> http, QUrl baseURL)
    : http(std::move(http))
    , baseURL(std::move(baseURL))
{
}

ServiceAPI CloudflareClient::api() const
{
    ServiceAPI api;
    api.http = http;
    api.baseURL = baseURL;
    api.readsSnakeCase = true;
    api.rejects = &CloudflareClient::rejectsToken;
    return api;
}

bool CloudflareClient::rejectsToken(const QJsonObject& body)
{
    const QList<qint64> codes = errorCodes(body);
    return codes.contains(1000) || codes.contains(6003);
}

std::optional<double> CloudflareClient::Build::duration() const
{
    if (state == Deployment::State::building || !stopped)
        return std::nullopt;
    const QDateTime start = started.value_or(created);
    if (*stopped < start)
        return std::nullopt;
    return static_cast<double>(start.msecsTo(*stopped)) / 1000.0;
}

CloudflareClient::StageState CloudflareClient::stageState(const PagesDeploymentResponse& response)
{
    using State = Deployment::State;
    const QString skipped = u"Skipped"_s;
    if (response.isSkipped.value_or(false))
        return {State::canceled, skipped};
    if (!response.latestStage || !response.latestStage->status)
        return {State::building, std::nullopt};
    const QString& status = *response.latestStage->status;
    if (status == u"failure")
        return {State::failed, std::nullopt};
    if (status == u"canceled")
        return {State::canceled, std::nullopt};
    if (status == u"skipped")
        return {State::canceled, skipped};
    if (status == u"success" && response.latestStage->name == u"deploy"_s)
        return {State::ready, std::nullopt};
    return {State::building, std::nullopt};
}

Deployment CloudflareClient::pagesRow(const PagesDeploymentResponse& response, const QString& account)
{
    Deployment row;
    row.id = u"pages:"_s + response.id;
    row.project = response.projectName.value_or(QString());
    const auto& metadata = response.deploymentTrigger ? response.deploymentTrigger->metadata : std::nullopt;
    if (metadata)
        row.branch = nonEmpty(metadata->branch);
    row.message = ServiceAPI::firstLine(metadata ? metadata->commitMessage : std::nullopt);
    if (row.message.isEmpty()) {
        row.message = u"Deployment "_s + (response.shortId ? *response.shortId : response.id.left(8));
    }
    const StageState stage = stageState(response);
    row.state = stage.state;
    row.stateNote = stage.note;
    row.date = parsed(response.createdOn).value_or(distantPast());
    row.environment = response.environment ? capitalised(spaced(*response.environment)) : u"Production"_s;
    const QUrl url(dashboardURL() + account + u"/pages/view/"_s + row.project + u'/' + response.id);
    if (url.isValid())
        row.url = url;
    row.scope = account;
    return row;
}

CloudflareClient::Build CloudflareClient::build(const BuildResponse& response)
{
    using State = Deployment::State;
    Build out;
    out.id = response.buildUuid;
    if (response.status == u"stopped"_s) {
        const QString outcome = response.buildOutcome.value_or(QString());
        if (outcome == u"success") {
            out.state = State::ready;
        } else if (outcome == u"fail") {
            out.state = State::failed;
        } else if (outcome == u"skipped") {
            out.state = State::canceled;
            out.stateNote = u"Skipped"_s;
        } else {
            out.state = State::canceled;
        }
    } else {
        out.state = State::building;
    }
    out.created = parsed(response.createdOn).value_or(distantPast());
    out.started = parsed(response.runningOn);
    if (!out.started)
        out.started = parsed(response.initializingOn);
    out.stopped = parsed(response.stoppedOn);
    if (const auto& metadata = response.buildTriggerMetadata) {
        out.branch = nonEmpty(metadata->branch);
        out.commit = nonEmpty(metadata->commitHash);
        out.author = nonEmpty(metadata->author);
        out.message = ServiceAPI::firstLine(metadata->commitMessage);
    }
    if (response.trigger)
        out.trigger = response.trigger->triggerUuid;
    return out;
}

QCoro::Task<QList<CloudflareClient::Account>> CloudflareClient::accounts(QString token) const
{
    const ServiceAPI api = this->api();
    const ServiceAPI::Query query {{u"per_page"_s, u"50"_s}};
    const auto reply = co_await listed<Envelope<QList<AccountResponse>>>(api, u"accounts"_s, query, token);
    QList<Account> out;
    for (const auto& account : reply.result)
        out.append({account.id, account.name.value_or(account.id)});
    co_return out;
}

QCoro::Task<QList<CloudflareClient::PagesProject>> CloudflareClient::pagesProjects(
    QString token, QString account) const
{
    const ServiceAPI api = this->api();
    const auto reply = co_await listed<Envelope<QList<PagesProjectResponse>>>(
        api, accountPath(account) + u"/pages/projects"_s, {}, token);
    QList<PagesProject> out;
    for (const auto& project : reply.result) {
        QList<QString> candidates = project.domains.value_or(QList<QString>());
        if (project.subdomain)
            candidates.append(*project.subdomain);
        QList<QString> domains;
        for (const QString& name : suffixLast(candidates, pagesSuffix())) {
            if (!domains.contains(name))
                domains.append(name);
        }
        std::optional<QDateTime> deployed;
        if (project.latestDeployment)
            deployed = parsed(project.latestDeployment->createdOn);
        out.append({project.name, domains, deployed});
    }
    co_return out;
}

QCoro::Task<QList<Deployment>> CloudflareClient::pagesDeployments(
    QString token, QString account, QString project, int pageSize) const
{
    const ServiceAPI api = this->api();
    const ServiceAPI::Query query {{u"per_page"_s, QString::number(pageSize)}};
    const auto reply = co_await api.request<Envelope<QList<PagesDeploymentResponse>>>(
        accountPath(account) + u"/pages/projects/"_s + project + u"/deployments"_s, query, token);
    QList<Deployment> out;
    for (const auto& deployment : reply.result)
        out.append(pagesRow(deployment, account));
    co_return out;
}

QCoro::Task<DeploymentDetails> CloudflareClient::pagesDeploymentLog(
    QString token, QString account, QString project, QString deployment) const
{
    const ServiceAPI api = this->api();
    const QString path = deploymentPath(account, project, deployment);
    const auto reply = co_await api.request<Envelope<PagesDeploymentResponse>>(path, {}, token);
    const PagesDeploymentResponse& response = reply.result;
    const StageState stage = stageState(response);

    DeploymentDetails details;
    details.canRedeploy = true;
    if (stage.state == Deployment::State::failed && response.latestStage && response.latestStage->name) {
        details.errorMessage
            = u"The "_s + spaced(*response.latestStage->name).toLower() + u" stage failed."_s;
    }
    if (stage.state == Deployment::State::ready) {
        QList<QString> addresses = response.aliases.value_or(QList<QString>());
        if (response.url)
            addresses.append(*response.url);
        QList<QString> hosts;
        for (const QString& address : addresses) {
            const QString host = QUrl(address).host(QUrl::FullyEncoded);
            if (!host.isEmpty())
                hosts.append(host);
        }
        details.domains = suffixLast(hosts, pagesSuffix());
    }
    const auto start = parsed(response.createdOn);
    const auto end = response.latestStage ? parsed(response.latestStage->endedOn) : std::nullopt;
    if (start && end && *start <= *end && stage.state != Deployment::State::building)
        details.buildDuration = static_cast<double>(start->msecsTo(*end)) / 1000.0;

    if (stage.state != Deployment::State::failed)
        co_return details;
    try {
        const auto logs = co_await api.request<std::optional<Envelope<LogsResponse>>>(
            path + u"/history/logs"_s, {}, token);
        QList<QString> lines;
        if (logs && logs->result.data) {
            for (const auto& entry : *logs->result.data) {
                const QString line = entry.line.value_or(QString()).trimmed();
                if (!line.isEmpty())
                    lines.append(line);
            }
        }
        details.logTail = lines.mid(std::max<qsizetype>(0, lines.size() - 4));
    } catch (...) {
        logDropped("deployment log", std::current_exception());
    }
    co_return details;
}

QCoro::Task<Deployment> CloudflareClient::retryPagesDeployment(
    QString token, QString account, QString project, QString id) const
{
    const ServiceAPI api = this->api();
    const auto reply = co_await api.request<Envelope<PagesDeploymentResponse>>(
        deploymentPath(account, project, id) + u"/retry"_s, {}, u"POST"_s, std::nullopt, token);
    co_return pagesRow(reply.result, account);
}

QCoro::Task<QList<CloudflareClient::Worker>> CloudflareClient::workers(QString token, QString account) const
{
    const ServiceAPI api = this->api();
    const auto reply = co_await listed<Envelope<QList<WorkerResponse>>>(
        api, accountPath(account) + u"/workers/scripts"_s, {}, token);
    QList<Worker> out;
    for (const auto& script : reply.result)
        out.append({script.id, script.tag, parsed(script.modifiedOn)});
    co_return out;
}

QCoro::Task<QList<CloudflareClient::WorkerDeployment>> CloudflareClient::workerDeployments(
    QString token, QString account, QString script) const
{
    const ServiceAPI api = this->api();
    const auto reply = co_await api.request<Envelope<WorkerDeploymentsResponse>>(
        accountPath(account) + u"/workers/scripts/"_s + script + u"/deployments"_s, {}, token);
    QList<WorkerDeployment> out;
    for (const auto& item : reply.result.deployments)
        out.append(workerDeployment(item));
    co_return out;
}

QCoro::Task<QList<CloudflareClient::Build>> CloudflareClient::builds(
    QString token, QString account, QString workerTag, int pageSize) const
{
    const ServiceAPI api = this->api();
    const ServiceAPI::Query query {{u"per_page"_s, QString::number(pageSize)}};
    const auto reply = co_await api.request<Envelope<QList<BuildResponse>>>(
        accountPath(account) + u"/builds/workers/"_s + workerTag + u"/builds"_s, query, token);
    QList<Build> out;
    for (const auto& response : reply.result)
        out.append(build(response));
    co_return out;
}

QCoro::Task<QMap<QString, CloudflareClient::Build>> CloudflareClient::builds(
    QString token, QString account, QList<QString> versionIDs) const
{
    const ServiceAPI api = this->api();
    const ServiceAPI::Query query {{u"version_ids"_s, versionIDs.join(u',')}};
    const auto reply = co_await api.request<Envelope<BuildsByVersionResponse>>(
        accountPath(account) + u"/builds/builds"_s, query, token);
    QMap<QString, Build> out;
    if (reply.result.builds) {
        for (auto it = reply.result.builds->cbegin(); it != reply.result.builds->cend(); ++it)
            out.insert(it.key(), build(it.value()));
    }
    co_return out;
}

QCoro::Task<CloudflareClient::WorkerHosts> CloudflareClient::workerDomains(
    QString token, QString account, QString service) const
{
    const ServiceAPI api = this->api();
    WorkerHosts hosts;
    const ServiceAPI::Query query {{u"service"_s, service}};
    try {
        const auto reply = co_await api.request<std::optional<Envelope<QList<DomainResponse>>>>(
            accountPath(account) + u"/workers/domains"_s, query, token);
        if (reply) {
            for (const auto& domain : reply->result) {
                if (domain.hostname)
                    hosts.names.append(*domain.hostname);
            }
        }
    } catch (...) {
        logDropped("Worker domains", std::current_exception());
        hosts.complete = false;
    }

    std::optional<Envelope<SubdomainSwitchResponse>> served;
    try {
        served = co_await api.request<std::optional<Envelope<SubdomainSwitchResponse>>>(
            accountPath(account) + u"/workers/scripts/"_s + service + u"/subdomain"_s, {}, token);
    } catch (...) {
        logDropped("Worker subdomain switch", std::current_exception());
        hosts.complete = false;
        co_return hosts;
    }
    if (!served || !served->result.enabled.value_or(false))
        co_return hosts;

    try {
        const auto subdomain = co_await api.request<std::optional<Envelope<SubdomainResponse>>>(
            accountPath(account) + u"/workers/subdomain"_s, {}, token);
        if (subdomain && subdomain->result.subdomain)
            hosts.names.append(service + u'.' + *subdomain->result.subdomain + workersSuffix());
    } catch (...) {
        logDropped("account subdomain", std::current_exception());
        hosts.complete = false;
    }
    co_return hosts;
}

QCoro::Task<CloudflareClient::Build> CloudflareClient::runBuildTrigger(QString token, QString account,
    QString trigger, std::optional<QString> branch, std::optional<QString> commit) const
{
    const ServiceAPI api = this->api();
    QJsonObject body;
    if (commit)
        body.insert(u"commit_hash"_s, *commit);
    else
        body.insert(u"branch"_s, branch.value_or(u"main"_s));
    const auto reply = co_await api.request<Envelope<BuildResponse>>(
        accountPath(account) + u"/builds/triggers/"_s + trigger + u"/builds"_s, {}, std::nullopt, body,
        token);
    co_return build(reply.result);
}

} // namespace brenvo
