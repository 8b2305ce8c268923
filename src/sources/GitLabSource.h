#pragma once

#include "http/SiteIconLoader.h"
#include "model/ActivitySource.h"
#include "sources/GitLabClient.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace brenvo {

// GitLab on the checks card: the latest pipelines of the three most recently active projects (or
// of the picked one), titled by their commits. Rows are "<project id>/<pipeline id>", with the
// project id in the scope.
class GitLabSource final : public QObject, public ActivitySource {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    // Against gitlab.com.
    GitLabSource(
        std::shared_ptr<HTTPClient> http, SiteIconLoader siteIcons, Clock now, QObject* parent = nullptr);
    GitLabSource(GitLabClient client, SiteIconLoader siteIcons, Clock now, QObject* parent = nullptr);

    QCoro::Task<QString> account(QString token) override;
    QCoro::Task<QList<KitProject>> projects(QString token) override;
    QCoro::Task<QList<Deployment>> deployments(
        QString token, std::optional<QString> project, int limit) override;
    QCoro::Task<DeploymentDetails> details(QString token, Deployment deployment) override;
    QCoro::Task<std::optional<QString>> redeploy(QString token, Deployment deployment) override;
    QCoro::Task<std::optional<QImage>> projectIcon(QString token, Deployment deployment) override;
    QCoro::Task<std::optional<QImage>> accountIcon(QString token) override;

    // The project list, from the cache while younger than 300 s.
    QCoro::Task<QList<GitLabClient::Project>> cachedProjects(QString token);
    // The commit title of a pipeline's row, or "Pipeline #<id>".
    QCoro::Task<QString> rowTitle(QString token, GitLabClient::Pipeline pipeline);
    // (project id, pipeline id) of a row of this source.
    static std::optional<std::pair<qint64, qint64>> pipelineIDs(const Deployment& row);

    static QString retryRefusal();

private:
    struct Listed {
        QList<GitLabClient::Project> projects;
        QDateTime read;
        QByteArray reader; // the digest of the token it was read with
    };

    // generation: m_generation when the caller began; a list read for a token replaced since then
    // is not kept.
    QCoro::Task<QList<GitLabClient::Project>> projectList(QString token, quint64 generation);

    // A listed project, else one seen in an earlier list.
    std::optional<GitLabClient::Project> knownProject(qint64 id) const;

    GitLabClient m_client;
    SiteIconLoader m_siteIcons;
    Clock m_now;
    std::optional<GitLabClient::User> m_user;
    std::optional<Listed> m_listed;
    // Every project any list held, so that a picked project that left the list keeps its name.
    QHash<qint64, GitLabClient::Project> m_seen;
    QHash<QString, QString> m_titles;
    // Moved on whenever a token is connected: what a read begun before then finds is not kept.
    quint64 m_generation = 0;
};

} // namespace brenvo
