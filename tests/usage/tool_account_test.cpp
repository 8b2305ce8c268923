// Finding a command-line tool and running it as a bounded child, with real processes.
#include "support/ManualScheduler.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"
#include "usage/ToolAccount.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
