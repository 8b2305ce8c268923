#pragma once

#include "cards/KitFacedCard.h"
#include "model/Deployment.h"

#include <QImage>

#include <optional>

namespace brenvo {

class DeploymentDetailView;
class Scheduler;

// The card of a deployment or check tool. Its face follows the store: the list of rows, the
// project picker while the store picks for this tool, or the detail page of a row this tool has
// open. The faces slide: the picker and the detail from the right, the list from the left.
class DeploymentsCard : public KitFacedCard {
    Q_OBJECT
public:
    struct Header {
        QString title;
        QString detail;
        QImage icon;
        bool spansProjects = false;
        bool operator==(const Header& other) const
        {
            return title == other.title && detail == other.detail && spansProjects == other.spansProjects
                && icon.cacheKey() == other.icon.cacheKey();
        }
    };

    DeploymentsCard(KitService service, DevKitStore& kit, Scheduler& clock, QWidget* parent = nullptr);

    // The header as the store stands now.
    static Header header(KitService service, const DevKitStore& kit);
    // The distinct projects of the rows, in order of first appearance.
    static QStringList projectNames(const QList<Deployment>& rows);
    // A row's second line: its project when the card spans projects, and its subtitle.
    static QString secondLine(const Deployment& row, bool spansProjects);
    // A row's title: its message, else its short id.
    static QString rowTitle(const Deployment& row);
    // The open row of this tool, if any.
    std::optional<DeploymentInspection> inspection() const;

    DeploymentDetailView* detailView() const;

    void sync() override;

private:
    void syncList();
    QWidget* makeRow(const Deployment& row, bool spansProjects);

    Scheduler& m_clock;
    // What the rows were last built from.
    std::optional<std::pair<QList<Deployment>, bool>> m_shownRows;
};

} // namespace brenvo
