#pragma once

#include "model/KitConnection.h"

#include <QString>

namespace brenvo {

// One connected account of a payment tool as the settings window and the payments card list it.
struct PaymentAccount {
    QString id; // the stored record's id
    QString name;
    KitConnection connection;
    bool keyHeld = false; // used, but not in the keyring yet

    bool operator==(const PaymentAccount&) const = default;
};

} // namespace brenvo
