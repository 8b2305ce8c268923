#pragma once

#include "model/Deployment.h"
#include "model/KitService.h"
#include "model/Payment.h"
#include "model/Usage.h"

#include <QDateTime>
#include <QList>
#include <QMap>

namespace brenvo {

// What the panel shows, for all tools at once. A tool without a key has nothing known yet; a key
// with an empty list means the tool answered with nothing.
struct DevKitSnapshot {
    QMap<KitService, QList<Deployment>> deployments;
    QMap<KitService, QList<Payment>> payments;
    QMap<KitService, UsageReport> usage;
    QMap<KitService, QList<UsageSpend>> spend;

    bool operator==(const DevKitSnapshot&) const = default;

    // The shared empty snapshot.
    static const DevKitSnapshot& empty();
    // The built-in sample data, dated from now.
    static DevKitSnapshot sample(const QDateTime& now);
};

} // namespace brenvo
