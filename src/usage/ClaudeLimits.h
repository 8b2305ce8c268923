#pragma once

#include "model/Usage.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace brenvo {

// What `claude auth status --json` says of the sign-in.
struct ClaudeAccount {
    bool loggedIn = false;
    QString authMethod; // "claude.ai", "api_key" or "none"
    std::optional<QString> email;
    std::optional<QString> orgName;
    std::optional<QString> subscriptionType;

    bool operator==(const ClaudeAccount&) const = default;

    // Throws DecodingFailure on a reply of another shape.
    static ClaudeAccount fromReply(const QByteArray& json);
    // The UsageFailure sentence when this sign-in has no plan limits to read, else nothing.
    std::optional<QString> refusal() const;
    // The plan's name as shown: "max" becomes "Max".
    std::optional<QString> plan() const;
};

// Claude Code's plan limits as its status line and its /usage command give them.
namespace claude_limits {

// The windows in the input that Claude Code hands its status line; nothing when that input holds
// no `rate_limits` or is not the expected shape.
std::optional<QList<UsageMeter>> fromStatusInput(const QByteArray& json);

// The windows in the text of `claude -p /usage`. Lines it does not know are passed over. A reset
// given without a year lies in the current year of its time zone.
QList<UsageMeter> fromUsageText(const QString& text, const QDateTime& now);

// What a text of `claude -p /usage` without windows means. Claude Code prints its cost summary to a
// sign-in that has no plan limits; a subscriber gets a line on the subscription, followed by the
// windows only when it could fetch them. It exits 0 either way.
enum class NoWindows {
    noPlan, // the cost summary
    notFetched, // a subscriber's answer: the limits could not be fetched this time
    unknown, // neither
};
NoWindows whyNoWindows(const QString& text);

} // namespace claude_limits

// The sentences of the Claude usage source.
namespace claude_sentences {
QString notInstalled();
QString notSignedIn();
QString apiKey();
QString noPlanLimits();
QString notReadNow();
QString noAnswer(int seconds);
QString unexpected();
QString unreadable(const QString& path);
QString tooLarge(const QString& path);
QString notJson(const QString& path);
QString notWritable(const QString& path);
QString notRestored(const QString& path);
QString folderNotWritable(const QString& path);
} // namespace claude_sentences

} // namespace brenvo
