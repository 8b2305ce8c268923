// The tool protocols can be implemented with only their required calls, and their defaults answer
// "nothing" at once.
#include "model/ActivitySource.h"
#include "model/UsageSource.h"
#include "support/RunTask.h"

#include <gtest/gtest.h>

namespace brenvo {
namespace {

using test::runTask;

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
    std::optional<QString> disconnect() override { return std::nullopt; }
    QCoro::Task<std::optional<UsageReport>> report() override { co_return std::nullopt; }
};

TEST(ToolProtocols, DefaultsAnswerNothingAtOnceAndFailuresCarryTheirSentence)
{
    BareActivity source;
    auto projects = source.projects(QStringLiteral("test-token-not-real"));
    auto avatar = source.accountIcon(QStringLiteral("test-token-not-real"));
    EXPECT_TRUE(projects.isReady() && avatar.isReady());
    EXPECT_TRUE(runTask(std::move(projects)).isEmpty());
    EXPECT_FALSE(runTask(std::move(avatar)));
    EXPECT_FALSE(source.advice());

    FailingUsage usage;
    EXPECT_TRUE(usage.askNow().isReady());
    try {
        runTask(usage.connect());
        ADD_FAILURE() << "connect did not fail";
    } catch (const UsageFailure& failure) {
        EXPECT_EQ(failure.reason(), QStringLiteral("Claude Code is not installed."));
        EXPECT_STREQ(failure.what(), "Claude Code is not installed.");
    }
}

} // namespace
} // namespace brenvo
