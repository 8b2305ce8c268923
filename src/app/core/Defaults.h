#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

namespace brenvo {

// The user-defaults domain: typed values by key. A stored value is one of bool, qint64, double,
// QString, QByteArray, QVariantList or QVariantMap (lists and maps nest the same forms), and reads
// back exactly in that form: an empty list stays an empty list, 2.0 stays a double, "1" a text.
// Other integer and floating types are widened on the way in; anything else is not stored.
class Defaults {
public:
    virtual ~Defaults() = default;

    // The stored value, or an invalid QVariant when the key is absent or unreadable.
    virtual QVariant object(const QString& key) const = 0;
    virtual void setObject(const QString& key, const QVariant& value) = 0;
    virtual void remove(const QString& key) = 0;

    bool contains(const QString& key) const { return object(key).isValid(); }

    // The domain's own readings, lenient as a property-list domain is: a boolean is true for true,
    // a non-zero number or a text beginning with Y, T or a non-zero digit.
    bool boolValue(const QString& key) const;
    // A text as is, a number as its decimal text, anything else nothing.
    std::optional<QString> stringValue(const QString& key) const;

    // The one stored form shared by every implementation, so that an in-memory domain behaves
    // exactly like the file. encode() gives an empty array for a value it cannot store; decode()
    // an invalid QVariant for bytes that are no stored value.
    static QByteArray encode(const QVariant& value);
    static QVariant decode(const QByteArray& bytes);

protected:
    // encode(), logging a value that cannot be stored.
    static QByteArray storedForm(const QString& key, const QVariant& value);
};

} // namespace brenvo
