#include "model/DetachedTask.h"

#include "model/Log.h"

#include <exception>

namespace brenvo {

namespace {

QCoro::Task<> guarded(QCoro::Task<> task, const char* what)
{
    try {
        co_await std::move(task);
    } catch (const std::exception& error) {
        qCWarning(logApp, "%s failed: %s", what, error.what());
    } catch (...) {
        qCWarning(logApp, "%s failed", what);
    }
}

} // namespace

void runDetached(QCoro::Task<> task, const char* what)
{
    // The returned task only holds the frame; the coroutine runs on by itself.
    [[maybe_unused]] auto running = guarded(std::move(task), what);
}

} // namespace brenvo
