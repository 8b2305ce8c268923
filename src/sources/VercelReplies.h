#pragma once

// The JSON records in which the Vercel API answers, read with their keys exactly as sent. Read only
// by the Vercel client and source.

#include "http/JsonReader.h"

#include <QList>
#include <QMap>
#include <QString>

#include <optional>

namespace brenvo::vercel {

struct UserResponse {
    struct User {
        std::optional<QString> username;
        std::optional<QString> name;
        std::optional<QString> email;
        static User fromJson(const JsonObject& o);
    };
    User user;
    static UserResponse fromJson(const JsonObject& o);
};

struct TeamsResponse {
    struct Team {
        QString id;
        std::optional<QString> name;
        std::optional<QString> slug;
        static Team fromJson(const JsonObject& o);
    };
    QList<Team> teams;
    static TeamsResponse fromJson(const JsonObject& o);
};

struct DeploymentsResponse {
    // Read leniently: only "uid" and "name" can fail the reply.
    struct Item {
        QString uid;
        QString name;
        std::optional<QString> state;
        std::optional<QString> readyState;
        std::optional<double> created; // milliseconds since 1970
        std::optional<QString> target;
        std::optional<QString> inspectorUrl;
        QMap<QString, QString> meta; // only the members whose value is a string
        static Item fromJson(const JsonObject& o);
    };
    QList<Item> deployments;
    static DeploymentsResponse fromJson(const JsonObject& o);
};

struct DeploymentResponse {
    struct Creator {
        std::optional<QString> username;
        static Creator fromJson(const JsonObject& o);
    };
    std::optional<QList<QString>> alias;
    std::optional<QString> errorMessage;
    std::optional<double> buildingAt; // milliseconds
    std::optional<double> ready; // milliseconds
    std::optional<Creator> creator;
    static DeploymentResponse fromJson(const JsonObject& o);
};

struct LogEvent {
    struct Payload {
        std::optional<QString> text;
        std::optional<double> date;
        static Payload fromJson(const JsonObject& o);
    };
    std::optional<QString> text;
    std::optional<double> created;
    std::optional<double> date;
    std::optional<Payload> payload;
    static LogEvent fromJson(const JsonObject& o);
};

struct DomainsResponse {
    struct Domain {
        QString name;
        std::optional<QString> redirect;
        static Domain fromJson(const JsonObject& o);
    };
    QList<Domain> domains;
    static DomainsResponse fromJson(const JsonObject& o);
};

struct CreatedResponse {
    QString id;
    static CreatedResponse fromJson(const JsonObject& o);
};

} // namespace brenvo::vercel
