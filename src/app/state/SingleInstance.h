#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;

namespace brenvo {

// One running copy per user and display. The first copy listens on a local socket; a later one
// tells it to "reopen" and leaves.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    // The longest message a caller may send; anything longer is dropped unread.
    static constexpr int maxMessage = 64;

    // path: where the socket lives.
    explicit SingleInstance(QString path, QObject* parent = nullptr);
    ~SingleInstance() override;

    // In the user's runtime folder, by identifier and display.
    static QString standardPath(const QString& identifier);

    const QString& path() const { return m_path; }

    enum class Claim {
        elsewhere, // another copy runs and was told to reopen: this one leaves
        listening, // this is the running copy
        alone // the socket cannot be made: this copy runs without it
    };
    // Tells a running copy to reopen, or else becomes the running copy (taking over a socket left
    // by a copy that died).
    Claim claim(int timeoutMs = 2000);

    // Tells a running copy to reopen. True when one took the message.
    bool tellRunning(int timeoutMs = 2000);
    // Becomes the running copy; false when the socket cannot be made.
    bool listen();
    bool isListening() const;

Q_SIGNALS:
    void reopenRequested();

private:
    void accept();
    void read(QLocalSocket* socket);

    QString m_path;
    std::unique_ptr<QLocalServer> m_server;
    bool m_inUse = false;
};

} // namespace brenvo
