#include "sources/GitHubReplies.h"

namespace brenvo::github {

UserResponse UserResponse::fromJson(const JsonObject& o)
{
    return {o.required<QString>("login"), o.optional<QString>("avatarUrl")};
}

RepositoryResponse RepositoryResponse::fromJson(const JsonObject& o)
{
    return {o.required<QString>("fullName"), o.optional<QString>("homepage"),
        o.optional<QString>("defaultBranch")};
}

CommitItemResponse::Person CommitItemResponse::Person::fromJson(const JsonObject& o)
{
    return {o.optional<QString>("name"), o.optional<QString>("date")};
}

CommitItemResponse::Commit CommitItemResponse::Commit::fromJson(const JsonObject& o)
{
    return {o.optional<QString>("message"), o.optional<Person>("author"), o.optional<Person>("committer")};
}

CommitItemResponse CommitItemResponse::fromJson(const JsonObject& o)
{
    return {o.required<QString>("sha"), o.required<Commit>("commit"), o.optional<LoginResponse>("author")};
}

CommitResponse::Commit CommitResponse::Commit::fromJson(const JsonObject& o)
{
    return {o.optional<QString>("message")};
}

CommitResponse CommitResponse::fromJson(const JsonObject& o)
{
    return {o.required<Commit>("commit")};
}

LoginResponse LoginResponse::fromJson(const JsonObject& o)
{
    return {o.optional<QString>("login")};
}

RunsResponse::Item::Commit RunsResponse::Item::Commit::fromJson(const JsonObject& o)
{
    return {o.optional<QString>("message")};
}

RunsResponse::Item RunsResponse::Item::fromJson(const JsonObject& o)
{
    Item item;
    item.id = o.required<qint64>("id");
    item.name = o.optional<QString>("name");
    item.displayTitle = o.optional<QString>("displayTitle");
    item.headBranch = o.optional<QString>("headBranch");
    item.headSha = o.required<QString>("headSha");
    item.status = o.optional<QString>("status");
    item.conclusion = o.optional<QString>("conclusion");
    item.createdAt = o.optional<QString>("createdAt");
    item.updatedAt = o.optional<QString>("updatedAt");
    item.runStartedAt = o.optional<QString>("runStartedAt");
    item.htmlUrl = o.optional<QString>("htmlUrl");
    item.actor = o.optional<LoginResponse>("actor");
    item.headCommit = o.optional<Commit>("headCommit");
    return item;
}

RunsResponse RunsResponse::fromJson(const JsonObject& o)
{
    return {o.required<QList<Item>>("workflowRuns")};
}

JobsResponse::Item::Step JobsResponse::Item::Step::fromJson(const JsonObject& o)
{
    return {o.required<QString>("name"), o.optional<QString>("conclusion")};
}

JobsResponse::Item JobsResponse::Item::fromJson(const JsonObject& o)
{
    Item item;
    item.id = o.required<qint64>("id");
    item.name = o.required<QString>("name");
    item.status = o.optional<QString>("status");
    item.conclusion = o.optional<QString>("conclusion");
    item.startedAt = o.optional<QString>("startedAt");
    item.completedAt = o.optional<QString>("completedAt");
    item.htmlUrl = o.optional<QString>("htmlUrl");
    item.steps = o.optional<QList<Step>>("steps");
    return item;
}

JobsResponse JobsResponse::fromJson(const JsonObject& o)
{
    return {o.required<QList<Item>>("jobs")};
}

CombinedStatusResponse::Item CombinedStatusResponse::Item::fromJson(const JsonObject& o)
{
    return {o.required<QString>("context"), o.required<QString>("state"), o.optional<QString>("description"),
        o.optional<QString>("targetUrl"), o.optional<QString>("createdAt"), o.optional<QString>("updatedAt")};
}

CombinedStatusResponse CombinedStatusResponse::fromJson(const JsonObject& o)
{
    return {o.required<QList<Item>>("statuses")};
}

PlacementResponse PlacementResponse::fromJson(const JsonObject& o)
{
    return {o.required<qint64>("id"), o.required<QString>("sha"), o.optional<QString>("ref"),
        o.optional<QString>("environment"), o.optional<QString>("createdAt"),
        o.optional<LoginResponse>("creator")};
}

PlacementStatusResponse PlacementStatusResponse::fromJson(const JsonObject& o)
{
    return {o.required<QString>("state"), o.optional<QString>("description"),
        o.optional<QString>("environmentUrl"), o.optional<QString>("logUrl"),
        o.optional<QString>("createdAt"), o.optional<QString>("updatedAt")};
}

} // namespace brenvo::github
