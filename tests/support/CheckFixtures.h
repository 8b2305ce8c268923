#pragma once

// Replies shaped like GitHub's and GitLab's, built from the recorded fixtures under
// tests/sources/fixtures: the first element of a fixture is the template, and a test sets only the
// members it is about.

#include "support/FakeHTTPClient.h"
#include "support/LoopbackServer.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

namespace brenvo::test {

inline QJsonObject fixtureObject(const QString& relativePath)
{
    return QJsonDocument::fromJson(LoopbackServer::fixture(relativePath)).object();
}

inline QJsonArray fixtureArray(const QString& relativePath)
{
    return QJsonDocument::fromJson(LoopbackServer::fixture(relativePath)).array();
}

inline QByteArray body(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

inline QByteArray body(const QJsonArray& a)
{
    return QJsonDocument(a).toJson(QJsonDocument::Compact);
}

// A transport for the icon loader that answers a small picture at every address.
inline std::shared_ptr<FakeHTTPClient> pictures()
{
    auto http = std::make_shared<FakeHTTPClient>();
    http->handler = [](const HTTPRequest&) {
        QImage image(4, 4, QImage::Format_ARGB32);
        image.fill(Qt::blue);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return HTTPResponse {bytes, 200};
    };
    return http;
}

// Sets or, for an absent value, removes a member.
inline void put(QJsonObject& o, const QString& key, const std::optional<QString>& value)
{
    if (value)
        o.insert(key, *value);
    else
        o.remove(key);
}

namespace gh {

struct CommitSpec {
    QString sha;
    QString date; // ISO 8601
    QString message = QStringLiteral("Fix checkout rounding");
};

inline QByteArray commits(const QList<CommitSpec>& specs)
{
    const QJsonObject base
        = fixtureArray(QStringLiteral("sources/fixtures/github/commits.json")).at(0).toObject();
    QJsonArray out;
    for (const auto& spec : specs) {
        QJsonObject item = base;
        item.insert(QStringLiteral("sha"), spec.sha);
        QJsonObject commit = item.value(QStringLiteral("commit")).toObject();
        commit.insert(QStringLiteral("message"), spec.message);
        for (const char* who : {"author", "committer"}) {
            QJsonObject person = commit.value(QLatin1StringView(who)).toObject();
            person.insert(QStringLiteral("date"), spec.date);
            commit.insert(QLatin1StringView(who), person);
        }
        item.insert(QStringLiteral("commit"), commit);
        out.append(item);
    }
    return body(out);
}

struct RunSpec {
    qint64 id;
    QString sha;
    QString started;
    std::optional<QString> conclusion = QStringLiteral("success"); // absent: still running
    QString name = QStringLiteral("CI");
    QString branch = QStringLiteral("main");
    std::optional<QString> message = QStringLiteral("Fix checkout rounding");
    std::optional<QString> updated = std::nullopt; // absent: started
};

inline QJsonObject run(const RunSpec& spec)
{
    QJsonObject item = fixtureObject(QStringLiteral("sources/fixtures/github/runs.json"))
                           .value(QStringLiteral("workflow_runs"))
                           .toArray()
                           .at(0)
                           .toObject();
    item.insert(QStringLiteral("id"), spec.id);
    item.insert(QStringLiteral("name"), spec.name);
    item.insert(QStringLiteral("head_sha"), spec.sha);
    item.insert(QStringLiteral("head_branch"), spec.branch);
    item.insert(QStringLiteral("status"),
        spec.conclusion ? QStringLiteral("completed") : QStringLiteral("in_progress"));
    item.insert(QStringLiteral("conclusion"), spec.conclusion ? QJsonValue(*spec.conclusion) : QJsonValue());
    item.insert(QStringLiteral("run_started_at"), spec.started);
    item.insert(QStringLiteral("created_at"), spec.started);
    item.insert(QStringLiteral("updated_at"), spec.updated.value_or(spec.started));
    if (spec.message) {
        QJsonObject head = item.value(QStringLiteral("head_commit")).toObject();
        head.insert(QStringLiteral("message"), *spec.message);
        item.insert(QStringLiteral("head_commit"), head);
        item.insert(QStringLiteral("display_title"), *spec.message);
    } else {
        item.insert(QStringLiteral("head_commit"), QJsonValue());
        item.insert(QStringLiteral("display_title"), QString());
    }
    return item;
}

inline QByteArray runs(const QList<RunSpec>& specs)
{
    QJsonArray list;
    for (const auto& spec : specs)
        list.append(run(spec));
    QJsonObject out;
    out.insert(QStringLiteral("total_count"), list.size());
    out.insert(QStringLiteral("workflow_runs"), list);
    return body(out);
}

struct StatusSpec {
    QString context;
    QString state;
    QString updated;
    std::optional<QString> description = std::nullopt;
};

inline QByteArray statuses(const QList<StatusSpec>& specs)
{
    QJsonObject reply = fixtureObject(QStringLiteral("sources/fixtures/github/status.json"));
    const QJsonObject base = reply.value(QStringLiteral("statuses")).toArray().at(0).toObject();
    QJsonArray list;
    for (const auto& spec : specs) {
        QJsonObject item = base;
        item.insert(QStringLiteral("context"), spec.context);
        item.insert(QStringLiteral("state"), spec.state);
        item.insert(QStringLiteral("created_at"), spec.updated);
        item.insert(QStringLiteral("updated_at"), spec.updated);
        item.insert(
            QStringLiteral("description"), spec.description ? QJsonValue(*spec.description) : QJsonValue());
        list.append(item);
    }
    reply.insert(QStringLiteral("statuses"), list);
    reply.insert(QStringLiteral("total_count"), list.size());
    return body(reply);
}

struct PlacementSpec {
    qint64 id;
    QString sha;
    QString created;
    QString environment = QStringLiteral("Production");
    QString ref = QStringLiteral("main");
};

inline QByteArray deployments(const QList<PlacementSpec>& specs)
{
    const QJsonObject base
        = fixtureArray(QStringLiteral("sources/fixtures/github/deployments.json")).at(0).toObject();
    QJsonArray out;
    for (const auto& spec : specs) {
        QJsonObject item = base;
        item.insert(QStringLiteral("id"), spec.id);
        item.insert(QStringLiteral("sha"), spec.sha);
        item.insert(QStringLiteral("created_at"), spec.created);
        item.insert(QStringLiteral("environment"), spec.environment);
        item.insert(QStringLiteral("ref"), spec.ref);
        out.append(item);
    }
    return body(out);
}

struct PlacementStatusSpec {
    QString state;
    QString created;
    QString environmentURL = QString();
    QString description = QStringLiteral("Deployment has completed");
};

inline QByteArray deploymentStatuses(const QList<PlacementStatusSpec>& specs)
{
    const QJsonObject base
        = fixtureArray(QStringLiteral("sources/fixtures/github/deployment_statuses.json")).at(0).toObject();
    QJsonArray out;
    for (const auto& spec : specs) {
        QJsonObject item = base;
        item.insert(QStringLiteral("state"), spec.state);
        item.insert(QStringLiteral("created_at"), spec.created);
        item.insert(QStringLiteral("updated_at"), spec.created);
        item.insert(QStringLiteral("environment_url"), spec.environmentURL);
        item.insert(QStringLiteral("description"), spec.description);
        out.append(item);
    }
    return body(out);
}

} // namespace gh

namespace gl {

struct PipelineSpec {
    qint64 id;
    qint64 project;
    QString sha;
    QString created;
    QString status = QStringLiteral("success");
    QString ref = QStringLiteral("main");
};

inline QByteArray pipelines(const QList<PipelineSpec>& specs)
{
    const QJsonObject base
        = fixtureArray(QStringLiteral("sources/fixtures/gitlab/pipelines.json")).at(0).toObject();
    QJsonArray out;
    for (const auto& spec : specs) {
        QJsonObject item = base;
        item.insert(QStringLiteral("id"), spec.id);
        item.insert(QStringLiteral("project_id"), spec.project);
        item.insert(QStringLiteral("sha"), spec.sha);
        item.insert(QStringLiteral("created_at"), spec.created);
        item.insert(QStringLiteral("updated_at"), spec.created);
        item.insert(QStringLiteral("status"), spec.status);
        item.insert(QStringLiteral("ref"), spec.ref);
        out.append(item);
    }
    return body(out);
}

inline QByteArray commit(const std::optional<QString>& title)
{
    QJsonObject o = fixtureObject(QStringLiteral("sources/fixtures/gitlab/commit.json"));
    put(o, QStringLiteral("title"), title);
    return body(o);
}

} // namespace gl

} // namespace brenvo::test
