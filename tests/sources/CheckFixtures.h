#pragma once

// Replies shaped like GitHub's and GitLab's, built from the recorded fixtures under
// tests/sources/fixtures: an element of a fixture is the template, and a test sets only the
// members it is about.

#include "sources/SourcesTestKit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <initializer_list>
#include <memory>
#include <optional>
#include <utility>

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
    http->handler = [](const HTTPRequest&) { return HTTPResponse {IconSites::png(), 200}; };
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

inline void set(QJsonObject& o, std::initializer_list<std::pair<const char*, QJsonValue>> members)
{
    for (const auto& [key, value] : members)
        o.insert(QLatin1StringView(key), value);
}

// One element per spec: a copy of base filled by fill.
template <typename Spec, typename Fill>
QJsonArray listFrom(const QJsonObject& base, const QList<Spec>& specs, Fill fill)
{
    QJsonArray out;
    for (const auto& spec : specs) {
        QJsonObject item = base;
        fill(item, spec);
        out.append(item);
    }
    return out;
}

inline QJsonObject firstOf(const char* fixture)
{
    return fixtureArray(QStringLiteral("sources/fixtures/") + QLatin1StringView(fixture)).at(0).toObject();
}

namespace gh {

struct CommitSpec {
    QString sha;
    QString date; // ISO 8601
    QString message = QStringLiteral("Fix checkout rounding");
};

inline QByteArray commits(const QList<CommitSpec>& specs)
{
    return body(
        listFrom(firstOf("github/commits.json"), specs, [](QJsonObject& item, const CommitSpec& spec) {
            QJsonObject commit = item.value("commit").toObject();
            commit.insert("message", spec.message);
            for (const char* who : {"author", "committer"}) {
                QJsonObject person = commit.value(QLatin1StringView(who)).toObject();
                person.insert("date", spec.date);
                commit.insert(QLatin1StringView(who), person);
            }
            set(item, {{"sha", spec.sha}, {"commit", commit}});
        }));
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

inline QByteArray runs(const QList<RunSpec>& specs)
{
    QJsonObject reply = fixtureObject("sources/fixtures/github/runs.json");
    const QJsonObject base = reply.value("workflow_runs").toArray().at(0).toObject();
    const QJsonArray list = listFrom(base, specs, [](QJsonObject& item, const RunSpec& spec) {
        set(item,
            {{"id", spec.id}, {"name", spec.name}, {"head_sha", spec.sha}, {"head_branch", spec.branch},
                {"status", spec.conclusion ? "completed" : "in_progress"},
                {"conclusion", spec.conclusion ? QJsonValue(*spec.conclusion) : QJsonValue()},
                {"run_started_at", spec.started}, {"created_at", spec.started},
                {"updated_at", spec.updated.value_or(spec.started)},
                {"display_title", spec.message.value_or("")}});
        QJsonObject head = item.value("head_commit").toObject();
        head.insert("message", spec.message.value_or(""));
        item.insert("head_commit", spec.message ? QJsonValue(head) : QJsonValue());
    });
    set(reply, {{"total_count", list.size()}, {"workflow_runs", list}});
    return body(reply);
}

struct StatusSpec {
    QString context;
    QString state;
    QString updated;
    std::optional<QString> description = std::nullopt;
};

inline QByteArray statuses(const QList<StatusSpec>& specs)
{
    QJsonObject reply = fixtureObject("sources/fixtures/github/status.json");
    const QJsonObject base = reply.value("statuses").toArray().at(0).toObject();
    const QJsonArray list = listFrom(base, specs, [](QJsonObject& item, const StatusSpec& spec) {
        set(item,
            {{"context", spec.context}, {"state", spec.state}, {"created_at", spec.updated},
                {"updated_at", spec.updated},
                {"description", spec.description ? QJsonValue(*spec.description) : QJsonValue()}});
    });
    set(reply, {{"total_count", list.size()}, {"statuses", list}});
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
    return body(
        listFrom(firstOf("github/deployments.json"), specs, [](QJsonObject& item, const PlacementSpec& spec) {
            set(item,
                {{"id", spec.id}, {"sha", spec.sha}, {"created_at", spec.created},
                    {"environment", spec.environment}, {"ref", spec.ref}});
        }));
}

struct PlacementStatusSpec {
    QString state;
    QString created;
    QString environmentURL = QString();
    QString description = QStringLiteral("Deployment has completed");
};

inline QByteArray deploymentStatuses(const QList<PlacementStatusSpec>& specs)
{
    return body(listFrom(firstOf("github/deployment_statuses.json"), specs,
        [](QJsonObject& item, const PlacementStatusSpec& spec) {
            set(item,
                {{"state", spec.state}, {"created_at", spec.created}, {"updated_at", spec.created},
                    {"environment_url", spec.environmentURL}, {"description", spec.description}});
        }));
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
    return body(
        listFrom(firstOf("gitlab/pipelines.json"), specs, [](QJsonObject& item, const PipelineSpec& spec) {
            set(item,
                {{"id", spec.id}, {"project_id", spec.project}, {"sha", spec.sha},
                    {"created_at", spec.created}, {"updated_at", spec.created}, {"status", spec.status},
                    {"ref", spec.ref}});
        }));
}

inline QByteArray commit(const std::optional<QString>& title)
{
    QJsonObject o = fixtureObject("sources/fixtures/gitlab/commit.json");
    put(o, "title", title);
    return body(o);
}

} // namespace gl

} // namespace brenvo::test
