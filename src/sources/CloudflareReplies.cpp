#include "sources/CloudflareReplies.h"

#include "sources/SourceSupport.h"

#include <QJsonArray>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace brenvo::cloudflare {

AccountResponse AccountResponse::fromJson(const JsonObject& o)
{
    return {o.required<QString>("id"), o.optional<QString>("name")};
}

PagesProjectResponse::Latest PagesProjectResponse::Latest::fromJson(const JsonObject& o)
{
    return {o.optional<QString>("createdOn")};
}

PagesProjectResponse PagesProjectResponse::fromJson(const JsonObject& o)
{
    return {o.required<QString>("name"), o.optional<QString>("subdomain"),
        o.optional<QList<QString>>("domains"), o.optional<Latest>("latestDeployment")};
}

PagesDeploymentResponse::Stage PagesDeploymentResponse::Stage::fromJson(const JsonObject& o)
{
    return {o.optional<QString>("name"), o.optional<QString>("status"), o.optional<QString>("startedOn"),
        o.optional<QString>("endedOn")};
}

PagesDeploymentResponse::Trigger::Metadata PagesDeploymentResponse::Trigger::Metadata::fromJson(
    const JsonObject& o)
{
    return {o.optional<QString>("branch"), o.optional<QString>("commitHash"),
        o.optional<QString>("commitMessage")};
}

PagesDeploymentResponse::Trigger PagesDeploymentResponse::Trigger::fromJson(const JsonObject& o)
{
    return {o.optional<Metadata>("metadata")};
}

PagesDeploymentResponse PagesDeploymentResponse::fromJson(const JsonObject& o)
{
    PagesDeploymentResponse r;
    r.id = o.required<QString>("id");
    r.shortId = o.optional<QString>("shortId");
    r.projectName = o.optional<QString>("projectName");
    r.environment = o.optional<QString>("environment");
    r.url = o.optional<QString>("url");
    r.createdOn = o.optional<QString>("createdOn");
    r.aliases = o.optional<QList<QString>>("aliases");
    r.isSkipped = o.optional<bool>("isSkipped");
    r.latestStage = o.optional<Stage>("latestStage");
    r.stages = o.optional<QList<Stage>>("stages");
    r.deploymentTrigger = o.optional<Trigger>("deploymentTrigger");
    return r;
}

LogsResponse::Entry LogsResponse::Entry::fromJson(const JsonObject& o)
{
    return {o.optional<QString>("line")};
}

LogsResponse LogsResponse::fromJson(const JsonObject& o)
{
    return {o.optional<QList<Entry>>("data")};
}

WorkerResponse WorkerResponse::fromJson(const JsonObject& o)
{
    return {o.required<QString>("id"), o.optional<QString>("tag"), o.optional<QString>("modifiedOn")};
}

WorkerDeploymentsResponse::Item::Version WorkerDeploymentsResponse::Item::Version::fromJson(
    const JsonObject& o)
{
    return {o.optional<QString>("versionId"), o.optional<double>("percentage")};
}

WorkerDeploymentsResponse::Item WorkerDeploymentsResponse::Item::fromJson(const JsonObject& o)
{
    Item item;
    item.id = o.required<QString>("id");
    item.createdOn = lenientMember<QString>(o, "createdOn");
    item.source = lenientMember<QString>(o, "source");
    item.authorEmail = lenientMember<QString>(o, "authorEmail");
    item.annotations = lenientMember<QMap<QString, QString>>(o, "annotations");
    item.versions = lenientMember<QList<Version>>(o, "versions");
    return item;
}

WorkerDeploymentsResponse WorkerDeploymentsResponse::fromJson(const JsonObject& o)
{
    return {o.required<QList<Item>>("deployments")};
}

BuildResponse::Metadata BuildResponse::Metadata::fromJson(const JsonObject& o)
{
    return {o.optional<QString>("author"), o.optional<QString>("branch"), o.optional<QString>("commitHash"),
        o.optional<QString>("commitMessage")};
}

BuildResponse::Trigger BuildResponse::Trigger::fromJson(const JsonObject& o)
{
    return {o.optional<QString>("triggerUuid")};
}

BuildResponse BuildResponse::fromJson(const JsonObject& o)
{
    BuildResponse r;
    r.buildUuid = o.required<QString>("buildUuid");
    r.status = o.optional<QString>("status");
    r.buildOutcome = o.optional<QString>("buildOutcome");
    r.createdOn = o.optional<QString>("createdOn");
    r.initializingOn = o.optional<QString>("initializingOn");
    r.runningOn = o.optional<QString>("runningOn");
    r.stoppedOn = o.optional<QString>("stoppedOn");
    r.buildTriggerMetadata = o.optional<Metadata>("buildTriggerMetadata");
    r.trigger = o.optional<Trigger>("trigger");
    return r;
}

BuildsByVersionResponse BuildsByVersionResponse::fromJson(const JsonObject& o)
{
    return {o.optional<QMap<QString, BuildResponse>>("builds")};
}

DomainResponse DomainResponse::fromJson(const JsonObject& o)
{
    return {o.optional<QString>("hostname")};
}

SubdomainResponse SubdomainResponse::fromJson(const JsonObject& o)
{
    return {o.optional<QString>("subdomain")};
}

SubdomainSwitchResponse SubdomainSwitchResponse::fromJson(const JsonObject& o)
{
    return {o.optional<bool>("enabled")};
}

QList<qint64> errorCodes(const QJsonObject& body)
{
    const QJsonValue errors = body.value(u"errors"_s);
    if (!errors.isArray())
        return {};
    const QJsonArray list = errors.toArray();
    for (const QJsonValue& entry : list) {
        if (!entry.isObject())
            return {};
    }
    QList<qint64> codes;
    for (const QJsonValue& entry : list) {
        const QJsonValue code = entry.toObject().value(u"code"_s);
        if (!code.isDouble())
            continue;
        const double value = code.toDouble();
        if (std::trunc(value) != value || std::fabs(value) > 9.0e15)
            continue;
        codes.append(static_cast<qint64>(value));
    }
    return codes;
}

} // namespace brenvo::cloudflare
