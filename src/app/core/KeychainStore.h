#pragma once

#include "app/core/SecretStore.h"

using GCancellable = struct _GCancellable;

namespace brenvo {

// Secrets in the desktop's Secret Service (GNOME Keyring, KWallet): one item per key, found by the
// attributes service and account. Reads, writes and deletes are synchronous but never ask the user
// anything, so they wait only for the service itself: a locked item reads as unreadable and a
// locked keyring refuses writes. requestUnlock() alone asks the user, asynchronously, its answer
// carried by the GLib main context that the Qt event loop drives.
class KeychainStore final : public SecretStore {
public:
    explicit KeychainStore(QString service);
    // Dismisses an unlock prompt still waiting for the user.
    ~KeychainStore() override;
    KeychainStore(const KeychainStore&) = delete;
    KeychainStore& operator=(const KeychainStore&) = delete;

    const QString& service() const { return m_service; }

    std::optional<QString> secret(const QString& key) override;
    bool setSecret(const QString& value, const QString& key) override;
    bool removeSecret(const QString& key) override;
    SecretLookup lookupSecret(const QString& key) override;
    // Every item of this service in one search (values of items that are not UTF-8 text left out).
    std::optional<Listing> listSecrets() override;
    // Asks to unlock the locked items of this service and the default keyring (or to make one when
    // there is none). The answer comes once the user has answered the prompt.
    bool requestUnlock(std::function<void(UnlockAnswer)> answer) override;

    // Found, absent (no item, or one whose data is not UTF-8 text), or unreadable (the service
    // failed, or the item stayed locked).
    SecretLookup read(const QString& account) const;
    bool write(const QString& value, const QString& account) const;
    bool deleteItem(const QString& account) const;

private:
    QString m_service;
    GCancellable* m_cancellable = nullptr;
};

} // namespace brenvo
