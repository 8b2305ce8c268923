#pragma once

#include "app/core/SecretStore.h"

namespace brenvo {

// Secrets in the desktop's Secret Service (GNOME Keyring, KWallet): one item per key, found by the
// attributes service and account. The calls are synchronous and block while the service answers
// (or while it asks the user to unlock); they run no event loop of the application's.
class KeychainStore final : public SecretStore {
public:
    explicit KeychainStore(QString service);

    const QString& service() const { return m_service; }

    std::optional<QString> secret(const QString& key) override;
    bool setSecret(const QString& value, const QString& key) override;
    void removeSecret(const QString& key) override;
    SecretLookup lookupSecret(const QString& key) override;
    // Every item of this service in one search (values of items that are not UTF-8 text left out).
    std::optional<Listing> listSecrets() override;

    // Found, absent (no item, or one whose data is not UTF-8 text), or unreadable (the service
    // failed, or the item stayed locked).
    SecretLookup read(const QString& account) const;
    bool write(const QString& value, const QString& account) const;
    void deleteItem(const QString& account) const;

private:
    QString m_service;
};

} // namespace brenvo
