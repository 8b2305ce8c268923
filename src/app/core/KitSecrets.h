#pragma once

#include "app/core/SecretStore.h"

#include <QVariantMap>

#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>

#include <optional>

namespace brenvo {

class Defaults;

// The tool store's secrets: every token in the one item "kit.keys" (a JSON object from key to
// token) of the base store, taking over tokens that an earlier version kept as items of their own.
// Read once: the first access reads the base store (one listing where the base can list, else one
// lookup of the item), and every later read is served from memory. Writes go through at once.
// When the item could not be read, reads answer from what this run set and nothing else until
// `reload()` reads it again: call it on each polling turn and when SecretServiceWatcher says the
// store may have become readable; it costs nothing while the item reads well. Main thread only.
//
// No read asks the user to unlock the keyring, so polling never does. The user is asked, without
// waiting, once at launch (askToUnlockOnce()) and again only when a save the user made finds the
// keyring locked; one prompt at a time, and a dismissed one is not repeated before that.
//
// An item that holds no JSON object reads as empty; the next save first keeps its text in an item
// of its own ("kit.keys.damaged") and only then replaces it.
//
// What the user asked that the keyring could not take yet is carried out once it can: a token that
// could not be saved is held (isHeld) and saved at the next reload that finds the keyring open; a
// removal is remembered in the settings domain, across runs, until the keyring no longer holds the
// key, and a key so removed is never taken over from an item of its own.
class KitSecrets final : public QObject, public SecretStore {
    Q_OBJECT

public:
    static inline const QString itemKey = QStringLiteral("kit.keys");
    static inline const QString damagedKey = QStringLiteral("kit.keys.damaged");
    // In the settings domain: {"members": [...], "items": [...]}, the keys removed whose member of
    // the shared item, or whose item of their own, the keyring may still hold. Names only.
    static inline const QString removalsKey = QStringLiteral("kitPendingRemovals");
    // In the settings domain: the keys the shared item held when it was last read or written, so
    // that a locked keyring is not said to hold a token that was never given. Names only.
    static inline const QString namesKey = QStringLiteral("kitKeyNames");

    // The base store (and the settings domain, when given) must outlive this object.
    explicit KitSecrets(SecretStore& base, Defaults* defaults = nullptr, QObject* parent = nullptr);

    std::optional<QString> secret(const QString& key) override;
    // Keeps the value for this run even when the item cannot be written; false in that case.
    bool setSecret(const QString& value, const QString& key) override;
    // False when the keyring may still hold the key: the removal is finished later.
    bool removeSecret(const QString& key) override;
    // Unreadable only for a key that is not in memory while the item cannot be read.
    SecretLookup lookupSecret(const QString& key) override;
    bool isHeld(const QString& key) const override { return m_held.contains(key); }
    // Something the user saved or removed has not reached the keyring yet.
    bool hasPendingWrites() const { return m_unsaved || !m_itemsToDelete.isEmpty(); }

    // The item could not be read (or holds something other than a JSON object) at the last look:
    // nothing is written to it until it reads well again.
    bool isDenied() const { return m_denied; }
    // Read at least once, and well at the last look.
    bool isReadable() const { return m_keys && !m_denied; }
    // Reads the base store again when it has not been read well yet (changes made meanwhile win
    // and are saved); true when the item is now readable. Nothing is asked while it reads well.
    bool reload();

    // The launch's one request to unlock, when the item did not read; later calls ask nothing.
    void askToUnlockOnce();
    bool isUnlockPending() const { return m_unlockPending; }

Q_SIGNALS:
    // The item reads now after it did not, or what could not be saved is saved now. Emitted from
    // inside reads and writes: connect with a queued connection when the reaction reads again.
    void becameReadable();
    // The held tokens or hasPendingWrites() changed.
    void pendingWritesChanged();

private:
    void ensureLoaded();
    void read();
    std::optional<QString> adopt(const QString& key);
    bool saveKeys();
    bool keepDamaged();
    // Asks once a save the user started did not reach the keyring, and once at launch.
    void askToUnlock();
    void unlockAnswered(UnlockAnswer answer);
    void deleteItems();
    // Stores the removals still to be done and tells of a change in what is pending.
    void notePending();
    // Notes the keys of the shared item as the keyring now holds them.
    void noteNames();

    SecretStore& m_base;
    Defaults* m_defaults;
    std::optional<QMap<QString, QString>> m_keys;
    bool m_denied = false;
    // Members changed in memory that the item does not hold yet.
    bool m_unsaved = false;
    // Keys removed that the shared item may still hold: a later merge must not bring them back.
    QSet<QString> m_removed;
    // Keys removed whose item of their own may still be there: deleted when the keyring allows.
    QSet<QString> m_itemsToDelete;
    // Tokens set that the keyring did not take yet.
    QSet<QString> m_held;
    // What was last told and stored.
    QSet<QString> m_toldHeld;
    bool m_toldPending = false;
    QVariantMap m_storedRemovals;
    std::optional<QSet<QString>> m_names; // none: not known
    QSet<QString> m_adopted;
    // Adopted tokens whose item of their own stays until the shared item holds them.
    QSet<QString> m_singlesToDelete;
    // Members of the item that are not text: not ours to read, kept as they were.
    QJsonObject m_foreign;
    // The base store listed its items at the last read (so single items are known without asking),
    // and whether that listing could be read.
    bool m_listed = false;
    bool m_listingRead = false;
    QMap<QString, QString> m_singles;
    // The text of an item that held no JSON object, until a copy of it is kept.
    std::optional<QString> m_damaged;
    bool m_askedAtLaunch = false;
    bool m_unlockPending = false;
};

} // namespace brenvo
