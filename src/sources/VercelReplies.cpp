#include "sources/VercelReplies.h"

#include "sources/SourceSupport.h"

using namespace Qt::Literals::StringLiterals;

namespace brenvo::vercel {

UserResponse::User UserResponse::User::fromJson(const JsonObject& o)
{
    return {o.optional<QString>("username"), o.optional<QString>("name"), o.optional<QString>("email")};
}

UserResponse UserResponse::fromJson(const JsonObject& o)
{
    return {o.required<User>("user")};
}

TeamsResponse::Team TeamsResponse::Team::fromJson(const JsonObject& o)
{
    return {o.required<QString>("id"), o.optional<QString>("name"), o.optional<QString>("slug")};
}

TeamsResponse TeamsResponse::fromJson(const JsonObject& o)
{
    return {o.required<QList<Team>>("teams")};
}

DeploymentsResponse::Item DeploymentsResponse::Item::fromJson(const JsonObject& o)
{
    Item item;
    item.uid = o.required<QString>("uid");
    item.name = o.required<QString>("name");
    item.state = lenientMember<QString>(o, "state");
    item.readyState = lenientMember<QString>(o, "readyState");
    item.created = lenientMember<double>(o, "created");
    item.target = lenientMember<QString>(o, "target");
    item.inspectorUrl = lenientMember<QString>(o, "inspectorUrl");
    const QJsonValue meta = o.raw().value(u"meta"_s);
    if (meta.isObject()) {
        const QJsonObject members = meta.toObject();
        for (auto it = members.begin(); it != members.end(); ++it) {
            if (it.value().isString())
                item.meta.insert(it.key(), it.value().toString());
        }
    }
    return item;
}

DeploymentsResponse DeploymentsResponse::fromJson(const JsonObject& o)
{
    return {o.required<QList<Item>>("deployments")};
}

DeploymentResponse::Creator DeploymentResponse::Creator::fromJson(const JsonObject& o)
{
    return {o.optional<QString>("username")};
}

DeploymentResponse DeploymentResponse::fromJson(const JsonObject& o)
{
    return {o.optional<QList<QString>>("alias"), o.optional<QString>("errorMessage"),
        o.optional<double>("buildingAt"), o.optional<double>("ready"), o.optional<Creator>("creator")};
}

LogEvent::Payload LogEvent::Payload::fromJson(const JsonObject& o)
{
    return {o.optional<QString>("text"), o.optional<double>("date")};
}

LogEvent LogEvent::fromJson(const JsonObject& o)
{
    return {o.optional<QString>("text"), o.optional<double>("created"), o.optional<double>("date"),
        o.optional<Payload>("payload")};
}

DomainsResponse::Domain DomainsResponse::Domain::fromJson(const JsonObject& o)
{
    return {o.required<QString>("name"), o.optional<QString>("redirect")};
}

DomainsResponse DomainsResponse::fromJson(const JsonObject& o)
{
    return {o.required<QList<Domain>>("domains")};
}

CreatedResponse CreatedResponse::fromJson(const JsonObject& o)
{
    return {o.required<QString>("id")};
}

} // namespace brenvo::vercel
