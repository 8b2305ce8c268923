#pragma once

#include "model/Usage.h"

#include <QCoroTask>

#include <optional>

namespace brenvo {

// A local reader of a usage tool's plan limits. Failures are thrown as UsageFailure with the
// sentence to show.
class UsageSource {
public:
    virtual ~UsageSource() = default;

    virtual bool isConnected() const = 0;
    virtual QCoro::Task<void> connect() = 0;
    // Undoes what connect set up. A sentence when that could not be done whole: the reader then
    // keeps what it set up (nothing of the user's is lost) and is disconnecting until a later
    // disconnect() gets through or connect() is asked again.
    virtual std::optional<QString> disconnect() = 0;
    // A disconnect is still to be finished: the reader is not connected, and calling disconnect()
    // again tries once more. Never by default.
    virtual bool isDisconnecting() const { return false; }
    // Nothing when there is nothing to report yet.
    virtual QCoro::Task<std::optional<UsageReport>> report() = 0;
    // Asks the tool for fresh limits before the next report; never fails. Does nothing by default.
    virtual QCoro::Task<void> askNow();
};

} // namespace brenvo
