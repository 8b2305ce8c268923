#include "cards/CardActions.h"

#include "app/core/PreferencesStore.h"
#include "model/KitText.h"
#include "store/DevKitStore.h"

namespace brenvo {

void closeOpenFaces(DevKitStore& kit)
{
    kit.focus(std::nullopt);
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
