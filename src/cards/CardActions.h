#pragma once

#include <QString>

namespace brenvo {

class DevKitStore;
class PreferencesStore;
class KitService;

// Leaves an open detail page or picker: the store holds at most one of a deployment, a payment and
// a picker open, and showing no card closes each and forgets an awaited redeploy.
void closeOpenFaces(DevKitStore& kit);

// The header's interval text of a tool, from its stored check interval.
QString intervalText(const PreferencesStore& preferences, KitService service);

// " · ": a space, a middle dot and a space.
QString middleDot();

} // namespace brenvo
