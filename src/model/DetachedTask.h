#pragma once

#include <QCoroTask>

namespace brenvo {

// Runs a task that nobody awaits: anything it throws is caught here and logged with what.
void runDetached(QCoro::Task<> task, const char* what);

} // namespace brenvo
