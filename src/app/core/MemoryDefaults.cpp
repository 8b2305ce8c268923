#include "app/core/MemoryDefaults.h"

namespace brenvo {

QVariant MemoryDefaults::object(const QString& key) const
{
    const auto it = m_values.constFind(key);
    return it == m_values.cend() ? QVariant() : decode(*it);
}

void MemoryDefaults::setObject(const QString& key, const QVariant& value)
{
    QByteArray stored = storedForm(key, value);
    if (!stored.isEmpty())
        m_values.insert(key, stored);
}

void MemoryDefaults::remove(const QString& key)
{
    m_values.remove(key);
}

} // namespace brenvo
