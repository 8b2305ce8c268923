// Claude's plan limits: the edit of Claude Code's settings.json and its exact undo, a kill at any
// step of either, the status-line script run by sh, and the two texts the limits are read from.
#include "ClaudeHome.h"
#include "support/ManualScheduler.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"
#include "usage/ClaudeSettingsText.h"
#include "usage/ClaudeUsageFile.h"
#include "usage/ToolAccount.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

using namespace brenvo;
using namespace brenvo::test;
using namespace Qt::Literals::StringLiterals;

namespace {

// The owner, group and other bits.
QFileDevice::Permissions modeOf(const QString& path)
{
    return QFileInfo(path).permissions()
        & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
}

// Every file in a folder, hidden ones too.
QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// The status line as settings.json holds it, with another command.
QByteArray withCommand(const QByteArray& settings, const QString& command)
{
    const auto text = ClaudeSettingsText::parse(settings);
    return text->withValue(
        u"statusLine"_s, "{\"type\": \"command\", \"command\": " + ClaudeSettingsText::quoted(command) + "}");
}

// Runs a status-line command as Claude Code does, with input on stdin; gives what it printed.
// `before` runs first in the same shell.
QByteArray runStatusLine(const QString& command, const QByteArray& input, const QString& before = {})
{
    QProcess sh;
    sh.start(u"/bin/sh"_s, {u"-c"_s, before + command});
    sh.write(input);
    sh.closeWriteChannel();
    EXPECT_TRUE(sh.waitForFinished(10000));
    EXPECT_EQ(sh.exitCode(), 0);
    return sh.readAllStandardOutput();
}

} // namespace

TEST(ClaudeSettings, ConnectKeepsEveryOtherByteAndDisconnectRestoresTheFileExactly)
{
    struct Case {
        const char* name;
        std::optional<QByteArray> before; // none: no settings.json
        bool symlink = false;
        const char* previousOutput = ""; // what the user's status line prints for the input "in"
    };
    const Case cases[] = {
        {"real-shaped file with a command status line", realShaped, false, "it's: in"},
        {"no status line, two-space indent", "{\n  \"theme\": \"dark\",\n  \"n\": -0.0e+10\n}\n"},
        {"one line, no spaces", R"({"a":[1,{"b":null}],"c":true})"},
        {"empty object", "{}"},
        {"duplicate status lines: the last one counts",
            R"({"statusLine": {"type": "command", "command": "echo first"}, "statusLine": {"type": "command", "command": "printf last"}})",
            false, "last"},
        {"no settings.json", std::nullopt},
        {"valid JSON nested deeper than a call stack goes",
            "{\"deep\": " + QByteArray(200000, '[') + QByteArray(200000, ']') + ", \"theme\": \"dark\"}"},
        {"a symbolic link to a file elsewhere", realShaped, true, "it's: in"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Home home;
        const QString target = c.symlink ? home.root.filePath(u"dotfiles/claude.json"_s) : home.settings();
        if (c.before) {
            writeAll(target, *c.before);
            if (c.symlink) {
                QDir().mkpath(home.file->claudeDirectory);
                ASSERT_TRUE(QFile::link(target, home.settings()));
            }
        }

        EXPECT_FALSE(home.file->isConnected());
        ASSERT_EQ(failureOf(home.file->connect()), QString());
        EXPECT_TRUE(home.file->isConnected());
        const QByteArray connected = readAll(target);
        const auto text = ClaudeSettingsText::parse(connected);
        ASSERT_TRUE(text);
        if (c.before) {
            // Outside the status line's value not a byte moved.
            const auto old = ClaudeSettingsText::parse(*c.before);
            const auto member = old->member(u"statusLine"_s);
            EXPECT_EQ(member ? text->withValue(u"statusLine"_s, old->valueBytes(*member))
                             : text->without(u"statusLine"_s),
                *c.before);
            EXPECT_EQ(modeOf(target), ownerOnly);
            EXPECT_EQ(QFileInfo(home.settings()).isSymLink(), c.symlink);
            // The user's padding is kept.
            EXPECT_TRUE(*c.before != realShaped || connected.contains(R"("padding": 0})"));
        }
        EXPECT_EQ(modeOf(home.file->scriptPath()), ownerOnly | QFileDevice::ExeOwner);
        EXPECT_EQ(modeOf(home.file->directory), ownerOnly | QFileDevice::ExeOwner);
        // The user's own status line still prints, from the same input.
        EXPECT_EQ(runStatusLine(home.command(), "in"), QByteArray(c.previousOutput));

        home.file->disconnect();
        EXPECT_FALSE(home.file->isConnected());
        EXPECT_EQ(readAll(target), c.before.value_or("<missing>"));
        EXPECT_EQ(QFileInfo(home.settings()).isSymLink(), c.symlink);
        EXPECT_EQ(home.ourFiles(), QStringList());
    }
}

TEST(ClaudeSettings, AFileThatCannotBeEditedIsLeftUnchangedWithASentence)
{
    struct Case {
        const char* name;
        QByteArray before; // empty: made by the case
        QString (*sentence)(const QString&);
    };
    const Case cases[] = {
        {"trailing comma", R"({"statusLine": {"type": "command", "command": "x"},})",
            &claude_sentences::notJson},
        {"two documents", "{} {}", &claude_sentences::notJson},
        {"top level is a list", "[]", &claude_sentences::notJson},
        {"a raw tab in a string", "{\"a\": \"x\ty\"}", &claude_sentences::notJson},
        {"an unclosed bracket deep down", "{\"a\": " + QByteArray(100000, '[') + "}",
            &claude_sentences::notJson},
        {"larger than the cap", "{\"a\": \"" + QByteArray(ClaudeFiles::sizeCap, 'x') + "\"}",
            &claude_sentences::tooLarge},
        {"a folder in its place", {}, &claude_sentences::unreadable},
        {"a link into a folder that cannot be written", {}, &claude_sentences::notWritable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Home home;
        QDir().mkpath(home.file->claudeDirectory);
        if (QByteArray(c.name).startsWith("a folder"))
            QDir().mkpath(home.settings());
        else if (QByteArray(c.name).startsWith("a link")) // even root cannot write there
            QFile::link(u"/proc/brenvo-none/settings.json"_s, home.settings());
        else
            writeAll(home.settings(), c.before);
        EXPECT_EQ(failureOf(home.file->connect()), c.sentence(home.settings()));
        if (!c.before.isEmpty()) {
            EXPECT_EQ(readAll(home.settings()), c.before);
        }
        EXPECT_FALSE(home.file->isConnected());
        EXPECT_EQ(home.ourFiles(), QStringList());
    }
}

TEST(ClaudeSettings, DisconnectPutsBackOnlyWhatIsStillOurs)
{
    Home home;
    writeAll(home.settings(), realShaped);
    ASSERT_EQ(failureOf(home.file->connect()), QString());

    // The user changed another setting since: that change stays, the old status line comes back.
    writeAll(home.settings(), readAll(home.settings()).replace("\"opus\"", "\"haiku\""));
    home.file->disconnect();
    QByteArray expected = realShaped;
    EXPECT_EQ(readAll(home.settings()), expected.replace("\"opus\"", "\"haiku\""));

    // The user pointed the status line elsewhere since: the file is theirs alone.
    ASSERT_EQ(failureOf(home.file->connect()), QString());
    const QByteArray theirs = ClaudeSettingsText::parse(readAll(home.settings()))
                                  ->withValue(u"statusLine"_s, R"({"type": "command", "command": "date"})");
    writeAll(home.settings(), theirs);
    EXPECT_FALSE(home.file->isConnected());
    home.file->disconnect();
    EXPECT_EQ(readAll(home.settings()), theirs);
    EXPECT_EQ(home.ourFiles(), QStringList());

    // A file that cannot be written back keeps our status line, and its script, until it can.
    ASSERT_EQ(failureOf(home.file->connect()), QString());
    const QByteArray ours = readAll(home.settings());
    struct Refusing final : ClaudeFiles {
        QString refused;
        bool write(const QString& path, const QByteArray& bytes, QFileDevice::Permissions mode) override
        {
            return path != refused && ClaudeFiles::write(path, bytes, mode);
        }
    };
    auto refusing = std::make_shared<Refusing>();
    refusing->refused = home.settings();
    home.file->files = refusing;
    home.file->disconnect();
    EXPECT_EQ(readAll(home.settings()), ours);
    EXPECT_TRUE(home.file->isDisconnecting() && QFileInfo::exists(home.file->scriptPath()));
    EXPECT_FALSE(home.file->isConnected()); // the user asked for it: never read as connected again
    home.file->files = std::make_shared<ClaudeFiles>();
    home.file->disconnect();
    EXPECT_EQ(readAll(home.settings()), theirs);
    EXPECT_FALSE(home.file->isDisconnecting());
}

TEST(ClaudeSettings, DisconnectKeepsOurFilesWhileTheFileMayNameTheScriptButCannotBeRead)
{
    struct Case {
        const char* name;
        QByteArray (*broken)(QByteArray connected);
        bool namesScript = true;
    };
    const Case cases[] = {
        {"a trailing comma", [](QByteArray c) { return c.insert(c.lastIndexOf('}'), ','); }},
        {"a comment", [](QByteArray c) { return "// mine\n" + c; }},
        {"larger than the cap", [](QByteArray c) { return c + QByteArray(ClaudeFiles::sizeCap, ' '); }},
        {"rewritten without the script", [](QByteArray) { return QByteArray(R"({"theme": "dark",})"); },
            false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Home home;
        writeAll(home.settings(), realShaped);
        ASSERT_EQ(failureOf(home.file->connect()), QString());
        const QByteArray connected = readAll(home.settings());
        const QStringList ours = home.ourFiles();
        const QByteArray broken = c.broken(connected);
        writeAll(home.settings(), broken);
        const auto said = home.file->disconnect();
        EXPECT_EQ(readAll(home.settings()), broken);
        if (!c.namesScript) {
            EXPECT_EQ(said, std::nullopt);
            EXPECT_EQ(home.ourFiles(), QStringList());
            continue;
        }
        // Not undone, and said so: never a disconnect that only looks done. A later run still
        // knows it is to be finished.
        EXPECT_EQ(said, claude_sentences::notRestored(home.settings()));
        EXPECT_EQ(home.ourFiles(), QStringList {"claude-disconnect-pending"} + ours);
        ClaudeUsageFile later;
        later.claudeDirectory = home.file->claudeDirectory;
        later.directory = home.file->directory;
        EXPECT_TRUE(later.isDisconnecting() && !later.isConnected());
        // Fixed, the status line still works, and the next try puts the user's line back.
        writeAll(home.settings(), connected);
        EXPECT_FALSE(home.file->isConnected());
        EXPECT_EQ(runStatusLine(home.command(), "in"), QByteArray("it's: in"));
        EXPECT_EQ(home.file->disconnect(), std::nullopt);
        EXPECT_EQ(readAll(home.settings()), realShaped);
        EXPECT_EQ(home.ourFiles(), QStringList());
    }
}

TEST(ClaudeSettings, AFileThatDoesNotReadForAMomentLeavesTheStatusLineConnected)
{
    Home home;
    writeAll(home.settings(), realShaped);
    const QByteArray halfSaved = QByteArray(realShaped).insert(realShaped.lastIndexOf('}'), ',');
    writeAll(home.settings(), halfSaved);
    EXPECT_FALSE(home.file->isConnected()); // never connected: no script of ours
    writeAll(home.settings(), realShaped);
    ASSERT_EQ(failureOf(home.file->connect()), QString());
    const QByteArray connected = readAll(home.settings());
    for (const QByteArray& moment : {QByteArray(connected).insert(connected.lastIndexOf('}'), ','),
             QByteArray(connected + QByteArray(ClaudeFiles::sizeCap, ' ')), QByteArray("{\"theme\": ")}) {
        writeAll(home.settings(), moment);
        EXPECT_TRUE(home.file->isConnected()) << moment.left(40).toStdString();
    }
    QFile::remove(home.settings()); // an editor that deletes before it writes
    EXPECT_TRUE(home.file->isConnected());
    writeAll(home.settings(), realShaped); // rewritten without our script
    EXPECT_FALSE(home.file->isConnected());
    // Asked to connect again while a disconnect waits: that disconnect is no longer wanted.
    writeAll(home.settings(), connected + ",");
    EXPECT_TRUE(home.file->disconnect().has_value());
    writeAll(home.settings(), connected);
    ASSERT_EQ(failureOf(home.file->connect()), QString());
    EXPECT_TRUE(home.file->isConnected() && !home.file->isDisconnecting());
    EXPECT_FALSE(home.ourFiles().contains("claude-disconnect-pending"));
}

TEST(ClaudeSettings, OurEntryWithNothingSavedIsRemovedAtDisconnectNeverWrittenBack)
{
    // Our folder reset under a connected file: connecting again finds our entry with no state.
    Home home;
    writeAll(home.settings(), realShaped);
    ASSERT_EQ(failureOf(home.file->connect()), QString());
    const QByteArray connected = readAll(home.settings());
    const QByteArray withoutOurs = ClaudeSettingsText::parse(connected)->without(u"statusLine"_s);
    ASSERT_TRUE(QDir(home.file->directory).removeRecursively());
    ASSERT_EQ(failureOf(home.file->connect()), QString());
    EXPECT_TRUE(home.file->isConnected());
    for (const QString& name : home.ourFiles())
        EXPECT_FALSE(readAll(home.file->directory + u'/' + name).contains("\"statusLine\""))
            << name.toStdString();
    home.file->disconnect();
    EXPECT_EQ(readAll(home.settings()), withoutOurs);
    EXPECT_EQ(home.ourFiles(), QStringList());

    // What such a connect left before: a byte copy holding our entry beside a state saying "none".
    writeAll(home.settings(), connected);
    const QJsonObject state {{u"existed"_s, true},
        {u"written"_s,
            QString::fromLatin1(QCryptographicHash::hash(connected, QCryptographicHash::Sha256).toHex())}};
    writeAll(home.file->directory + u"/claude-statusline-state.json"_s, QJsonDocument(state).toJson());
    writeAll(home.file->directory + u"/claude-settings-backup.json"_s, connected);
    home.file->disconnect();
    EXPECT_EQ(readAll(home.settings()), withoutOurs);
    EXPECT_EQ(home.ourFiles(), QStringList());
}

TEST(ClaudeSettings, ALineThatWrapsOrTestsTheScriptIsTheUsers)
{
    Home home;
    ASSERT_EQ(failureOf(home.file->connect()), QString());
    const QString ours = home.command();
    ASSERT_TRUE(home.file->isConnected());
    home.file->disconnect();
    for (const QString& theirs : {ours + u" | tr a-z A-Z"_s, u"test -x "_s + ours + u" && "_s + ours}) {
        SCOPED_TRACE(theirs.toStdString());
        const QByteArray before = withCommand(realShaped, theirs);

        // Not ours at disconnect: left as it is.
        writeAll(home.settings(), before);
        EXPECT_FALSE(home.file->isConnected());
        home.file->disconnect();
        EXPECT_EQ(readAll(home.settings()), before);

        // Not ours at connect: it is the line to go back to, even after other changes.
        ASSERT_EQ(failureOf(home.file->connect()), QString());
        EXPECT_EQ(home.command(), ours);
        EXPECT_EQ(runStatusLine(ours, R"({"rate_limits": {}})"), QByteArray()); // and it ends
        writeAll(home.settings(), readAll(home.settings()).replace("\"opus\"", "\"haiku\""));
        home.file->disconnect();
        QByteArray expected = before;
        EXPECT_EQ(readAll(home.settings()), expected.replace("\"opus\"", "\"haiku\""));
    }
    // White space around our own command is still ours.
    writeAll(home.settings(), realShaped);
    ASSERT_EQ(failureOf(home.file->connect()), QString());
    writeAll(home.settings(), withCommand(readAll(home.settings()), u" \t"_s + ours + u"\n"_s));
    EXPECT_TRUE(home.file->isConnected());
    home.file->disconnect();
    EXPECT_EQ(readAll(home.settings()), realShaped);
}

// The child of the kill test: connects or disconnects, and kills itself at step BRENVO_KILL_AT of
// its file operations.
struct KilledAt final : ClaudeFiles {
    int step = qEnvironmentVariableIntValue("BRENVO_KILL_AT"), steps = 0;
    void reached() override
    {
        if (++steps == step)
            ::kill(::getpid(), SIGKILL);
    }
};

TEST(ClaudeKill, DISABLED_Child)
{
    Home home;
    home.file->claudeDirectory = qEnvironmentVariable("BRENVO_CLAUDE_DIR");
    home.file->directory = qEnvironmentVariable("BRENVO_DATA_DIR");
    home.file->files = std::make_shared<KilledAt>();
    if (qEnvironmentVariable("BRENVO_KILL_IN") == u"connect"_s) {
        EXPECT_EQ(failureOf(home.file->connect()), QString());
    } else {
        home.file->disconnect();
    }
}

TEST(ClaudeKill, AKillAtAnyStepLeavesAWholeValidSettingsFile)
{
    for (const QString& operation : {u"connect"_s, u"disconnect"_s}) {
        int kills = 0, leftovers = 0;
        for (int step = 1; step < 30; ++step) {
            SCOPED_TRACE(operation.toStdString() + " killed at step " + std::to_string(step));
            Home home;
            writeAll(home.settings(), realShaped);
            QByteArray connected;
            if (operation == u"disconnect"_s) {
                ASSERT_EQ(failureOf(home.file->connect()), QString());
                connected = readAll(home.settings());
            }
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(u"BRENVO_CLAUDE_DIR"_s, home.file->claudeDirectory);
            env.insert(u"BRENVO_DATA_DIR"_s, home.file->directory);
            env.insert(u"BRENVO_KILL_AT"_s, QString::number(step));
            env.insert(u"BRENVO_KILL_IN"_s, operation);
            child.setProcessEnvironment(env);
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(QCoreApplication::applicationFilePath(),
                {u"--gtest_filter=ClaudeKill.DISABLED_Child"_s, u"--gtest_also_run_disabled_tests"_s});
            ASSERT_TRUE(child.waitForFinished(30000));
            const bool killed = child.exitStatus() == QProcess::CrashExit;

            const QByteArray after = readAll(home.settings());
            ASSERT_TRUE(ClaudeSettingsText::parse(after)) << after.toStdString();
            if (operation == u"disconnect"_s) {
                EXPECT_TRUE(after == connected || after == realShaped);
            }
            const auto leftover = [&] {
                return filesIn(home.file->claudeDirectory).filter(u".brenvo-tmp"_s)
                    + home.ourFiles().filter(u".brenvo-tmp"_s);
            };
            leftovers += leftover().size();
            // Whatever was left, a disconnect brings the file back exactly, and nothing beside it.
            home.file->disconnect();
            EXPECT_EQ(readAll(home.settings()), realShaped);
            EXPECT_EQ(filesIn(home.file->claudeDirectory), QStringList {u"settings.json"_s});
            EXPECT_EQ(home.ourFiles(), QStringList());
            if (!killed) {
                EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
                break;
            }
            ++kills;
        }
        EXPECT_GE(kills, 5) << operation.toStdString();
        EXPECT_GT(leftovers, 0) << operation.toStdString();
    }
}

TEST(ClaudeKill, StartConnectAndDisconnectRemoveWhatAKilledWriteLeft)
{
    for (const char* next : {"start", "connect", "disconnect"}) {
        SCOPED_TRACE(next);
        // settings.json is a link into a dotfiles repository: the write happens beside its target.
        Home home;
        const QString dotfiles = home.root.filePath(u"dotfiles"_s);
        writeAll(dotfiles + u"/claude.json"_s, realShaped);
        QDir().mkpath(home.file->claudeDirectory);
        ASSERT_TRUE(QFile::link(dotfiles + u"/claude.json"_s, home.settings()));
        QDir().mkpath(home.file->directory);
        const QStringList left = {dotfiles + u"/.claude.json.brenvo-tmp"_s,
            home.file->directory + u"/.claude-statusline.sh.brenvo-tmp"_s,
            home.file->directory + u"/.claude-statusline-state.json.brenvo-tmp"_s};
        for (const QString& path : left)
            writeAll(path, "half");

        auto started = std::make_shared<ClaudeUsageFile>();
        started->claudeDirectory = home.file->claudeDirectory;
        started->directory = home.file->directory;
        started->askAccount = home.file->askAccount;
        if (next == std::string("start")) {
            EXPECT_FALSE(started->isConnected());
        } else if (next == std::string("connect")) {
            EXPECT_EQ(failureOf(started->connect()), QString());
        } else {
            started->disconnect();
        }
        EXPECT_EQ(filesIn(dotfiles), QStringList {u"claude.json"_s});
        for (const QString& path : left)
            EXPECT_FALSE(QFileInfo::exists(path)) << path.toStdString();
    }
}

TEST(ClaudeStatusLine, TheScriptKeepsInputsWithLimitsAndTheReportReadsThem)
{
    Home home;
    ASSERT_EQ(failureOf(home.file->connect()), QString()); // no settings.json: no status line to hand on
    const QByteArray limits
        = R"({"session_id": "x", "rate_limits": {"five_hour": {"used_percentage": 12.5, "resets_at": 1796652000}, "seven_day": {"used_percentage": 81, "resets_at": 1797170400}}})";
    EXPECT_EQ(runStatusLine(home.command(), limits), QByteArray());
    EXPECT_EQ(runStatusLine(home.command(), R"({"session_id": "y", "model": {"id": "claude-opus"}})"),
        QByteArray());
    EXPECT_EQ(readAll(home.file->recordPath()), limits); // the input without limits was not kept
    EXPECT_EQ(modeOf(home.file->recordPath()), ownerOnly);

    // The record is newer than the last ask of the probe, which is not due yet.
    QFile record(home.file->recordPath());
    ASSERT_TRUE(record.open(QIODevice::ReadWrite));
    record.setFileTime(home.clock.addSecs(-5), QFileDevice::FileModificationTime);
    record.close();
    home.file->askedAt = home.clock.addSecs(-10);
    home.file->account = ClaudeAccount {true, u"claude.ai"_s, u"robin@example.com"_s, {}, u"max"_s};
    const auto report = runTask(home.file->report());
    ASSERT_TRUE(report);
    EXPECT_EQ(*home.probes, 0);
    const auto at = [](qint64 s) { return QDateTime::fromSecsSinceEpoch(s, QTimeZone::utc()); };
    EXPECT_EQ(report->meters,
        (QList<UsageMeter> {{u"five_hour"_s, u"5-hour limit"_s, 0.125, at(1796652000)},
            {u"seven_day"_s, u"Weekly limit"_s, 0.81, at(1797170400)}}));
    EXPECT_EQ(report->plan, u"Max"_s);
    EXPECT_EQ(report->account, u"robin@example.com"_s);
    EXPECT_EQ(report->asOf, home.clock.addSecs(-5));
}

TEST(ClaudeStatusLine, TheUsersLineGetsTheWholeInputWhenTheRecordCannotBeWritten)
{
    Home home;
    writeAll(home.settings(), realShaped);
    ASSERT_EQ(failureOf(home.file->connect()), QString());
    // Read-only, and no file may grow by a byte (as on a full disk; root ignores the mode).
    ASSERT_TRUE(QFile::setPermissions(home.file->directory, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const QByteArray input = R"({"rate_limits": {"five_hour": {"used_percentage": 12.5}}, "pad": ")"
        + QByteArray(200000, 'p') + "\"}\nsecond line\n";
    const QByteArray printed = runStatusLine(home.command(), input, u"trap '' XFSZ; ulimit -f 0; "_s);
    QFile::setPermissions(
        home.file->directory, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(printed, "it's: " + input.left(input.indexOf('\n') + 1) + "it's: second line\n");
    EXPECT_FALSE(QFileInfo::exists(home.file->recordPath()));
    EXPECT_EQ(home.ourFiles().filter(u"claude-status.json"_s), QStringList());
}

TEST(ClaudeProbe, TheUsageTextBecomesMeters)
{
    const QDateTime now(QDate(2026, 12, 7), QTime(14, 0), QTimeZone::utc());
    const QString text = uR"(
Current session: 18% used · resets Dec 7, 3:59pm (Europe/Paris)
Current week (all models): 81% used · resets Jan 2, 2027, 9am (America/New_York)
Current week (Sonnet only): 4.5% used · resets Dec 12, 12am (Asia/Tokyo)
Extra usage: not enabled
Current month: 3% used · resets soon
)"_s;
    const auto at = [](int y, int mo, int d, int h, int mi, const char* zone) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi), QTimeZone(zone)).toUTC();
    };
    EXPECT_EQ(claude_limits::fromUsageText(text, now),
        (QList<UsageMeter> {
            {u"five_hour"_s, u"5-hour limit"_s, 0.18, at(2026, 12, 7, 15, 59, "Europe/Paris")},
            {u"seven_day"_s, u"Weekly limit"_s, 0.81, at(2027, 1, 2, 9, 0, "America/New_York")},
            {u"seven_day_sonnet_only"_s, u"Weekly limit (Sonnet only)"_s, 0.045,
                at(2026, 12, 12, 0, 0, "Asia/Tokyo")}}));
    // Signed in without a plan: a cost summary, no window.
    EXPECT_TRUE(
        claude_limits::fromUsageText(u"Total cost:            $0.0000\nUsage:  0 input, 0 output\n"_s, now)
            .isEmpty());
}

TEST(ClaudeProbe, AsksOnItsOwnIntervalAndWhenTheCardIsWatched)
{
    Home home;
    *home.usageText = u"Current session: 18% used · resets Dec 7, 3:59pm (Europe/Paris)"_s;
    const auto report = [&] { return runTask(home.file->report()); };
    ASSERT_TRUE(report());
    EXPECT_EQ(*home.probes, 1);
    home.clock = home.clock.addSecs(300);
    report();
    runTask(home.file->askNow()); // asked 300 s ago
    EXPECT_EQ(*home.probes, 2);
    home.clock = home.clock.addSecs(100);
    runTask(home.file->askNow()); // 100 s ago: fresh enough
    report();
    EXPECT_EQ(*home.probes, 2);
    home.clock = home.clock.addSecs(600);
    report();
    EXPECT_EQ(*home.probes, 3);

    // A sign-in without plan limits is said at once, and the probe is not run.
    Home apiKey({true, u"api_key"_s, {}, {}, {}});
    EXPECT_EQ(failureOf(apiKey.file->report()), claude_sentences::apiKey());
    EXPECT_EQ(*apiKey.probes, 0);
}

TEST(ClaudeProgram, ConnectSaysWhyTheRealProgramHasNoLimits)
{
    const QString tools = QStringLiteral(BRENVO_SOURCE_DIR "/build/tools/node_modules/.bin");
    ASSERT_TRUE(QFileInfo(tools + u"/claude"_s).isExecutable()) << "scripts/setup installs it";
    ManualScheduler scheduler;
    Home home;
    const struct {
        const char* name;
        QString path;
        QString sentence;
    } cases[] = {
        {"signed out", tools, claude_sentences::notSignedIn()},
        {"not installed", home.root.filePath(u"nowhere"_s), claude_sentences::notInstalled()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto tool = std::make_shared<ToolAccount>(
            u"claude"_s, scheduler, ToolAccount::Places {c.path, {}, home.root.path(), {}});
        tool->environment = {{u"HOME"_s, home.root.path()}};
        home.file->askAccount = ClaudeUsageFile::accountAsker(tool);
        EXPECT_EQ(failureOf(home.file->connect()), c.sentence);
    }
    EXPECT_FALSE(QFileInfo::exists(home.settings()));
}
