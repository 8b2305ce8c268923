#pragma once

#include "edge/EdgeContent.h"

#include <QHash>
#include <QPointer>
#include <QSet>

#include <functional>

namespace brenvo {

class ConnectCard;
class DevKitStore;
class EdgeController;
class Scheduler;

// The panel's tiles, cards and handle from the tool store: a tool that is not connected shows grey
// and its connect card; a connected one its signal and its tool card.
class EdgeStoreContent : public EdgeContent {
    Q_OBJECT
public:
    using CardFactory = std::function<QWidget*(KitService, DevKitStore&, QWidget*)>;

    // Without a tool-card factory, connected tools show their DevKitCardView.
    EdgeStoreContent(
        DevKitStore& kit, Scheduler& scheduler, CardFactory makeToolCard = {}, QObject* parent = nullptr);

    // The controller whose card a connect card closes before it opens the settings.
    void setController(EdgeController* edge) { m_edge = edge; }

    Tile tile(KitService service) const override;
    QList<KitService> cardServices() const override;
    QWidget* makeCard(KitService service, QWidget* parent) override;
    std::optional<KitSignal> handleSignal() const override;
    QWidget* makeBadge(KitService service, bool isLit, QWidget* parent) override;
    void updateBadge(QWidget* badge, KitService service, bool isLit) override;

    // The tile colour by the tool's group, whatever its connection.
    KitSignal groupSignal(KitService service) const;

private:
    void connectionsChanged();
    QSet<KitService> connectedTools() const;

    DevKitStore& m_kit;
    Scheduler& m_scheduler;
    CardFactory m_makeToolCard;
    QPointer<EdgeController> m_edge;
    QSet<KitService> m_connected;
    QHash<int, QPointer<ConnectCard>> m_connectCards;
};

} // namespace brenvo
