#pragma once

// The JSON records in which the Cloudflare API answers. Read only by the Cloudflare client and
// source; every key is matched after the snake_case conversion.

#include "http/JsonReader.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>
#include <vector>

namespace brenvo::cloudflare {

// The wrapper of every successful answer; only "result" is read.
template <typename T> struct Envelope {
    T result;
    static Envelope fromJson(const JsonObject& o) { return {o.required<T>("result")}; }
};

struct AccountResponse {
    QString id;
    std::optional<QString> name;
    static AccountResponse fromJson(const JsonObject& o);
};

struct PagesProjectResponse {
    struct Latest {
        std::optional<QString> createdOn;
        static Latest fromJson(const JsonObject& o);
    };
    QString name;
    std::optional<QString> subdomain;
    std::optional<QList<QString>> domains;
    std::optional<Latest> latestDeployment;
    static PagesProjectResponse fromJson(const JsonObject& o);
};

struct PagesDeploymentResponse {
    struct Stage {
        std::optional<QString> name;
        std::optional<QString> status;
        std::optional<QString> startedOn;
        std::optional<QString> endedOn;
        static Stage fromJson(const JsonObject& o);
    };
    struct Trigger {
        struct Metadata {
            std::optional<QString> branch;
            std::optional<QString> commitHash;
            std::optional<QString> commitMessage;
            static Metadata fromJson(const JsonObject& o);
        };
        std::optional<Metadata> metadata;
        static Trigger fromJson(const JsonObject& o);
    };
    QString id;
    std::optional<QString> shortId;
    std::optional<QString> projectName;
    std::optional<QString> environment;
    std::optional<QString> url;
    std::optional<QString> createdOn;
    std::optional<QList<QString>> aliases;
    std::optional<bool> isSkipped;
    std::optional<Stage> latestStage;
    std::optional<QList<Stage>> stages;
    std::optional<Trigger> deploymentTrigger;
    static PagesDeploymentResponse fromJson(const JsonObject& o);
};

struct LogsResponse {
    struct Entry {
        std::optional<QString> line;
        static Entry fromJson(const JsonObject& o);
    };
    std::optional<QList<Entry>> data;
    static LogsResponse fromJson(const JsonObject& o);
};

struct WorkerResponse {
    QString id;
    std::optional<QString> tag;
    std::optional<QString> modifiedOn;
    static WorkerResponse fromJson(const JsonObject& o);
};

struct WorkerDeploymentsResponse {
    // Read leniently: a fault in any member but "id" costs only that member.
    struct Item {
        struct Version {
            std::optional<QString> versionId;
            std::optional<double> percentage;
            static Version fromJson(const JsonObject& o);
        };
        QString id;
        std::optional<QString> createdOn;
        std::optional<QString> source;
        std::optional<QString> authorEmail;
        std::optional<QMap<QString, QString>> annotations;
        std::optional<QList<Version>> versions;
        static Item fromJson(const JsonObject& o);
    };
    QList<Item> deployments;
    static WorkerDeploymentsResponse fromJson(const JsonObject& o);
};

struct BuildResponse {
    struct Metadata {
        std::optional<QString> author;
        std::optional<QString> branch;
        std::optional<QString> commitHash;
        std::optional<QString> commitMessage;
        static Metadata fromJson(const JsonObject& o);
    };
    struct Trigger {
        std::optional<QString> triggerUuid;
        static Trigger fromJson(const JsonObject& o);
    };
    QString buildUuid;
    std::optional<QString> status;
    std::optional<QString> buildOutcome;
    std::optional<QString> createdOn;
    std::optional<QString> initializingOn;
    std::optional<QString> runningOn;
    std::optional<QString> stoppedOn;
    std::optional<Metadata> buildTriggerMetadata;
    std::optional<Trigger> trigger;
    static BuildResponse fromJson(const JsonObject& o);
};

struct BuildsByVersionResponse {
    // Keys are version ids, kept as sent.
    std::optional<QMap<QString, BuildResponse>> builds;
    static BuildsByVersionResponse fromJson(const JsonObject& o);
};

struct DomainResponse {
    std::optional<QString> hostname;
    static DomainResponse fromJson(const JsonObject& o);
};

struct SubdomainResponse {
    std::optional<QString> subdomain;
    static SubdomainResponse fromJson(const JsonObject& o);
};

struct SubdomainSwitchResponse {
    std::optional<bool> enabled;
    static SubdomainSwitchResponse fromJson(const JsonObject& o);
};

// The codes of a failed answer's "errors": none unless it is an array made only of objects; objects
// without a whole-number "code" are skipped.
QList<qint64> errorCodes(const QJsonObject& body);

} // namespace brenvo::cloudflare
