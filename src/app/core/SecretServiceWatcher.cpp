#include "app/core/SecretServiceWatcher.h"

#include "model/Log.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>

namespace brenvo {

namespace {

const QString serviceName = QStringLiteral("org.freedesktop.secrets");
const QString servicePath = QStringLiteral("/org/freedesktop/secrets");
const QString serviceInterface = QStringLiteral("org.freedesktop.Secret.Service");
const QString collectionInterface = QStringLiteral("org.freedesktop.Secret.Collection");

} // namespace

SecretServiceWatcher::SecretServiceWatcher(QObject* parent)
    : QObject(parent)
{
}

bool SecretServiceWatcher::start()
{
    if (m_watching)
        return true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCInfo(logApp, "No session bus: the secret store is not watched");
        return false;
    }
    m_watching = true;
    m_service = new QDBusServiceWatcher(serviceName, bus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(m_service, &QDBusServiceWatcher::serviceRegistered, this,
        &SecretServiceWatcher::mayHaveBecomeReadable);
    bus.connect(serviceName, servicePath, serviceInterface, QStringLiteral("CollectionChanged"), this,
        SLOT(collectionChanged()));
    bus.connect(serviceName, servicePath, serviceInterface, QStringLiteral("CollectionCreated"), this,
        SLOT(collectionChanged()));
    // A collection's Locked property, on whichever path the collection has.
    bus.connect(serviceName, QString(), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"), this,
        SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
    return true;
}

void SecretServiceWatcher::collectionChanged()
{
    Q_EMIT mayHaveBecomeReadable();
}

void SecretServiceWatcher::propertiesChanged(
    const QString& interface, const QVariantMap& changed, const QStringList& invalidated)
{
    if (interface != collectionInterface)
        return;
    if (changed.contains(QStringLiteral("Locked")) || invalidated.contains(QStringLiteral("Locked")))
        Q_EMIT mayHaveBecomeReadable();
}

} // namespace brenvo
