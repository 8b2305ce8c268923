#pragma once

// The JSON replies of the GitLab REST API (v4) as the GitLab client reads them (snake_case keys).

#include "http/JsonReader.h"

#include <QString>

#include <optional>

namespace brenvo::gitlab {

struct UserResponse {
    QString username;
    std::optional<QString> avatarUrl;
    static UserResponse fromJson(const JsonObject& o);
};

struct ProjectResponse {
    qint64 id = 0;
    QString pathWithNamespace;
    std::optional<QString> avatarUrl;
    static ProjectResponse fromJson(const JsonObject& o);
};

struct PipelineResponse {
    qint64 id = 0;
    QString sha;
    std::optional<QString> ref;
    std::optional<QString> status;
    std::optional<QString> createdAt;
    std::optional<QString> webUrl;
    static PipelineResponse fromJson(const JsonObject& o);
};

struct CommitResponse {
    std::optional<QString> title;
    static CommitResponse fromJson(const JsonObject& o);
};

struct PipelineDetailResponse {
    struct User {
        std::optional<QString> username;
        static User fromJson(const JsonObject& o);
    };
    std::optional<double> duration;
    std::optional<User> user;
    std::optional<QString> yamlErrors;
    static PipelineDetailResponse fromJson(const JsonObject& o);
};

struct JobResponse {
    qint64 id = 0;
    QString name;
    std::optional<QString> stage;
    std::optional<QString> status;
    std::optional<QString> failureReason;
    std::optional<bool> allowFailure;
    std::optional<double> duration;
    std::optional<QString> webUrl;
    static JobResponse fromJson(const JsonObject& o);
};

} // namespace brenvo::gitlab
