#include "settings/OnboardingWindowController.h"

#include "model/Log.h"

namespace brenvo {

OnboardingWindowController::OnboardingWindowController(QObject* parent)
    : QObject(parent)
{
}

void OnboardingWindowController::show(AppState&)
{
    // The first-run window comes with the settings window.
    qCInfo(logApp, "Onboarding is not part of this build yet");
}

} // namespace brenvo
