#include "cards/DevKitCardView.h"

#include "cards/DeploymentsCard.h"
#include "cards/PaymentsCard.h"
#include "cards/UsageCard.h"

#include <QVBoxLayout>

namespace brenvo {

namespace {

QWidget* cardFor(KitService service, DevKitStore& kit, Scheduler& clock)
{
    if (service.isActivity())
        return new DeploymentsCard(service, kit, clock);
    if (service.isPayment())
        return new PaymentsCard(service, kit, clock);
    return new UsageCard(service, kit, clock);
}

} // namespace

DevKitCardView::DevKitCardView(KitService service, DevKitStore& kit, Scheduler& clock, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_card(cardFor(service, kit, clock))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_card);
}

} // namespace brenvo
