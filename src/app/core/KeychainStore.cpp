#include "app/core/KeychainStore.h"

#include "model/Log.h"

#include <QStringDecoder>

#include <libsecret/secret.h>

namespace brenvo {

namespace {

const SecretSchema* schema()
{
    // Items are matched by their attributes alone, whichever program made them.
    static const SecretSchema value = [] {
        SecretSchema s {};
        s.name = "org.freedesktop.Secret.Generic";
        s.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
        s.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return &value;
}

// Says what failed, never what was stored.
void logFailure(const char* what, const QString& account, GError* error)
{
    qCWarning(logApp, "The secret store could not %s %s: %s", what, qUtf8Printable(account),
        error ? error->message : "no answer");
    if (error)
        g_error_free(error);
}

struct Attributes {
    explicit Attributes(const QString& service, const QString& account)
        : table(secret_attributes_build(schema(), "service", service.toUtf8().constData(), "account",
            account.toUtf8().constData(), nullptr))
    {
    }
    ~Attributes() { g_hash_table_unref(table); }
    Attributes(const Attributes&) = delete;
    Attributes& operator=(const Attributes&) = delete;
    GHashTable* table;
};

} // namespace

KeychainStore::KeychainStore(QString service)
    : m_service(std::move(service))
{
}

std::optional<QString> KeychainStore::secret(const QString& key)
{
    const SecretLookup result = read(key);
    if (result.isFound())
        return result.value();
    return std::nullopt;
}

bool KeychainStore::setSecret(const QString& value, const QString& key)
{
    return write(value, key);
}

void KeychainStore::removeSecret(const QString& key)
{
    deleteItem(key);
}

SecretLookup KeychainStore::lookupSecret(const QString& key)
{
    return read(key);
}

SecretLookup KeychainStore::read(const QString& account) const
{
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error);
    if (!service) {
        logFailure("read", account, error);
        return SecretLookup::unreadable();
    }
    // The plain lookup call reports an item that stays locked (the user dismissed the unlock
    // prompt) as no item; searching tells the two apart.
    const Attributes attributes(m_service, account);
    const auto flags = static_cast<SecretSearchFlags>(SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS);
    GList* items = secret_service_search_sync(service, schema(), attributes.table, flags, nullptr, &error);
    g_object_unref(service);
    if (error) {
        logFailure("read", account, error);
        return SecretLookup::unreadable();
    }
    if (!items)
        return SecretLookup::absent();

    SecretLookup result = SecretLookup::unreadable();
    auto* item = static_cast<SecretItem*>(items->data);
    SecretValue* value = secret_item_get_locked(item) ? nullptr : secret_item_get_secret(item);
    if (value) {
        gsize length = 0;
        const gchar* bytes = secret_value_get(value, &length);
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = decoder(QByteArrayView(bytes, static_cast<qsizetype>(length)));
        result = decoder.hasError() ? SecretLookup::absent() : SecretLookup::found(std::move(text));
        secret_value_unref(value);
    } else {
        qCWarning(
            logApp, "The secret store could not read %s: the item stays locked", qUtf8Printable(account));
    }
    g_list_free_full(items, g_object_unref);
    return result;
}

std::optional<SecretStore::Listing> KeychainStore::listSecrets()
{
    const QString what = QStringLiteral("list the items of ") + m_service;
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error);
    if (!service) {
        logFailure("read", what, error);
        return Listing {};
    }
    GHashTable* attributes
        = secret_attributes_build(schema(), "service", m_service.toUtf8().constData(), nullptr);
    const auto flags = static_cast<SecretSearchFlags>(
        SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS);
    GList* items = secret_service_search_sync(service, schema(), attributes, flags, nullptr, &error);
    g_hash_table_unref(attributes);
    g_object_unref(service);
    if (error) {
        logFailure("read", what, error);
        return Listing {};
    }
    Listing listing;
    listing.readable = true;
    for (GList* at = items; at; at = at->next) {
        auto* item = static_cast<SecretItem*>(at->data);
        GHashTable* found = secret_item_get_attributes(item);
        const QString account
            = QString::fromUtf8(static_cast<const char*>(g_hash_table_lookup(found, "account")));
        g_hash_table_unref(found);
        SecretValue* value = secret_item_get_locked(item) ? nullptr : secret_item_get_secret(item);
        if (!value) {
            qCWarning(
                logApp, "The secret store could not read %s: the item stays locked", qUtf8Printable(account));
            listing = Listing {};
            break;
        }
        gsize length = 0;
        const gchar* bytes = secret_value_get(value, &length);
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = decoder(QByteArrayView(bytes, static_cast<qsizetype>(length)));
        if (!decoder.hasError() && !account.isEmpty())
            listing.values.insert(account, std::move(text));
        secret_value_unref(value);
    }
    g_list_free_full(items, g_object_unref);
    return listing;
}

bool KeychainStore::write(const QString& value, const QString& account) const
{
    const QByteArray bytes = value.toUtf8();
    const QByteArray label = (account + QStringLiteral(" (") + m_service + u')').toUtf8();
    SecretValue* secret = secret_value_new(bytes.constData(), bytes.size(), "text/plain");
    GError* error = nullptr;
    // Replaces an item with the same attributes, or adds one.
    const gboolean stored = secret_password_store_binary_sync(schema(), SECRET_COLLECTION_DEFAULT,
        label.constData(), secret, nullptr, &error, "service", m_service.toUtf8().constData(), "account",
        account.toUtf8().constData(), nullptr);
    secret_value_unref(secret);
    if (!stored || error) {
        logFailure("save", account, error);
        return false;
    }
    return true;
}

void KeychainStore::deleteItem(const QString& account) const
{
    GError* error = nullptr;
    secret_password_clear_sync(schema(), nullptr, &error, "service", m_service.toUtf8().constData(),
        "account", account.toUtf8().constData(), nullptr);
    if (error)
        logFailure("delete", account, error);
}

} // namespace brenvo
