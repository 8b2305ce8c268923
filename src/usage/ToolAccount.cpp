#include "usage/ToolAccount.h"

#include "model/Log.h"

#include <QCoreApplication>
#include <QCoroSignal>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>

#include <set>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brenvo {

namespace {

bool isProgram(const QString& path)
{
    const QFileInfo info(path);
    return info.isAbsolute() && info.isFile() && info.isExecutable();
}

// Only a plain tool name ever reaches the login shell's command line.
bool isPlainName(const QString& name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9._-]*$"));
    return plain.match(name).hasMatch();
}

// The process groups of the children still running. A child's object may never be destroyed (a
// coroutine that waits on it stays suspended when the event loop ends), so quitting kills them
// from here; so does the end of the process, for a quit that never ran the loop.
class LiveGroups {
public:
    static LiveGroups& all()
    {
        static LiveGroups groups;
        return groups;
    }
    ~LiveGroups() { killAll(); }

    void add(pid_t group)
    {
        m_groups.insert(group);
        QCoreApplication* app = QCoreApplication::instance();
        if (app && m_watched != app) {
            m_watched = app;
            QObject::connect(app, &QCoreApplication::aboutToQuit, app, [] { ToolChild::killAll(); });
        }
    }
    void remove(pid_t group) { m_groups.erase(group); }
    void killAll()
    {
        for (const pid_t group : std::exchange(m_groups, {})) {
            ::kill(-group, SIGKILL);
            ::kill(group, SIGKILL); // in case it has not made its group yet
        }
    }

private:
    std::set<pid_t> m_groups;
    QPointer<QCoreApplication> m_watched;
};

const char* const emptyFolderName = "Brenvo-empty";

} // namespace

// ToolChild

ToolChild::ToolChild(Scheduler& scheduler, qint64 cap)
    : m_scheduler(scheduler)
    , m_cap(cap)
{
}

ToolChild::~ToolChild()
{
    m_process.disconnect(this);
    if (m_process.state() != QProcess::NotRunning) {
        if (m_pid > 0)
            ::kill(-static_cast<pid_t>(m_pid), SIGKILL);
        m_process.kill();
        m_process.waitForFinished(2000); // after SIGKILL: only the reaping
    }
    if (m_pid > 0)
        LiveGroups::all().remove(static_cast<pid_t>(m_pid));
}

void ToolChild::killAll()
{
    LiveGroups::all().killAll();
}

void ToolChild::launch(const QString& program, const QStringList& arguments,
    const QMap<QString, QString>& environment, const QString& runtimeFolder, std::optional<QByteArray> input,
    bool speaks, Duration limit)
{
    // One folder for every child: claude records each folder it is started in.
    std::optional<QString> folder = ToolAccount::emptyFolder(runtimeFolder);
    if (!folder) {
        m_spareFolder
            = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/Brenvo-empty-XXXXXX"));
        if (m_spareFolder->isValid())
            folder = m_spareFolder->path();
    }
    if (!folder) {
        qCWarning(logApp, "%s", qUtf8Printable(QStringLiteral("No empty folder to run %1 in").arg(program)));
        end();
        return;
    }
    QProcessEnvironment env;
    for (auto it = environment.cbegin(); it != environment.cend(); ++it)
        env.insert(it.key(), it.value());
    m_process.setProcessEnvironment(env);
    m_process.setWorkingDirectory(*folder);
    m_process.setProgram(program);
    m_process.setArguments(arguments);
    if (!speaks && !input)
        m_process.setStandardInputFile(QProcess::nullDevice());
    // A group of its own, so that a kill reaches whatever the tool started.
    m_process.setChildProcessModifier([] { ::setpgid(0, 0); });
    connect(&m_process, &QProcess::started, this, [this] { m_run.started = true; });
    connect(&m_process, &QProcess::readyReadStandardOutput, this, [this] { take(QProcess::StandardOutput); });
    connect(&m_process, &QProcess::readyReadStandardError, this, [this] { take(QProcess::StandardError); });
    connect(&m_process, &QProcess::finished, this, [this] { end(); });
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            end();
    });
    m_process.start();
    m_pid = m_process.processId();
    if (m_ended)
        return;
    if (m_pid > 0)
        LiveGroups::all().add(static_cast<pid_t>(m_pid));
    if (input) {
        m_process.write(*input);
        m_process.closeWriteChannel();
    }
    m_inputOpen = speaks;
    m_scheduler.after(limit, this, [this] {
        if (m_ended)
            return;
        m_run.timedOut = true;
        kill();
    });
}

void ToolChild::take(QProcess::ProcessChannel channel)
{
    QByteArray& into = channel == QProcess::StandardOutput ? m_run.output : m_run.errors;
    const QByteArray data = channel == QProcess::StandardOutput ? m_process.readAllStandardOutput()
                                                                : m_process.readAllStandardError();
    if (data.isEmpty())
        return;
    if (into.size() + data.size() > m_cap) {
        into.append(data.left(std::max<qint64>(0, m_cap - into.size())));
        if (!m_run.overflowed) {
            m_run.overflowed = true;
            kill();
        }
    } else {
        into.append(data);
    }
    notify();
}

void ToolChild::end()
{
    if (m_ended)
        return;
    take(QProcess::StandardOutput);
    take(QProcess::StandardError);
    m_ended = true;
    m_inputOpen = false;
    if (m_run.started && !m_run.timedOut && !m_run.overflowed
        && m_process.exitStatus() == QProcess::NormalExit)
        m_run.exitCode = m_process.exitCode();
    // Whatever the tool left running in its group goes with it. The group's number is not reused
    // while any member lives, so this reaches only our own.
    if (m_pid > 0) {
        ::kill(-static_cast<pid_t>(m_pid), SIGKILL);
        LiveGroups::all().remove(static_cast<pid_t>(m_pid));
    }
    notify();
}

// A waiter on `changed` is woken by a queued call per emission, and only the first call stops
// it: two emissions before the loop runs (output and the end seen in one turn) would wake it twice,
// the second time after it has ended. So there is one emission at a time.
void ToolChild::notify()
{
    if (m_notifying)
        return;
    m_notifying = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_notifying = false;
            Q_EMIT changed();
        },
        Qt::QueuedConnection);
}

void ToolChild::kill()
{
    if (m_ended)
        return;
    if (m_pid > 0)
        ::kill(-static_cast<pid_t>(m_pid), SIGKILL);
    m_process.kill();
}

bool ToolChild::writeLine(const QByteArray& line)
{
    if (m_ended || !m_inputOpen)
        return false;
    m_process.write(line + '\n');
    return true;
}

void ToolChild::closeInput()
{
    if (!m_inputOpen)
        return;
    m_inputOpen = false;
    m_process.closeWriteChannel();
}

QCoro::Task<std::optional<QByteArray>> ToolChild::readLine()
{
    const auto keep = shared_from_this(); // alive until the line is read
    for (;;) {
        const qsizetype newline = m_run.output.indexOf('\n');
        if (newline >= 0) {
            QByteArray line = m_run.output.left(newline);
            m_run.output.remove(0, newline + 1);
            if (line.endsWith('\r'))
                line.chop(1);
            co_return line;
        }
        if (m_ended) {
            if (m_run.output.isEmpty())
                co_return std::nullopt;
            co_return std::exchange(m_run.output, {});
        }
        co_await qCoro(this, &ToolChild::changed);
    }
}

QCoro::Task<ToolRun> ToolChild::wait()
{
    const auto keep = shared_from_this();
    while (!m_ended)
        co_await qCoro(this, &ToolChild::changed);
    co_return m_run;
}

QCoro::Task<ToolRun> ToolChild::finish(Duration grace)
{
    const auto keep = shared_from_this();
    closeInput();
    if (!m_ended)
        m_scheduler.after(grace, this, [this] { kill(); });
    co_return co_await wait();
}

// ToolAccount

ToolAccount::Places ToolAccount::Places::system()
{
    const QString home = QDir::homePath();
    return Places {qEnvironmentVariable("PATH"), qEnvironmentVariable("SHELL"), home,
        {home + QStringLiteral("/.local/bin"), home + QStringLiteral("/.npm-global/bin"),
            QStringLiteral("/usr/local/bin")}};
}

ToolAccount::ToolAccount(QString name, Scheduler& scheduler, Places places)
    : m_name(std::move(name))
    , m_scheduler(scheduler)
    , m_places(std::move(places))
    , m_found(std::make_shared<std::optional<QString>>())
{
}

std::optional<QString> ToolAccount::emptyFolder(const QString& runtimeFolder)
{
    if (!QDir::isAbsolutePath(runtimeFolder))
        return std::nullopt;
    const QString path = runtimeFolder + u'/' + QLatin1String(emptyFolderName);
    const QByteArray native = QFile::encodeName(path);
    for (int attempt = 0; attempt < 2; ++attempt) {
        ::mkdir(native.constData(), 0700); // most often it is there already
        struct stat info { };
        if (::lstat(native.constData(), &info) != 0)
            break;
        if (S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 07777) == 0700)
            return path;
        // Not what we make: a link or a file goes (never what a link points to), and so does an
        // empty folder of another mode. Anything with contents is left alone.
        qCWarning(logApp, "%s",
            qUtf8Printable(QStringLiteral("%1 is not a private folder of this user").arg(path)));
        if (attempt > 0
            || (S_ISDIR(info.st_mode) ? ::rmdir(native.constData()) : ::unlink(native.constData())) != 0)
            break;
    }
    return std::nullopt;
}

QMap<QString, QString> ToolAccount::childEnvironment(
    const QString& program, const QMap<QString, QString>& extra) const
{
    QMap<QString, QString> env;
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    for (const QString& key : system.keys())
        env.insert(key, system.value(key));
    // An npm tool is a node script: the node beside it is the one it was installed with.
    const QString folder = QFileInfo(program).absolutePath();
    env.insert(QStringLiteral("PATH"), m_places.path.isEmpty() ? folder : folder + u':' + m_places.path);
    for (auto it = environment.cbegin(); it != environment.cend(); ++it)
        env.insert(it.key(), it.value());
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        env.insert(it.key(), it.value());
    return env;
}

QString ToolAccount::runtime() const
{
    if (!runtimeFolder.isEmpty())
        return runtimeFolder;
    // Private to this user; without one, a shared folder still serves: only a folder of ours with
    // mode 0700 is used.
    static const QString system = [] {
        const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        return runtime.isEmpty() ? QDir::tempPath() : runtime;
    }();
    return system;
}

QCoro::Task<std::optional<QString>> ToolAccount::locate()
{
    const auto found = m_found; // outlives this account while the shell is asked
    if (*found && isProgram(**found))
        co_return *found;
    found->reset();
    if (!isPlainName(m_name))
        co_return std::nullopt;
    for (const QString& folder : m_places.path.split(u':', Qt::SkipEmptyParts)) {
        // A relative entry would depend on the working folder.
        if (QDir::isAbsolutePath(folder) && isProgram(folder + u'/' + m_name)) {
            *found = folder + u'/' + m_name;
            co_return *found;
        }
    }
    const QStringList folders = m_places.folders;
    const QString name = m_name;
    if (auto fromShell = co_await askShell())
        *found = *fromShell;
    for (const QString& folder : folders) {
        if (*found)
            break;
        if (isProgram(folder + u'/' + name))
            *found = folder + u'/' + name;
    }
    co_return *found;
}

QCoro::Task<std::optional<QString>> ToolAccount::askShell()
{
    // A desktop session often lacks the PATH that a terminal builds (nvm, ~/.npm-global).
    if (!isProgram(m_places.shell))
        co_return std::nullopt;
    ToolRunOptions options;
    options.limit = shellLimit;
    options.cap = 64 * 1024;
    options.environment.insert(QStringLiteral("HOME"), m_places.home);
    const QString name = m_name;
    const QStringList arguments {QString::fromLatin1("-lc"), QString::fromLatin1("command -v ") + name};
    const ToolRun result = co_await run(m_places.shell, arguments, std::move(options));
    if (result.timedOut)
        qCWarning(logApp, "The login shell did not answer where %s is", qUtf8Printable(name));
    // A profile may print before the answer: the last line that names a program is it.
    const QList<QByteArray> lines = result.output.split('\n');
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QString line = QString::fromUtf8(it->trimmed());
        if (line.startsWith(u'/') && QFileInfo(line).fileName() == name && isProgram(line))
            co_return line;
    }
    co_return std::nullopt;
}

QCoro::Task<ToolRun> ToolAccount::run(QString program, QStringList arguments, ToolRunOptions options)
{
    auto child = std::make_shared<ToolChild>(m_scheduler, options.cap);
    child->launch(program, arguments, childEnvironment(program, options.environment), runtime(),
        std::move(options.input), false, options.limit);
    co_return co_await child->wait();
}

std::shared_ptr<ToolChild> ToolAccount::start(
    const QString& program, const QStringList& arguments, Duration limit, qint64 cap)
{
    auto child = std::make_shared<ToolChild>(m_scheduler, cap);
    child->launch(program, arguments, childEnvironment(program, {}), runtime(), std::nullopt, true, limit);
    return child;
}

} // namespace brenvo
