// Money and large counts go through ICU, so that digits, grouping and rounding are the platform's.
#include "model/Log.h"
#include "model/Payment.h"
#include "model/Usage.h"

#include <unicode/locid.h>
#include <unicode/numberformatter.h>
#include <unicode/ucurr.h>
#include <unicode/unistr.h>

#include <array>
#include <charconv>
#include <cmath>
#include <string>

namespace brenvo {

namespace {

QString fromIcu(const icu::UnicodeString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

// The ISO code in upper case, or nothing when it is not three ASCII letters.
std::optional<std::u16string> isoCode(const QString& currency)
{
    const QString code = currency.trimmed().toUpper();
    if (code.size() != 3)
        return std::nullopt;
    for (QChar c : code) {
        if (c < u'A' || c > u'Z')
            return std::nullopt;
    }
    return code.toStdU16String();
}

// The minor-unit digits of a currency: 2 for USD, 0 for JPY, 3 for BHD.
int minorDigits(const std::u16string& code)
{
    UErrorCode status = U_ZERO_ERROR;
    const int32_t digits = ucurr_getDefaultFractionDigits(code.c_str(), &status);
    if (U_FAILURE(status) || digits < 0 || digits > 9)
        return 2;
    return digits;
}

// The amount moved d decimal places left, as exact decimal text: 2900, 2 gives "29.00".
std::string decimalText(qint64 amount, int digits)
{
    // Through the unsigned magnitude, so the most negative amount is not undefined.
    const bool negative = amount < 0;
    const quint64 magnitude = negative ? 0 - static_cast<quint64>(amount) : static_cast<quint64>(amount);
    std::string text = std::to_string(magnitude);
    if (digits > 0) {
        if (text.size() <= static_cast<size_t>(digits))
            text.insert(0, static_cast<size_t>(digits) + 1 - text.size(), '0');
        text.insert(text.size() - static_cast<size_t>(digits), 1, '.');
    }
    if (negative)
        text.insert(0, 1, '-');
    return text;
}

icu::Locale icuLocale(const QString& name)
{
    if (name.isEmpty() || name == u"C" || name == u"POSIX")
        return icu::Locale("en_US");
    return icu::Locale::createCanonical(name.toLatin1().constData());
}

// The one money formatter of the cards: an exact decimal amount in a currency, in a locale.
QString moneyText(const std::string& decimal, const QString& currency, const QString& localeName)
{
    if (const auto code = isoCode(currency)) {
        UErrorCode status = U_ZERO_ERROR;
        const icu::CurrencyUnit unit(code->c_str(), status);
        if (U_SUCCESS(status)) {
            const auto formatter = icu::number::NumberFormatter::withLocale(icuLocale(localeName)).unit(unit);
            const icu::UnicodeString text = formatter.formatDecimal(decimal, status).toString(status);
            if (U_SUCCESS(status))
                return fromIcu(text);
        }
        qCWarning(logApp, "Could not format an amount in %s", qUtf8Printable(currency));
    }
    // No usable currency: the bare figure and whatever code the tool gave.
    const QString figure = QString::fromStdString(decimal);
    const QString given = currency.trimmed();
    return given.isEmpty() ? figure : figure + u' ' + given;
}

QString localeName(const QLocale& locale)
{
    return locale.language() == QLocale::C ? QStringLiteral("C") : locale.bcp47Name();
}

} // namespace

QString Payment::amountText(const QLocale& locale) const
{
    return amountText(localeName(locale));
}

QString Payment::amountText(const QString& localeName) const
{
    const auto code = isoCode(currency);
    return moneyText(decimalText(amount, code ? minorDigits(*code) : 2), currency, localeName);
}

QString UsageSpend::amountText(const QLocale& locale) const
{
    if (!std::isfinite(amount))
        return QString();
    // Rounded to the currency's own minor unit, then formatted as a payment's amount is.
    // to_chars, unlike printf, never writes the process locale's decimal comma.
    const auto code = isoCode(currency);
    std::array<char, 400> buffer {};
    const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), amount,
        std::chars_format::fixed, code ? minorDigits(*code) : 2);
    if (written.ec != std::errc())
        return QString();
    return moneyText(std::string(buffer.data(), written.ptr), currency, localeName(locale));
}

std::optional<QString> UsageSpend::tokensText() const
{
    if (!tokens)
        return std::nullopt;
    const qint64 n = *tokens;
    if (n <= 999)
        return QStringLiteral("%1 tokens").arg(n);
    const bool millions = n >= 1000000;
    const double scaled = static_cast<double>(n) / (millions ? 1e6 : 1e3);
    UErrorCode status = U_ZERO_ERROR;
    const auto formatter = icu::number::NumberFormatter::withLocale(icu::Locale("en_US"))
                               .precision(icu::number::Precision::maxFraction(1));
    const icu::UnicodeString text = formatter.formatDouble(scaled, status).toString(status);
    const QString figure = U_SUCCESS(status) ? fromIcu(text) : QString::number(scaled, 'f', 1);
    return figure + (millions ? QStringLiteral("M tokens") : QStringLiteral("K tokens"));
}

} // namespace brenvo
