#pragma once

#include "http/SiteIconLoader.h"
#include "model/ActivitySource.h"
#include "sources/GitHubClient.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace brenvo {

// GitHub on the checks card: one row per recent commit of the most recently pushed repositories
// (or of the picked one), its state rolled up from workflow runs, GitHub deployments and the
// statuses other services post. Rows are "owner/name@sha", with "owner/name" in the scope.
//
// Requests a token is refused (403 or 404) are remembered per repository and permission, skipped
// for 300 s and named in the advice. A rate-limit answer is never taken for a refusal: it ends the
// operation and reaches the card as GitHub worded it.
class GitHubSource final : public QObject, public ActivitySource {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    enum class Permission { contents, actions, statuses, deployments };
    static QList<Permission> allPermissions();
    // The words the advice uses for a permission.
    static QString text(Permission permission);
    static std::optional<Permission> permission(const QString& text);

    // One commit gathered for the rows.
    struct Commit {
        QString repository;
        QString sha;
        std::optional<GitHubClient::CommitInfo> info;
        QList<GitHubClient::Run> runs;
        QList<GitHubClient::Placement> placements;

        // The commit's own date, else the earliest run start or deployment, else the distant past.
        QDateTime date() const;
        QString key() const { return repository + u'@' + sha; }
    };

    // Against the public GitHub API.
    GitHubSource(
        std::shared_ptr<HTTPClient> http, SiteIconLoader siteIcons, Clock now, QObject* parent = nullptr);
    GitHubSource(GitHubClient client, SiteIconLoader siteIcons, Clock now, QObject* parent = nullptr);

    QCoro::Task<QString> account(QString token) override;
    QCoro::Task<QList<KitProject>> projects(QString token) override;
    QCoro::Task<QList<Deployment>> deployments(
        QString token, std::optional<QString> project, int limit) override;
    QCoro::Task<DeploymentDetails> details(QString token, Deployment deployment) override;
    QCoro::Task<std::optional<QString>> redeploy(QString token, Deployment deployment) override;
    QCoro::Task<std::optional<QImage>> projectIcon(QString token, Deployment deployment) override;
    QCoro::Task<std::optional<QImage>> accountIcon(QString token) override;
    std::optional<QString> advice() const override;

    // The repository list, from the cache while younger than 300 s.
    QCoro::Task<QList<GitHubClient::Repository>> cachedRepositories(QString token);

    // The repository and full sha a row of this source stands for.
    static std::optional<std::pair<QString, QString>> repositoryAndSha(const Deployment& row);
    // The sentence shown when GitHub refuses a re-run in repository.
    QString rerunRefusal(const QString& repository) const;

    bool isRefused(Permission permission, const QString& repository) const;
    // Records a refusal (403 or 404 that is no rate limit); any other failure leaves no trace.
    void note(const std::exception_ptr& failure, Permission permission, const QString& repository);
    // A 429, or a 403 whose message speaks of a rate limit.
    static bool isRateLimit(const std::exception_ptr& failure);

    const std::optional<GitHubClient::User>& knownUser() const { return m_user; }

private:
    struct CachedRepositories {
        QList<GitHubClient::Repository> list;
        QDateTime read;
        QByteArray reader; // the digest of the token it was read with
    };

    static void addCommits(QHash<QString, Commit>& into, const QString& repository,
        const QList<GitHubClient::CommitInfo>& commits);
    void addRuns(
        QHash<QString, Commit>& into, const QString& repository, QList<GitHubClient::Run> runs) const;
    static void addPlacements(QHash<QString, Commit>& into, const QString& repository,
        const QList<GitHubClient::Placement>& placements);
    // Runs still building a day after they began are shown as stalled.
    QList<GitHubClient::Run> withStalledRuns(QList<GitHubClient::Run> runs) const;
    // Statuses pending for six hours are shown as stalled, with their age as of now.
    QList<GitHubClient::Status> withStalledStatuses(QList<GitHubClient::Status> list, bool kept) const;

    // generation: m_generation when the caller began; what a token replaced since then was told is
    // not kept.
    QCoro::Task<QList<GitHubClient::Repository>> repositoryList(QString token, quint64 generation);
    QCoro::Task<Deployment> row(Commit commit, QString token, quint64 generation);
    QCoro::Task<GitHubClient::PlacementStatus> latestStatus(
        GitHubClient::Placement placement, QString repository, QString token);
    QCoro::Task<QList<GitHubClient::Status>> statuses(Commit commit, QString token, quint64 generation);
    QCoro::Task<QString> message(Commit commit, QString token, quint64 generation);
    std::optional<QString> defaultBranch(const QString& repository) const;
    void allow(Permission permission, const QString& repository);

    GitHubClient m_client;
    SiteIconLoader m_siteIcons;
    Clock m_now;
    std::optional<GitHubClient::User> m_user;
    std::optional<CachedRepositories> m_repositories;
    QHash<qint64, GitHubClient::PlacementStatus> m_settled;
    QHash<QString, QList<GitHubClient::Status>> m_settledStatuses;
    QHash<QString, QString> m_messages;
    QHash<QString, QString> m_sites;
    QMap<Permission, QSet<QString>> m_refused;
    QMap<Permission, QSet<QString>> m_allowed;
    std::optional<QDateTime> m_refusedSince;
    // Moved on whenever a token is connected: what a read begun before then finds is not kept.
    quint64 m_generation = 0;
};

} // namespace brenvo
