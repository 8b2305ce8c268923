#include "app/core/KitSecrets.h"

#include "model/Log.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <utility>

namespace brenvo {

KitSecrets::KitSecrets(SecretStore& base)
    : m_base(base)
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
    return isReadable();
}

void KitSecrets::read()
{
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
    if (lookup.isFound()) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(lookup.value().toUtf8(), &error);
        if (error.error != QJsonParseError::NoError || !document.isObject()) {
            // Writing over it would drop every token it may hold: leave it for the user.
            if (!m_denied)
                qCCritical(logApp, "The kit's keys item does not hold a JSON object; it is left untouched");
            if (!m_keys)
                m_keys.emplace();
            m_denied = true;
            return;
        }
        const QJsonObject object = document.object();
        m_foreign = {};
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (it.value().isString())
                stored.insert(it.key(), it.value().toString());
            else
                m_foreign.insert(it.key(), it.value());
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
    reload();
    m_keys->insert(key, value);
    m_foreign.remove(key);
    m_removed.remove(key);
    m_unsaved = true;
    return saveKeys();
}

void KitSecrets::removeSecret(const QString& key)
{
    reload();
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
    return SecretLookup::absent();
}

bool KitSecrets::saveKeys()
{
    if (m_denied || !m_keys) {
        qCCritical(logApp, "The kit's keys could not be saved: the keychain item is not readable");
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
    for (const QString& key : std::exchange(m_singlesToDelete, {})) {
        m_singles.remove(key);
        m_base.removeSecret(key);
    }
    return true;
}

} // namespace brenvo
