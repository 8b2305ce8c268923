#include "usage/CodexUsageReader.h"

#include "app/core/PreferencesStore.h"

#include <QPointer>
#include <QTimeZone>

namespace brenvo {

CodexUsageReader::CodexUsageReader(PreferencesStore& preferences, std::shared_ptr<ToolAccount> codex,
    std::shared_ptr<CodexAppServer> server, std::function<QDateTime()> now)
    : m_preferences(preferences)
    , m_codex(std::move(codex))
    , m_server(std::move(server))
    , m_now(std::move(now))
{
}

bool CodexUsageReader::isConnected() const
{
    return m_preferences.linkedServices().contains(KitService::codex);
}

QCoro::Task<void> CodexUsageReader::connect()
{
    QPointer<CodexUsageReader> self(this);
    co_await report();
    if (!self)
        co_return;
    QSet<KitService> linked = m_preferences.linkedServices();
    linked.insert(KitService::codex);
    m_preferences.setLinkedServices(std::move(linked));
}

std::optional<QString> CodexUsageReader::disconnect()
{
    QSet<KitService> linked = m_preferences.linkedServices();
    linked.remove(KitService::codex);
    m_preferences.setLinkedServices(std::move(linked));
    return std::nullopt;
}

QCoro::Task<std::optional<UsageReport>> CodexUsageReader::report()
{
    QPointer<CodexUsageReader> self(this);
    const auto codex = m_codex;
    const auto server = m_server;
    const std::optional<QString> program = co_await codex->locate();
    if (!self)
        co_return std::nullopt;
    if (!program)
        throw UsageFailure(notInstalled);
    const CodexAnswer answer = co_await server->ask(*program);
    if (!self)
        co_return std::nullopt;
    co_return reportFrom(answer, m_now());
}

QString CodexUsageReader::windowName(std::optional<qint64> minutes, bool primary)
{
    if (!minutes || *minutes <= 0)
        return primary ? QStringLiteral("Usage limit") : QStringLiteral("Longer usage limit");
    if (*minutes == 7 * 24 * 60)
        return QStringLiteral("Weekly limit");
    if (*minutes % (24 * 60) == 0)
        return QStringLiteral("%1-day limit").arg(*minutes / (24 * 60));
    if (*minutes % 60 == 0)
        return QStringLiteral("%1-hour limit").arg(*minutes / 60);
    return QStringLiteral("%1-minute limit").arg(*minutes);
}

UsageReport CodexUsageReader::reportFrom(const CodexAnswer& answer, const QDateTime& now)
{
    UsageReport report;
    report.asOf = now;
    const auto add = [&report](const std::optional<CodexRateLimits::Window>& window, bool primary) {
        if (!window)
            return;
        UsageMeter meter;
        meter.id = primary ? QStringLiteral("main.primary") : QStringLiteral("main.secondary");
        meter.name = windowName(window->windowDurationMins, primary);
        meter.fraction = window->usedPercent / 100.0;
        if (window->resetsAt)
            meter.resetsAt = QDateTime::fromSecsSinceEpoch(*window->resetsAt, Qt::UTC);
        report.meters.append(meter);
    };
    add(answer.limits.primary, true);
    add(answer.limits.secondary, false);
    std::optional<QString> plan = answer.limits.planType;
    if (!plan && answer.account)
        plan = answer.account->planType;
    if (plan && !plan->isEmpty())
        report.plan = plan->left(1).toUpper() + plan->mid(1);
    if (answer.account && answer.account->email && !answer.account->email->isEmpty())
        report.account = answer.account->email;
    return report;
}

} // namespace brenvo
