#pragma once

#include "model/UsageSource.h"
#include "usage/CodexAppServer.h"
#include "usage/ToolAccount.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace brenvo {

class PreferencesStore;

// Codex's plan limits, asked of `codex app-server` at every report. Connected while the settings
// link codex; connecting asks once and links it only when that works.
class CodexUsageReader final : public QObject, public UsageSource {
    Q_OBJECT
public:
    static inline const QString notInstalled = QStringLiteral(
        "Codex is not installed. Install it with npm install -g @openai/codex, then connect again.");

    CodexUsageReader(PreferencesStore& preferences, std::shared_ptr<ToolAccount> codex,
        std::shared_ptr<CodexAppServer> server, std::function<QDateTime()> now);

    bool isConnected() const override;
    QCoro::Task<void> connect() override;
    std::optional<QString> disconnect() override;
    QCoro::Task<std::optional<UsageReport>> report() override;

    // The report that an answer of the server makes at now.
    static UsageReport reportFrom(const CodexAnswer& answer, const QDateTime& now);
    // "5-hour limit", "Weekly limit", "3-day limit"; by slot when the server gives no length.
    static QString windowName(std::optional<qint64> minutes, bool primary);

private:
    PreferencesStore& m_preferences;
    std::shared_ptr<ToolAccount> m_codex;
    std::shared_ptr<CodexAppServer> m_server;
    std::function<QDateTime()> m_now;
};

} // namespace brenvo
