#pragma once

#include "settings/SettingsContext.h"

#include <QObject>
#include <QPointer>

namespace brenvo {

class OnboardingView;

// Owns the first-run window. Created with no window; show() builds it once and brings it to the
// front. Finishing records that onboarding is done, so that it does not come back, and closes the
// window; closing it otherwise leaves onboarding to the next launch.
class OnboardingWindowController : public QObject {
    Q_OBJECT

public:
    explicit OnboardingWindowController(QObject* parent = nullptr);
    ~OnboardingWindowController() override;

    void show(const SettingsContext& context);
    // The window while it is open.
    OnboardingView* window() const;

Q_SIGNALS:
    void finished();

private:
    QPointer<OnboardingView> m_window;
};

} // namespace brenvo
