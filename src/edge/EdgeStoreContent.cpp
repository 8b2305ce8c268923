#include "edge/EdgeStoreContent.h"

#include "app/core/PreferencesStore.h"
#include "cards/ConnectCard.h"
#include "cards/DevKitCardView.h"
#include "cards/ServiceBadge.h"
#include "edge/EdgeController.h"
#include "model/Scheduler.h"
#include "model/Usage.h"
#include "store/DevKitStore.h"

namespace brenvo {

EdgeStoreContent::EdgeStoreContent(
    DevKitStore& kit, Scheduler& scheduler, CardFactory makeToolCard, QObject* parent)
    : EdgeContent(parent)
    , m_kit(kit)
    , m_scheduler(scheduler)
    , m_makeToolCard(std::move(makeToolCard))
{
    m_connected = connectedTools();
    for (auto signal : {&DevKitStore::snapshotChanged, &DevKitStore::celebratingChanged,
             &DevKitStore::alertingChanged, &DevKitStore::unseenChanged})
        QObject::connect(&kit, signal, this, &EdgeContent::changed);
    QObject::connect(&kit, &DevKitStore::connectionsChanged, this, &EdgeStoreContent::connectionsChanged);
    QObject::connect(&kit.preferences(), &PreferencesStore::enabledServicesChanged, this, [this]() {
        m_connected = connectedTools();
        Q_EMIT cardsChanged();
        Q_EMIT changed();
    });
}

QSet<KitService> EdgeStoreContent::connectedTools() const
{
    QSet<KitService> connected;
    for (KitService service : m_kit.enabledServices()) {
        if (m_kit.connection(service).isConnected())
            connected.insert(service);
    }
    return connected;
}

void EdgeStoreContent::connectionsChanged()
{
    const QSet<KitService> connected = connectedTools();
    // Only a tool that came or went changes its kind of card; the others keep theirs, with
    // whatever page, armed button or scroll they show.
    const QSet<KitService> turned = (connected - m_connected) + (m_connected - connected);
    m_connected = connected;
    for (auto it = m_connectCards.cbegin(); it != m_connectCards.cend(); ++it) {
        const KitService service = KitService::allCases().at(it.key());
        if (it.value() && !turned.contains(service))
            it.value()->setConnection(m_kit.connection(service));
    }
    for (KitService service : m_kit.enabledServices()) {
        if (turned.contains(service))
            Q_EMIT cardChanged(service);
    }
    Q_EMIT changed();
}

KitSignal EdgeStoreContent::groupSignal(KitService service) const
{
    if (service.isPayment())
        return KitSignal::payments(m_kit.payments(service));
    if (service.isActivity())
        return KitSignal::deployments(m_kit.snapshot().deployments.value(service));
    std::optional<UsageReport> report;
    if (const auto it = m_kit.snapshot().usage.constFind(service); it != m_kit.snapshot().usage.cend())
        report = *it;
    return UsageReport::signal(report, m_scheduler.wallNow());
}

EdgeContent::Tile EdgeStoreContent::tile(KitService service) const
{
    Tile tile;
    tile.signal
        = m_kit.connection(service).isConnected() ? groupSignal(service) : KitSignal(KitSignal::disconnected);
    if (m_kit.celebrating().contains(service))
        tile.mark = Tile::Mark::done;
    else if (m_kit.alerting().contains(service))
        tile.mark = Tile::Mark::problem;
    tile.isWorking = m_kit.isBuilding(service);
    tile.isFresh = m_kit.unseen().contains(service);
    return tile;
}

QList<KitService> EdgeStoreContent::cardServices() const
{
    return m_kit.enabledServices();
}

QWidget* EdgeStoreContent::makeCard(KitService service, QWidget* parent)
{
    const KitConnection connection = m_kit.connection(service);
    if (connection.isConnected())
        return m_makeToolCard ? m_makeToolCard(service, m_kit, parent)
                              : new DevKitCardView(service, m_kit, m_scheduler, parent);
    QPointer<EdgeController> edge = m_edge;
    auto* card = new ConnectCard(
        service, connection,
        [edge, service]() {
            if (!edge)
                return;
            edge->closeCard();
            if (edge->showSettings())
                edge->showSettings()(service);
        },
        parent);
    m_connectCards.insert(service.index(), card);
    return card;
}

std::optional<KitSignal> EdgeStoreContent::handleSignal() const
{
    bool good = false;
    bool attention = false;
    for (KitService service : m_kit.enabledServices()) {
        if (!m_kit.unseen().contains(service))
            continue;
        const bool connected = m_kit.connections().value(service).isConnected();
        if (!m_kit.usesMockData() && !connected)
            continue; // disconnected never colours the handle
        switch (groupSignal(service)) {
        case KitSignal::bad:
            return KitSignal::bad;
        case KitSignal::attention:
            attention = true;
            break;
        case KitSignal::good:
            good = true;
            break;
        case KitSignal::disconnected:
            break;
        }
    }
    if (attention)
        return KitSignal::attention;
    if (good)
        return KitSignal::good;
    return std::nullopt;
}

namespace {

ServiceBadge::State badgeState(const EdgeContent::Tile& t, bool isLit)
{
    ServiceBadge::State state;
    state.signal = t.signal;
    state.isLit = isLit;
    if (t.mark)
        state.mark = *t.mark == EdgeContent::Tile::Mark::done ? ServiceBadge::Mark::done
                                                              : ServiceBadge::Mark::problem;
    state.isWorking = t.isWorking;
    state.isFresh = t.isFresh;
    return state;
}

} // namespace

QWidget* EdgeStoreContent::makeBadge(KitService service, bool isLit, QWidget* parent)
{
    // Made as it is now: a badge made grey and then coloured would draw its ring on.
    return new ServiceBadge(service, badgeState(tile(service), isLit), m_scheduler, parent);
}

void EdgeStoreContent::updateBadge(QWidget* widget, KitService service, bool isLit)
{
    if (auto* badge = qobject_cast<ServiceBadge*>(widget))
        badge->setState(badgeState(tile(service), isLit));
}

} // namespace brenvo
