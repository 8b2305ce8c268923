#pragma once

#include "model/KitService.h"

#include <QWidget>

namespace brenvo {

class DevKitStore;
class Scheduler;

// The card of a connected tool: the deployments card for vercel, cloudflare, github and gitlab,
// the payments card for stripe and polar, the usage card for claude and codex. It adds nothing
// around the card it picks; that card follows the store's change signals by itself.
//
// Its rows show ages that are re-evaluated while they are painted (at most every 30 s); a card
// that is laid out but not on screen should be hidden so that nothing ticks.
class DevKitCardView : public QWidget {
    Q_OBJECT
public:
    // The clock dates the rows' ages and times the detail page's confirmation.
    DevKitCardView(KitService service, DevKitStore& kit, Scheduler& clock, QWidget* parent = nullptr);

    KitService service() const { return m_service; }
    // The card picked for the tool (a DeploymentsCard, PaymentsCard or UsageCard).
    QWidget* card() const { return m_card; }

private:
    KitService m_service;
    QWidget* m_card;
};

} // namespace brenvo
