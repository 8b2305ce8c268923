#include "cards/CardActions.h"

#include "app/core/PreferencesStore.h"
#include "model/KitText.h"
#include "model/Log.h"
#include "store/DevKitStore.h"

namespace brenvo {

namespace {

QCoro::Task<> guarded(QCoro::Task<> task)
{
    try {
        co_await std::move(task);
    } catch (const std::exception& error) {
        qCWarning(logApp, "A card action failed: %s", error.what());
    } catch (...) {
        qCWarning(logApp, "A card action failed");
    }
}

} // namespace

void closeOpenFaces(DevKitStore& kit)
{
    kit.focus(std::nullopt);
}

void runDetached(QCoro::Task<> task)
{
    guarded(std::move(task));
}

QString intervalText(const PreferencesStore& preferences, KitService service)
{
    return refreshIntervalText(preferences.checkInterval(service));
}

QString middleDot()
{
    return QStringLiteral(" \u00B7 ");
}

} // namespace brenvo
