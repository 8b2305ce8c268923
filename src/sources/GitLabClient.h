#pragma once

#include "http/HTTPClient.h"
#include "http/ServiceAPI.h"
#include "model/Deployment.h"

#include <QCoroTask>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

namespace brenvo {

namespace gitlab {
struct PipelineResponse;
struct JobResponse;
} // namespace gitlab

// The requests of the GitLab REST API (v4) that the GitLab source sends. A plain value: it holds
// the transport and the base URL ("<host>/api/v4"), never a token; every call builds its own
// ServiceAPI and reads all it needs of the client before its first wait.
class GitLabClient {
public:
    struct User {
        QString username;
        std::optional<QUrl> avatar;
        bool operator==(const User&) const = default;
    };

    struct Project {
        qint64 id = 0;
        QString path; // with its namespace: "group/subgroup/app"
        std::optional<QUrl> avatar;
        bool operator==(const Project&) const = default;
    };

    struct Pipeline {
        qint64 id = 0;
        qint64 projectID = 0;
        QString sha;
        std::optional<QString> ref; // "!17" for a merge request's pipeline
        Deployment::State state = Deployment::State::building;
        std::optional<QString> stateNote;
        QDateTime created;
        std::optional<QUrl> url;
        bool operator==(const Pipeline&) const = default;
    };

    struct StateNote {
        Deployment::State state;
        std::optional<QString> note;
        bool operator==(const StateNote&) const = default;
    };

    static QUrl defaultBaseURL();

    GitLabClient() = default;
    GitLabClient(std::shared_ptr<HTTPClient> http, QUrl baseURL);

    std::shared_ptr<HTTPClient> http;
    QUrl baseURL;

    QCoro::Task<User> user(QString token) const;
    // The user's non-archived member projects, most recently active first.
    QCoro::Task<QList<Project>> projects(QString token, int limit) const;
    QCoro::Task<QList<Pipeline>> pipelines(QString token, qint64 project, int limit) const;
    // "" when the commit has no title.
    QCoro::Task<QString> commitTitle(QString token, qint64 project, QString sha) const;
    // The pipeline with its jobs as checks; a jobs list that cannot be read gives no checks.
    QCoro::Task<DeploymentDetails> details(QString token, qint64 project, qint64 pipeline) const;
    QCoro::Task<void> retry(QString token, qint64 project, qint64 pipeline) const;

    static StateNote state(const std::optional<QString>& status);
    static Pipeline pipeline(const gitlab::PipelineResponse& response, qint64 project);
    static DeploymentCheck check(const gitlab::JobResponse& job);

private:
    ServiceAPI api() const;
};

} // namespace brenvo
