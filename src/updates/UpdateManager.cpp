#include "updates/UpdateManager.h"

#include "model/Log.h"

#include <QMessageBox>

namespace brenvo {

UpdateManager::UpdateManager(AppConfig config, bool startingUpdater, QObject* parent)
    : QObject(parent)
    , m_config(std::move(config))
    , m_wantsUpdater(startingUpdater && !m_config.sparklePublicKey.isEmpty())
{
    if (m_wantsUpdater)
        qCInfo(logApp, "An update key is configured, but this build has no updater: updates stay off");
}

UpdateManager::~UpdateManager()
{
    delete m_box.data();
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
    if (m_alert) {
        m_alert(alertTitle(), alertText());
        return;
    }
    showAlertWindow(alertTitle(), alertText());
}

void UpdateManager::showAlertWindow(const QString& title, const QString& text)
{
    // One alert at a time: asking again brings the open one forward. Not modal: no nested loop.
    if (!m_box) {
        m_box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok);
        m_box->setAttribute(Qt::WA_DeleteOnClose);
        m_box->setTextFormat(Qt::PlainText);
        m_box->setModal(false);
    }
    m_box->show();
    m_box->raise();
    m_box->activateWindow();
}

} // namespace brenvo
