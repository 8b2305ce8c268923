#pragma once

#include "model/ActivitySource.h"
#include "model/PaymentSource.h"
#include "model/SpendSource.h"
#include "model/UsageSource.h"
#include "support/Gate.h"

#include <QImage>
#include <QMap>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <exception>
#include <map>
#include <memory>
#include <optional>

namespace brenvo::test {

// Answers are returned as copies: QCoro's return_value moves from a named member otherwise.

// Calls that a test holds until it releases them. A held call waits at its gate and reads its
// answer only after the release, so a test may change the answer while the call waits.
class HeldCalls {
public:
    void hold(const QString& call) { m_held.insert(call); }
    void letThrough(const QString& call) { m_held.remove(call); }
    Gate& gate(const QString& call)
    {
        auto& slot = m_gates[call];
        if (!slot)
            slot = std::make_unique<Gate>();
        return *slot;
    }
    // Releases every waiting call of that name; later ones are held again.
    void release(const QString& call) { gate(call).release(); }
    int waiting(const QString& call) { return gate(call).waiting(); }

protected:
    // Waits while the call is held, then reads the answer: a test may change it meanwhile.
    template <typename T> QCoro::Task<T> reply(QString call, const std::exception_ptr* error, const T* value)
    {
        co_await pass(call);
        if (*error)
            std::rethrow_exception(*error);
        co_return T(*value);
    }
    QCoro::Task<> pass(QString call)
    {
        if (!m_held.contains(call))
            co_return;
        auto awaiter = gate(call).wait();
        co_await awaiter;
    }

private:
    QSet<QString> m_held;
    std::map<QString, std::unique_ptr<Gate>> m_gates;
};

inline QImage testImage(QRgb colour)
{
    QImage image(2, 2, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

// A deployment or check tool. Calls are recorded as "account", "projects", "deployments <id or *>",
// "details <row id>", "redeploy <row id>", "projectIcon <project>", "accountIcon"; tokens as seen.
class FakeActivitySource final : public ActivitySource, public HeldCalls {
public:
    QString accountName = QStringLiteral("robin");
    QMap<QString, QString> namesByToken; // where a token has its own account
    std::exception_ptr accountError;
    QList<KitProject> projectList;
    std::exception_ptr projectsError;
    QList<Deployment> rows;
    std::exception_ptr rowsError;
    DeploymentDetails detailsAnswer;
    std::exception_ptr detailsError;
    std::optional<QString> redeployID;
    std::exception_ptr redeployError;
    QMap<QString, QImage> icons; // by project
    std::optional<QImage> avatar;
    std::optional<QString> adviceText;

    QStringList calls;
    QStringList tokens;

    QCoro::Task<QString> account(QString token) override
    {
        note(QStringLiteral("account"), token);
        const auto own = namesByToken.constFind(token);
        return reply(
            QStringLiteral("account"), &accountError, own == namesByToken.cend() ? &accountName : &*own);
    }
    QCoro::Task<QList<KitProject>> projects(QString token) override
    {
        note(QStringLiteral("projects"), token);
        return reply(QStringLiteral("projects"), &projectsError, &projectList);
    }
    QCoro::Task<QList<Deployment>> deployments(
        QString token, std::optional<QString> project, int limit) override
    {
        lastLimit = limit;
        note(QStringLiteral("deployments ") + project.value_or(QStringLiteral("*")), token);
        return reply(QStringLiteral("deployments"), &rowsError, &rows);
    }
    QCoro::Task<DeploymentDetails> details(QString token, Deployment deployment) override
    {
        note(QStringLiteral("details ") + deployment.id, token);
        return reply(QStringLiteral("details"), &detailsError, &detailsAnswer);
    }
    QCoro::Task<std::optional<QString>> redeploy(QString token, Deployment deployment) override
    {
        note(QStringLiteral("redeploy ") + deployment.id, token);
        return reply(QStringLiteral("redeploy"), &redeployError, &redeployID);
    }
    QCoro::Task<std::optional<QImage>> projectIcon(QString token, Deployment deployment) override
    {
        note(QStringLiteral("projectIcon ") + deployment.project, token);
        co_await pass(QStringLiteral("projectIcon"));
        if (icons.contains(deployment.project))
            co_return icons.value(deployment.project);
        co_return std::nullopt;
    }
    QCoro::Task<std::optional<QImage>> accountIcon(QString token) override
    {
        note(QStringLiteral("accountIcon"), token);
        return reply(QStringLiteral("accountIcon"), &noError, &avatar);
    }
    std::optional<QString> advice() const override { return adviceText; }

    int count(const QString& prefix) const
    {
        return std::count_if(
            calls.begin(), calls.end(), [&](const QString& c) { return c.startsWith(prefix); });
    }

    int lastLimit = 0;

private:
    void note(const QString& call, const QString& token)
    {
        calls.append(call);
        tokens.append(token);
    }
    const std::exception_ptr noError;
};

// A payment tool with answers per key. Calls are recorded as "account <key>" and "payments <key>".
class FakePaymentSource final : public PaymentSource, public HeldCalls {
public:
    QMap<QString, PaymentAccountInfo> infos;
    QMap<QString, QList<Payment>> lists;
    QMap<QString, std::exception_ptr> accountErrors;
    QMap<QString, std::exception_ptr> paymentErrors;
    QStringList calls;

    QCoro::Task<PaymentAccountInfo> account(QString key) override
    {
        calls.append(QStringLiteral("account ") + key);
        co_await pass(QStringLiteral("account"));
        if (accountErrors.contains(key))
            std::rethrow_exception(accountErrors.value(key));
        co_return infos.value(key);
    }
    QCoro::Task<QList<Payment>> payments(QString key, PaymentAccountInfo, int limit) override
    {
        calls.append(QStringLiteral("payments ") + key);
        lastLimit = limit;
        co_await pass(QStringLiteral("payments"));
        if (paymentErrors.contains(key))
            std::rethrow_exception(paymentErrors.value(key));
        co_return lists.value(key);
    }

    int lastLimit = 0;
};

// A local plan-limits reader.
class FakeUsageSource final : public UsageSource, public HeldCalls {
public:
    bool connected = false;
    std::exception_ptr connectError;
    std::optional<UsageReport> answer;
    std::exception_ptr reportError;
    int connects = 0;
    int disconnects = 0;
    int reports = 0;
    // Said by a disconnect that could not undo what connect set up (the source stays connected).
    std::optional<QString> disconnectRefusal;

    bool disconnecting = false;

    bool isConnected() const override { return connected; }
    bool isDisconnecting() const override { return disconnecting; }
    QCoro::Task<void> connect() override
    {
        ++connects;
        co_await pass(QStringLiteral("connect"));
        if (connectError)
            std::rethrow_exception(connectError);
        connected = true;
        disconnecting = false;
    }
    // A refused disconnect leaves the reader disconnecting, as a settings file that cannot be put
    // back does.
    std::optional<QString> disconnect() override
    {
        ++disconnects;
        disconnecting = disconnectRefusal && (connected || disconnecting);
        connected = false;
        return disconnecting ? disconnectRefusal : std::nullopt;
    }
    QCoro::Task<std::optional<UsageReport>> report() override
    {
        ++reports;
        return reply(QStringLiteral("report"), &reportError, &answer);
    }
    QCoro::Task<void> askNow() override { co_await pass(QStringLiteral("askNow")); }
};

// An admin cost client. Records the key and the date of each call.
class FakeSpendSource final : public SpendSource, public HeldCalls {
public:
    QList<UsageSpend> figures;
    std::exception_ptr error;
    QStringList keys;
    QList<QDateTime> dates;

    QCoro::Task<QList<UsageSpend>> spend(QString key, QDateTime now) override
    {
        keys.append(key);
        dates.append(now);
        return reply(QStringLiteral("spend"), &error, &figures);
    }
};

} // namespace brenvo::test
