// What a tool that has no such thing answers.
#include "model/ActivitySource.h"
#include "model/PaymentSource.h"
#include "model/SpendSource.h"
#include "model/UsageSource.h"

namespace brenvo {

QCoro::Task<QList<KitProject>> ActivitySource::projects(QString)
{
    co_return QList<KitProject>();
}

QCoro::Task<std::optional<QImage>> ActivitySource::accountIcon(QString)
{
    co_return std::nullopt;
}

std::optional<QString> ActivitySource::advice() const
{
    return std::nullopt;
}

QCoro::Task<void> UsageSource::askNow()
{
    co_return;
}

} // namespace brenvo
