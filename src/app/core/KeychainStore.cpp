#include "app/core/KeychainStore.h"

#include "model/Log.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QStringDecoder>
#include <QTimer>

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

bool KeychainStore::removeSecret(const QString& key)
{
    return deleteItem(key);
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
    // Searching, unlike the plain lookup call, tells a locked item from none. No unlock flag: a
    // read never puts a prompt in front of the user nor waits for one.
    const Attributes attributes(m_service, account);
    const auto flags = SECRET_SEARCH_LOAD_SECRETS;
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
        qCDebug(logApp, "The secret store could not read %s: the item is locked", qUtf8Printable(account));
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
    const auto flags = static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS);
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
            qCDebug(
                logApp, "The secret store could not read %s: the item is locked", qUtf8Printable(account));
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
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error);
    if (!service) {
        logFailure("save", account, error);
        return false;
    }
    // Storing into a locked keyring would ask the user to unlock it and wait for the answer: it
    // refuses the write instead, and requestUnlock() asks.
    SecretCollection* collection = secret_collection_for_alias_sync(
        service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
    g_object_unref(service);
    if (!collection) {
        if (error)
            logFailure("save", account, error);
        else
            qCWarning(logApp, "The secret store could not save %s: there is no default keyring",
                qUtf8Printable(account));
        return false;
    }
    if (secret_collection_get_locked(collection)) {
        qCWarning(
            logApp, "The secret store could not save %s: the keyring is locked", qUtf8Printable(account));
        g_object_unref(collection);
        return false;
    }
    const QByteArray bytes = value.toUtf8();
    const QByteArray label = (account + QStringLiteral(" (") + m_service + u')').toUtf8();
    SecretValue* secret = secret_value_new(bytes.constData(), bytes.size(), "text/plain");
    const Attributes attributes(m_service, account);
    // Replaces an item with the same attributes, or adds one.
    SecretItem* item = secret_item_create_sync(collection, schema(), attributes.table, label.constData(),
        secret, SECRET_ITEM_CREATE_REPLACE, nullptr, &error);
    secret_value_unref(secret);
    g_object_unref(collection);
    if (!item) {
        logFailure("save", account, error);
        return false;
    }
    g_object_unref(item);
    if (error)
        g_error_free(error);
    return true;
}

bool KeychainStore::deleteItem(const QString& account) const
{
    GError* error = nullptr;
    secret_password_clear_sync(schema(), nullptr, &error, "service", m_service.toUtf8().constData(),
        "account", account.toUtf8().constData(), nullptr);
    if (error) {
        logFailure("delete", account, error);
        return false;
    }
    // A locked item is passed over without a word: gone only when nothing is found any more.
    if (!read(account).isAbsent()) {
        qCWarning(
            logApp, "The secret store could not delete %s: the item is locked", qUtf8Printable(account));
        return false;
    }
    return true;
}

namespace {

// Async answers are dispatched by the GLib main context. Qt's own loop turns it where Qt was built
// on GLib (the usual case); otherwise it is turned by hand while an unlock is waiting.
class GlibTurner {
public:
    static void hold()
    {
        if (++count() == 1 && !drivenByQt())
            timer().start();
    }
    static void release()
    {
        if (--count() == 0)
            timer().stop();
    }

private:
    static int& count()
    {
        static int value = 0;
        return value;
    }
    static bool drivenByQt()
    {
        const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
        return dispatcher && dispatcher->inherits("QEventDispatcherGlib");
    }
    static QTimer& timer()
    {
        static QTimer* value = [] {
            auto* made = new QTimer(QCoreApplication::instance());
            made->setInterval(50);
            QObject::connect(made, &QTimer::timeout, []() {
                while (g_main_context_iteration(nullptr, FALSE)) { }
            });
            return made;
        }();
        return *value;
    }
};

// One unlock request, from the service through the search of what is locked to the prompt's end.
// It owns itself and ends in finish(); after the store is gone (cancelled) nobody is answered.
struct UnlockRequest {
    UnlockRequest(
        const QString& serviceName, GCancellable* cancel, std::function<void(SecretStore::UnlockAnswer)> done)
        : service(serviceName.toUtf8())
        , cancellable(G_CANCELLABLE(g_object_ref(cancel)))
        , answer(std::move(done))
    {
        GlibTurner::hold();
    }
    ~UnlockRequest()
    {
        g_list_free_full(objects, g_object_unref);
        if (secrets)
            g_object_unref(secrets);
        g_object_unref(cancellable);
        GlibTurner::release();
    }
    UnlockRequest(const UnlockRequest&) = delete;
    UnlockRequest& operator=(const UnlockRequest&) = delete;

    void finish(SecretStore::UnlockAnswer result, GError* error)
    {
        const bool cancelled = g_cancellable_is_cancelled(cancellable);
        if (error && !cancelled)
            logFailure("unlock", QString::fromUtf8(service), error);
        else if (error)
            g_error_free(error);
        auto done = std::move(answer);
        delete this;
        if (!cancelled && done)
            done(result);
    }

    static void gotService(GObject*, GAsyncResult* result, gpointer data);
    static void searched(GObject*, GAsyncResult* result, gpointer data);
    static void gotCollection(GObject*, GAsyncResult* result, gpointer data);
    static void created(GObject*, GAsyncResult* result, gpointer data);
    static void unlocked(GObject*, GAsyncResult* result, gpointer data);

    QByteArray service;
    GCancellable* cancellable;
    std::function<void(SecretStore::UnlockAnswer)> answer;
    SecretService* secrets = nullptr;
    GList* objects = nullptr;
};

void UnlockRequest::gotService(GObject*, GAsyncResult* result, gpointer data)
{
    auto* request = static_cast<UnlockRequest*>(data);
    GError* error = nullptr;
    request->secrets = secret_service_get_finish(result, &error);
    if (!request->secrets) {
        request->finish(SecretStore::UnlockAnswer::failed, error);
        return;
    }
    GHashTable* attributes
        = secret_attributes_build(schema(), "service", request->service.constData(), nullptr);
    secret_service_search(request->secrets, schema(), attributes, SECRET_SEARCH_ALL, request->cancellable,
        &UnlockRequest::searched, request);
    g_hash_table_unref(attributes);
}

void UnlockRequest::searched(GObject*, GAsyncResult* result, gpointer data)
{
    auto* request = static_cast<UnlockRequest*>(data);
    GError* error = nullptr;
    GList* items = secret_service_search_finish(request->secrets, result, &error);
    if (error) {
        request->finish(SecretStore::UnlockAnswer::failed, error);
        return;
    }
    for (GList* at = items; at; at = at->next) {
        if (secret_item_get_locked(static_cast<SecretItem*>(at->data)))
            request->objects = g_list_append(request->objects, g_object_ref(at->data));
    }
    g_list_free_full(items, g_object_unref);
    // Writes go to the default keyring: it has to be open too.
    secret_collection_for_alias(request->secrets, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE,
        request->cancellable, &UnlockRequest::gotCollection, request);
}

void UnlockRequest::gotCollection(GObject*, GAsyncResult* result, gpointer data)
{
    auto* request = static_cast<UnlockRequest*>(data);
    GError* error = nullptr;
    SecretCollection* collection = secret_collection_for_alias_finish(result, &error);
    if (error) {
        request->finish(SecretStore::UnlockAnswer::failed, error);
        return;
    }
    if (collection && secret_collection_get_locked(collection))
        request->objects = g_list_append(request->objects, g_object_ref(collection));
    if (!collection && !request->objects) {
        // No keyring to write to: the service asks the user for the new one's password.
        qCInfo(logApp, "Asking to make a keyring for %s", request->service.constData());
        secret_collection_create(request->secrets, "Default keyring", SECRET_COLLECTION_DEFAULT,
            SECRET_COLLECTION_CREATE_NONE, request->cancellable, &UnlockRequest::created, request);
        return;
    }
    if (collection)
        g_object_unref(collection);
    if (!request->objects) {
        request->finish(SecretStore::UnlockAnswer::unlocked, nullptr);
        return;
    }
    qCInfo(logApp, "Asking to unlock the keyring for %s", request->service.constData());
    secret_service_unlock(
        request->secrets, request->objects, request->cancellable, &UnlockRequest::unlocked, request);
}

void UnlockRequest::created(GObject*, GAsyncResult* result, gpointer data)
{
    auto* request = static_cast<UnlockRequest*>(data);
    GError* error = nullptr;
    SecretCollection* collection = secret_collection_create_finish(result, &error);
    if (collection) {
        g_object_unref(collection);
        request->finish(SecretStore::UnlockAnswer::unlocked, error);
    } else {
        request->finish(
            error ? SecretStore::UnlockAnswer::failed : SecretStore::UnlockAnswer::dismissed, error);
    }
}

void UnlockRequest::unlocked(GObject*, GAsyncResult* result, gpointer data)
{
    auto* request = static_cast<UnlockRequest*>(data);
    GError* error = nullptr;
    const gint count = secret_service_unlock_finish(request->secrets, result, nullptr, &error);
    if (error)
        request->finish(SecretStore::UnlockAnswer::failed, error);
    else
        request->finish(
            count > 0 ? SecretStore::UnlockAnswer::unlocked : SecretStore::UnlockAnswer::dismissed, nullptr);
}

} // namespace

KeychainStore::~KeychainStore()
{
    if (m_cancellable) {
        g_cancellable_cancel(m_cancellable);
        g_object_unref(m_cancellable);
    }
}

bool KeychainStore::requestUnlock(std::function<void(UnlockAnswer)> answer)
{
    if (!m_cancellable)
        m_cancellable = g_cancellable_new();
    auto* request = new UnlockRequest(m_service, m_cancellable, std::move(answer));
    secret_service_get(SECRET_SERVICE_NONE, m_cancellable, &UnlockRequest::gotService, request);
    return true;
}

} // namespace brenvo
