#pragma once

// The JSON replies of the GitHub REST API as the GitHub client reads them (snake_case keys).
// Times stay text here; the client reads them.

#include "http/JsonReader.h"

#include <QList>
#include <QString>

#include <optional>

namespace brenvo::github {

struct UserResponse {
    QString login;
    std::optional<QString> avatarUrl;
    static UserResponse fromJson(const JsonObject& o);
};

struct RepositoryResponse {
    QString fullName;
    std::optional<QString> homepage;
    std::optional<QString> defaultBranch;
    static RepositoryResponse fromJson(const JsonObject& o);
};

struct LoginResponse {
    std::optional<QString> login;
    static LoginResponse fromJson(const JsonObject& o);
};

struct CommitItemResponse {
    struct Person {
        std::optional<QString> name;
        std::optional<QString> date;
        static Person fromJson(const JsonObject& o);
    };
    struct Commit {
        std::optional<QString> message;
        std::optional<Person> author;
        std::optional<Person> committer;
        static Commit fromJson(const JsonObject& o);
    };
    QString sha;
    Commit commit;
    // The GitHub account linked to the commit's author.
    std::optional<LoginResponse> author;
    static CommitItemResponse fromJson(const JsonObject& o);
};

struct CommitResponse {
    struct Commit {
        std::optional<QString> message;
        static Commit fromJson(const JsonObject& o);
    };
    Commit commit;
    static CommitResponse fromJson(const JsonObject& o);
};

struct RunsResponse {
    struct Item {
        struct Commit {
            std::optional<QString> message;
            static Commit fromJson(const JsonObject& o);
        };
        qint64 id = 0;
        std::optional<QString> name;
        std::optional<QString> displayTitle;
        std::optional<QString> headBranch;
        QString headSha;
        std::optional<QString> status;
        std::optional<QString> conclusion;
        std::optional<QString> createdAt;
        std::optional<QString> updatedAt;
        std::optional<QString> runStartedAt;
        std::optional<QString> htmlUrl;
        std::optional<LoginResponse> actor;
        std::optional<Commit> headCommit;
        static Item fromJson(const JsonObject& o);
    };
    QList<Item> workflowRuns;
    static RunsResponse fromJson(const JsonObject& o);
};

struct JobsResponse {
    struct Item {
        struct Step {
            QString name;
            std::optional<QString> conclusion;
            static Step fromJson(const JsonObject& o);
        };
        qint64 id = 0;
        QString name;
        std::optional<QString> status;
        std::optional<QString> conclusion;
        std::optional<QString> startedAt;
        std::optional<QString> completedAt;
        std::optional<QString> htmlUrl;
        std::optional<QList<Step>> steps;
        static Item fromJson(const JsonObject& o);
    };
    QList<Item> jobs;
    static JobsResponse fromJson(const JsonObject& o);
};

struct CombinedStatusResponse {
    struct Item {
        QString context;
        QString state;
        std::optional<QString> description;
        std::optional<QString> targetUrl;
        std::optional<QString> createdAt;
        std::optional<QString> updatedAt;
        static Item fromJson(const JsonObject& o);
    };
    QList<Item> statuses;
    static CombinedStatusResponse fromJson(const JsonObject& o);
};

struct PlacementResponse {
    qint64 id = 0;
    QString sha;
    std::optional<QString> ref;
    std::optional<QString> environment;
    std::optional<QString> createdAt;
    std::optional<LoginResponse> creator;
    static PlacementResponse fromJson(const JsonObject& o);
};

struct PlacementStatusResponse {
    QString state;
    std::optional<QString> description;
    std::optional<QString> environmentUrl;
    std::optional<QString> logUrl;
    std::optional<QString> createdAt;
    std::optional<QString> updatedAt;
    static PlacementStatusResponse fromJson(const JsonObject& o);
};

} // namespace brenvo::github
