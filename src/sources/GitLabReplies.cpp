#include "sources/GitLabReplies.h"

namespace brenvo::gitlab {

UserResponse UserResponse::fromJson(const JsonObject& o)
{
    return {o.required<QString>("username"), o.optional<QString>("avatarUrl")};
}

ProjectResponse ProjectResponse::fromJson(const JsonObject& o)
{
    return {
        o.required<qint64>("id"), o.required<QString>("pathWithNamespace"), o.optional<QString>("avatarUrl")};
}

PipelineResponse PipelineResponse::fromJson(const JsonObject& o)
{
    return {o.required<qint64>("id"), o.required<QString>("sha"), o.optional<QString>("ref"),
        o.optional<QString>("status"), o.optional<QString>("createdAt"), o.optional<QString>("webUrl")};
}

CommitResponse CommitResponse::fromJson(const JsonObject& o)
{
    return {o.optional<QString>("title")};
}

PipelineDetailResponse::User PipelineDetailResponse::User::fromJson(const JsonObject& o)
{
    return {o.optional<QString>("username")};
}

PipelineDetailResponse PipelineDetailResponse::fromJson(const JsonObject& o)
{
    return {o.optional<double>("duration"), o.optional<User>("user"), o.optional<QString>("yamlErrors")};
}

JobResponse JobResponse::fromJson(const JsonObject& o)
{
    JobResponse job;
    job.id = o.required<qint64>("id");
    job.name = o.required<QString>("name");
    job.stage = o.optional<QString>("stage");
    job.status = o.optional<QString>("status");
    job.failureReason = o.optional<QString>("failureReason");
    job.allowFailure = o.optional<bool>("allowFailure");
    job.duration = o.optional<double>("duration");
    job.webUrl = o.optional<QString>("webUrl");
    return job;
}

} // namespace brenvo::gitlab
