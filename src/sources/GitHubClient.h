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

namespace github {
struct PlacementStatusResponse;
} // namespace github

// The requests of the GitHub REST API that the GitHub source sends. A plain value: it holds the
// transport and the base URL, never a token; every call builds its own ServiceAPI and reads all it
// needs of the client before its first wait, so a call outlives the value it was made on.
//
// GitHub's own deployments are "placements" here, apart from the rows of the card.
class GitHubClient {
public:
    struct User {
        QString login;
        std::optional<QUrl> avatar;
        bool operator==(const User&) const = default;
    };

    struct Repository {
        QString fullName; // "owner/name"
        std::optional<QString> homepage; // never empty
        std::optional<QString> defaultBranch;
        bool operator==(const Repository&) const = default;
    };

    struct CommitInfo {
        QString sha;
        QString message; // first line
        std::optional<QDateTime> date;
        std::optional<QString> author;
        bool operator==(const CommitInfo&) const = default;
    };

    struct Run {
        qint64 id = 0;
        QString name;
        QString sha;
        std::optional<QString> branch;
        QString message;
        Deployment::State state = Deployment::State::building;
        std::optional<QString> stateNote;
        QDateTime started;
        QDateTime updated;
        std::optional<QUrl> url;
        std::optional<QString> actor;
        bool operator==(const Run&) const = default;
    };

    struct Job {
        qint64 id = 0;
        QString name;
        Deployment::State state = Deployment::State::building;
        std::optional<QString> stateNote;
        std::optional<QString> failedStep;
        std::optional<double> duration; // seconds
        std::optional<QUrl> url;
        bool operator==(const Job&) const = default;
    };

    struct Status {
        QString context;
        Deployment::State state = Deployment::State::building;
        std::optional<QString> description;
        std::optional<QUrl> url;
        std::optional<QDateTime> updated;
        bool operator==(const Status&) const = default;
    };

    struct Placement {
        qint64 id = 0;
        QString sha;
        std::optional<QString> ref;
        QString environment;
        QDateTime created;
        std::optional<QString> creator;
        bool operator==(const Placement&) const = default;
    };

    struct PlacementStatus {
        Deployment::State state = Deployment::State::building;
        std::optional<QString> stateNote;
        bool isFinal = false; // will not change any more
        std::optional<QUrl> environmentURL;
        std::optional<QUrl> logURL;
        std::optional<QString> description;
        bool operator==(const PlacementStatus&) const = default;
    };

    struct StateNote {
        Deployment::State state;
        std::optional<QString> note;
        bool operator==(const StateNote&) const = default;
    };

    static QUrl defaultBaseURL();
    // The web address that commit links start with, ending in "/".
    static QString webURL();

    GitHubClient() = default;
    GitHubClient(std::shared_ptr<HTTPClient> http, QUrl baseURL);

    std::shared_ptr<HTTPClient> http;
    QUrl baseURL;

    QCoro::Task<User> user(QString token) const;
    // Most recently pushed first.
    QCoro::Task<QList<Repository>> repositories(QString token, int limit) const;
    // An empty repository (status 409) has no commits rather than a failure.
    QCoro::Task<QList<CommitInfo>> commits(QString token, QString repository, int limit) const;
    QCoro::Task<QList<Run>> runs(
        QString token, QString repository, std::optional<QString> sha, int limit) const;
    QCoro::Task<QList<Job>> jobs(QString token, QString repository, qint64 run) const;
    QCoro::Task<QList<Status>> statuses(QString token, QString repository, QString sha) const;
    QCoro::Task<QList<Placement>> placements(
        QString token, QString repository, std::optional<QString> sha, int limit) const;
    // Where a deployment stands at now, from its latest statuses.
    QCoro::Task<PlacementStatus> latestStatus(
        QString token, QString repository, Placement placement, QDateTime now) const;
    // The first line of one commit's message; absent when the reply has none.
    QCoro::Task<std::optional<QString>> commitMessage(QString token, QString repository, QString sha) const;
    QCoro::Task<void> rerunFailedJobs(QString token, QString repository, qint64 run) const;

    // The Actions words of a run or job.
    static StateNote state(const std::optional<QString>& status, const std::optional<QString>& conclusion);
    static PlacementStatus placementStatus(const github::PlacementStatusResponse& response);
    // Where a deployment stands, from its statuses as listed (newest first).
    static PlacementStatus latestStatus(const QList<github::PlacementStatusResponse>& statuses,
        const Placement& placement, const QDateTime& now);

private:
    ServiceAPI api() const;
};

} // namespace brenvo
