#pragma once

#include "http/HTTPClient.h"
#include "http/ServiceAPI.h"
#include "model/Deployment.h"

#include <QCoroTask>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>
#include <utility>

namespace brenvo {

namespace cloudflare {
struct PagesDeploymentResponse;
struct BuildResponse;
} // namespace cloudflare

// The requests of the Cloudflare API (v4) that the Cloudflare source sends. A plain value: it holds
// the transport and the base URL, never a token; every call builds its own ServiceAPI.
//
// Each operation reads what it needs of the client before its first wait, so a call survives the
// client value it was made on.
class CloudflareClient {
public:
    struct Account {
        QString id;
        QString name;
        bool operator==(const Account&) const = default;
    };

    struct PagesProject {
        QString name;
        QList<QString> domains; // own domains first, default-suffix hosts last
        std::optional<QDateTime> deployed;
        bool operator==(const PagesProject&) const = default;
    };

    struct Worker {
        QString name;
        std::optional<QString> tag;
        std::optional<QDateTime> modified;
        bool operator==(const Worker&) const = default;
    };

    struct WorkerDeployment {
        QString id;
        QDateTime created;
        std::optional<QString> version; // the version that takes the largest share
        std::optional<QString> source;
        std::optional<QString> author;
        QString message;
        bool operator==(const WorkerDeployment&) const = default;
    };

    struct Build {
        QString id;
        Deployment::State state = Deployment::State::building;
        std::optional<QString> stateNote;
        QDateTime created;
        std::optional<QDateTime> started;
        std::optional<QDateTime> stopped;
        std::optional<QString> branch;
        std::optional<QString> commit;
        QString message;
        std::optional<QString> author;
        std::optional<QString> trigger;
        bool operator==(const Build&) const = default;

        // Seconds from start (or creation) to stop of a finished build.
        std::optional<double> duration() const;
    };

    // The host names a Worker answers on, and whether every request asked for them succeeded.
    struct WorkerHosts {
        QList<QString> names;
        bool complete = true;
    };

    // The API host followed by "/client/v4".
    static QUrl defaultBaseURL();
    // The dashboard's root, ending in "/".
    static QString dashboardURL();
    static QString pagesSuffix();
    static QString workersSuffix();

    CloudflareClient() = default;
    CloudflareClient(std::shared_ptr<HTTPClient> http, QUrl baseURL);

    std::shared_ptr<HTTPClient> http;
    QUrl baseURL;

    QCoro::Task<QList<Account>> accounts(QString token) const;
    QCoro::Task<QList<PagesProject>> pagesProjects(QString token, QString account) const;
    QCoro::Task<QList<Deployment>> pagesDeployments(
        QString token, QString account, QString project, int pageSize) const;
    // The deployment's details; the log of a failed one is best-effort.
    QCoro::Task<DeploymentDetails> pagesDeploymentLog(
        QString token, QString account, QString project, QString deployment) const;
    // Starts the deployment again; gives the new deployment's row.
    QCoro::Task<Deployment> retryPagesDeployment(
        QString token, QString account, QString project, QString id) const;
    QCoro::Task<QList<Worker>> workers(QString token, QString account) const;
    QCoro::Task<QList<WorkerDeployment>> workerDeployments(
        QString token, QString account, QString script) const;
    QCoro::Task<QList<Build>> builds(QString token, QString account, QString workerTag, int pageSize) const;
    QCoro::Task<QMap<QString, Build>> builds(QString token, QString account, QList<QString> versionIDs) const;
    // Never throws: custom domains first, then the workers.dev host when the script is served there.
    QCoro::Task<WorkerHosts> workerDomains(QString token, QString account, QString service) const;
    QCoro::Task<Build> runBuildTrigger(QString token, QString account, QString trigger,
        std::optional<QString> branch, std::optional<QString> commit) const;

    // True when a failed answer's error codes say the token was not accepted (1000 or 6003). The
    // account and list requests also take a 403 with code 9109 ("Invalid access token") as a
    // rejection.
    static bool rejectsToken(const QJsonObject& body);

    struct StageState {
        Deployment::State state;
        std::optional<QString> note;
    };
    static StageState stageState(const cloudflare::PagesDeploymentResponse& response);
    // One Pages deployment as a row of the card.
    static Deployment pagesRow(const cloudflare::PagesDeploymentResponse& response, const QString& account);
    static Build build(const cloudflare::BuildResponse& response);

private:
    ServiceAPI api() const;
};

} // namespace brenvo
