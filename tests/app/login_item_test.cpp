#include "app/core/LoginItemManager.h"
#include "support/MessageRecorder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace brenvo;

namespace {

class LoginItem : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // A program path that needs quoting and escaping in an Exec line.
        const QString folder = dir.filePath(QStringLiteral("My Apps $1 \"q\" 100%"));
        ASSERT_TRUE(QDir().mkpath(folder));
        program = folder + QStringLiteral("/brenvo");
        QFile file(program);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    LoginItemManager::Place place() const
    {
        return {dir.filePath(QStringLiteral("config/autostart")), QStringLiteral("dev.brenvo.Brenvo"),
            program, QStringLiteral("Brenvo")};
    }

    void writeEntry(const QString& text) const
    {
        QDir().mkpath(place().autostartDirectory);
        QFile file(place().autostartDirectory + QStringLiteral("/dev.brenvo.Brenvo.desktop"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
    }

    QTemporaryDir dir;
    QString program;
};

} // namespace

TEST_F(LoginItem, TurnsOnAndOffAndSignalsOnlyRealChanges)
{
    LoginItemManager manager(place());
    QSignalSpy changed(&manager, &LoginItemManager::isEnabledChanged);
    EXPECT_FALSE(manager.isEnabled());

    manager.setEnabled(true);
    EXPECT_TRUE(manager.isEnabled());
    EXPECT_TRUE(QFile::exists(manager.entryPath()));
    EXPECT_EQ(manager.entryPath(), place().autostartDirectory + QStringLiteral("/dev.brenvo.Brenvo.desktop"));
    manager.setEnabled(true);
    EXPECT_EQ(changed.count(), 1);

    // A new run reads the entry back.
    EXPECT_TRUE(LoginItemManager(place()).isEnabled());

    manager.setEnabled(false);
    EXPECT_FALSE(manager.isEnabled());
    EXPECT_FALSE(QFile::exists(manager.entryPath()));
    manager.setEnabled(false);
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(LoginItem, ReadsWhatAnotherProgramWrote)
{
    const QString exec = LoginItemManager::execValue(program);
    const QString entry
        = QStringLiteral("[Desktop Entry]\nType=Application\nName=Brenvo\nExec = %1 --quiet %u\n%2");
    struct Case {
        QString text;
        bool enabled;
    };
    const QList<Case> cases {
        {entry.arg(exec, QString()), true},
        {entry.arg(exec, QStringLiteral("Hidden=true\n")), false},
        {entry.arg(exec, QStringLiteral("Hidden=false\nX-GNOME-Autostart-enabled=true\n")), true},
        {entry.arg(exec, QStringLiteral("X-GNOME-Autostart-enabled=false\n")), false},
        {entry.arg(QStringLiteral("/usr/bin/another-program"), QString()), false},
        {entry.arg(QStringLiteral("\"") + program, QString()), false}, // quote never closed
        {QStringLiteral("[Desktop Entry]\nName=Brenvo\n[Desktop Action Quit]\nExec=") + exec + u'\n', false},
        {QStringLiteral("# made by hand\n[Desktop Entry]\nExec=") + exec
                + QStringLiteral("\n[Other]\nHidden=true\n"),
            true},
    };
    for (const Case& c : cases) {
        writeEntry(c.text);
        EXPECT_EQ(LoginItemManager(place()).isEnabled(), c.enabled) << c.text.toStdString();
    }

    // A bare name is looked up on the PATH.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFileInfo(program).path().toUtf8());
    writeEntry(QStringLiteral("[Desktop Entry]\nExec=brenvo\n"));
    EXPECT_TRUE(LoginItemManager(place()).isEnabled());
    qputenv("PATH", path);

    // Turning it on replaces an entry that is switched off.
    writeEntry(entry.arg(exec, QStringLiteral("Hidden=true\n")));
    LoginItemManager manager(place());
    manager.setEnabled(true);
    EXPECT_TRUE(manager.isEnabled());
}

TEST_F(LoginItem, ExecLinesNameTheProgramThroughEveryEscape)
{
    EXPECT_EQ(LoginItemManager::execProgram(LoginItemManager::execValue(program)), program);
    const QString odd = QStringLiteral("/opt/a\\b/`x` $HOME/50%/brenvo");
    EXPECT_EQ(LoginItemManager::execProgram(LoginItemManager::execValue(odd)), odd);
    EXPECT_EQ(
        LoginItemManager::execValue(QStringLiteral("/opt/a\\b")), QStringLiteral("\"/opt/a\\\\\\\\b\""));
    EXPECT_EQ(LoginItemManager::execProgram(QStringLiteral("/usr/bin/brenvo -mockData")),
        QStringLiteral("/usr/bin/brenvo"));
    EXPECT_EQ(
        LoginItemManager::execProgram(QStringLiteral("/opt/my\\sapps/brenvo")), QStringLiteral("/opt/my"));
    EXPECT_EQ(LoginItemManager::execProgram(QString()), QString());
}

TEST_F(LoginItem, StaysOffWhenTheEntryCannotBeWritten)
{
    // A file where the autostart folder should be.
    QDir().mkpath(dir.filePath(QStringLiteral("config")));
    QFile blocker(place().autostartDirectory);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    LoginItemManager manager(place());
    QSignalSpy changed(&manager, &LoginItemManager::isEnabledChanged);
    test::MessageRecorder log;
    manager.setEnabled(true);
    EXPECT_FALSE(manager.isEnabled());
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(log.contains(QStringLiteral("Launch at login could not be turned on")));
}
