#pragma once

#include "model/UsageSource.h"
#include "usage/ClaudeLimits.h"

#include <QByteArray>
#include <QDateTime>
#include <QFileDevice>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace brenvo {

class ToolAccount;

// The file operations of the Claude source. Writes are atomic (a temporary file of our own beside
// the file, synced, then renamed), so a process killed at any moment leaves the old file or the new
// one, whole, and at most that temporary file, which `sweep` removes.
class ClaudeFiles {
public:
    virtual ~ClaudeFiles() = default;

    static constexpr qint64 sizeCap = 8 << 20;

    // The whole file, when it is a readable file of at most `limit` bytes; `tooLarge` is set when
    // it is larger.
    std::optional<QByteArray> read(
        const QString& path, qint64 limit = sizeCap, bool* tooLarge = nullptr) const;
    virtual bool write(const QString& path, const QByteArray& bytes, QFileDevice::Permissions mode);
    bool remove(const QString& path);
    // Removes the temporary file that a write of `path` killed halfway left behind.
    void sweep(const QString& path);
    // Hidden and fixed, so that a leftover is known for ours and found again.
    static QString temporaryPath(const QString& path);

protected:
    // Called between the steps of every change on disk; a test stops the process there.
    virtual void reached() { }
};

// Claude's plan limits, from two places: the input that Claude Code hands its status line (while
// connected, Claude Code's status line is a script of ours that records that input and then runs
// the status line the user had before) and the text of `claude -p /usage`, asked for every
// `refreshEvery` seconds. Main thread only.
class ClaudeUsageFile final : public QObject, public UsageSource {
    Q_OBJECT

public:
    // Throws UsageFailure with the sentence to show.
    using AccountAsker = std::function<QCoro::Task<ClaudeAccount>()>;
    // The text that `claude -p /usage` prints. Throws UsageFailure with the sentence to show.
    using LimitsProbe = std::function<QCoro::Task<QString>()>;

    // The last windows that the probe gave.
    struct Answer {
        QList<UsageMeter> meters;
        QDateTime asOf;
    };

    static constexpr int probeSeconds = 60;
    static constexpr int askNowAfterSeconds = 120;

    explicit ClaudeUsageFile(QObject* parent = nullptr);

    QString claudeDirectory; // ~/.claude
    QString directory; // our data folder
    AccountAsker askAccount;
    std::function<double()> refreshEvery; // seconds between two asks of the probe
    LimitsProbe ask;
    std::function<QDateTime()> now;
    std::shared_ptr<ClaudeFiles> files = std::make_shared<ClaudeFiles>();
    std::optional<ClaudeAccount> account;
    std::optional<Answer> answered;
    std::optional<QDateTime> askedAt;

    // `claude auth status --json` and `claude -p /usage`, run through the tool's account.
    static AccountAsker accountAsker(std::shared_ptr<ToolAccount> tool);
    static LimitsProbe limitsProbe(std::shared_ptr<ToolAccount> tool);

    bool isConnected() const override;
    QCoro::Task<void> connect() override;
    std::optional<QString> disconnect() override;
    bool isDisconnecting() const override;
    QCoro::Task<std::optional<UsageReport>> report() override;
    QCoro::Task<void> askNow() override;

    QString settingsPath() const;
    QString scriptPath() const;
    QString recordPath() const;

private:
    struct Settings;
    Settings readSettings() const;
    // Only the exact command that we write: a user's line that wraps or tests the script is theirs.
    bool isOurs(const QByteArray& statusLine) const;
    bool holdsOurs(const QByteArray& settings) const;
    bool mentionsScript(const QByteArray& settings) const;
    // The sentence of a disconnect that has to be finished later; logged and marked the first time.
    std::optional<QString> notUndone(const char* why);
    QString ourCommand() const;
    void sweep(const Settings& settings) const;
    QByteArray scriptText(const QString& previousCommand) const;
    void forgetFiles();
    void install(const Settings& settings);
    QCoro::Task<void> askTool();

    mutable bool m_swept = false; // the leftovers of a killed write, once at start
    bool m_asking = false;
    bool m_disconnecting = false; // also marked on disk, where it can be
    std::optional<QString> m_failure; // the sentence of the last ask, when it failed
};

} // namespace brenvo
