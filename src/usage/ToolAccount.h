#pragma once

#include "model/Scheduler.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <QCoroTask>

#include <chrono>
#include <memory>
#include <optional>

namespace brenvo {

// What a finished child left behind.
struct ToolRun {
    bool started = false; // false: the program could not be started at all
    int exitCode = -1; // -1 when it did not exit by itself
    QByteArray output; // stdout, at most the cap
    QByteArray errors; // stderr, at most the cap
    bool timedOut = false; // killed at its time limit
    bool overflowed = false; // killed for writing more than the cap
};

struct ToolRunOptions {
    std::optional<QByteArray> input; // written to stdin, which is then closed; none: stdin closed
    QMap<QString, QString> environment; // added to the child's
    Duration limit = std::chrono::seconds(20);
    qint64 cap = 1 << 20; // bytes per output stream
};

// A running child that is spoken to line by line (one JSON object a line each way). It lives in a
// process group of its own so that whatever it starts (an npm tool is node starting a binary) ends
// with it; its time limit, counted from the start, kills the whole group. No group outlives the
// application: every one still running is killed when it quits, even where the child's object is
// never destroyed (a coroutine suspended on it).
class ToolChild : public QObject, public std::enable_shared_from_this<ToolChild> {
    Q_OBJECT
public:
    ToolChild(Scheduler& scheduler, qint64 cap);
    ~ToolChild() override;

    bool hasEnded() const { return m_ended; }
    bool timedOut() const { return m_run.timedOut; }
    qint64 pid() const { return m_pid; }

    // False when the child has ended or its stdin is closed.
    bool writeLine(const QByteArray& line);
    void closeInput();
    // The next line of stdout without its newline; nothing once the child has ended and every
    // line has been read.
    QCoro::Task<std::optional<QByteArray>> readLine();
    // Waits for the child to end by itself (its time limit still applies).
    QCoro::Task<ToolRun> wait();
    // Closes stdin, gives the child `grace` to exit, then kills it. Always ends the child.
    QCoro::Task<ToolRun> finish(Duration grace);
    // Kills the child's process group at once.
    void kill();
    // Kills the group of every child still running. Done when the application quits.
    static void killAll();

Q_SIGNALS:
    void changed();

private:
    friend class ToolAccount;
    void launch(const QString& program, const QStringList& arguments,
        const QMap<QString, QString>& environment, const QString& runtimeFolder,
        std::optional<QByteArray> input, bool speaks, Duration limit);
    void take(QProcess::ProcessChannel channel);
    void end();
    void notify();

    Scheduler& m_scheduler;
    qint64 m_cap;
    std::unique_ptr<QTemporaryDir> m_spareFolder; // only when our own empty folder is unfit
    QProcess m_process;
    qint64 m_pid = 0;
    bool m_ended = false;
    bool m_inputOpen = false;
    bool m_notifying = false; // an emission of changed is queued
    ToolRun m_run;
};

// Finds a command-line tool (codex, claude) and runs it as a child: an argument list, never a
// shell; the tool's own folder first on the child's PATH; an empty working folder; a time limit;
// capped output. Every wait is awaited, never blocking the GUI thread.
class ToolAccount {
public:
    // Where a tool is looked for, in order: PATH, the login shell, then the folders.
    struct Places {
        QString path; // a PATH value
        QString shell; // the login shell; empty: not asked
        QString home; // HOME of the login shell
        QStringList folders;
        static Places
        system(); // this process's PATH, $SHELL, ~/.local/bin, ~/.npm-global/bin, /usr/local/bin
    };

    static constexpr Duration shellLimit = std::chrono::seconds(5);

    ToolAccount(QString name, Scheduler& scheduler, Places places = Places::system());

    const QString& name() const { return m_name; }
    Scheduler& scheduler() const { return m_scheduler; }
    // Added to the environment of every child (a test's throwaway HOME).
    QMap<QString, QString> environment;
    // Where the children's one empty working folder, "Brenvo-empty", is kept: a folder that only
    // this user can write to. Empty: the user's runtime folder.
    QString runtimeFolder;

    // The empty working folder in runtimeFolder, made on first use with mode 0700. Nothing when an
    // entry of that name is not a real folder of ours with that mode and cannot be replaced.
    static std::optional<QString> emptyFolder(const QString& runtimeFolder);

    // The tool's full path, or nothing when it is not installed.
    QCoro::Task<std::optional<QString>> locate();

    // Runs program to its end or its time limit.
    QCoro::Task<ToolRun> run(QString program, QStringList arguments, ToolRunOptions options = {});
    // Starts program with stdin and stdout open for lines. The limit counts from now.
    std::shared_ptr<ToolChild> start(const QString& program, const QStringList& arguments,
        Duration limit = std::chrono::seconds(20), qint64 cap = 1 << 20);

private:
    QMap<QString, QString> childEnvironment(
        const QString& program, const QMap<QString, QString>& extra) const;
    QString runtime() const;
    QCoro::Task<std::optional<QString>> askShell();

    QString m_name;
    Scheduler& m_scheduler;
    Places m_places;
    std::shared_ptr<std::optional<QString>> m_found; // shared with a look-up under way
};

} // namespace brenvo
