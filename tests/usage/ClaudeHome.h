#pragma once

// Claude Code's settings in a throwaway home, for the tests of its reader.
#include "support/RunTask.h"
#include "usage/ClaudeSettingsText.h"
#include "usage/ClaudeUsageFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <memory>

namespace brenvo::test {

using namespace Qt::Literals::StringLiterals;

inline constexpr auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Big and fractional numbers, unicode, a duplicate key and a status line whose command has both
// kinds of quote: what a JSON object model would not give back as it found it.
inline const QByteArray realShaped = R"json({
  "model": "opus",
  "cleanupPeriodDays": 12345678901234567890,
  "ratio": 1.50,
  "permissions": {"allow": ["Bash(npm run lint)"], "deny": []},
  "env": {"GREETING": "h\u00e9llo ✓ 日本"},
  "model": "sonnet",
  "statusLine": {"type": "command", "command": "sed \"s/^/it's: /\"", "padding": 0}
}
)json";

inline QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline void writeAll(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    QFile::setPermissions(path, ownerOnly);
}

inline QCoro::Task<ClaudeAccount> signedIn(ClaudeAccount account)
{
    co_return account;
}

inline QCoro::Task<QString> printed(std::shared_ptr<QString> text, std::shared_ptr<int> asks)
{
    ++*asks;
    co_return QString(*text);
}

// A source in a throwaway home: ~/.claude and our data folder beside it.
struct Home {
    QTemporaryDir root;
    std::shared_ptr<ClaudeUsageFile> file = std::make_shared<ClaudeUsageFile>();
    QDateTime clock = QDateTime(QDate(2026, 12, 7), QTime(14, 0), QTimeZone::utc());
    std::shared_ptr<int> probes = std::make_shared<int>(0);
    std::shared_ptr<QString> usageText = std::make_shared<QString>();

    explicit Home(ClaudeAccount account = {true, u"claude.ai"_s, u"robin@example.com"_s, {}, u"max"_s})
    {
        file->claudeDirectory = root.filePath(u".claude"_s);
        file->directory = root.filePath(u"data/it's \"here\" $HOME/Brenvo"_s); // every path quoted
        file->now = [this] { return clock; };
        file->refreshEvery = [] { return 600.0; };
        file->askAccount = [account] { return signedIn(account); };
        file->ask = [text = usageText, asks = probes] { return printed(text, asks); };
    }
    QString settings() const { return file->settingsPath(); }
    QStringList ourFiles() const { return QDir(file->directory).entryList(QDir::Files | QDir::Hidden); }
    // The status line's command in settings.json.
    QString command() const
    {
        const auto text = ClaudeSettingsText::parse(readAll(settings()));
        const QByteArray value = text->valueBytes(*text->member(u"statusLine"_s));
        return QJsonDocument::fromJson(value).object()[u"command"_s].toString();
    }
};

// The failure sentence of a task, or empty when it succeeded.
template <typename T> QString failureOf(QCoro::Task<T> task)
{
    try {
        runTask(std::move(task));
        return {};
    } catch (const UsageFailure& failure) {
        return failure.reason();
    }
}

} // namespace brenvo::test
