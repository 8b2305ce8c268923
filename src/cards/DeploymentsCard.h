#pragma once

#include "model/Deployment.h"
#include "model/KitService.h"

#include <QImage>
#include <QWidget>

#include <optional>

namespace brenvo {

class DeploymentDetailView;
class DevKitStore;
class KitCard;
class KitFaceStack;
class KitProjectPicker;
class KitRows;
class Scheduler;

// The card of a deployment or check tool. Its face follows the store: the list of rows, the
// project picker while the store picks for this tool, or the detail page of a row this tool has
// open. The faces slide: the picker and the detail from the right, the list from the left.
class DeploymentsCard : public QWidget {
    Q_OBJECT
public:
    enum class Face { list, picker, detail };

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

    KitService service() const { return m_service; }

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

    Face face() const { return m_face; }
    KitFaceStack* faces() const { return m_faces; }
    KitCard* list() const { return m_list; }
    KitRows* rows() const { return m_rows; }
    DeploymentDetailView* detailView() const { return m_detail; }
    KitProjectPicker* picker() const { return m_picker; }

    // Brings the card in line with the store (it follows the store's signals by itself).
    void sync();

private:
    void showList();
    void syncList();
    QWidget* makeRow(const Deployment& row, bool spansProjects);

    KitService m_service;
    DevKitStore& m_kit;
    Scheduler& m_clock;
    KitFaceStack* m_faces;
    Face m_face = Face::list;
    KitCard* m_list = nullptr;
    KitRows* m_rows = nullptr;
    DeploymentDetailView* m_detail = nullptr;
    KitProjectPicker* m_picker = nullptr;
    // What the rows were last built from.
    std::optional<std::pair<QList<Deployment>, bool>> m_shownRows;
};

} // namespace brenvo
