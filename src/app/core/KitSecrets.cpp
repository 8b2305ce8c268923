#include "app/core/KitSecrets.h"

#include "model/Log.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QPointer>

#include <utility>

namespace brenvo {

KitSecrets::KitSecrets(SecretStore& base, QObject* parent)
    : QObject(parent)
    , m_base(base)
{
}

void KitSecrets::ensureLoaded()
{
    if (!m_keys)
        read();
}

bool KitSecrets::reload()
{
    if (!isReadable())
        read();
    else if (m_unsaved && saveKeys())
        Q_EMIT becameReadable(); // a write the keyring refused went through now
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

    // What this run set or removed while the item was out of reach wins over what it holds.
    for (const QString& key : std::as_const(m_removed)) {
        stored.remove(key);
        m_foreign.remove(key);
    }
    if (m_keys) {
        for (auto it = m_keys->cbegin(); it != m_keys->cend(); ++it)
            stored.insert(it.key(), it.value());
    }
    m_keys = std::move(stored);
    m_denied = false;
    m_removed.clear();
    if (m_unsaved)
        saveKeys();
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
    if (m_adopted.contains(key))
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
    m_removed.remove(key);
    m_unsaved = true;
    if (saveKeys())
        return true;
    askToUnlock();
    return false;
}

void KitSecrets::removeSecret(const QString& key)
{
    if (!isReadable())
        read();
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
        saveKeys();
    }
    if (m_unsaved)
        askToUnlock();
    // A listing that read says whether there is an item of its own to delete.
    const bool maySingle = !m_listingRead || m_singles.contains(key);
    if ((!m_adopted.contains(key) && maySingle) || m_singlesToDelete.contains(key)) {
        m_singlesToDelete.remove(key);
        m_singles.remove(key);
        m_base.removeSecret(key);
    }
    m_adopted.insert(key);
}

SecretLookup KitSecrets::lookupSecret(const QString& key)
{
    if (auto value = secret(key))
        return SecretLookup::found(std::move(*value));
    // A key the locked item may hold is not a missing one: a payment account must not read as refused.
    if (m_denied && !m_removed.contains(key))
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
    if (replacesDamaged)
        qCInfo(logApp, "The kit's keys item that held no JSON object was replaced with the keys of this run");
    for (const QString& key : std::exchange(m_singlesToDelete, {})) {
        m_singles.remove(key);
        m_base.removeSecret(key);
    }
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
    if (isReadable() && !m_unsaved)
        return; // opened some other way meanwhile
    qCInfo(logApp, "The keyring stays locked: it is asked for again only when a token is saved");
}

} // namespace brenvo
