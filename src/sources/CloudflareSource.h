#pragma once

#include "http/SiteIconLoader.h"
#include "model/ActivitySource.h"
#include "sources/CloudflareClient.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <set>

namespace brenvo {

// Cloudflare on the card: Pages deployments, Workers Builds builds and Workers deployments of every
// account the token sees, newest first, with advice on what the token may not read.
//
// Row ids are "pages:", "build:" or "worker:" followed by the Cloudflare id; the account id
// travels in the row's scope.
class CloudflareSource final : public QObject, public ActivitySource {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    enum class Product { pages, workers, builds };
    enum class RowKind { pages, build, worker };

    struct Lists {
        QMap<QString, QList<CloudflareClient::PagesProject>> pages;
        QMap<QString, QList<CloudflareClient::Worker>> workers;
    };

    // Against the public Cloudflare API.
    CloudflareSource(
        std::shared_ptr<HTTPClient> http, SiteIconLoader siteIcons, Clock now, QObject* parent = nullptr);
    CloudflareSource(CloudflareClient client, SiteIconLoader siteIcons, Clock now, QObject* parent = nullptr);

    QCoro::Task<QString> account(QString token) override;
    QCoro::Task<QList<Deployment>> deployments(
        QString token, std::optional<QString> project, int limit) override;
    QCoro::Task<DeploymentDetails> details(QString token, Deployment deployment) override;
    QCoro::Task<std::optional<QString>> redeploy(QString token, Deployment deployment) override;
    QCoro::Task<std::optional<QImage>> projectIcon(QString token, Deployment deployment) override;
    std::optional<QString> advice() const override;

    // The project and script lists of every account, from the cache while it is fresh.
    QCoro::Task<Lists> lists(QString token);
    // The host names of a Worker, asked once and kept when every request for them succeeded.
    QCoro::Task<QList<QString>> hosts(QString token, QString account, QString worker);

    // "with Wrangler", "in the dashboard", ... for a Workers deployment's source.
    static QString sourceText(const QString& source);
    static QString productPhrase(Product product);
    static std::optional<Product> product(const QString& phrase);
    struct RowID {
        RowKind kind;
        QString key;
    };
    static std::optional<RowID> rowKind(const QString& id);
    static Deployment deployment(
        const CloudflareClient::Build& build, const QString& worker, const QString& account);

    const QList<CloudflareClient::Account>& knownAccounts() const { return m_accounts; }

private:
    struct CachedLists {
        Lists lists;
        QDateTime read;
        QByteArray reader; // the digest of the token they were read with
    };

    QCoro::Task<Lists> readLists(
        QString token, QList<CloudflareClient::Account> accounts, quint64 generation);

    QCoro::Task<QList<Deployment>> workerRows(
        QString token, QString account, CloudflareClient::Worker worker, int limit);
    QCoro::Task<std::optional<QString>> startAgain(QString token, Deployment deployment);
    QCoro::Task<DeploymentDetails> buildDetails(QString token, Deployment deployment, QString key);
    QCoro::Task<DeploymentDetails> workerDetails(QString token, Deployment deployment, QString key);
    std::optional<CloudflareClient::Worker> worker(const QString& name, const QString& account) const;

    CloudflareClient m_client;
    SiteIconLoader m_siteIcons;
    Clock m_now;
    QList<CloudflareClient::Account> m_accounts;
    std::set<Product> m_refused;
    std::optional<CachedLists> m_lists;
    QHash<QString, QList<QString>> m_workerHosts;
    // Moved on whenever a token is connected: what a read begun before then finds is not kept.
    quint64 m_generation = 0;
};

} // namespace brenvo
