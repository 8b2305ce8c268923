#pragma once

#include "model/Deployment.h"
#include "model/KitConnection.h"

#include <QCoroTask>
#include <QImage>
#include <QList>
#include <QString>

#include <optional>

namespace brenvo {

// A deployment or check tool as the store sees it. Every call is entered and finishes on the main
// thread; the throwing ones fail with the transport's or the source's own typed failure.
class ActivitySource {
public:
    virtual ~ActivitySource() = default;

    // The account's display name.
    virtual QCoro::Task<QString> account(QString token) = 0;
    // Pickable projects; none by default.
    virtual QCoro::Task<QList<KitProject>> projects(QString token);
    // At most limit rows; project absent means all projects.
    virtual QCoro::Task<QList<Deployment>> deployments(
        QString token, std::optional<QString> project, int limit)
        = 0;
    virtual QCoro::Task<DeploymentDetails> details(QString token, Deployment deployment) = 0;
    // The id of the run or deployment started, when the tool gives one.
    virtual QCoro::Task<std::optional<QString>> redeploy(QString token, Deployment deployment) = 0;
    // Images never fail: nothing when there is none or fetching it failed.
    virtual QCoro::Task<std::optional<QImage>> projectIcon(QString token, Deployment deployment) = 0;
    virtual QCoro::Task<std::optional<QImage>> accountIcon(QString token);
    // A note for the card on missing token permissions; none by default.
    virtual std::optional<QString> advice() const;
};

} // namespace brenvo
