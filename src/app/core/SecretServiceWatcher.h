#pragma once

#include <QObject>

class QDBusServiceWatcher;

namespace brenvo {

// Tells when secrets that could not be read may have become readable: the Secret Service
// (org.freedesktop.secrets) appeared on the session bus, or one of its collections changed or was
// unlocked. It says nothing about which item: the listener reads again (KitSecrets::reload()),
// which costs nothing while the item reads well. Nothing touches the bus before `start()`, so
// a run whose secrets read at once never pays for the watch. Main thread only.
class SecretServiceWatcher : public QObject {
    Q_OBJECT

public:
    explicit SecretServiceWatcher(QObject* parent = nullptr);

    // Starts watching the session bus; again is nothing. False when there is no session bus.
    bool start();
    bool isWatching() const { return m_watching; }

Q_SIGNALS:
    // The Secret Service appeared or a collection of it changed (an unlock among them).
    void mayHaveBecomeReadable();

private Q_SLOTS:
    void collectionChanged();
    void propertiesChanged(
        const QString& interface, const QVariantMap& changed, const QStringList& invalidated);

private:
    QDBusServiceWatcher* m_service = nullptr;
    bool m_watching = false;
};

} // namespace brenvo
