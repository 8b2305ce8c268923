#pragma once

#include <QMap>
#include <QString>

#include <functional>
#include <optional>

namespace brenvo {

// The three-way answer of a secret read: a value, nothing stored, or a store that would not say.
class SecretLookup {
public:
    enum class Kind { found, absent, unreadable };

    static SecretLookup found(QString value) { return SecretLookup(Kind::found, std::move(value)); }
    static SecretLookup absent() { return SecretLookup(Kind::absent, {}); }
    static SecretLookup unreadable() { return SecretLookup(Kind::unreadable, {}); }

    Kind kind() const { return m_kind; }
    bool isFound() const { return m_kind == Kind::found; }
    bool isAbsent() const { return m_kind == Kind::absent; }
    bool isUnreadable() const { return m_kind == Kind::unreadable; }
    // The value when found, else empty.
    const QString& value() const { return m_value; }

    friend bool operator==(const SecretLookup&, const SecretLookup&) = default;

private:
    SecretLookup(Kind kind, QString value)
        : m_kind(kind)
        , m_value(std::move(value))
    {
    }
    Kind m_kind;
    QString m_value;
};

// Where tokens and keys live, by a text key. Implementations never throw.
class SecretStore {
public:
    virtual ~SecretStore() = default;

    // The value, or nothing when none is stored or it cannot be read.
    virtual std::optional<QString> secret(const QString& key) = 0;
    // Stores the value under the key. False when it was not saved (the caller keeps it if it must).
    virtual bool setSecret(const QString& value, const QString& key) = 0;
    // Deletes the value under the key; deleting what is not there is no error. False when the
    // value may still be stored (a locked keyring).
    virtual bool removeSecret(const QString& key) = 0;
    virtual SecretLookup lookupSecret(const QString& key) = 0;
    // The value that the last setSecret() could not save is kept for this run and saved later.
    virtual bool isHeld(const QString& /*key*/) const { return false; }

    // Every value the store holds, by key, in one round trip: nothing when the store cannot list
    // (callers then ask key by key); `readable` false when it could not be read as a whole.
    struct Listing {
        bool readable = false;
        QMap<QString, QString> values;
    };
    virtual std::optional<Listing> listSecrets() { return std::nullopt; }

    // Reads and writes never ask the user anything: a locked store reads as unreadable and
    // refuses writes. Only this asks, without waiting: the answer comes later on the calling
    // thread, unless the store is gone first. False when there is nothing to ask (the store never
    // locks), and then `answer` is never called.
    enum class UnlockAnswer { unlocked, dismissed, failed };
    virtual bool requestUnlock(std::function<void(UnlockAnswer)> /*answer*/) { return false; }
};

} // namespace brenvo
