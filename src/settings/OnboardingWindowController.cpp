#include "settings/OnboardingWindowController.h"

#include "app/core/PreferencesStore.h"
#include "settings/OnboardingView.h"

namespace brenvo {

OnboardingWindowController::OnboardingWindowController(QObject* parent)
    : QObject(parent)
{
}

OnboardingWindowController::~OnboardingWindowController()
{
    delete m_window.data();
}

OnboardingView* OnboardingWindowController::window() const
{
    return m_window;
}

void OnboardingWindowController::show(const SettingsContext& context)
{
    if (!m_window) {
        auto* window = new OnboardingView(context);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowFlag(Qt::Window);
        window->setWindowTitle(QStringLiteral("Welcome to ") + context.config.name);
        window->setFixedSize(window->sizeHint().expandedTo(QSize(520, 440)));
        PreferencesStore* preferences = context.preferences;
        connect(window, &OnboardingView::finished, this, [this, preferences] {
            if (preferences)
                preferences->setHasCompletedOnboarding(true);
            if (m_window)
                m_window->close();
            Q_EMIT finished();
        });
        m_window = window;
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

} // namespace brenvo
