#include "usage/ClaudeLimits.h"

#include "http/JsonReader.h"

#include <QDir>
#include <QRegularExpression>
#include <QTimeZone>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

namespace {

const QString sessionID = u"five_hour"_s;
const QString weekID = u"seven_day"_s;
const QString sessionName = u"5-hour limit"_s;
const QString weekName = u"Weekly limit"_s;

struct Window {
    double usedPercentage = 0;
    std::optional<double> resetsAt; // Unix seconds
    static Window fromJson(const JsonObject& o)
    {
        return {o.required<double>("usedPercentage"), o.optional<double>("resetsAt")};
    }
};

struct RateLimits {
    std::optional<Window> fiveHour;
    std::optional<Window> sevenDay;
    static RateLimits fromJson(const JsonObject& o)
    {
        return {o.optional<Window>("fiveHour"), o.optional<Window>("sevenDay")};
    }
};

struct StatusInput {
    std::optional<RateLimits> rateLimits;
    static StatusInput fromJson(const JsonObject& o) { return {o.optional<RateLimits>("rateLimits")}; }
};

std::optional<UsageMeter> meter(const std::optional<Window>& window, const QString& id, const QString& name)
{
    if (!window || !std::isfinite(window->usedPercentage))
        return std::nullopt;
    UsageMeter m {id, name, window->usedPercentage / 100.0, std::nullopt};
    if (window->resetsAt && std::isfinite(*window->resetsAt) && std::abs(*window->resetsAt) < 1e12)
        m.resetsAt = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(*window->resetsAt), QTimeZone::utc());
    return m;
}

// "Dec 7, 3:59pm", "Jan 3, 2027, 9am", "9am".
std::optional<QDateTime> resetTime(const QString& text, const QString& zoneName, const QDateTime& now)
{
    static const QRegularExpression pattern(
        uR"(^(?:([A-Za-z]{3})[a-z]*\.? (\d{1,2})(?:,? (\d{4}))?,?(?: at)? )?(\d{1,2})(?::(\d{2}))?\s*([ap]m)?$)"_s,
        QRegularExpression::CaseInsensitiveOption);
    const auto match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    QTimeZone zone(zoneName.toUtf8());
    if (!zone.isValid())
        zone = QTimeZone::systemTimeZone();
    const QDate today = now.toTimeZone(zone).date();

    int hour = match.captured(4).toInt();
    const int minute = match.captured(5).isEmpty() ? 0 : match.captured(5).toInt();
    const QString half = match.captured(6).toLower();
    if (!half.isEmpty()) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12 + (half == u"pm"_s ? 12 : 0);
    }
    const QTime time(hour, minute);
    if (!time.isValid())
        return std::nullopt;

    if (match.captured(1).isEmpty()) { // a time alone: its next coming
        QDateTime at(today, time, zone);
        if (at <= now)
            at = QDateTime(today.addDays(1), time, zone);
        return at.toUTC();
    }
    static const QStringList months {u"jan"_s, u"feb"_s, u"mar"_s, u"apr"_s, u"may"_s, u"jun"_s, u"jul"_s,
        u"aug"_s, u"sep"_s, u"oct"_s, u"nov"_s, u"dec"_s};
    const int month = static_cast<int>(months.indexOf(match.captured(1).toLower())) + 1;
    const int year = match.captured(3).isEmpty() ? today.year() : match.captured(3).toInt();
    const QDate date(year, month, match.captured(2).toInt());
    if (month < 1 || !date.isValid())
        return std::nullopt;
    return QDateTime(date, time, zone).toUTC();
}

} // namespace

ClaudeAccount ClaudeAccount::fromReply(const QByteArray& json)
{
    const auto o = decodeJson<JsonObject>(json);
    return {o.required<bool>("loggedIn"), o.optional<QString>("authMethod", u"none"_s),
        o.optional<QString>("email"), o.optional<QString>("orgName"),
        o.optional<QString>("subscriptionType")};
}

std::optional<QString> ClaudeAccount::refusal() const
{
    if (!loggedIn || authMethod == u"none"_s)
        return claude_sentences::notSignedIn();
    if (authMethod == u"api_key"_s)
        return claude_sentences::apiKey();
    return std::nullopt;
}

std::optional<QString> ClaudeAccount::plan() const
{
    if (!subscriptionType || subscriptionType->isEmpty())
        return std::nullopt;
    return subscriptionType->left(1).toUpper() + subscriptionType->mid(1);
}

namespace claude_limits {

std::optional<QList<UsageMeter>> fromStatusInput(const QByteArray& json)
{
    try {
        const auto input = decodeJson<StatusInput>(json, KeyStyle::snakeCase);
        if (!input.rateLimits)
            return std::nullopt;
        QList<UsageMeter> meters;
        if (auto m = meter(input.rateLimits->fiveHour, sessionID, sessionName))
            meters.append(*m);
        if (auto m = meter(input.rateLimits->sevenDay, weekID, weekName))
            meters.append(*m);
        return meters;
    } catch (const DecodingFailure&) {
        return std::nullopt;
    }
}

QList<UsageMeter> fromUsageText(const QString& text, const QDateTime& now)
{
    // "Current week (all models): 81% used · resets Dec 12, 9am (Europe/Paris)"
    static const QRegularExpression line(
        uR"(^\s*Current (session|week)(?: \(([^)]*)\))?\s*:\s*(\d+(?:\.\d+)?)\s*% used(?:\s*·\s*resets\s+(.*?)\s*(?:\(([^()]+)\))?)?\s*$)"_s);
    QList<UsageMeter> meters;
    for (const QString& row : text.split(u'\n')) {
        const auto match = line.match(row);
        if (!match.hasMatch())
            continue;
        UsageMeter m {sessionID, sessionName, match.captured(3).toDouble() / 100.0, std::nullopt};
        if (match.captured(1) == u"week"_s) {
            const QString scope = match.captured(2);
            if (scope.isEmpty() || scope == u"all models"_s) {
                m.id = weekID;
                m.name = weekName;
            } else {
                m.id = weekID + u"_"_s + scope.toLower().replace(QRegularExpression(u"[^a-z0-9]+"_s), u"_"_s);
                m.name = weekName + u" ("_s + scope + u")"_s;
            }
        }
        if (!match.captured(4).isEmpty())
            m.resetsAt = resetTime(match.captured(4), match.captured(5), now);
        meters.append(m);
    }
    return meters;
}

NoWindows whyNoWindows(const QString& text)
{
    // "You are currently using your subscription to power your Claude Code usage", or "your
    // overages" once the subscription's limits are spent.
    static const QRegularExpression subscriber(
        uR"(^\s*You are currently using your \w+ to power your Claude Code usage)"_s,
        QRegularExpression::MultilineOption);
    static const QRegularExpression window(
        uR"(^\s*Current \w+.*%\s*used)"_s, QRegularExpression::MultilineOption);
    static const QRegularExpression cost(u"Total cost:"_s);
    // A window line that could not be read is a new format, not a failed fetch.
    if (subscriber.match(text).hasMatch() && !window.match(text).hasMatch())
        return NoWindows::notFetched;
    if (cost.match(text).hasMatch() && !subscriber.match(text).hasMatch())
        return NoWindows::noPlan;
    return NoWindows::unknown;
}

} // namespace claude_limits

namespace claude_sentences {

namespace {
// The user's home as "~", as a terminal would show the path.
QString shown(const QString& path)
{
    const QString home = QDir::homePath();
    return path.startsWith(home + u'/') ? u"~"_s + path.mid(home.size()) : path;
}
} // namespace

QString notInstalled()
{
    return u"Claude Code is not installed. Install it with npm install -g @anthropic-ai/claude-code, then connect again."_s;
}
QString notSignedIn()
{
    return u"Claude Code is not signed in. Run claude auth login, then connect again."_s;
}
QString apiKey()
{
    return u"Claude Code is signed in with an API key, which has no plan limits. Run claude auth login to sign in with your Claude account."_s;
}
QString noPlanLimits()
{
    return u"Claude Code reports no plan limits for this account."_s;
}
QString notReadNow()
{
    return u"Claude Code could not read the plan limits just now. Brenvo will ask again at the next check."_s;
}
QString noAnswer(int seconds)
{
    return u"Claude Code did not answer within %1 seconds."_s.arg(seconds);
}
QString unexpected()
{
    return u"Claude Code gave an answer that Brenvo cannot read. Update it, then connect again."_s;
}
QString unreadable(const QString& path)
{
    return u"Claude Code's settings file %1 cannot be read, so it was left unchanged."_s.arg(shown(path));
}
QString tooLarge(const QString& path)
{
    return u"Claude Code's settings file %1 is too large, so it was left unchanged."_s.arg(shown(path));
}
QString notJson(const QString& path)
{
    return u"Claude Code's settings file %1 is not valid JSON, so it was left unchanged. Fix it, then connect again."_s
        .arg(shown(path));
}
QString notWritable(const QString& path)
{
    return u"Claude Code's settings file %1 cannot be written, so it was left unchanged. Make it writable, then connect again."_s
        .arg(shown(path));
}
QString notRestored(const QString& path)
{
    return u"Claude Code's settings file %1 could not be put back as it was, so Brenvo's status line stays in it for now. Once the file can be read and written again, Brenvo puts it back by itself."_s
        .arg(shown(path));
}
QString folderNotWritable(const QString& path)
{
    return u"Brenvo cannot write to its data folder %1."_s.arg(shown(path));
}

} // namespace claude_sentences

} // namespace brenvo
