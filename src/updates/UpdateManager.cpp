#include "updates/UpdateManager.h"

#include "model/Log.h"

namespace brenvo {

UpdateManager::UpdateManager(AppConfig config, bool startingUpdater, QObject* parent)
    : QObject(parent)
    , m_config(std::move(config))
    , m_wantsUpdater(startingUpdater && !m_config.sparklePublicKey.isEmpty())
{
    if (m_wantsUpdater)
        qCInfo(logApp, "An update key is configured, but this build has no updater: updates stay off");
}

QString UpdateManager::alertTitle() const
{
    return QStringLiteral("Updates are not set up");
}

QString UpdateManager::alertText() const
{
    return QStringLiteral("This copy of %1 cannot check for updates. Install a newer version the way you "
                          "installed this one.")
        .arg(m_config.name.isEmpty() ? QStringLiteral("App") : m_config.name);
}

void UpdateManager::checkForUpdates()
{
    m_window.show(alertTitle(), alertText());
}

} // namespace brenvo
