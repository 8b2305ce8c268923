#include "FuzzKit.h"

#include "model/KitText.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QLocale>
#include <QTimeZone>

#include <cstdlib>

namespace brenvo::fuzz {

void start()
{
    static int argc = 1;
    static char name[] = "brenvo-fuzz";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*=false");
    static QGuiApplication app(argc, argv);
}

QByteArray bytes(const std::uint8_t* data, std::size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
}

FuzzTransport::FuzzTransport(const QByteArray& input)
{
    static constexpr int statuses[] = {200, 200, 200, 200, 201, 304, 401, 403, 404, 429, 500};
    for (const QByteArray& part : input.split(char(0xFF))) {
        if (part.isEmpty()) {
            m_replies.append(QByteArray());
            m_statuses.append(200);
            continue;
        }
        m_statuses.append(statuses[std::uint8_t(part[0]) % std::size(statuses)]);
        m_replies.append(part.mid(1));
    }
}

QCoro::Task<HTTPResponse> FuzzTransport::data(HTTPRequest request)
{
    Q_UNUSED(request);
    const int index = requests++ % int(m_replies.size());
    // A walk that keeps asking past a few hundred requests is a loop the fuzzer should see.
    if (requests > 500)
        std::abort();
    co_return HTTPResponse {m_replies[index], m_statuses[index]};
}

QDateTime fixedNow()
{
    return QDateTime(QDate(2026, 12, 7), QTime(12, 0), QTimeZone::utc());
}

void detail::spin(const bool& done)
{
    const QDeadlineTimer deadline(5000);
    while (!done && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    // A task that never ends over a transport that never waits is a hang.
    if (!done)
        std::abort();
}

void touch(const QList<Deployment>& rows)
{
    for (const Deployment& row : rows) {
        for (const auto service : KitService::allCases())
            row.stateWord(service);
        row.subtitle();
        row.shortID();
        ageText(row.date, fixedNow());
    }
    Deployment::newlyReady(rows, rows.mid(1));
    Deployment::settledChanges(rows, rows.mid(1));
}

void touch(const DeploymentDetails& details)
{
    if (details.buildDuration)
        durationText(*details.buildDuration);
    for (const DeploymentCheck& check : details.checks)
        check.url.has_value();
}

void touch(const QList<Payment>& payments)
{
    for (const Payment& payment : payments) {
        payment.amountText(QLocale(QLocale::English, QLocale::UnitedStates));
        payment.amountText(QLocale(QLocale::German, QLocale::Germany));
        ageText(payment.date, fixedNow());
    }
    Payment::newlySucceeded(payments, payments.mid(1));
    Payment::changed(payments, payments.mid(1));
}

void touch(const QList<UsageSpend>& spend)
{
    for (const UsageSpend& row : spend)
        row.tokensText();
}

void touch(const UsageReport& report)
{
    for (const UsageMeter& meter : report.meters) {
        meter.percentText();
        meter.resetText(fixedNow());
    }
    UsageReport::signal(report.rolledOver(fixedNow()), fixedNow());
}

} // namespace brenvo::fuzz

// Every target shares one start: libFuzzer and the replay program both call this first.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    brenvo::fuzz::start();
    return 0;
}
