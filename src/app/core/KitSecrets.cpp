#include "app/core/KitSecrets.h"

#include "app/core/Defaults.h"
#include "model/Log.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QPointer>

#include <utility>

namespace brenvo {

namespace {

const QString removedMembers = QStringLiteral("members");
const QString removedItems = QStringLiteral("items");

QSet<QString> namesIn(const QVariant& list)
{
    QSet<QString> names;
    for (const QVariant& name : list.toList()) {
        if (name.typeId() == QMetaType::QString)
            names.insert(name.toString());
    }
    return names;
}

QVariant listOf(const QSet<QString>& names)
{
    QStringList sorted(names.begin(), names.end());
    sorted.sort();
    return QVariantList(sorted.begin(), sorted.end());
}

} // namespace

KitSecrets::KitSecrets(SecretStore& base, Defaults* defaults, QObject* parent)
    : QObject(parent)
    , m_base(base)
    , m_defaults(defaults)
{
    if (!m_defaults)
        return;
    // Removals an earlier run could not finish: the keyring must not give those keys back.
    m_storedRemovals = m_defaults->object(removalsKey).toMap();
    m_removed = namesIn(m_storedRemovals.value(removedMembers));
    m_itemsToDelete = namesIn(m_storedRemovals.value(removedItems));
    m_toldPending = hasPendingWrites();
    if (m_defaults->contains(namesKey))
        m_names = namesIn(m_defaults->object(namesKey));
}

void KitSecrets::ensureLoaded()
{
    if (!m_keys)
        read();
}

bool KitSecrets::reload()
{
    if (!isReadable()) {
        read();
    } else if (hasPendingWrites()) {
        const bool saved = m_unsaved && saveKeys();
        deleteItems();
        notePending();
        if (saved)
            Q_EMIT becameReadable(); // a write the keyring refused went through now
    }
    return isReadable();
}

void KitSecrets::read()
{
    const bool wasDenied = m_keys && m_denied;
    SecretLookup lookup = SecretLookup::unreadable();
    std::optional<Listing> listing = m_base.listSecrets();
    m_listed = listing.has_value();
    m_listingRead = listing && listing->readable;
    if (!listing) {
        lookup = m_base.lookupSecret(itemKey);
    } else if (listing->readable) {
        m_singles = std::move(listing->values);
        const auto item = m_singles.constFind(itemKey);
        lookup = item == m_singles.cend() ? SecretLookup::absent() : SecretLookup::found(*item);
        m_singles.remove(itemKey);
    }
    if (lookup.isUnreadable()) {
        if (!m_keys)
            m_keys.emplace();
        m_denied = true;
        return;
    }

    QMap<QString, QString> stored;
    m_damaged.reset();
    if (lookup.isFound()) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(lookup.value().toUtf8(), &error);
        m_foreign = {};
        if (error.error != QJsonParseError::NoError || !document.isObject()) {
            // Read as empty, so that tools can be connected again; its text is kept before the
            // item is written over.
            qCWarning(logApp,
                "The kit's keys item holds no JSON object: it reads as empty, and its text is kept "
                "as \"%s\" when the keys are next saved",
                qUtf8Printable(damagedKey));
            m_damaged = lookup.value();
        } else {
            const QJsonObject object = document.object();
            for (auto it = object.begin(); it != object.end(); ++it) {
                if (it.value().isString())
                    stored.insert(it.key(), it.value().toString());
                else
                    m_foreign.insert(it.key(), it.value());
            }
        }
    }

    // What was set or removed while the item was out of reach (in this run, or a removal in an
    // earlier one) wins over what it holds.
    QSet<QString> stillStored;
    for (const QString& key : std::as_const(m_removed)) {
        if (stored.remove(key) > 0 || m_foreign.contains(key))
            stillStored.insert(key);
        m_foreign.remove(key);
    }
    if (m_keys) {
        for (auto it = m_keys->cbegin(); it != m_keys->cend(); ++it)
            stored.insert(it.key(), it.value());
    }
    m_keys = std::move(stored);
    m_denied = false;
    // Forgotten only once a save without them goes through.
    m_removed = std::move(stillStored);
    if (!m_removed.isEmpty())
        m_unsaved = true;
    if (m_unsaved)
        saveKeys();
    else
        noteNames();
    deleteItems();
    notePending();
    if (wasDenied)
        Q_EMIT becameReadable();
}

std::optional<QString> KitSecrets::secret(const QString& key)
{
    ensureLoaded();
    const auto it = m_keys->constFind(key);
    if (it != m_keys->cend())
        return *it;
    return adopt(key);
}

std::optional<QString> KitSecrets::adopt(const QString& key)
{
    // A key the user removed is never taken over again, whatever the keyring still holds.
    if (m_adopted.contains(key) || m_removed.contains(key) || m_itemsToDelete.contains(key))
        return std::nullopt;
    std::optional<QString> value;
    if (m_listed) {
        // Asked again once a listing reads.
        if (!m_listingRead)
            return std::nullopt;
        m_adopted.insert(key);
        const auto single = m_singles.constFind(key);
        if (single == m_singles.cend())
            return std::nullopt;
        value = *single;
    } else {
        m_adopted.insert(key);
        value = m_base.secret(key);
        if (!value)
            return std::nullopt;
    }
    m_keys->insert(key, *value);
    m_unsaved = true;
    // The item of its own goes only once its token is safely in the shared item.
    m_singlesToDelete.insert(key);
    saveKeys();
    return value;
}

bool KitSecrets::setSecret(const QString& value, const QString& key)
{
    // A write is the user's moment: worth one more look at an item that did not read.
    if (!isReadable())
        read();
    m_keys->insert(key, value);
    m_foreign.remove(key);
    m_unsaved = true;
    // A removal still to be done stays remembered until a save goes through: the token held
    // meanwhile is gone at quit, and the one removed must not come back then.
    if (saveKeys())
        return true;
    m_held.insert(key);
    notePending();
    askToUnlock();
    return false;
}

bool KitSecrets::removeSecret(const QString& key)
{
    if (!isReadable())
        read();
    m_held.remove(key);
    const bool removedText = m_keys->remove(key) > 0;
    const bool removedOther = m_foreign.contains(key);
    m_foreign.remove(key);
    const bool removed = removedText || removedOther;
    if (m_denied) {
        // The unreadable item may hold the key: remember to drop it when the item reads again.
        m_removed.insert(key);
        m_unsaved = true;
    }
    if (removed) {
        m_unsaved = true;
        if (!saveKeys())
            m_removed.insert(key); // the keyring still holds it: dropped at the next save that works
    }
    // A listing that read says whether there is an item of its own to delete.
    const bool maySingle = !m_listingRead || m_singles.contains(key);
    if ((!m_adopted.contains(key) && maySingle) || m_singlesToDelete.contains(key)
        || m_itemsToDelete.contains(key)) {
        m_singlesToDelete.remove(key);
        if (m_base.removeSecret(key)) {
            m_singles.remove(key);
            m_itemsToDelete.remove(key);
        } else {
            m_itemsToDelete.insert(key);
        }
    }
    m_adopted.insert(key);
    notePending();
    const bool done = !m_removed.contains(key) && !m_itemsToDelete.contains(key);
    if (!done)
        askToUnlock();
    return done;
}

void KitSecrets::deleteItems()
{
    if (!isReadable())
        return;
    for (const QString& key : QSet<QString>(m_itemsToDelete)) {
        // A listing that read says whether the item is still there.
        if ((m_listingRead && !m_singles.contains(key)) || m_base.removeSecret(key)) {
            m_itemsToDelete.remove(key);
            m_singles.remove(key);
            qCInfo(logApp, "A key removed earlier is now gone from the keyring too");
        }
    }
}

void KitSecrets::noteNames()
{
    if (!m_defaults || !m_keys)
        return;
    QSet<QString> names(m_keys->keyBegin(), m_keys->keyEnd());
    if (names == m_names)
        return;
    m_names = names;
    m_defaults->setObject(namesKey, listOf(names));
}

void KitSecrets::notePending()
{
    if (m_defaults) {
        QVariantMap removals;
        if (!m_removed.isEmpty())
            removals.insert(removedMembers, listOf(m_removed));
        if (!m_itemsToDelete.isEmpty())
            removals.insert(removedItems, listOf(m_itemsToDelete));
        if (removals != m_storedRemovals) {
            m_storedRemovals = removals;
            if (removals.isEmpty())
                m_defaults->remove(removalsKey);
            else
                m_defaults->setObject(removalsKey, removals);
        }
    }
    const bool pending = hasPendingWrites();
    if (m_held == m_toldHeld && pending == m_toldPending)
        return;
    m_toldHeld = m_held;
    m_toldPending = pending;
    Q_EMIT pendingWritesChanged();
}

SecretLookup KitSecrets::lookupSecret(const QString& key)
{
    if (auto value = secret(key))
        return SecretLookup::found(std::move(*value));
    // A key the locked item may hold is not a missing one: a payment account must not read as refused.
    if (m_denied && !m_removed.contains(key) && (!m_names || m_names->contains(key)))
        return SecretLookup::unreadable();
    return SecretLookup::absent();
}

bool KitSecrets::saveKeys()
{
    if (m_denied || !m_keys) {
        qCCritical(logApp, "The kit's keys could not be saved: the keychain item is not readable");
        return false;
    }
    const bool replacesDamaged = m_damaged.has_value();
    if (replacesDamaged && !keepDamaged()) {
        qCCritical(logApp,
            "The kit's keys could not be saved: the text of the damaged item could not be kept; they "
            "are kept for this run");
        return false;
    }
    QJsonObject object = m_foreign;
    for (auto it = m_keys->cbegin(); it != m_keys->cend(); ++it)
        object.insert(it.key(), it.value());
    const QString text = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    if (!m_base.setSecret(text, itemKey)) {
        qCCritical(logApp,
            "The kit's keys could not be saved: the keychain did not accept them; they are kept "
            "for this run");
        return false;
    }
    m_unsaved = false;
    m_removed.clear();
    m_held.clear();
    noteNames();
    if (replacesDamaged)
        qCInfo(logApp, "The kit's keys item that held no JSON object was replaced with the keys of this run");
    for (const QString& key : std::exchange(m_singlesToDelete, {})) {
        m_singles.remove(key);
        m_base.removeSecret(key);
    }
    notePending();
    return true;
}

bool KitSecrets::keepDamaged()
{
    // Never over an earlier copy that holds another text: the next free name.
    QString name = damagedKey;
    for (int number = 2;; ++number) {
        SecretLookup there = SecretLookup::absent();
        if (m_listingRead) {
            const auto single = m_singles.constFind(name);
            if (single != m_singles.cend())
                there = SecretLookup::found(*single);
        } else {
            there = m_base.lookupSecret(name);
        }
        if (there.isUnreadable())
            return false;
        if (there.isAbsent() || there.value() == *m_damaged)
            break;
        name = damagedKey + u'.' + QString::number(number);
    }
    if (!m_base.setSecret(*m_damaged, name))
        return false;
    qCWarning(logApp, "The text of the kit's keys item that held no JSON object is kept in \"%s\"",
        qUtf8Printable(name));
    if (m_listingRead)
        m_singles.insert(name, *m_damaged);
    m_damaged.reset();
    return true;
}

void KitSecrets::askToUnlockOnce()
{
    if (std::exchange(m_askedAtLaunch, true))
        return;
    ensureLoaded();
    if (!isReadable())
        askToUnlock();
}

void KitSecrets::askToUnlock()
{
    // One prompt at a time; a dismissed one is asked again only by the next call (a save).
    if (m_unlockPending)
        return;
    QPointer<KitSecrets> self(this);
    // Pending before the call: a store may answer inside it, and that answer must not be undone.
    m_unlockPending = true;
    if (!m_base.requestUnlock([self](UnlockAnswer answer) {
            if (self)
                self->unlockAnswered(answer);
        }))
        m_unlockPending = false;
}

void KitSecrets::unlockAnswered(UnlockAnswer answer)
{
    m_unlockPending = false;
    if (answer == UnlockAnswer::unlocked) {
        qCInfo(logApp, "The keyring was unlocked");
        reload();
        return;
    }
    if (isReadable() && !hasPendingWrites())
        return; // opened some other way meanwhile
    qCInfo(logApp, "The keyring stays locked: it is asked for again only when a token is saved");
}

} // namespace brenvo
