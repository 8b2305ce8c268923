#include "usage/CodexAppServer.h"

#include "model/AppConfig.h"
#include "model/KitText.h"
#include "model/Log.h"
#include "model/Usage.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSet>

namespace brenvo {

namespace {

constexpr qint64 initializeID = 1;
constexpr qint64 limitsID = 2;
constexpr qint64 accountID = 3;
constexpr qint64 lineCap = 8 << 20;

QByteArray request(qint64 id, const char* method, const QJsonObject& params)
{
    const QJsonObject o {{QStringLiteral("id"), id}, {QStringLiteral("method"), QString::fromLatin1(method)},
        {QStringLiteral("params"), params}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray initializeRequest()
{
    const AppConfig& config = AppConfig::main();
    const QJsonObject client {{QStringLiteral("name"), config.name.toLower()},
        {QStringLiteral("title"), appName()}, {QStringLiteral("version"), config.version}};
    return request(initializeID, "initialize", {{QStringLiteral("clientInfo"), client}});
}

// Reads lines until each wanted id has its reply or the server has ended. Replies come in any
// order with notifications between them; anything that is not a reply to us is passed over.
QCoro::Task<QMap<qint64, QJsonObject>> collect(std::shared_ptr<ToolChild> child, QSet<qint64> wanted)
{
    QMap<qint64, QJsonObject> replies;
    while (replies.size() < wanted.size()) {
        const std::optional<QByteArray> line = co_await child->readLine();
        if (!line)
            break;
        CodexAppServer::takeLine(*line, wanted, replies);
    }
    co_return replies;
}

// The sentence for an error reply, by what the real server says.
QString sentenceFor(const QJsonObject& reply, const char* method)
{
    const QJsonObject error = reply.value(QLatin1String("error")).toObject();
    const qint64 code = error.value(QLatin1String("code")).toInteger();
    const QString message = error.value(QLatin1String("message")).toString();
    // The message may quote what the backend sent: only the code is logged.
    qCWarning(logApp, "The Codex app server answered %s with error %lld", method, code);
    if (message.contains(QLatin1String("chatgpt authentication required")))
        return CodexAppServer::apiKeySignIn;
    if (message.contains(QLatin1String("authentication required")))
        return CodexAppServer::notSignedIn;
    // An older server does not know the method: it names it, or calls it an unknown variant.
    if (code == -32601
        || (code == -32600
            && (message.contains(QLatin1String("unknown variant"))
                || message.contains(QLatin1String(method)))))
        return CodexAppServer::tooOld;
    if (message.startsWith(QLatin1String("failed to fetch codex rate limits")))
        return CodexAppServer::backendFailed;
    return CodexAppServer::refused;
}

QString endedSentence(const ToolChild& child)
{
    return child.timedOut() ? CodexAppServer::noAnswer : CodexAppServer::stopped;
}

bool isError(const QJsonObject& reply)
{
    return reply.contains(QLatin1String("error"));
}

QStringList appServerArguments()
{
    return {QStringLiteral("app-server")};
}

// After the handshake: the notification that it is done, then both questions at once.
QList<QByteArray> questions()
{
    return {QByteArrayLiteral(R"({"method":"initialized"})"),
        request(limitsID, "account/rateLimits/read", {}), request(accountID, "account/read", {})};
}

} // namespace

std::optional<CodexAnswer> CodexAppServer::readAnswer(
    const QJsonObject& limits, const QJsonObject& account, QString& failure)
{
    if (isError(limits)) {
        failure = sentenceFor(limits, "account/rateLimits/read");
        return std::nullopt;
    }
    CodexAnswer answer;
    try {
        const JsonObject result(
            limits.value(QLatin1String("result")).toObject(), KeyStyle::asIs, QStringLiteral("result"));
        answer.limits = result.required<CodexRateLimits>("rateLimits");
    } catch (const DecodingFailure& error) {
        qCWarning(logApp, "The Codex app server's limits could not be read: %s", error.what());
        failure = CodexAppServer::notUnderstood();
        return std::nullopt;
    }
    // The account is a nicety: some sign-ins cannot read it while their limits work.
    if (account.contains(QLatin1String("result"))) {
        try {
            const JsonObject result(account.value(QLatin1String("result")).toObject());
            answer.account = result.optional<CodexAccount>("account");
        } catch (const DecodingFailure& error) {
            qCWarning(logApp, "The Codex app server's account could not be read: %s", error.what());
        }
    }
    return answer;
}

void CodexAppServer::takeLine(
    const QByteArray& line, const QSet<qint64>& wanted, QMap<qint64, QJsonObject>& replies)
{
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject())
        return;
    const QJsonObject o = document.object();
    const QJsonValue id = o.value(QLatin1String("id"));
    if (o.contains(QLatin1String("method")) || !id.isDouble())
        return;
    if (wanted.contains(id.toInteger())
        && (o.contains(QLatin1String("result")) || o.contains(QLatin1String("error"))))
        replies.insert(id.toInteger(), o);
}

CodexRateLimits::Window CodexRateLimits::Window::fromJson(const JsonObject& o)
{
    return {o.required<double>("usedPercent"), o.optional<qint64>("windowDurationMins"),
        o.optional<qint64>("resetsAt")};
}

CodexRateLimits CodexRateLimits::fromJson(const JsonObject& o)
{
    return {o.optional<Window>("primary"), o.optional<Window>("secondary"), o.optional<QString>("planType")};
}

CodexAccount CodexAccount::fromJson(const JsonObject& o)
{
    return {o.required<QString>("type"), o.optional<QString>("email"), o.optional<QString>("planType")};
}

QString CodexAppServer::notUnderstood()
{
    return QStringLiteral("OpenAI Codex answered with something ") + appName()
        + QStringLiteral(" does not understand.");
}

CodexAppServer::CodexAppServer(std::shared_ptr<ToolAccount> codex)
    : m_codex(std::move(codex))
{
}

QCoro::Task<CodexAnswer> CodexAppServer::ask(QString program)
{
    const auto codex = m_codex; // this asker may go while the server runs
    const auto child = codex->start(program, appServerArguments(), limit, lineCap);
    std::optional<CodexAnswer> answer;
    QString failure;

    // Named sets: GCC 12 cannot keep a braced list alive across a co_await.
    const QSet<qint64> handshake {initializeID};
    const QSet<qint64> both {limitsID, accountID};
    child->writeLine(initializeRequest());
    const QMap<qint64, QJsonObject> started = co_await collect(child, handshake);
    if (!started.contains(initializeID)) {
        failure = endedSentence(*child);
    } else if (isError(started[initializeID])) {
        failure = sentenceFor(started[initializeID], "initialize");
    } else {
        for (const QByteArray& line : questions())
            child->writeLine(line);
        const QMap<qint64, QJsonObject> replies = co_await collect(child, both);
        if (!replies.contains(limitsID))
            failure = endedSentence(*child);
        else
            answer = CodexAppServer::readAnswer(replies[limitsID], replies.value(accountID), failure);
    }
    co_await child->finish(grace);
    if (!answer)
        throw UsageFailure(failure);
    co_return *answer;
}

} // namespace brenvo
