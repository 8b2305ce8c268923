#include "app/core/LoginItemManager.h"
#include "app/state/SingleInstance.h"
#include "app/state/TerminationSignals.h"
#include "support/MessageRecorder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace brenvo;

namespace {

class LoginItem : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A program path that needs quoting and escaping in an Exec line.
        const QString folder = dir.filePath("My Apps $1 \"q\" 100%");
        ASSERT_TRUE(QDir().mkpath(folder));
        QFile file(program = folder + "/brenvo");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    LoginItemManager::Place place() const
    {
        return {dir.filePath("config/autostart"), "dev.brenvo.Brenvo", program, "Brenvo"};
    }
    void writeEntry(const QString& text) const
    {
        QDir().mkpath(place().autostartDirectory);
        QFile file(place().autostartDirectory + "/dev.brenvo.Brenvo.desktop");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
    }

    QTemporaryDir dir;
    QString program;
};

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

TEST_F(LoginItem, ReadsWhatAnotherProgramWroteAndTurnsOnAndOff)
{
    const QString exec = LoginItemManager::execValue(program);
    const QString entry = "[Desktop Entry]\nType=Application\nName=Brenvo\nExec = %1 --quiet %u\n%2";
    const QList<std::pair<QString, bool>> cases {{entry.arg(exec, QString()), true},
        {entry.arg(exec, "Hidden=true\n"), false},
        {entry.arg(exec, "Hidden=false\nX-GNOME-Autostart-enabled=true\n"), true},
        {entry.arg(exec, "X-GNOME-Autostart-enabled=false\n"), false},
        {entry.arg("/usr/bin/another-program", QString()), false},
        {entry.arg("\"" + program, QString()), false}, // quote never closed
        {"[Desktop Entry]\nName=Brenvo\n[Desktop Action Quit]\nExec=" + exec + u'\n', false},
        {"# made by hand\n[Desktop Entry]\nExec=" + exec + "\n[Other]\nHidden=true\n", true}};
    for (const auto& [text, enabled] : cases) {
        writeEntry(text);
        EXPECT_EQ(LoginItemManager(place()).isEnabled(), enabled) << text.toStdString();
    }

    // A bare name is looked up on the PATH.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFileInfo(program).path().toUtf8());
    writeEntry("[Desktop Entry]\nExec=brenvo\n");
    EXPECT_TRUE(LoginItemManager(place()).isEnabled());
    qputenv("PATH", path);

    // Turning it on replaces an entry that is switched off; a new run reads it back.
    writeEntry(entry.arg(exec, "Hidden=true\n"));
    LoginItemManager manager(place());
    QSignalSpy changed(&manager, &LoginItemManager::isEnabledChanged);
    manager.setEnabled(true);
    manager.setEnabled(true);
    EXPECT_EQ(manager.entryPath(), place().autostartDirectory + "/dev.brenvo.Brenvo.desktop");
    EXPECT_TRUE(LoginItemManager(place()).isEnabled());
    manager.setEnabled(false);
    manager.setEnabled(false);
    EXPECT_FALSE(manager.isEnabled() || QFile::exists(manager.entryPath()));
    EXPECT_EQ(changed.count(), 2);

    // Exec lines name the program through every escape.
    const QString odd = "/opt/a\\b/`x` $HOME/50%/brenvo";
    EXPECT_EQ(LoginItemManager::execProgram(LoginItemManager::execValue(odd)), odd);
    EXPECT_EQ(LoginItemManager::execValue("/opt/a\\b"), "\"/opt/a\\\\\\\\b\"");
    for (const auto& [exec, program] :
        {std::pair<QString, QString> {"/usr/bin/brenvo -mockData", "/usr/bin/brenvo"},
            {"/opt/my\\sapps/brenvo", "/opt/my"}, {QString(), QString()}})
        EXPECT_EQ(LoginItemManager::execProgram(exec), program);
}

TEST_F(LoginItem, TheUsersEntryStartsTheProgramThatIsRunningWhereverItLies)
{
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir.filePath("home").toUtf8());
    LoginItemManager manager("dev.brenvo.Brenvo", "Brenvo");
    manager.setEnabled(true);
    qputenv("XDG_CONFIG_HOME", config);
    QFile file(dir.filePath("home/autostart/dev.brenvo.Brenvo.desktop"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString exec = QString::fromUtf8(file.readAll()).section("\nExec=", 1).section('\n', 0, 0);
    EXPECT_EQ(LoginItemManager::execProgram(exec), QFileInfo("/proc/self/exe").canonicalFilePath());
}

TEST_F(LoginItem, StaysOffWhenTheEntryCannotBeWritten)
{
    // A file where the autostart folder should be.
    QDir().mkpath(dir.filePath("config"));
    QFile blocker(place().autostartDirectory);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    LoginItemManager manager(place());
    QSignalSpy changed(&manager, &LoginItemManager::isEnabledChanged);
    test::MessageRecorder log;
    manager.setEnabled(true);
    EXPECT_TRUE(!manager.isEnabled() && changed.count() == 0);
    EXPECT_TRUE(log.contains("Launch at login could not be turned on"));
}

TEST(SingleInstance, TakesOverASocketLeftByADeadCopyAndALaterCopyTellsItToReopen)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("app.sock");
    // A bound socket nobody listens on, as a crash leaves it.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    std::memcpy(address.sun_path, encoded.constData(), encoded.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);

    auto first = std::make_unique<SingleInstance>(path);
    ASSERT_EQ(first->claim(500), SingleInstance::Claim::listening);
    QSignalSpy reopened(first.get(), &SingleInstance::reopenRequested);
    SingleInstance second(path);
    EXPECT_TRUE(second.claim() == SingleInstance::Claim::elsewhere && !second.isListening());
    EXPECT_TRUE(reopened.wait(5000) && reopened.count() == 1);

    // A copy started after the first has gone takes its place; where no socket can be made, it runs alone.
    first.reset();
    EXPECT_EQ(SingleInstance(path).claim(), SingleInstance::Claim::listening);
    SingleInstance alone("/nonexistent-folder-for-brenvo/app.sock");
    EXPECT_TRUE(alone.claim(200) == SingleInstance::Claim::alone && !alone.isListening());
}

TEST(SingleInstance, OnlyTheExactMessageReopensAndOverlongOnesAreDropped)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("app.sock");
    SingleInstance instance(path);
    ASSERT_TRUE(instance.listen());
    QSignalSpy reopened(&instance, &SingleInstance::reopenRequested);
    for (const QByteArray& bytes : {QByteArray("quit\n"), QByteArray("reopen now\n"),
             QByteArray(SingleInstance::maxMessage * 4, 'x'), QByteArray("reopen")}) // "reopen": no line end
        send(path, bytes);
    EXPECT_FALSE(reopened.wait(500));
    send(path, "reopen\n");
    EXPECT_TRUE(reopened.wait(5000) && reopened.count() == 1);
}

TEST(SingleInstance, TheStandardPlaceIsPerDisplay)
{
    const QByteArray saved = qgetenv("DISPLAY");
    qputenv("DISPLAY", ":7.0");
    const QString seven = SingleInstance::standardPath("dev.brenvo.Test");
    qputenv("DISPLAY", "../:8");
    const QString eight = SingleInstance::standardPath("dev.brenvo.Test");
    qputenv("DISPLAY", saved);
    EXPECT_TRUE(seven.endsWith("dev.brenvo.Test-_7.0.sock")) << seven.toStdString();
    EXPECT_TRUE(seven != eight && QFileInfo(eight).dir() == QFileInfo(seven).dir()) << eight.toStdString();
}

TEST(TerminationSignals, TermAndIntArriveOnTheMainThreadAsSignals)
{
    TerminationSignals watcher;
    ASSERT_TRUE(watcher.isInstalled());
    QSignalSpy received(&watcher, &TerminationSignals::received);
    ::raise(SIGTERM);
    ::raise(SIGINT);
    while (received.count() < 2 && received.wait(5000)) { }
    ASSERT_EQ(received.count(), 2);
    EXPECT_TRUE(received[0][0].toInt() == SIGTERM && received[1][0].toInt() == SIGINT);
    // One watcher per process.
    EXPECT_FALSE(TerminationSignals().isInstalled());
}
