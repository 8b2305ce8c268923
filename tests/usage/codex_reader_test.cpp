// Codex's plan limits through the real codex program (installed by scripts/setup), in a throwaway
// HOME and CODEX_HOME, its backend played by the loopback server.
#include "app/core/MemoryDefaults.h"
#include "app/core/PreferencesStore.h"
#include "support/LoopbackServer.h"
#include "support/ManualScheduler.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"
#include "usage/CodexUsageReader.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace brenvo;
using namespace brenvo::test;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString toolsBin = QStringLiteral(BRENVO_TOOLS_DIR "/node_modules/.bin");

void write(const QString& path, const QByteArray& bytes, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    if (executable)
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QByteArray base64url(const QByteArray& bytes)
{
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

// A ChatGPT sign-in as codex stores it; the tokens are unsigned made-up JWTs.
QByteArray fakeSignIn()
{
    const QByteArray jwt = base64url(R"({"alg":"none","typ":"JWT"})") + '.'
        + base64url(R"({"email":"someone@example.com","exp":4102444800,"https://api.openai.com/auth":)"
                    R"({"chatgpt_plan_type":"plus","chatgpt_account_id":"acct-test"}})")
        + '.' + base64url("unsigned");
    return R"({"OPENAI_API_KEY":null,"tokens":{"id_token":")" + jwt + R"(","access_token":")" + jwt
        + R"(","refresh_token":"refresh-test","account_id":"acct-test"},"last_refresh":"2099-01-01T00:00:00Z"})";
}

const QByteArray usageReply = R"({"plan_type":"plus","rate_limit":{"allowed":true,"limit_reached":false,)"
                              R"("primary_window":{"used_percent":18,"limit_window_seconds":18000,)"
                              R"("reset_after_seconds":12000,"reset_at":1773502000},"secondary_window":)"
                              R"({"used_percent":81,"limit_window_seconds":604800,"reset_after_seconds":)"
                              R"(172800,"reset_at":1773662800}},"credits":null})";

template <typename F> bool pumpUntil(F ready)
{
    QDeadlineTimer deadline(10000);
    while (!ready() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return ready();
}

class CodexReader : public ::testing::Test {
protected:
    QTemporaryDir home;
    LoopbackServer backend;
    ManualScheduler scheduler;
    MemoryDefaults defaults;
    PreferencesStore preferences {defaults};
    const QDateTime now = scheduler.wallNow();

    std::unique_ptr<CodexUsageReader> reader(
        const QString& path = toolsBin + u':' + qEnvironmentVariable("PATH"))
    {
        auto codex = std::make_shared<ToolAccount>(
            u"codex"_s, scheduler, ToolAccount::Places {path, {}, home.path(), {}});
        codex->environment = {{u"HOME"_s, home.path()}, {u"CODEX_HOME"_s, home.path() + u"/codex"_s}};
        write(home.path() + u"/codex/config.toml"_s,
            "chatgpt_base_url = \"" + backend.baseUrl().toString().toUtf8() + "\"\n");
        return std::make_unique<CodexUsageReader>(
            preferences, codex, std::make_shared<CodexAppServer>(codex), [this] { return now; });
    }
    template <typename T> QString failureOf(QCoro::Task<T> task)
    {
        try {
            runTask(std::move(task));
        } catch (const UsageFailure& failure) {
            return failure.reason();
        }
        return {};
    }
};

} // namespace

// Through the real program: why it gives no limits, then the signed-in limits in the report.
TEST_F(CodexReader, RealProgram)
{
    if (!QFileInfo(toolsBin + u"/codex"_s).isExecutable())
        GTEST_SKIP() << "scripts/setup has not installed codex";
    EXPECT_EQ(failureOf(reader(home.path() + u"/none"_s)->connect()), CodexUsageReader::notInstalled);
    EXPECT_EQ(failureOf(reader()->connect()), CodexAppServer::notSignedIn);
    write(home.path() + u"/codex/auth.json"_s, fakeSignIn());
    backend.route("GET", "/api/codex/usage", 500, R"({"detail":"unavailable"})");
    EXPECT_EQ(failureOf(reader()->connect()), CodexAppServer::backendFailed);
    EXPECT_FALSE(reader()->isConnected());

    backend.clearRequests();
    backend.route("GET", "/api/codex/usage", 200, usageReply);
    auto codex = reader();
    EXPECT_EQ(failureOf(codex->connect()), QString());
    EXPECT_TRUE(codex->isConnected());
    const auto report = runTask(codex->report());
    const UsageReport expected {
        {{u"main.primary"_s, u"5-hour limit"_s, 0.18, QDateTime::fromSecsSinceEpoch(1773502000, Qt::UTC)},
            {u"main.secondary"_s, u"Weekly limit"_s, 0.81,
                QDateTime::fromSecsSinceEpoch(1773662800, Qt::UTC)}},
        u"Plus"_s, now, std::nullopt};
    EXPECT_EQ(report, expected);
    EXPECT_EQ(backend.requests("GET", "/api/codex/usage").size(), 2u);
    codex->disconnect();
    EXPECT_FALSE(codex->isConnected());
}

// A program that never answers is killed at the limit, with whatever it started.
TEST_F(CodexReader, EndsAServerThatNeverAnswers)
{
    const QString pidFile = home.path() + u"/grandchild"_s;
    write(home.path() + u"/bin/codex"_s,
        "#!/bin/sh\nsleep 60 &\necho $! > '" + pidFile.toUtf8() + "'\nwait\n", true);
    auto codex = reader(home.path() + u"/bin:/usr/bin:/bin"_s);
    auto task = codex->report();
    ASSERT_TRUE(pumpUntil([&] { return QFileInfo(pidFile).size() > 0; }));
    QFile file(pidFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString proc = u"/proc/"_s + QString::fromUtf8(file.readAll().trimmed());
    scheduler.advance(CodexAppServer::limit - std::chrono::milliseconds(1));
    QCoreApplication::processEvents();
    EXPECT_FALSE(task.isReady());
    scheduler.advance(std::chrono::milliseconds(1));
    EXPECT_EQ(failureOf(std::move(task)), CodexAppServer::noAnswer);
    // Gone, or a zombie waiting for whoever inherited it.
    EXPECT_TRUE(pumpUntil([&] {
        QFile stat(proc + u"/stat"_s);
        return !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
    }));
}
