#include "payments/PaymentReading.h"

#include "http/ReplySupport.h"
#include "model/Log.h"

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

ServiceAPI paymentAPI(std::shared_ptr<HTTPClient> http, QUrl baseURL)
{
    ServiceAPI api;
    api.http = std::move(http);
    api.baseURL = std::move(baseURL);
    return api;
}

std::optional<QString> siteText(const std::optional<QString>& text)
{
    if (!text)
        return std::nullopt;
    const QString site = text->trimmed();
    if (site.isEmpty())
        return std::nullopt;
    // A bare host is read the way the icon loader reads it: as https.
    const auto address = webAddress(site.contains(u"://"_s) ? site : u"https://"_s + site);
    if (!address || !address->userInfo().isEmpty())
        return std::nullopt;
    return site;
}

std::optional<QUrl> dashboardLink(const QString& base, const QStringList& segments)
{
    QString text = base;
    for (const QString& segment : segments) {
        if (segment.isEmpty())
            return std::nullopt;
        text += u'/' + QString::fromLatin1(QUrl::toPercentEncoding(segment));
    }
    return webAddress(text);
}

QString currencyCode(const QString& text)
{
    return text.trimmed().toUpper();
}

QString withoutKey(QString text, const QString& key)
{
    if (!key.isEmpty())
        text.replace(key, u"\u2026"_s);
    return text;
}

QList<Payment> firstOf(QList<Payment> payments, int limit)
{
    if (limit < 1)
        return {};
    if (payments.size() > limit)
        payments.resize(limit);
    return payments;
}

QCoro::Task<PaymentAccountInfo> unlessRefused(QCoro::Task<PaymentAccountInfo> lookup, const char* what)
{
    try {
        co_return co_await std::move(lookup);
    } catch (const ServiceFailure& failure) {
        if (failure.isRejected())
            throw;
        qCInfo(logApp, "%s: %s", what, qUtf8Printable(failureName(std::current_exception())));
    } catch (const std::exception&) {
        qCInfo(logApp, "%s: %s", what, qUtf8Printable(failureName(std::current_exception())));
    }
    co_return PaymentAccountInfo {};
}

} // namespace brenvo
