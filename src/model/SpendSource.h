#pragma once

#include "model/Usage.h"

#include <QCoroTask>
#include <QDateTime>
#include <QList>
#include <QString>

namespace brenvo {

// An organisation's API cost and token usage, read with an admin key.
class SpendSource {
public:
    virtual ~SpendSource() = default;

    virtual QCoro::Task<QList<UsageSpend>> spend(QString key, QDateTime now) = 0;
};

} // namespace brenvo
