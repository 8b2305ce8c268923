// Finding a command-line tool and running it as a bounded child, with real processes.
#include "support/ChildRun.h"
#include "support/ManualScheduler.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"
#include "usage/ToolAccount.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <signal.h>

using namespace brenvo;
using namespace brenvo::test;
using namespace Qt::Literals::StringLiterals;

namespace {

// Writes an executable sh script.
QString script(const QString& path, const QByteArray& body)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// The processes of a group that still run (a zombie has ended).
int livingInGroup(qint64 group)
{
    int living = 0;
    for (const QString& entry : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        QFile stat(u"/proc/"_s + entry + u"/stat"_s);
        if (entry.toLongLong() <= 0 || !stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid pgrp ...": the name may hold anything but the last ')'.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields[2].toLongLong() == group && fields[0] != "Z")
            ++living;
    }
    return living;
}

// Whether the group ends within 5 s: a kill takes a moment to land.
bool groupEnds(qint64 group)
{
    QDeadlineTimer deadline(5000);
    while (livingInGroup(group) > 0 && !deadline.hasExpired())
        QThread::msleep(20);
    return livingInGroup(group) == 0;
}

} // namespace

// Where the tool is: PATH, then the login shell (bounded), then the usual folders.
TEST(ToolAccountTest, LooksOnPathThenInTheLoginShellThenInTheUsualFolders)
{
    struct Case {
        const char* name;
        bool onPath, shellKnows, inFolder, shellHangs;
        const char* expected; // folder of the one found, or "" for none
    };
    const Case cases[] = {
        {"path first", true, true, true, false, "path"},
        {"then the shell", false, true, true, false, "shelled"},
        {"then the folders", false, false, true, false, "folder"},
        {"a hanging shell is cut off", false, true, true, true, "folder"},
        {"nowhere", false, false, false, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString root = dir.path();
        if (c.onPath)
            script(root + u"/path/codex"_s, "true");
        if (c.inFolder)
            script(root + u"/folder/codex"_s, "true");
        script(root + u"/shelled/codex"_s, "true");
        // A login shell whose profile talks before the answer.
        const QByteArray answer = c.shellKnows ? "echo " + (root + u"/shelled/codex"_s).toUtf8() : "exit 1";
        script(root + u"/sh"_s,
            "[ \"$1 $2\" = \"-lc command -v codex\" ] || exit 2\n[ \"$HOME\" = \"" + root.toUtf8()
                + "\" ] || exit 3\necho Welcome back\n" + (c.shellHangs ? "exec sleep 30" : answer));
        ManualScheduler scheduler;
        ToolAccount account(u"codex"_s, scheduler,
            {root + u"/path:relative"_s, root + u"/sh"_s, root, {root + u"/none"_s, root + u"/folder"_s}});
        auto task = account.locate();
        if (c.shellHangs)
            scheduler.advance(ToolAccount::shellLimit);
        const auto found = runTask(std::move(task));
        EXPECT_EQ(found.value_or(QString()),
            *c.expected ? root + u'/' + QString::fromLatin1(c.expected) + u"/codex"_s : QString());
    }
    ManualScheduler scheduler;
    ToolAccount unsafe(u"codex; rm -rf x"_s, scheduler, {u"/usr/bin"_s, u"/bin/sh"_s, QDir::homePath(), {}});
    EXPECT_FALSE(runTask(unsafe.locate()));
}

// A child gets an empty folder, its own folder first on PATH, stdin closed unless spoken to, and
// capped output. (Its time limit is proven with the Codex reader.)
TEST(ToolAccountTest, BoundsEveryChild)
{
    QTemporaryDir dir;
    const QString probe = script(dir.path() + u"/bin/probe"_s,
        "case \"$1\" in\n"
        "where) ls -A | wc -l; echo \"${PATH%%:*}\"; echo \"$EXTRA\"; cat ;;\n"
        "loud) yes 0123456789 ;;\n"
        "esac");
    ManualScheduler scheduler;
    ToolAccount account(u"probe"_s, scheduler, {u"/usr/bin:/bin"_s, {}, dir.path(), {}});

    ToolRunOptions options;
    options.environment.insert(u"EXTRA"_s, u"given"_s);
    ToolRun run = runTask(account.run(probe, {u"where"_s}, options));
    EXPECT_EQ(run.output, "0\n" + QFileInfo(probe).absolutePath().toUtf8() + "\ngiven\n");
    EXPECT_EQ(run.exitCode, 0);
    options.input = "spoken to\n";
    EXPECT_TRUE(runTask(account.run(probe, {u"where"_s}, options)).output.endsWith("given\nspoken to\n"));

    options.cap = 1000;
    run = runTask(account.run(probe, {u"loud"_s}, options));
    EXPECT_TRUE(run.overflowed);
    EXPECT_EQ(run.output.size(), 1000);

    run = runTask(account.run(dir.path() + u"/missing"_s, {}));
    EXPECT_FALSE(run.started);
}

// Output and the end that the event loop sees in one turn wake a waiting read once: a second wake
// would resume a coroutine that has ended.
TEST(ToolAccountTest, OutputAndTheEndTogetherWakeAWaiterOnce)
{
    ManualScheduler scheduler;
    ToolAccount account(u"sh"_s, scheduler, {u"/usr/bin:/bin"_s, {}, QDir::homePath(), {}});
    for (int i = 0; i < 10; ++i) {
        const auto child = account.start(u"/bin/sh"_s, {u"-c"_s, u"echo out; echo err >&2"_s});
        auto line = child->readLine();
        QThread::msleep(50); // it writes and ends before the loop looks
        EXPECT_EQ(runTask(std::move(line)), QByteArray("out"));
        EXPECT_EQ(runTask(child->wait()).errors, "err\n");
        QCoreApplication::processEvents();
    }
}

// Every child runs in one private empty folder of ours: claude records each folder it is started
// in. Whatever else holds its name is never used.
TEST(ToolAccountTest, ChildrenShareOnePrivateEmptyFolder)
{
    QTemporaryDir dir;
    const QString probe = script(dir.path() + u"/bin/probe"_s, "pwd -P; stat -c %a .; ls -A | wc -l");
    ManualScheduler scheduler;
    ToolAccount account(u"probe"_s, scheduler, {u"/usr/bin:/bin"_s, {}, dir.path(), {}});
    const auto folderOfRun = [&](const QString& runtime) {
        account.runtimeFolder = runtime;
        const ToolRun run = runTask(account.run(probe, {}));
        EXPECT_EQ(run.exitCode, 0);
        const QList<QByteArray> lines = run.output.trimmed().split('\n');
        EXPECT_EQ(lines.size(), 3);
        EXPECT_EQ(lines.value(1), "700");
        EXPECT_EQ(lines.value(2), "0");
        return QString::fromUtf8(lines.value(0));
    };

    QDir(dir.path()).mkdir(u"runtime"_s);
    const QString runtime = QFileInfo(dir.path() + u"/runtime"_s).canonicalFilePath();
    const QString own = runtime + u"/Brenvo-empty"_s;
    EXPECT_EQ(folderOfRun(runtime), own);
    EXPECT_EQ(folderOfRun(runtime), own);
    EXPECT_EQ(QDir(runtime).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
        QStringList {u"Brenvo-empty"_s});

    // A link planted in its place goes, and what it pointed at is left as it was.
    const QString elsewhere = QFileInfo(dir.path()).canonicalFilePath() + u"/elsewhere"_s;
    QDir().mkpath(elsewhere);
    QFile::setPermissions(elsewhere, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(QDir(own).removeRecursively());
    ASSERT_TRUE(QFile::link(elsewhere, own));
    EXPECT_EQ(folderOfRun(runtime), own);
    EXPECT_FALSE(QFileInfo(own).isSymLink());
    EXPECT_TRUE(QFileInfo(elsewhere).isDir());

    // An open folder with something in it is not used, nor touched.
    ASSERT_TRUE(QDir(own).removeRecursively());
    ASSERT_TRUE(QDir().mkpath(own));
    QFile::setPermissions(own,
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther
            | QFile::WriteOther);
    script(own + u"/CLAUDE.md"_s, "planted");
    const QString spare = folderOfRun(runtime);
    EXPECT_NE(spare, own);
    EXPECT_FALSE(spare.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(own + u"/CLAUDE.md"_s));
    // An empty one of the wrong mode is made again with the right one.
    ASSERT_TRUE(QFile::remove(own + u"/CLAUDE.md"_s));
    EXPECT_EQ(folderOfRun(runtime), own);
    EXPECT_FALSE(ToolAccount::emptyFolder(u"relative"_s));
}

// Run by the test below in a process of its own: a child that leaves a grandchild is running
// (its object held by a coroutine that never ends) when the application quits as Brenvo does.
TEST(ToolAccountQuit, DISABLED_Child)
{
    const QString dir = qEnvironmentVariable("BRENVO_QUIT_DIR");
    const QString groupFile = dir + u"/group"_s;
    const QString sleeper
        = script(dir + u"/sleeper"_s, "sleep 300 &\necho $$ > '" + groupFile.toUtf8() + "'\nwait");
    auto* scheduler = new ManualScheduler;
    auto* account = new ToolAccount(u"sleeper"_s, *scheduler, {u"/usr/bin:/bin"_s, {}, dir, {}});
    account->runtimeFolder = dir;
    new QCoro::Task<ToolRun>(account->run(sleeper, {})); // left running, as at a real quit
    QDeadlineTimer deadline(10000);
    while (QFileInfo(groupFile).size() == 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    QFile file(groupFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const qint64 group = file.readAll().trimmed().toLongLong();
    ASSERT_GT(group, 0);
    ASSERT_EQ(livingInGroup(group), 2); // the child and its grandchild

    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    EXPECT_TRUE(groupEnds(group));
}

TEST(ToolAccountQuit, NoChildOutlivesTheApplication)
{
    QTemporaryDir dir;
    QProcessEnvironment environment;
    environment.insert(u"BRENVO_QUIT_DIR"_s, dir.path());
    EXPECT_TRUE(childPassed(u"ToolAccountQuit"_s, u"Child"_s, environment));
    QFile file(dir.path() + u"/group"_s);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const qint64 group = file.readAll().trimmed().toLongLong();
    ASSERT_GT(group, 0);
    EXPECT_TRUE(groupEnds(group));
    ::kill(-static_cast<pid_t>(group), SIGKILL); // whatever a failure left behind
}
