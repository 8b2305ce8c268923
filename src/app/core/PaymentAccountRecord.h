#pragma once

#include <QList>
#include <QMap>
#include <QString>

#include <optional>

namespace brenvo {

// One stored account of a payment tool. Its id also forms the account's secret key: "kit.", the
// tool's raw value, "." and the id.
struct PaymentAccountRecord {
    QString id;
    std::optional<QString> name;
    std::optional<QString> site;

    friend bool operator==(const PaymentAccountRecord&, const PaymentAccountRecord&) = default;
};

// The accounts of each payment tool, keyed by the tool's raw value.
using PaymentAccounts = QMap<QString, QList<PaymentAccountRecord>>;

// JSON: {"stripe": [{"id": ..., "name": ..., "site": ...}], ...}; "name" and "site" are written
// only when present.
QByteArray encodePaymentAccounts(const PaymentAccounts& accounts);
// Nothing when the data is not a JSON object. A tool whose value is not an array, and a record
// without a text "id" or with a "name" or "site" that is neither text nor null, are skipped, so one
// bad entry does not cost the others.
std::optional<PaymentAccounts> decodePaymentAccounts(const QByteArray& data);

} // namespace brenvo
