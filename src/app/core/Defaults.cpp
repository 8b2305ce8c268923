#include "app/core/Defaults.h"

#include "model/Log.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QLocale>

#include <limits>

namespace brenvo {

namespace {

std::optional<QCborValue> toCbor(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return QCborValue(value.toBool());
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
        return QCborValue(value.toLongLong());
    case QMetaType::ULongLong: {
        const auto n = value.toULongLong();
        if (n <= static_cast<qulonglong>(std::numeric_limits<qint64>::max()))
            return QCborValue(static_cast<qint64>(n));
        return QCborValue(static_cast<double>(n));
    }
    case QMetaType::Float:
    case QMetaType::Double:
        return QCborValue(value.toDouble());
    case QMetaType::QString:
        return QCborValue(value.toString());
    case QMetaType::QByteArray:
        return QCborValue(value.toByteArray());
    case QMetaType::QStringList: {
        QCborArray array;
        for (const QString& s : value.toStringList())
            array.append(s);
        return QCborValue(array);
    }
    case QMetaType::QVariantList: {
        QCborArray array;
        for (const QVariant& item : value.toList()) {
            auto converted = toCbor(item);
            if (!converted)
                return std::nullopt;
            array.append(*converted);
        }
        return QCborValue(array);
    }
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
        QCborMap map;
        const QVariantMap source = value.toMap();
        for (auto it = source.cbegin(); it != source.cend(); ++it) {
            auto converted = toCbor(it.value());
            if (!converted)
                return std::nullopt;
            map.insert(it.key(), *converted);
        }
        return QCborValue(map);
    }
    default:
        return std::nullopt;
    }
}

QVariant fromCbor(const QCborValue& value)
{
    switch (value.type()) {
    case QCborValue::Integer:
        return QVariant(static_cast<qlonglong>(value.toInteger()));
    case QCborValue::Double:
        return QVariant(value.toDouble());
    case QCborValue::True:
        return QVariant(true);
    case QCborValue::False:
        return QVariant(false);
    case QCborValue::String:
        return QVariant(value.toString());
    case QCborValue::ByteArray:
        return QVariant(value.toByteArray());
    case QCborValue::Array: {
        QVariantList list;
        for (const QCborValue& item : value.toArray()) {
            QVariant converted = fromCbor(item);
            if (!converted.isValid())
                return {};
            list.append(converted);
        }
        return QVariant(list);
    }
    case QCborValue::Map: {
        QVariantMap map;
        const QCborMap source = value.toMap();
        for (auto it = source.cbegin(); it != source.cend(); ++it) {
            if (!it.key().isString())
                return {};
            QVariant converted = fromCbor(it.value());
            if (!converted.isValid())
                return {};
            map.insert(it.key().toString(), converted);
        }
        return QVariant(map);
    }
    default:
        return {};
    }
}

// A text's truth as a property-list domain reads it.
bool textIsTrue(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    if (i == text.size())
        return false;
    const QChar first = text.at(i);
    if (first == u'Y' || first == u'y' || first == u'T' || first == u't')
        return true;
    if (first == u'+' || first == u'-')
        ++i;
    while (i < text.size() && text.at(i) == u'0')
        ++i;
    return i < text.size() && text.at(i) >= u'1' && text.at(i) <= u'9';
}

} // namespace

QByteArray Defaults::encode(const QVariant& value)
{
    const auto cbor = toCbor(value);
    return cbor ? cbor->toCbor() : QByteArray();
}

QVariant Defaults::decode(const QByteArray& bytes)
{
    QCborParserError error;
    const QCborValue value = QCborValue::fromCbor(bytes, &error);
    if (error.error != QCborError::NoError)
        return {};
    return fromCbor(value);
}

QByteArray Defaults::storedForm(const QString& key, const QVariant& value)
{
    QByteArray stored = encode(value);
    if (stored.isEmpty())
        qCWarning(logApp, "Setting %s not stored: a %s cannot be kept", qUtf8Printable(key),
            value.isValid() ? value.metaType().name() : "missing value");
    return stored;
}

bool Defaults::boolValue(const QString& key) const
{
    const QVariant value = object(key);
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::LongLong:
        return value.toLongLong() != 0;
    case QMetaType::Double:
        return value.toDouble() != 0.0;
    case QMetaType::QString:
        return textIsTrue(value.toString());
    default:
        return false;
    }
}

std::optional<QString> Defaults::stringValue(const QString& key) const
{
    const QVariant value = object(key);
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::LongLong:
        return QString::number(value.toLongLong());
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    default:
        return std::nullopt;
    }
}

} // namespace brenvo
