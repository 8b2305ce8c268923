#pragma once

// Shared by the source tests. Replies are built from the recorded fixtures under tests/sources/fixtures:
// an element of a fixture is the template, and a test sets only the members it is about.

#include "http/NetworkHTTPClient.h"
#include "http/SiteIconLoader.h"
#include "model/Deployment.h"
#include "support/FakeHTTPClient.h"
#include "support/LoopbackServer.h"
#include "support/ManualScheduler.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTest>
#include <QUrlQuery>

namespace brenvo::test {

inline const QString fakeToken = QStringLiteral("test-token-not-real");
// The token the user connects while a reply read with fakeToken is still on its way.
inline const QString newerToken = QStringLiteral("test-token-newer-not-real");

inline bool carries(const RecordedRequest& request, const QString& token)
{
    return request.header("Authorization") == "Bearer " + token.toUtf8();
}
// Each token its own reply.
inline LoopbackServer::Handler byToken(CannedReply earlier, CannedReply newer)
{
    return [earlier, newer](
               const RecordedRequest& request) { return carries(request, newerToken) ? newer : earlier; };
}
// Runs the event loop until a reply is held back.
inline bool awaitHeld(const LoopbackServer& server)
{
    return QTest::qWaitFor([&server] { return server.heldCount() > 0; }, 5000);
}

inline QDateTime at(const char* iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
}
inline QString sha(char c)
{
    return QString(40, QLatin1Char(c));
}

inline QStringList ids(const QList<Deployment>& rows)
{
    QStringList out;
    for (const auto& row : rows)
        out.append(row.id);
    return out;
}

// A recorded reply by its name under the fixtures, e.g. "github/user.json".
inline QByteArray fixture(const QString& name)
{
    return LoopbackServer::fixture("sources/fixtures/" + name);
}
inline QJsonObject fixtureObject(const QString& name)
{
    return QJsonDocument::fromJson(fixture(name)).object();
}
inline QJsonArray fixtureArray(const QString& name)
{
    return QJsonDocument::fromJson(fixture(name)).array();
}
template <typename J> QByteArray body(const J& value)
{
    return QJsonDocument(value).toJson(QJsonDocument::Compact);
}
inline QJsonObject json(const char* text)
{
    return QJsonDocument::fromJson(QByteArray(text)).object();
}
inline QJsonObject bodyOf(const RecordedRequest& request)
{
    return QJsonDocument::fromJson(request.body).object();
}

inline QMap<QString, QString> queryOf(const RecordedRequest& request)
{
    QMap<QString, QString> out;
    for (const auto& [name, value] :
        QUrlQuery(QString::fromUtf8(request.query)).queryItems(QUrl::FullyDecoded))
        out.insert(name, value);
    return out;
}

// Runs a task that should fail and gives back its error as E; fails the test when it succeeds or
// fails otherwise.
template <typename E, typename T> std::optional<E> failureOf(QCoro::Task<T> task)
{
    try {
        runTask(std::move(task));
    } catch (const E& error) {
        return error;
    } catch (const std::exception& other) {
        ADD_FAILURE() << "other failure: " << other.what();
        return std::nullopt;
    }
    ADD_FAILURE() << "no failure";
    return std::nullopt;
}

// Websites for the icon loader: a favicon on the hosts named, or a picture at every address.
class IconSites {
public:
    std::shared_ptr<FakeHTTPClient> http = std::make_shared<FakeHTTPClient>();
    QSet<QString> withIcon;
    bool everywhere = false;

    IconSites()
    {
        http->handler = [this](const HTTPRequest& request) {
            if (everywhere
                || (withIcon.contains(request.url.host()) && request.url.path() == u"/favicon.ico"))
                return HTTPResponse {png(), 200};
            return HTTPResponse {QByteArray(), 404};
        };
    }
    IconSites(const IconSites&) = delete;
    IconSites& operator=(const IconSites&) = delete;

    // The hosts asked, in order.
    QStringList hosts() const
    {
        QStringList out;
        for (const auto& request : http->requests) {
            if (!out.contains(request.url.host()))
                out.append(request.url.host());
        }
        return out;
    }
    QUrl first() const { return http->requests.empty() ? QUrl() : http->requests.front().url; }
    void forget() { http->requests.clear(); }

    static QByteArray png()
    {
        QImage image(4, 4, QImage::Format_ARGB32);
        image.fill(Qt::red);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes;
    }
};

// Sets members; an undefined value removes one.
inline void set(QJsonObject& o, std::initializer_list<std::pair<const char*, QJsonValue>> members)
{
    for (const auto& [key, value] : members)
        o.insert(QLatin1StringView(key), value);
}

// A reply from a fixture whose list (the document, or its member) holds one copy of its first element per
// blueprint, filled by fill.
template <typename Blueprint, typename Fill>
QByteArray reply(const char* name, const char* member, const QList<Blueprint>& blueprints, Fill fill)
{
    const QJsonDocument document = QJsonDocument::fromJson(fixture(QLatin1StringView(name)));
    QJsonObject whole = document.object();
    const QJsonArray list = member ? whole.value(QLatin1StringView(member)).toArray() : document.array();
    QJsonArray out;
    for (const auto& blueprint : blueprints) {
        QJsonObject item = list.at(0).toObject();
        fill(item, blueprint);
        out.append(item);
    }
    if (!member)
        return body(out);
    set(whole, {{"total_count", out.size()}, {member, out}});
    return body(whole);
}

// A loopback server behind the real transport, recorded icon sites and a virtual clock.
class SourceTest : public ::testing::Test {
protected:
    LoopbackServer server;
    std::shared_ptr<NetworkHTTPClient> http = std::make_shared<NetworkHTTPClient>();
    IconSites icons;
    ManualScheduler clock; // 2026-03-14 12:00 UTC

    void serve(const QByteArray& path, int status, const QByteArray& body, const QByteArray& method = "GET")
    {
        server.route(method, path, status, body);
    }
    int asked(const QByteArray& path) const { return server.count(path); }
};

namespace gh {

struct CommitBlueprint {
    QString sha;
    QString date; // ISO 8601
    QString message = QStringLiteral("Fix checkout rounding");
};

inline QByteArray commits(const QList<CommitBlueprint>& blueprints)
{
    return reply(
        "github/commits.json", nullptr, blueprints, [](QJsonObject& item, const CommitBlueprint& blueprint) {
            QJsonObject commit = item.value("commit").toObject();
            commit.insert("message", blueprint.message);
            for (const char* who : {"author", "committer"}) {
                QJsonObject person = commit.value(QLatin1StringView(who)).toObject();
                person.insert("date", blueprint.date);
                commit.insert(QLatin1StringView(who), person);
            }
            set(item, {{"sha", blueprint.sha}, {"commit", commit}});
        });
}

struct RunBlueprint {
    qint64 id;
    QString sha;
    QString started;
    std::optional<QString> conclusion = QStringLiteral("success"); // absent: still running
    QString name = QStringLiteral("CI");
    QString branch = QStringLiteral("main");
    std::optional<QString> message = QStringLiteral("Fix checkout rounding");
    std::optional<QString> updated = std::nullopt; // absent: started
};

inline QByteArray runs(const QList<RunBlueprint>& blueprints)
{
    return reply("github/runs.json", "workflow_runs", blueprints,
        [](QJsonObject& item, const RunBlueprint& blueprint) {
            QJsonObject head = item.value("head_commit").toObject();
            head.insert("message", blueprint.message.value_or(""));
            set(item,
                {{"id", blueprint.id}, {"name", blueprint.name}, {"head_sha", blueprint.sha},
                    {"head_branch", blueprint.branch},
                    {"status", blueprint.conclusion ? "completed" : "in_progress"},
                    {"conclusion", blueprint.conclusion ? QJsonValue(*blueprint.conclusion) : QJsonValue()},
                    {"run_started_at", blueprint.started}, {"created_at", blueprint.started},
                    {"updated_at", blueprint.updated.value_or(blueprint.started)},
                    {"display_title", blueprint.message.value_or("")},
                    {"head_commit", blueprint.message ? QJsonValue(head) : QJsonValue()}});
        });
}

struct StatusBlueprint {
    QString context;
    QString state;
    QString updated;
    std::optional<QString> description = std::nullopt;
};

inline QByteArray statuses(const QList<StatusBlueprint>& blueprints)
{
    return reply("github/status.json", "statuses", blueprints,
        [](QJsonObject& item, const StatusBlueprint& blueprint) {
            set(item,
                {{"context", blueprint.context}, {"state", blueprint.state},
                    {"created_at", blueprint.updated}, {"updated_at", blueprint.updated},
                    {"description",
                        blueprint.description ? QJsonValue(*blueprint.description) : QJsonValue()}});
        });
}

struct PlacementBlueprint {
    qint64 id;
    QString sha;
    QString created;
    QString environment = QStringLiteral("Production");
    QString ref = QStringLiteral("main");
};

inline QByteArray deployments(const QList<PlacementBlueprint>& blueprints)
{
    return reply("github/deployments.json", nullptr, blueprints,
        [](QJsonObject& item, const PlacementBlueprint& blueprint) {
            set(item,
                {{"id", blueprint.id}, {"sha", blueprint.sha}, {"created_at", blueprint.created},
                    {"environment", blueprint.environment}, {"ref", blueprint.ref}});
        });
}

struct PlacementStatusBlueprint {
    QString state;
    QString created;
    QString environmentURL = QString();
};

inline QByteArray deploymentStatuses(const QList<PlacementStatusBlueprint>& blueprints)
{
    return reply("github/deployment_statuses.json", nullptr, blueprints,
        [](QJsonObject& item, const PlacementStatusBlueprint& blueprint) {
            set(item,
                {{"state", blueprint.state}, {"created_at", blueprint.created},
                    {"updated_at", blueprint.created}, {"environment_url", blueprint.environmentURL}});
        });
}

} // namespace gh

namespace gl {

struct PipelineBlueprint {
    qint64 id;
    qint64 project;
    QString sha;
    QString created;
    QString status = QStringLiteral("success");
};

inline QByteArray pipelines(const QList<PipelineBlueprint>& blueprints)
{
    return reply("gitlab/pipelines.json", nullptr, blueprints,
        [](QJsonObject& item, const PipelineBlueprint& blueprint) {
            set(item,
                {{"id", blueprint.id}, {"project_id", blueprint.project}, {"sha", blueprint.sha},
                    {"created_at", blueprint.created}, {"updated_at", blueprint.created},
                    {"status", blueprint.status}, {"ref", "main"}});
        });
}

inline QByteArray commit(const std::optional<QString>& title)
{
    QJsonObject o = fixtureObject("gitlab/commit.json");
    set(o, {{"title", title ? QJsonValue(*title) : QJsonValue::Undefined}});
    return body(o);
}

} // namespace gl

} // namespace brenvo::test
