#include "app/core/PaymentAccountRecord.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace brenvo {

namespace {

// Text or absent (null counts as absent); nothing at all for any other type.
std::optional<std::optional<QString>> optionalText(const QJsonObject& object, const QString& key)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::optional<QString>();
    if (!value.isString())
        return std::nullopt;
    return std::optional<QString>(value.toString());
}

std::optional<PaymentAccountRecord> decodeRecord(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue id = object.value(QStringLiteral("id"));
    const auto name = optionalText(object, QStringLiteral("name"));
    const auto site = optionalText(object, QStringLiteral("site"));
    if (!id.isString() || !name || !site)
        return std::nullopt;
    return PaymentAccountRecord {id.toString(), *name, *site};
}

} // namespace

QByteArray encodePaymentAccounts(const PaymentAccounts& accounts)
{
    QJsonObject root;
    for (auto it = accounts.cbegin(); it != accounts.cend(); ++it) {
        QJsonArray list;
        for (const PaymentAccountRecord& record : it.value()) {
            QJsonObject object {{QStringLiteral("id"), record.id}};
            if (record.name)
                object.insert(QStringLiteral("name"), *record.name);
            if (record.site)
                object.insert(QStringLiteral("site"), *record.site);
            list.append(object);
        }
        root.insert(it.key(), list);
    }
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

std::optional<PaymentAccounts> decodePaymentAccounts(const QByteArray& data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    PaymentAccounts accounts;
    const QJsonObject root = document.object();
    for (auto it = root.begin(); it != root.end(); ++it) {
        if (!it.value().isArray())
            continue;
        QList<PaymentAccountRecord> records;
        for (const QJsonValue& item : it.value().toArray()) {
            if (auto record = decodeRecord(item))
                records.append(std::move(*record));
        }
        accounts.insert(it.key(), records);
    }
    return accounts;
}

} // namespace brenvo
