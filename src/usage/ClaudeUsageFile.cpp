#include "usage/ClaudeUsageFile.h"

#include "http/JsonReader.h"
#include "model/Log.h"
#include "usage/ClaudeSettingsText.h"
#include "usage/ToolAccount.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

#include <cerrno>
#include <cmath>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

namespace {

const QString statusLineKey = u"statusLine"_s;
constexpr auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr auto ownerRun = ownerOnly | QFileDevice::ExeOwner;

// A word for sh: in single quotes, each quote closed, escaped and opened again.
QByteArray shellQuoted(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    bytes.replace('\0', QByteArray());
    return "'" + bytes.replace("'", "'\\''") + "'";
}

QByteArray digest(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// What connect leaves in our folder so that disconnect can put the user's status line back: whether
// settings.json existed, the exact bytes of its old statusLine value (none: it had none) and the
// digest of the file as we wrote it. The file's byte copy sits beside it.
struct Saved {
    bool existed = false;
    std::optional<QByteArray> previous;
    QByteArray written;

    QByteArray encoded() const
    {
        QJsonObject o {{u"existed"_s, existed}, {u"written"_s, QString::fromLatin1(written)}};
        if (previous)
            o.insert(u"previous"_s, QString::fromLatin1(previous->toBase64()));
        return QJsonDocument(o).toJson();
    }

    static std::optional<Saved> decoded(const std::optional<QByteArray>& bytes)
    {
        if (!bytes)
            return std::nullopt;
        const QJsonObject o = QJsonDocument::fromJson(*bytes).object();
        if (!o.value(u"written"_s).isString())
            return std::nullopt;
        Saved saved {
            o.value(u"existed"_s).toBool(), std::nullopt, o.value(u"written"_s).toString().toLatin1()};
        if (o.value(u"previous"_s).isString())
            saved.previous = QByteArray::fromBase64(o.value(u"previous"_s).toString().toLatin1());
        return saved;
    }
};

// A member of a JSON object's text as a string; none when it is missing or not a string. The
// last of duplicate keys counts, as in Claude Code's reader.
std::optional<QString> stringMember(const QByteArray& object, const QString& key)
{
    const auto text = ClaudeSettingsText::parse(object);
    const auto member = text ? text->member(key) : std::nullopt;
    if (!member)
        return std::nullopt;
    const QJsonValue value = QJsonDocument::fromJson("[" + text->valueBytes(*member) + "]").array().at(0);
    return value.isString() ? std::optional(value.toString()) : std::nullopt;
}

// The command that a status line runs; empty when it runs none.
QString commandOf(const QByteArray& statusLine)
{
    return stringMember(statusLine, u"type"_s) == u"command"_s
        ? stringMember(statusLine, u"command"_s).value_or(QString())
        : QString();
}

mode_t unixMode(QFileDevice::Permissions mode)
{
    const std::pair<QFileDevice::Permission, mode_t> bits[] = {{QFileDevice::ReadOwner, S_IRUSR},
        {QFileDevice::WriteOwner, S_IWUSR}, {QFileDevice::ExeOwner, S_IXUSR},
        {QFileDevice::ReadGroup, S_IRGRP}, {QFileDevice::WriteGroup, S_IWGRP},
        {QFileDevice::ExeGroup, S_IXGRP}, {QFileDevice::ReadOther, S_IROTH},
        {QFileDevice::WriteOther, S_IWOTH}, {QFileDevice::ExeOther, S_IXOTH}};
    mode_t out = 0;
    for (const auto& [permission, bit] : bits) {
        if (mode.testFlag(permission))
            out |= bit;
    }
    return out;
}

bool writeWhole(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

QString statePath(const QString& directory)
{
    return directory + u"/claude-statusline-state.json"_s;
}

QString backupPath(const QString& directory)
{
    return directory + u"/claude-settings-backup.json"_s;
}

// Left while a disconnect the user asked for could not be finished, so that a later run still
// finishes it rather than taking the status line for connected again.
QString disconnectingPath(const QString& directory)
{
    return directory + u"/claude-disconnect-pending"_s;
}

// Runs claude to its end; throws UsageFailure when it is missing or does not answer in time.
QCoro::Task<ToolRun> runClaude(std::shared_ptr<ToolAccount> tool, QStringList arguments, int seconds)
{
    const auto program = co_await tool->locate();
    if (!program)
        throw UsageFailure(claude_sentences::notInstalled());
    ToolRunOptions options;
    options.limit = std::chrono::seconds(seconds);
    ToolRun run = co_await tool->run(*program, arguments, options);
    if (!run.started)
        throw UsageFailure(claude_sentences::notInstalled());
    if (run.timedOut)
        throw UsageFailure(claude_sentences::noAnswer(seconds));
    co_return run;
}

QCoro::Task<ClaudeAccount> accountOf(std::shared_ptr<ToolAccount> tool)
{
    // Signed out, it still answers in JSON and exits 1.
    const QStringList arguments = QStringList() << u"auth"_s << u"status"_s << u"--json"_s;
    const ToolRun run = co_await runClaude(tool, arguments, 20);
    try {
        co_return ClaudeAccount::fromReply(run.output);
    } catch (const DecodingFailure& failure) {
        qCWarning(logApp, "claude auth status gave no account (exit %d): %s", run.exitCode, failure.what());
        throw UsageFailure(claude_sentences::unexpected());
    }
}

QCoro::Task<QString> usageText(std::shared_ptr<ToolAccount> tool)
{
    // Without the flag each run would leave a transcript behind.
    const QStringList arguments = QStringList() << u"-p"_s << u"/usage"_s << u"--no-session-persistence"_s;
    const ToolRun run = co_await runClaude(tool, arguments, ClaudeUsageFile::probeSeconds);
    if (run.exitCode != 0)
        qCWarning(logApp, "claude -p /usage exited with %d", run.exitCode);
    co_return QString::fromUtf8(run.output);
}

} // namespace

std::optional<QByteArray> ClaudeFiles::read(const QString& path, qint64 limit, bool* tooLarge) const
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.read(limit + 1);
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    if (bytes.size() > limit) {
        if (tooLarge)
            *tooLarge = true;
        return std::nullopt;
    }
    return bytes;
}

QString ClaudeFiles::temporaryPath(const QString& path)
{
    const QFileInfo info(path);
    return info.path() + u"/."_s + info.fileName() + u".brenvo-tmp"_s;
}

bool ClaudeFiles::write(const QString& path, const QByteArray& bytes, QFileDevice::Permissions mode)
{
    // Not QSaveFile: its temporary name is random, so one left by a kill could never be told from
    // the user's own files beside settings.json (or in their dotfiles repository).
    const QByteArray temporary = QFile::encodeName(temporaryPath(path));
    ::unlink(temporary.constData()); // with O_EXCL nothing is written through a link left there
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return false;
    reached();
    bool written = ::fchmod(fd, unixMode(mode)) == 0 && writeWhole(fd, bytes) && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (!written) {
        ::unlink(temporary.constData());
        return false;
    }
    reached();
    if (::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        ::unlink(temporary.constData());
        return false;
    }
    // The rename itself is kept only once its folder is synced.
    const int folder
        = ::open(QFile::encodeName(QFileInfo(path).path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    reached();
    return true;
}

void ClaudeFiles::sweep(const QString& path)
{
    ::unlink(QFile::encodeName(temporaryPath(path)).constData());
}

bool ClaudeFiles::remove(const QString& path)
{
    const bool removed = QFile::remove(path);
    reached();
    return removed;
}

// settings.json as found: the file that is really written (a symbolic link's target), its bytes
// when it exists and its mode.
struct ClaudeUsageFile::Settings {
    QString target;
    bool exists = false;
    std::optional<QByteArray> bytes; // none: exists but cannot be read
    bool tooLarge = false;
    QFileDevice::Permissions mode = ownerOnly;
};

ClaudeUsageFile::ClaudeUsageFile(QObject* parent)
    : QObject(parent)
{
}

ClaudeUsageFile::AccountAsker ClaudeUsageFile::accountAsker(std::shared_ptr<ToolAccount> tool)
{
    return [tool] { return accountOf(tool); };
}

ClaudeUsageFile::LimitsProbe ClaudeUsageFile::limitsProbe(std::shared_ptr<ToolAccount> tool)
{
    return [tool] { return usageText(tool); };
}

QString ClaudeUsageFile::settingsPath() const
{
    return claudeDirectory + u"/settings.json"_s;
}

QString ClaudeUsageFile::scriptPath() const
{
    return directory + u"/claude-statusline.sh"_s;
}

QString ClaudeUsageFile::recordPath() const
{
    return directory + u"/claude-status.json"_s;
}

ClaudeUsageFile::Settings ClaudeUsageFile::readSettings() const
{
    Settings settings;
    const QFileInfo link(settingsPath());
    settings.target = link.isSymLink() ? (link.exists() ? link.canonicalFilePath() : link.symLinkTarget())
                                       : settingsPath();
    const QFileInfo info(settings.target);
    settings.exists = info.exists();
    if (settings.exists) {
        settings.mode = info.permissions()
            & (ownerRun | QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
        settings.bytes = files->read(settings.target, ClaudeFiles::sizeCap, &settings.tooLarge);
    }
    return settings;
}

QString ClaudeUsageFile::ourCommand() const
{
    return QString::fromUtf8(shellQuoted(scriptPath()));
}

bool ClaudeUsageFile::isOurs(const QByteArray& statusLine) const
{
    const auto command = stringMember(statusLine, u"command"_s);
    if (!command)
        return false;
    // The white space that sh skips around a command.
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t' || c == u'\n'; };
    qsizetype start = 0, end = command->size();
    while (start < end && blank(command->at(start)))
        ++start;
    while (end > start && blank(command->at(end - 1)))
        --end;
    return QStringView(*command).sliced(start, end - start) == ourCommand();
}

bool ClaudeUsageFile::holdsOurs(const QByteArray& settings) const
{
    const auto text = ClaudeSettingsText::parse(settings);
    const auto member = text ? text->member(statusLineKey) : std::nullopt;
    return member && isOurs(text->valueBytes(*member));
}

// For a file that is not JSON: whether the script's path stands in it, as is or as a JSON string.
bool ClaudeUsageFile::mentionsScript(const QByteArray& settings) const
{
    const auto inQuotes = [](const QString& text) {
        const QByteArray quoted = ClaudeSettingsText::quoted(text);
        return quoted.mid(1, quoted.size() - 2);
    };
    return settings.contains(scriptPath().toUtf8()) || settings.contains(inQuotes(scriptPath()))
        || settings.contains(inQuotes(ourCommand()));
}

void ClaudeUsageFile::sweep(const Settings& settings) const
{
    m_swept = true;
    for (const QString& path : {settings.target, scriptPath(), backupPath(directory), statePath(directory),
             disconnectingPath(directory)})
        files->sweep(path);
}

bool ClaudeUsageFile::isConnected() const
{
    if (isDisconnecting())
        return false;
    const Settings settings = readSettings();
    if (!m_swept)
        sweep(settings);
    const auto text = settings.bytes ? ClaudeSettingsText::parse(*settings.bytes) : std::nullopt;
    // A file that cannot be read as JSON for now (an editor halfway through a save, a stray comma,
    // one too large) may still name our script: while the script is there, the line counts as ours.
    if (!text)
        return QFileInfo::exists(scriptPath());
    const auto member = text->member(statusLineKey);
    return member && isOurs(text->valueBytes(*member));
}

bool ClaudeUsageFile::isDisconnecting() const
{
    return m_disconnecting || QFileInfo::exists(disconnectingPath(directory));
}

std::optional<QString> ClaudeUsageFile::notUndone(const char* why)
{
    if (!std::exchange(m_disconnecting, true)) {
        qCWarning(logApp, "%s", why);
        files->write(disconnectingPath(directory), QByteArray(), ownerOnly);
    }
    return claude_sentences::notRestored(settingsPath());
}

QByteArray ClaudeUsageFile::scriptText(const QString& previousCommand) const
{
    // Plain POSIX sh. The input is read once and kept only when it holds the limits, so that a
    // session without them does not hide the last one that had them; the user's own status line
    // gets the whole input either way, also when the record cannot be written. A status line that
    // runs this script again (one that wraps it) is not run a second time, or it would never end.
    return "#!/bin/sh\n"
           "# Written by Brenvo: keeps the plan limits that Claude Code hands its status line, then\n"
           "# runs the status line that was set before. Disconnecting Claude in Brenvo puts it back.\n"
           "umask 077\n"
           "record="
        + shellQuoted(recordPath())
        + "\n"
          "previous="
        + shellQuoted(previousCommand)
        + "\n"
          "input=$(cat; printf x)\n"
          "input=${input%x}\n"
          "case $input in\n"
          "*'\"rate_limits\"'*)\n"
          "    if { printf '%s' \"$input\" > \"$record.$$\"; } 2>/dev/null; then\n"
          "        mv -f \"$record.$$\" \"$record\"\n"
          "    else\n"
          "        rm -f \"$record.$$\"\n"
          "    fi\n"
          "    ;;\n"
          "esac\n"
          "[ -n \"$previous\" ] && [ -z \"${BRENVO_STATUS_LINE-}\" ] || exit 0\n"
          "BRENVO_STATUS_LINE=1\n"
          "export BRENVO_STATUS_LINE\n"
          "printf '%s' \"$input\" | /bin/sh -c \"$previous\"\n";
}

void ClaudeUsageFile::forgetFiles()
{
    for (const QString& path : {scriptPath(), recordPath(), backupPath(directory), statePath(directory),
             disconnectingPath(directory)}) {
        if (QFileInfo::exists(path))
            files->remove(path);
    }
    m_disconnecting = false;
}

// Writes our files and points the status line at the script; throws UsageFailure. Every step
// leaves settings.json whole: it changes only in the last step, by one rename.
void ClaudeUsageFile::install(const Settings& settings)
{
    if (settings.tooLarge)
        throw UsageFailure(claude_sentences::tooLarge(settingsPath()));
    if (settings.exists && !settings.bytes)
        throw UsageFailure(claude_sentences::unreadable(settingsPath()));
    std::optional<ClaudeSettingsText> text;
    if (settings.bytes && !settings.bytes->trimmed().isEmpty()) {
        text = ClaudeSettingsText::parse(*settings.bytes);
        if (!text)
            throw UsageFailure(claude_sentences::notJson(settingsPath()));
    }
    const auto member = text ? text->member(statusLineKey) : std::nullopt;
    const std::optional<QByteArray> previous
        = member ? std::optional(text->valueBytes(*member)) : std::nullopt;
    const bool reconnect = previous && isOurs(*previous);

    if (!QDir().mkpath(directory) || !QFile::setPermissions(directory, ownerRun))
        throw UsageFailure(claude_sentences::folderNotWritable(directory));
    auto saved = Saved::decoded(files->read(statePath(directory)));
    if (saved && saved->previous && isOurs(*saved->previous))
        saved->previous.reset(); // our own entry is no status line to go back to
    if (reconnect && saved) {
        // Already ours: only the script is written again, for the status line saved before. A byte
        // copy that holds our entry (an older version kept one) would put it back at disconnect.
        const auto copy = files->read(backupPath(directory));
        if (copy && holdsOurs(*copy))
            files->remove(backupPath(directory));
        const QString previousCommand = saved->previous ? commandOf(*saved->previous) : QString();
        if (!files->write(scriptPath(), scriptText(previousCommand), ownerRun))
            throw UsageFailure(claude_sentences::folderNotWritable(directory));
        return;
    }

    // The user's own status line is kept: its padding and refresh interval stay, its command runs
    // after ours.
    QByteArray value = "{\"type\": \"command\", \"command\": " + ClaudeSettingsText::quoted(ourCommand());
    if (previous && !reconnect) {
        const auto old = ClaudeSettingsText::parse(*previous);
        for (const QString& key : {u"padding"_s, u"refreshInterval"_s}) {
            if (const auto kept = old ? old->member(key) : std::nullopt)
                value += ", " + ClaudeSettingsText::quoted(key) + ": " + old->valueBytes(*kept);
        }
    }
    value += "}";
    const QByteArray written
        = text ? text->withValue(statusLineKey, value) : ClaudeSettingsText::fresh(statusLineKey, value);
    const auto check = ClaudeSettingsText::parse(written);
    const auto placed = check ? check->member(statusLineKey) : std::nullopt;
    if (!placed || check->valueBytes(*placed) != value)
        throw UsageFailure(claude_sentences::notJson(settingsPath()));

    const QString previousCommand = previous && !reconnect ? commandOf(*previous) : QString();
    // Our entry found with nothing saved (our folder was reset, or the file came from another
    // machine): there is no status line to go back to, and a byte copy would hold our own entry.
    const Saved record {settings.exists, reconnect ? std::nullopt : previous, digest(written)};
    const QString copy = backupPath(directory);
    if (!files->write(scriptPath(), scriptText(previousCommand), ownerRun)
        || !(reconnect ? !QFileInfo::exists(copy) || files->remove(copy)
                       : files->write(copy, settings.bytes.value_or(QByteArray()), ownerOnly))
        || !files->write(statePath(directory), record.encoded(), ownerOnly)) {
        if (!reconnect) // while the file names the script, the script stays
            forgetFiles();
        throw UsageFailure(claude_sentences::folderNotWritable(directory));
    }
    if (!settings.exists)
        QDir().mkpath(QFileInfo(settings.target).absolutePath());
    if (!files->write(settings.target, written, settings.mode)) {
        if (!reconnect)
            forgetFiles();
        throw UsageFailure(claude_sentences::notWritable(settingsPath()));
    }
}

QCoro::Task<void> ClaudeUsageFile::connect()
{
    QPointer<ClaudeUsageFile> self(this);
    const ClaudeAccount signedIn = co_await askAccount();
    if (!self)
        co_return;
    if (const auto refusal = signedIn.refusal())
        throw UsageFailure(*refusal);
    account = signedIn;
    const Settings settings = readSettings();
    sweep(settings);
    install(settings);
    // Asked to connect again: a disconnect still to be finished is not wanted any more.
    if (std::exchange(m_disconnecting, false) || QFileInfo::exists(disconnectingPath(directory)))
        files->remove(disconnectingPath(directory));
    qCInfo(logApp, "Claude Code's status line now runs %s", qUtf8Printable(scriptPath()));
}

std::optional<QString> ClaudeUsageFile::disconnect()
{
    const Settings settings = readSettings();
    sweep(settings);
    const auto text = settings.bytes ? ClaudeSettingsText::parse(*settings.bytes) : std::nullopt;
    const auto member = text ? text->member(statusLineKey) : std::nullopt;
    if (member && isOurs(text->valueBytes(*member))) {
        const auto saved = Saved::decoded(files->read(statePath(directory)));
        std::optional<QByteArray> restored;
        const bool untouched = saved && digest(*settings.bytes) == saved->written;
        if (untouched && !saved->existed) {
            // The file was ours alone: it goes as it came.
            if (!files->remove(settings.target))
                return notUndone(
                    "Claude Code's settings file could not be removed; Brenvo's status line stays");
        } else {
            // Nothing else changed since: the file exactly as it was. Otherwise only the member goes
            // back, and the user's other changes stay.
            restored = untouched ? files->read(backupPath(directory)) : std::nullopt;
            if (restored && holdsOurs(*restored))
                restored.reset(); // it would only bring our entry back
            if (!restored) {
                restored = saved && saved->previous && !isOurs(*saved->previous)
                    ? text->withValue(statusLineKey, *saved->previous)
                    : text->without(statusLineKey);
                if (!ClaudeSettingsText::parse(*restored))
                    restored.reset();
            }
            if (!restored || !files->write(settings.target, *restored, settings.mode)) {
                // Our script stays, so that the status line keeps working and a later disconnect can
                // still put the old one back.
                return notUndone(
                    "Claude Code's settings file could not be restored; Brenvo's status line stays");
            }
        }
        qCInfo(logApp, "Claude Code's status line is back as it was");
    } else if (!text && QFileInfo(settings.target).isFile()
        && (!settings.bytes || mentionsScript(*settings.bytes))) {
        // It may still name our script: forgetting now would leave the user's fixed file naming a
        // script that is gone, and the status line they had before lost with it.
        return notUndone("Claude Code's settings file cannot be read as JSON; Brenvo's status line stays");
    }
    forgetFiles();
    answered.reset();
    askedAt.reset();
    m_failure.reset();
    return std::nullopt;
}

QCoro::Task<void> ClaudeUsageFile::askTool()
{
    QPointer<ClaudeUsageFile> self(this);
    m_asking = true;
    askedAt = now();
    std::optional<QString> failure;
    try {
        const ClaudeAccount signedIn = co_await askAccount();
        if (!self)
            co_return;
        account = signedIn;
        failure = signedIn.refusal();
        if (!failure) {
            const QString text = co_await ask();
            if (!self)
                co_return;
            auto meters = claude_limits::fromUsageText(text, now());
            if (!meters.isEmpty()) {
                answered = Answer {std::move(meters), now()};
            } else {
                switch (claude_limits::whyNoWindows(text)) {
                case claude_limits::NoWindows::noPlan:
                    failure = claude_sentences::noPlanLimits();
                    break;
                case claude_limits::NoWindows::notFetched:
                    failure = claude_sentences::notReadNow();
                    break;
                case claude_limits::NoWindows::unknown:
                    failure = claude_sentences::unexpected();
                    break;
                }
            }
        }
    } catch (const UsageFailure& error) {
        if (!self)
            co_return;
        failure = error.reason();
    } catch (const std::exception& error) {
        if (!self)
            co_return;
        qCWarning(logApp, "Asking Claude Code for its plan limits failed: %s", error.what());
        failure = claude_sentences::unexpected();
    }
    m_asking = false;
    if (failure && failure != m_failure)
        qCWarning(logApp, "Claude Code gave no plan limits: %s", qUtf8Printable(*failure));
    m_failure = failure;
}

QCoro::Task<std::optional<UsageReport>> ClaudeUsageFile::report()
{
    QPointer<ClaudeUsageFile> self(this);
    const QFileInfo record(recordPath());
    const std::optional<QDateTime> recorded
        = record.exists() ? std::optional(record.lastModified().toUTC()) : std::nullopt;
    const double every = refreshEvery ? refreshEvery() : 600;
    const double spacing = std::isfinite(every) && every > 0 ? std::max(every, 30.0) : 600;
    const QDateTime last = std::max(askedAt.value_or(QDateTime()), recorded.value_or(QDateTime()));
    if (!m_asking && (!askedAt || last.secsTo(now()) >= spacing)) {
        co_await askTool();
        if (!self)
            co_return std::nullopt;
    }

    std::optional<UsageReport> report;
    if (recorded) {
        if (auto meters = claude_limits::fromStatusInput(files->read(recordPath(), 1 << 20).value_or(""))) {
            report = UsageReport {*meters, std::nullopt, *recorded, std::nullopt};
        }
    }
    if (answered && (!report || answered->asOf > report->asOf))
        report = UsageReport {answered->meters, std::nullopt, answered->asOf, std::nullopt};
    // A failed ask wins over what was read before it.
    if (m_failure && (!report || (askedAt && report->asOf < *askedAt))) {
        if (*m_failure == claude_sentences::notReadNow())
            throw UsageFailure::momentary(*m_failure);
        throw UsageFailure(*m_failure);
    }
    if (report && account) {
        report->plan = account->plan();
        report->account = account->email;
    }
    co_return report;
}

QCoro::Task<void> ClaudeUsageFile::askNow()
{
    QPointer<ClaudeUsageFile> self(this);
    if (m_asking || (askedAt && askedAt->secsTo(now()) <= askNowAfterSeconds))
        co_return;
    co_await askTool();
}

} // namespace brenvo
