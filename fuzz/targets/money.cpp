// Amounts, currencies and the figures of the cards' texts.
#include "FuzzKit.h"
#include "model/KitText.h"

#include <cstring>

namespace {
template <typename T> T take(const std::uint8_t*& data, std::size_t& size)
{
    T value {};
    const std::size_t n = std::min(size, sizeof(T));
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace brenvo;
    Payment payment;
    payment.amount = take<qint64>(data, size);
    const double figure = take<double>(data, size);
    const qint64 seconds = take<qint64>(data, size);
    const std::size_t n = std::min<std::size_t>(size, 3);
    payment.currency = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(n));
    const QString localeName
        = QString::fromUtf8(reinterpret_cast<const char*>(data + n), qsizetype(size - n));
    payment.amountText(localeName);
    payment.amountText(QLocale(QLocale::English, QLocale::UnitedStates));
    durationText(figure);
    refreshIntervalText(figure);
    UsageMeter meter {QStringLiteral("m"), QStringLiteral("M"), figure, fuzz::fixedNow().addSecs(seconds)};
    UsageSpend spend {QStringLiteral("s"), QStringLiteral("S"), figure, payment.currency, seconds};
    fuzz::touch(UsageReport {{meter}, std::nullopt, fuzz::fixedNow(), std::nullopt});
    fuzz::touch(QList<UsageSpend> {spend});
    ageText(fuzz::fixedNow().addSecs(seconds), fuzz::fixedNow());
    return 0;
}
