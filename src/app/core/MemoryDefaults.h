#pragma once

#include "app/core/Defaults.h"

#include <QMap>

namespace brenvo {

// A domain that lives only as long as the object: for tests and for runs that must leave the
// user's settings alone. Values go through the same stored form as the file.
class MemoryDefaults : public Defaults {
public:
    QVariant object(const QString& key) const override;
    void setObject(const QString& key, const QVariant& value) override;
    void remove(const QString& key) override;

    QStringList keys() const { return m_values.keys(); }

private:
    QMap<QString, QByteArray> m_values;
};

} // namespace brenvo
