#pragma once

#include "http/SiteIconLoader.h"
#include "model/ActivitySource.h"
#include "sources/VercelClient.h"

#include <QMap>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <utility>

namespace brenvo {

namespace vercel {
struct DeploymentsResponse;
}

// Vercel on the card: the newest deployments of the user's own scope and of every team the token
// can see. A row keeps its deployment's id in `id` and the team it was read from in `scope`.
class VercelSource final : public QObject, public ActivitySource {
    Q_OBJECT
public:
    // Against the public Vercel API.
    VercelSource(std::shared_ptr<HTTPClient> http, SiteIconLoader siteIcons, QObject* parent = nullptr);
    VercelSource(VercelClient client, SiteIconLoader siteIcons, QObject* parent = nullptr);

    QCoro::Task<QString> account(QString token) override;
    QCoro::Task<QList<Deployment>> deployments(
        QString token, std::optional<QString> project, int limit) override;
    QCoro::Task<DeploymentDetails> details(QString token, Deployment deployment) override;
    QCoro::Task<std::optional<QString>> redeploy(QString token, Deployment deployment) override;
    QCoro::Task<std::optional<QImage>> projectIcon(QString token, Deployment deployment) override;

    // A project's own domain names (redirects dropped), own domains before Vercel's.
    QCoro::Task<QList<QString>> projectDomains(QString token, QString project, std::optional<QString> scope);

    const VercelClient::Identity& identity() const { return m_identity; }

    struct CommitInfo {
        std::optional<QString> ref;
        std::optional<QString> message;
    };
    // The first non-empty "...CommitRef" and "...CommitMessage" values of a deployment's meta, by key order.
    static CommitInfo commitInfo(const QMap<QString, QString>& meta);
    static Deployment::State state(const std::optional<QString>& text);

private:
    QCoro::Task<QList<QString>> logTail(QString token, QString id, std::optional<QString> scope);

    VercelClient m_client;
    SiteIconLoader m_siteIcons;
    VercelClient::Identity m_identity;
};

} // namespace brenvo
