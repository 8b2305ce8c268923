#pragma once

#include "http/JsonReader.h"
#include "usage/ToolAccount.h"

#include <QString>

#include <QCoroTask>

#include <QJsonObject>
#include <QMap>
#include <QSet>

#include <memory>
#include <optional>

namespace brenvo {

// What `account/rateLimits/read` answers under result.rateLimits.
struct CodexRateLimits {
    struct Window {
        double usedPercent = 0; // 0 to 100
        std::optional<qint64> windowDurationMins;
        std::optional<qint64> resetsAt; // Unix seconds
        static Window fromJson(const JsonObject& o);
    };
    std::optional<Window> primary; // a null window is no meter
    std::optional<Window> secondary;
    std::optional<QString> planType; // a lower-case word: "plus"
    static CodexRateLimits fromJson(const JsonObject& o);
};

// What `account/read` answers under result.account: nothing, an API key or a ChatGPT sign-in.
struct CodexAccount {
    QString type; // "apiKey", "chatgpt"
    std::optional<QString> email;
    std::optional<QString> planType;
    static CodexAccount fromJson(const JsonObject& o);
};

struct CodexAnswer {
    CodexRateLimits limits;
    std::optional<CodexAccount> account; // none also when the call failed: the limits still count
};

// One conversation with `codex app-server` (one JSON object a line each way): initialize, then
// the limits and the account, then the server is ended. The whole exchange is bounded.
class CodexAppServer {
public:
    static constexpr Duration limit = std::chrono::seconds(20);
    // After stdin is closed, the server has this long to exit before it is killed.
    static constexpr Duration grace = std::chrono::seconds(2);

    static inline const QString notSignedIn
        = QStringLiteral("Codex is not signed in. Run codex login, then connect again.");
    static inline const QString apiKeySignIn
        = QStringLiteral("Codex is signed in with an API key, which has no plan limits. Run codex login to "
                         "sign in with ChatGPT.");
    static inline const QString tooOld
        = QStringLiteral("This version of Codex cannot report plan limits. Update it, then connect again.");
    static inline const QString noAnswer = QStringLiteral("OpenAI Codex did not answer within 20 seconds.");
    static inline const QString backendFailed = QStringLiteral(
        "Codex could not fetch the plan limits from OpenAI. It will try again at the next check.");
    static inline const QString refused
        = QStringLiteral("Codex could not report the plan limits. Run codex in a terminal to see why.");
    static inline const QString stopped = QStringLiteral(
        "Codex stopped before it reported the plan limits. Run codex in a terminal to see why.");
    // "OpenAI Codex answered with something Brenvo does not understand."
    static QString notUnderstood();

    explicit CodexAppServer(std::shared_ptr<ToolAccount> codex);

    // Asks the server at program. Throws UsageFailure with the sentence to show.
    QCoro::Task<CodexAnswer> ask(QString program);

    // One line from the server: kept in replies when it answers one of the wanted ids; anything
    // else (notifications, other ids, text that is not a JSON object) is passed over.
    static void takeLine(
        const QByteArray& line, const QSet<qint64>& wanted, QMap<qint64, QJsonObject>& replies);
    // The answer from the limits and account replies, or nothing with failure set to its sentence.
    static std::optional<CodexAnswer> readAnswer(
        const QJsonObject& limits, const QJsonObject& account, QString& failure);

private:
    std::shared_ptr<ToolAccount> m_codex;
};

} // namespace brenvo
