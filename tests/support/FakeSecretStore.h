#pragma once

#include "app/core/SecretStore.h"

#include <QMap>
#include <QSet>
#include <QStringList>

#include <utility>

namespace brenvo::test {

// An in-memory secret store that records each call ("lookup k", "secret k", "set k", "remove k",
// "unlock") and can play a locked item or a store that refuses writes. An unlock request waits in
// `unlockAnswer` until the test answers it.
class FakeSecretStore final : public SecretStore {
public:
    QMap<QString, QString> items;
    // Keys whose item exists but cannot be read.
    QSet<QString> unreadable;
    bool refuseWrites = false;
    // Keeps a refused value for the run, as the kit's secrets do: served by reads, said held.
    bool holdsRefused = false;
    QMap<QString, QString> held;
    // Answers listSecrets() ("list") as a keyring does; unreadable then if any item is.
    bool lists = false;
    QStringList calls;
    std::function<void(UnlockAnswer)> unlockAnswer;

    std::optional<Listing> listSecrets() override
    {
        if (!lists)
            return std::nullopt;
        calls.append(QStringLiteral("list"));
        return unreadable.isEmpty() ? Listing {true, items} : Listing {};
    }

    std::optional<QString> secret(const QString& key) override
    {
        calls.append(QStringLiteral("secret ") + key);
        if (held.contains(key))
            return held.value(key);
        if (unreadable.contains(key) || !items.contains(key))
            return std::nullopt;
        return items.value(key);
    }

    bool setSecret(const QString& value, const QString& key) override
    {
        calls.append(QStringLiteral("set ") + key);
        if (refuseWrites || unreadable.contains(key)) {
            if (holdsRefused)
                held.insert(key, value);
            return false;
        }
        items.insert(key, value);
        held.remove(key);
        return true;
    }

    bool removeSecret(const QString& key) override
    {
        calls.append(QStringLiteral("remove ") + key);
        held.remove(key);
        if (unreadable.contains(key))
            return false;
        items.remove(key);
        return true;
    }

    bool isHeld(const QString& key) const override { return held.contains(key); }
    // Writes what was held, as a keyring that opened again would take it.
    void saveHeld()
    {
        refuseWrites = false;
        for (auto it = held.cbegin(); it != held.cend(); ++it)
            items.insert(it.key(), it.value());
        held.clear();
    }

    bool requestUnlock(std::function<void(UnlockAnswer)> answer) override
    {
        calls.append(QStringLiteral("unlock"));
        unlockAnswer = std::move(answer);
        return true;
    }

    // Answers the waiting unlock request as the user would.
    void answerUnlock(UnlockAnswer answer)
    {
        if (answer == UnlockAnswer::unlocked)
            unreadable.clear();
        std::exchange(unlockAnswer, nullptr)(answer);
    }

    SecretLookup lookupSecret(const QString& key) override
    {
        calls.append(QStringLiteral("lookup ") + key);
        if (held.contains(key))
            return SecretLookup::found(held.value(key));
        if (unreadable.contains(key))
            return SecretLookup::unreadable();
        if (!items.contains(key))
            return SecretLookup::absent();
        return SecretLookup::found(items.value(key));
    }
};

} // namespace brenvo::test
