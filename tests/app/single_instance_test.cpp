#include "app/state/SingleInstance.h"
#include "app/state/TerminationSignals.h"

#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace brenvo;

namespace {

// Sends raw bytes as another copy would, and hangs up.
void send(const QString& path, const QByteArray& bytes)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    ASSERT_TRUE(socket.waitForConnected(2000));
    socket.write(bytes);
    ASSERT_TRUE(socket.waitForBytesWritten(2000));
    socket.disconnectFromServer();
}

} // namespace

TEST(SingleInstance, ALaterCopyTellsTheFirstToReopenAndLeaves)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("app.sock");
    auto first = std::make_unique<SingleInstance>(path);
    ASSERT_EQ(first->claim(), SingleInstance::Claim::listening);
    QSignalSpy reopened(first.get(), &SingleInstance::reopenRequested);

    SingleInstance second(path);
    EXPECT_EQ(second.claim(), SingleInstance::Claim::elsewhere);
    EXPECT_FALSE(second.isListening());
    EXPECT_TRUE(reopened.wait(5000));
    EXPECT_EQ(reopened.count(), 1);

    // A copy started after the first has gone takes its place.
    first.reset();
    SingleInstance third(path);
    EXPECT_EQ(third.claim(), SingleInstance::Claim::listening);
}

TEST(SingleInstance, ASocketLeftByACopyThatDiedIsTakenOver)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("app.sock");
    // A bound socket nobody listens on, as a crash leaves it.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    std::memcpy(address.sun_path, encoded.constData(), encoded.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(path));

    SingleInstance instance(path);
    EXPECT_EQ(instance.claim(500), SingleInstance::Claim::listening);
    QSignalSpy reopened(&instance, &SingleInstance::reopenRequested);
    send(path, "reopen\n");
    EXPECT_TRUE(reopened.wait(5000));
}

TEST(SingleInstance, OnlyTheExactMessageReopensAndOverlongOnesAreDropped)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("app.sock");
    SingleInstance instance(path);
    ASSERT_TRUE(instance.listen());
    QSignalSpy reopened(&instance, &SingleInstance::reopenRequested);
    send(path, "quit\n");
    send(path, "reopen now\n");
    send(path, QByteArray(SingleInstance::maxMessage * 4, 'x'));
    send(path, "reopen"); // no line end before hanging up
    EXPECT_FALSE(reopened.wait(500));
    send(path, "reopen\n");
    EXPECT_TRUE(reopened.wait(5000));
    EXPECT_EQ(reopened.count(), 1);
}

TEST(SingleInstance, ASocketThatCannotBeMadeLeavesTheCopyRunningAlone)
{
    SingleInstance instance("/nonexistent-folder-for-brenvo/app.sock");
    EXPECT_EQ(instance.claim(200), SingleInstance::Claim::alone);
    EXPECT_FALSE(instance.isListening());
}

TEST(SingleInstance, TheStandardPlaceIsPerDisplay)
{
    const QByteArray saved = qgetenv("DISPLAY");
    qputenv("DISPLAY", ":7.0");
    const QString seven = SingleInstance::standardPath("dev.brenvo.Test");
    qputenv("DISPLAY", "../:8");
    const QString eight = SingleInstance::standardPath("dev.brenvo.Test");
    qputenv("DISPLAY", saved);
    EXPECT_NE(seven, eight);
    EXPECT_TRUE(seven.endsWith("dev.brenvo.Test-_7.0.sock")) << seven.toStdString();
    EXPECT_FALSE(QFileInfo(eight).fileName().contains('/'));
    EXPECT_EQ(QFileInfo(eight).dir(), QFileInfo(seven).dir());
}

TEST(TerminationSignals, TermAndIntArriveOnTheMainThreadAsSignals)
{
    TerminationSignals watcher;
    ASSERT_TRUE(watcher.isInstalled());
    QSignalSpy received(&watcher, &TerminationSignals::received);
    ::raise(SIGTERM);
    ::raise(SIGINT);
    EXPECT_TRUE(received.wait(5000) || received.count() > 0);
    while (received.count() < 2 && received.wait(1000)) { }
    ASSERT_EQ(received.count(), 2);
    EXPECT_EQ(received[0][0].toInt(), SIGTERM);
    EXPECT_EQ(received[1][0].toInt(), SIGINT);
    // One watcher per process.
    TerminationSignals another;
    EXPECT_FALSE(another.isInstalled());
}
