#include "app/state/SingleInstance.h"

#include "model/Log.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>
#include <QTimer>

namespace brenvo {

namespace {

const QByteArray reopenMessage = QByteArrayLiteral("reopen\n");
// A caller that says nothing in this time is dropped.
constexpr int silenceMs = 5000;

} // namespace

SingleInstance::SingleInstance(QString path, QObject* parent)
    : QObject(parent)
    , m_path(std::move(path))
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::standardPath(const QString& identifier)
{
    QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        display = qEnvironmentVariable("WAYLAND_DISPLAY");
    // A plain loop: a regular expression here would load its engine for this alone.
    for (QChar& c : display) {
        const char16_t u = c.unicode();
        const bool safe = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9')
            || u == '.' || u == '_' || u == '-';
        if (!safe)
            c = u'_';
    }
    QString base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (base.isEmpty())
        base = QDir::tempPath();
    const QString name = (identifier.isEmpty() ? QStringLiteral("brenvo") : identifier) + u'-'
        + (display.isEmpty() ? QStringLiteral("none") : display) + QStringLiteral(".sock");
    return QDir(base).filePath(name);
}

bool SingleInstance::tellRunning(int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(m_path, QIODevice::ReadWrite);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(reopenMessage);
    if (!socket.waitForBytesWritten(timeoutMs)) {
        qCWarning(logApp, "The running copy did not take the reopen message");
        return false;
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return true;
}

SingleInstance::Claim SingleInstance::claim(int timeoutMs)
{
    if (isListening())
        return Claim::listening;
    if (tellRunning(timeoutMs))
        return Claim::elsewhere;
    if (listen())
        return Claim::listening;
    if (m_inUse) {
        // Another copy may have started listening in between; else the socket was left by one that
        // died and is taken over.
        if (tellRunning(timeoutMs))
            return Claim::elsewhere;
        QLocalServer::removeServer(m_path);
        if (listen())
            return Claim::listening;
    }
    return Claim::alone;
}

bool SingleInstance::listen()
{
    if (isListening())
        return true;
    m_inUse = false;
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::accept);
    if (m_server->listen(m_path))
        return true;
    m_inUse = m_server->serverError() == QAbstractSocket::AddressInUseError;
    if (!m_inUse)
        qCWarning(logApp, "%s",
            qUtf8Printable(
                QStringLiteral("Cannot listen for other copies: %1").arg(m_server->errorString())));
    m_server.reset();
    return false;
}

bool SingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

void SingleInstance::accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket]() { read(socket); });
        QPointer<QLocalSocket> guard(socket);
        QTimer::singleShot(silenceMs, socket, [guard]() {
            if (guard)
                guard->abort();
        });
        read(socket);
    }
}

void SingleInstance::read(QLocalSocket* socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > maxMessage) {
            qCWarning(logApp, "Dropped an overlong message from another copy");
            socket->abort();
        }
        return;
    }
    const QByteArray line = socket->readLine(maxMessage + 1);
    // One message per connection.
    socket->disconnectFromServer();
    if (line == reopenMessage) {
        Q_EMIT reopenRequested();
        return;
    }
    qCWarning(logApp, "Ignored an unknown message from another copy");
}

} // namespace brenvo
