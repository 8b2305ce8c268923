#include "model/KitText.h"

#include "model/AppConfig.h"
#include "model/Usage.h"

#include <cmath>
#include <optional>

namespace brenvo {

namespace {

// A floating value rounded half away from zero, or nothing when it is not a number or does not fit
// a 64-bit integer.
std::optional<qint64> roundedWhole(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double rounded = std::round(value);
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    constexpr double limit = 9223372036854775808.0;
    if (rounded >= limit || rounded < -limit)
        return std::nullopt;
    return static_cast<qint64>(rounded);
}

// Milliseconds from a to b, or nothing for an invalid date or a span that does not fit.
std::optional<qint64> msecsFromTo(const QDateTime& a, const QDateTime& b)
{
    if (!a.isValid() || !b.isValid())
        return std::nullopt;
    qint64 span = 0;
    if (__builtin_sub_overflow(b.toMSecsSinceEpoch(), a.toMSecsSinceEpoch(), &span))
        return std::nullopt;
    return span;
}

} // namespace

QString refreshIntervalText(double seconds)
{
    const auto n = roundedWhole(seconds);
    if (!n)
        return QString();
    if (*n <= 59)
        return QStringLiteral("Every %1s").arg(*n);
    return QStringLiteral("Every %1m").arg(*n / 60);
}

QString ageText(const QDateTime& date, const QDateTime& now)
{
    const auto span = msecsFromTo(date, now);
    if (!span)
        return QString();
    const qint64 t = *span / 1000;
    if (t < 60)
        return QStringLiteral("now");
    if (t < 3600)
        return QStringLiteral("%1m").arg(t / 60);
    if (t < 86400)
        return QStringLiteral("%1h").arg(t / 3600);
    return QStringLiteral("%1d").arg(t / 86400);
}

QString durationText(double seconds)
{
    const auto n = roundedWhole(seconds);
    if (!n || *n < 1)
        return QStringLiteral("Never");
    if (*n < 60)
        return *n == 1 ? QStringLiteral("1 second") : QStringLiteral("%1 seconds").arg(*n);
    const qint64 minutes = *n / 60;
    return minutes == 1 ? QStringLiteral("1 minute") : QStringLiteral("%1 minutes").arg(minutes);
}

QString UsageMeter::percentText() const
{
    if (!std::isfinite(fraction))
        return QString();
    const auto n = roundedWhole(fraction * 100);
    if (!n)
        return QString();
    return QStringLiteral("%1%").arg(*n);
}

std::optional<QString> UsageMeter::resetText(const QDateTime& now) const
{
    if (!resetsAt)
        return std::nullopt;
    const auto span = msecsFromTo(now, *resetsAt);
    if (!span || *span <= 0)
        return std::nullopt;
    // Any part of a minute counts as a minute.
    const qint64 m = *span / 60000 + (*span % 60000 != 0 ? 1 : 0);
    if (m <= 59)
        return QStringLiteral("resets in %1m").arg(m);
    if (m < 1440)
        return QStringLiteral("resets in %1h %2m").arg(m / 60).arg(m % 60);
    return QStringLiteral("resets in %1d %2h").arg(m / 1440).arg((m % 1440) / 60);
}

std::optional<QString> elapsedText(std::optional<double> seconds)
{
    if (!seconds || std::isnan(*seconds) || *seconds < 0)
        return std::nullopt;
    const double rounded = std::round(*seconds);
    // Beyond a signed 64-bit count there is no honest short text.
    if (!(rounded < 9223372036854775807.0))
        return std::nullopt;
    const qint64 n = static_cast<qint64>(rounded);
    if (n < 60)
        return QStringLiteral("%1s").arg(n);
    if (n < 3600)
        return QStringLiteral("%1m %2s").arg(n / 60).arg(n % 60);
    return QStringLiteral("%1h %2m").arg(n / 3600).arg((n % 3600) / 60);
}

QString appName()
{
    const QString name = AppConfig::main().name;
    return name.isEmpty() ? QStringLiteral("App") : name;
}

// The tools whose secret is called a key in a failure's sentence.
static bool takesKey(KitService service)
{
    return service == KitService::stripe || service == KitService::claude || service == KitService::codex;
}

QString rejectedText(KitService service)
{
    return service.serviceName() + QStringLiteral(" did not accept the ")
        + (takesKey(service) ? QStringLiteral("key") : QStringLiteral("token")) + QStringLiteral(".");
}

QString refusedText(KitService service, int status, const QString& message)
{
    return service.serviceName() + QStringLiteral(" answered ") + QString::number(status)
        + QStringLiteral(": ") + message;
}

QString redirectedText(KitService service)
{
    return service.serviceName() + QStringLiteral(" sent ") + appName()
        + QStringLiteral(" to another address, which ") + appName()
        + QStringLiteral(" does not follow with your ")
        + (takesKey(service) ? QStringLiteral("key.") : QStringLiteral("token."));
}

QString undecodableText(KitService service)
{
    return service.serviceName() + QStringLiteral(" answered with something ") + appName()
        + QStringLiteral(" does not understand.");
}

QString unreachableText(KitService service)
{
    return service.serviceName() + QStringLiteral(" could not be reached. Check your internet connection.");
}

QString unavailableText(KitService service)
{
    return appName() + QStringLiteral(" cannot connect to ") + service.serviceName()
        + QStringLiteral(" in this version.");
}

QString notSavedText(KitService service)
{
    // Unlike a rejection, every payment and usage tool is said to have a key here.
    const bool isKey = service.isPayment() || service.isUsage();
    return service.serviceName() + QStringLiteral(" accepted the ")
        + (isKey ? QStringLiteral("key") : QStringLiteral("token"))
        + QStringLiteral(", but it could not be saved in the keyring.");
}

static QString credentialWord(KitService service)
{
    return takesKey(service) ? QStringLiteral("key") : QStringLiteral("token");
}

QString lockedText(KitService service)
{
    return appName() + QStringLiteral(" cannot read your ") + service.serviceName() + u' '
        + credentialWord(service)
        + QStringLiteral(
            " while the keyring is locked. What it shows comes back once the keyring is unlocked.");
}

QString heldText(KitService service)
{
    return QStringLiteral("The keyring is locked, so the ") + credentialWord(service)
        + QStringLiteral(" is not saved yet: ") + appName()
        + QStringLiteral(" uses it until it quits, and saves it as soon as the keyring is unlocked.");
}

static bool isCheckTool(KitService service)
{
    return service == KitService::github || service == KitService::gitlab;
}

QString checkWord(Deployment::State state, KitService service)
{
    switch (state) {
    case Deployment::State::ready:
        return isCheckTool(service) ? QStringLiteral("Passed") : QStringLiteral("Ready");
    case Deployment::State::building:
        return isCheckTool(service) ? QStringLiteral("Running") : QStringLiteral("Building");
    case Deployment::State::failed:
        return QStringLiteral("Failed");
    case Deployment::State::canceled:
        return QStringLiteral("Canceled");
    }
    return QString();
}

QString buildingSentence(KitService service)
{
    if (service == KitService::github)
        return QStringLiteral("Its checks are running.");
    if (service == KitService::gitlab)
        return QStringLiteral("The pipeline is running.");
    return QStringLiteral("Building now.");
}

QString redeployTitle(KitService service)
{
    if (service == KitService::github)
        return QStringLiteral("Re-run failed");
    if (service == KitService::gitlab)
        return QStringLiteral("Retry");
    return QStringLiteral("Redeploy");
}

QString confirmTitle(KitService service)
{
    if (service == KitService::github)
        return QStringLiteral("Confirm re-run");
    if (service == KitService::gitlab)
        return QStringLiteral("Confirm retry");
    return QStringLiteral("Confirm redeploy");
}

QString redeployStartedText(KitService service)
{
    if (service == KitService::github)
        return QStringLiteral("Re-run started");
    if (service == KitService::gitlab)
        return QStringLiteral("Retry started");
    return QStringLiteral("Redeploy started");
}

} // namespace brenvo
