// The tool protocols can be implemented with only their required calls, and their defaults answer
// "nothing" at once.
#include "model/ActivitySource.h"
#include "model/UsageSource.h"

#include <QCoroTask>
#include <gtest/gtest.h>

namespace brenvo {
namespace {

class BareActivity final : public ActivitySource {
public:
    QCoro::Task<QString> account(QString) override { co_return QStringLiteral("demo"); }
    QCoro::Task<QList<Deployment>> deployments(QString, std::optional<QString>, int) override
    {
        co_return {};
    }
    QCoro::Task<DeploymentDetails> details(QString, Deployment) override { co_return {}; }
    QCoro::Task<std::optional<QString>> redeploy(QString, Deployment) override { co_return std::nullopt; }
    QCoro::Task<std::optional<QImage>> projectIcon(QString, Deployment) override { co_return std::nullopt; }
};

class FailingUsage final : public UsageSource {
public:
    bool isConnected() const override { return false; }
    QCoro::Task<void> connect() override
    {
        throw UsageFailure(QStringLiteral("Claude Code is not installed."));
        co_return;
    }
    void disconnect() override { }
    QCoro::Task<std::optional<UsageReport>> report() override { co_return std::nullopt; }
};

// Awaits a task that completes without suspending; its failure comes back as the exception.
// (QCoro's waitFor never returns when the awaited task throws.)
template <typename T>
QCoro::Task<> collect(QCoro::Task<T> task, std::optional<T>& result, std::exception_ptr& error)
{
    try {
        result = co_await std::move(task);
    } catch (...) {
        error = std::current_exception();
    }
}

template <typename T> T ready(QCoro::Task<T> task)
{
    EXPECT_TRUE(task.isReady());
    std::optional<T> result;
    std::exception_ptr error;
    collect(std::move(task), result, error);
    if (error)
        std::rethrow_exception(error);
    return *result;
}

QCoro::Task<> collectVoid(QCoro::Task<> task, std::exception_ptr& error)
{
    try {
        co_await std::move(task);
    } catch (...) {
        error = std::current_exception();
    }
}

TEST(ToolProtocols, DefaultsAnswerNothingAtOnce)
{
    BareActivity source;
    EXPECT_TRUE(ready(source.projects(QStringLiteral("test-token-not-real"))).isEmpty());
    EXPECT_FALSE(ready(source.accountIcon(QStringLiteral("test-token-not-real"))).has_value());
    EXPECT_FALSE(source.advice().has_value());

    FailingUsage usage;
    auto ask = usage.askNow();
    EXPECT_TRUE(ask.isReady());
}

TEST(ToolProtocols, UsageFailureCarriesItsSentence)
{
    FailingUsage usage;
    std::exception_ptr error;
    collectVoid(usage.connect(), error);
    try {
        ASSERT_TRUE(error);
        std::rethrow_exception(error);
    } catch (const UsageFailure& failure) {
        EXPECT_EQ(failure.reason(), QStringLiteral("Claude Code is not installed."));
        EXPECT_STREQ(failure.what(), "Claude Code is not installed.");
    }
    EXPECT_EQ(UsageFailure(QStringLiteral("a")), UsageFailure(QStringLiteral("a")));
    EXPECT_FALSE(UsageFailure(QStringLiteral("a")) == UsageFailure(QStringLiteral("b")));
}

} // namespace
} // namespace brenvo
