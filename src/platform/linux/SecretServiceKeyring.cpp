// SPDX-License-Identifier: GPL-3.0-or-later
#include "SecretServiceKeyring.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QStringList>
#include <algorithm>
#include <cstring>
#include <gio/gio.h>
#include <libsecret/secret.h>
#include <memory>
#include <utility>

namespace scrivlet {
namespace {

using std::chrono::milliseconds;

constexpr const char *kBusName = "org.freedesktop.secrets";
constexpr const char *kCollectionInterface = "org.freedesktop.Secret.Collection";
constexpr const char *kItemInterface = "org.freedesktop.Secret.Item";
constexpr const char *kLabel = "Scrivlet content key";
// Binary-safe: about one random key in nine holds a zero byte.
constexpr const char *kContentType = "application/octet-stream";
// A cancelled call still has to report back before its state may be dropped.
constexpr milliseconds kCancelGrace = std::chrono::seconds(2);
constexpr int kDrainLimit = 1000;

struct ObjectUnref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
template<typename T>
using ObjectPtr = std::unique_ptr<T, ObjectUnref>;

struct ErrorFree
{
    void operator()(GError *error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

struct VariantUnref
{
    void operator()(GVariant *variant) const { g_variant_unref(variant); }
};
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

struct HashTableUnref
{
    void operator()(GHashTable *table) const { g_hash_table_unref(table); }
};
using HashTablePtr = std::unique_ptr<GHashTable, HashTableUnref>;

struct ValueUnref
{
    void operator()(SecretValue *value) const { secret_value_unref(value); }
};
using ValuePtr = std::unique_ptr<SecretValue, ValueUnref>;

struct ContextUnref
{
    void operator()(GMainContext *context) const { g_main_context_unref(context); }
};
using ContextPtr = std::unique_ptr<GMainContext, ContextUnref>;

struct ObjectListFree
{
    void operator()(GList *list) const { g_list_free_full(list, g_object_unref); }
};
using ObjectList = std::unique_ptr<GList, ObjectListFree>;

struct ListFree
{
    void operator()(GList *list) const { g_list_free(list); }
};
using BorrowedList = std::unique_ptr<GList, ListFree>;

const SecretSchema *contentKeySchema()
{
    static const SecretSchema schema = [] {
        SecretSchema built {};
        built.name = "org.scrivlet.Scrivlet.ContentKey";
        // Found by service and account alone, as secret-tool finds it: an
        // item stored by hand (a restored key, or a stray one) is weighed too.
        built.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
        built.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        built.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return built;
    }();
    return &schema;
}

HashTablePtr makeAttributes(const QString &service, const QString &account)
{
    HashTablePtr table(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
    g_hash_table_insert(table.get(), g_strdup("service"), g_strdup(service.toUtf8().constData()));
    g_hash_table_insert(table.get(), g_strdup("account"), g_strdup(account.toUtf8().constData()));
    return table;
}

Error noAnswer(const char *step, milliseconds deadline)
{
    return Error {QStringLiteral("%1: no answer within %2 ms")
                      .arg(QLatin1String(step))
                      .arg(static_cast<qlonglong>(deadline.count()))};
}

Error withStep(const char *step, const QString &message)
{
    return Error {QStringLiteral("%1: %2").arg(QLatin1String(step), message)};
}

// The item a store has just written: the one in the collection it went to.
SecretItem *itemIn(GList *items, const QByteArray &collectionPath)
{
    const QByteArray prefix = collectionPath + '/';
    for (GList *node = items; node != nullptr; node = node->next) {
        auto *item = static_cast<SecretItem *>(node->data);
        if (collectionPath.isEmpty()
            || g_str_has_prefix(
                g_dbus_proxy_get_object_path(G_DBUS_PROXY(item)), prefix.constData()))
            return item;
    }
    return nullptr;
}

QByteArray pathOf(gpointer proxy)
{
    return QByteArray(g_dbus_proxy_get_object_path(G_DBUS_PROXY(proxy)));
}

struct LockState
{
    enum class State { unlocked, locked, failed };
    State state = State::failed;
    QString reason;
};

// One public call's D-Bus traffic, dispatched on a main context of its own:
// works from any thread, and every step can be given up after a deadline
// instead of GDBus' 25 s default.
class Call
{
public:
    Call(milliseconds replyDeadline, milliseconds promptDeadline)
        : m_context(g_main_context_new())
        , m_replyDeadline(replyDeadline)
        , m_promptDeadline(promptDeadline)
    {
        g_main_context_push_thread_default(m_context.get());
    }

    ~Call()
    {
        m_service.reset();
        m_bus.reset();
        // Dropped proxies unsubscribe their signals through idles on this context;
        // bounded in case something keeps rescheduling itself.
        int budget = kDrainLimit;
        while (budget-- > 0 && g_main_context_iteration(m_context.get(), FALSE)) { }
        g_main_context_pop_thread_default(m_context.get());
    }

    Call(const Call &) = delete;
    Call &operator=(const Call &) = delete;

    [[nodiscard]] Result<GDBusConnection *> sessionBus()
    {
        auto awaited
            = await(m_replyDeadline, [](GCancellable *c, GAsyncReadyCallback cb, gpointer d) {
                  g_bus_get(G_BUS_TYPE_SESSION, c, cb, d);
              });
        auto bus = finish<ObjectPtr<GDBusConnection>>("connecting to the session bus",
            m_replyDeadline, awaited, [](GAsyncResult *r, GError **e) {
                return ObjectPtr<GDBusConnection>(g_bus_get_finish(r, e));
            });
        if (!bus.ok())
            return Error {bus.error()};
        m_bus = std::move(bus).value();
        return m_bus.get();
    }

    [[nodiscard]] Result<VariantPtr> callMethod(GDBusConnection *bus, const char *destination,
        const char *path, const char *interface, const char *method, GVariant *parameters,
        const GVariantType *replyType, const char *step)
    {
        const int timeout
            = static_cast<int>(std::min<milliseconds::rep>(m_replyDeadline.count(), G_MAXINT));
        auto awaited
            = await(m_replyDeadline, [&](GCancellable *c, GAsyncReadyCallback cb, gpointer d) {
                  g_dbus_connection_call(bus, destination, path, interface, method, parameters,
                      replyType, G_DBUS_CALL_FLAGS_NO_AUTO_START, timeout, c, cb, d);
              });
        return finish<VariantPtr>(step, m_replyDeadline, awaited, [&](GAsyncResult *r, GError **e) {
            return VariantPtr(g_dbus_connection_call_finish(bus, r, e));
        });
    }

    [[nodiscard]] Status open()
    {
        // Not the cached singleton: nothing stale may survive from one call to the next.
        auto awaited
            = await(m_replyDeadline, [](GCancellable *c, GAsyncReadyCallback cb, gpointer d) {
                  secret_service_open(
                      SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_OPEN_SESSION, c, cb, d);
              });
        auto service = finish<ObjectPtr<SecretService>>("opening the Secret Service",
            m_replyDeadline, awaited, [](GAsyncResult *r, GError **e) {
                return ObjectPtr<SecretService>(secret_service_open_finish(r, e));
            });
        if (!service.ok())
            return Error {service.error()};
        m_service = std::move(service).value();
        return success();
    }

    [[nodiscard]] Result<ObjectList> search(GHashTable *attributes)
    {
        auto awaited
            = await(m_replyDeadline, [&](GCancellable *c, GAsyncReadyCallback cb, gpointer d) {
                  secret_service_search(
                      m_service.get(), contentKeySchema(), attributes, SECRET_SEARCH_ALL, c, cb, d);
              });
        return finish<ObjectList>(
            "searching for the key", m_replyDeadline, awaited, [&](GAsyncResult *r, GError **e) {
                return ObjectList(secret_service_search_finish(m_service.get(), r, e));
            });
    }

    // Null when the service has no default collection.
    [[nodiscard]] Result<ObjectPtr<SecretCollection>> defaultCollection()
    {
        auto awaited
            = await(m_replyDeadline, [&](GCancellable *c, GAsyncReadyCallback cb, gpointer d) {
                  secret_collection_for_alias(
                      m_service.get(), SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, c, cb, d);
              });
        return finish<ObjectPtr<SecretCollection>>("finding the default keyring", m_replyDeadline,
            awaited, [](GAsyncResult *r, GError **e) {
                return ObjectPtr<SecretCollection>(secret_collection_for_alias_finish(r, e));
            });
    }

    // The proxy's cached lock state is only trusted as a hint; after an unlock
    // attempt the service is asked again.
    [[nodiscard]] LockState ensureUnlocked(
        GDBusProxy *object, const char *interface, bool locked, Keyring::Prompt prompt)
    {
        if (!locked)
            return {LockState::State::unlocked, {}};
        if (prompt == Keyring::Prompt::never)
            return {LockState::State::locked, QStringLiteral("the keyring is locked")};
        const BorrowedList objects(g_list_append(nullptr, object));
        const QString refusal = unlock(objects.get());
        auto still = isLocked(object, interface);
        if (!still.ok())
            return {LockState::State::failed, still.error()};
        if (still.value())
            return {LockState::State::locked,
                refusal.isEmpty() ? QStringLiteral("the keyring stayed locked") : refusal};
        return {LockState::State::unlocked, {}};
    }

    // Some providers ask the person before handing out a secret; a silent
    // provider has already failed to open a session by now.
    [[nodiscard]] Result<SecretBytes> loadSecret(SecretItem *item)
    {
        auto awaited
            = await(m_promptDeadline, [&](GCancellable *c, GAsyncReadyCallback cb, gpointer d) {
                  secret_item_load_secret(item, c, cb, d);
              });
        auto loaded = finish<bool>(
            "reading the key", m_promptDeadline, awaited, [&](GAsyncResult *r, GError **e) {
                return secret_item_load_secret_finish(item, r, e) != FALSE;
            });
        if (!loaded.ok())
            return Error {loaded.error()};
        const ValuePtr value(loaded.value() ? secret_item_get_secret(item) : nullptr);
        if (!value)
            return Error {QStringLiteral("reading the key: the service sent no secret")};
        gsize length = 0;
        const gchar *bytes = secret_value_get(value.get(), &length);
        if (bytes == nullptr || length == 0)
            return Error {QStringLiteral("reading the key: the stored secret is empty")};
        return SecretBytes(reinterpret_cast<const unsigned char *>(bytes), length);
    }

    [[nodiscard]] Status storeValue(GHashTable *attributes, const SecretBytes &key)
    {
        const ValuePtr value(secret_value_new(reinterpret_cast<const gchar *>(key.data()),
            static_cast<gssize>(key.size()), kContentType));
        auto awaited
            = await(m_promptDeadline, [&](GCancellable *c, GAsyncReadyCallback cb, gpointer d) {
                  secret_service_store(m_service.get(), contentKeySchema(), attributes,
                      SECRET_COLLECTION_DEFAULT, kLabel, value.get(), c, cb, d);
              });
        auto stored = finish<bool>(
            "storing the key", m_promptDeadline, awaited, [&](GAsyncResult *r, GError **e) {
                return secret_service_store_finish(m_service.get(), r, e) != FALSE;
            });
        if (!stored.ok())
            return Error {stored.error()};
        if (!stored.value())
            return Error {QStringLiteral("storing the key: the service refused")};
        return success();
    }

    // One unlock request for all of them, so at most one prompt.
    [[nodiscard]] QString unlockAll(GList *objects) { return unlock(objects); }

    [[nodiscard]] Status deleteItem(SecretItem *item)
    {
        auto awaited
            = await(m_replyDeadline, [&](GCancellable *c, GAsyncReadyCallback cb, gpointer d) {
                  secret_item_delete(item, c, cb, d);
              });
        auto deleted = finish<bool>(
            "removing the item", m_replyDeadline, awaited, [&](GAsyncResult *r, GError **e) {
                return secret_item_delete_finish(item, r, e) != FALSE;
            });
        if (!deleted.ok())
            return Error {deleted.error()};
        return success();
    }

    Result<bool> isLocked(GDBusProxy *object, const char *interface)
    {
        auto reply = callMethod(g_dbus_proxy_get_connection(G_DBUS_PROXY(m_service.get())),
            g_dbus_proxy_get_name(G_DBUS_PROXY(m_service.get())),
            g_dbus_proxy_get_object_path(object), "org.freedesktop.DBus.Properties", "Get",
            g_variant_new("(ss)", interface, "Locked"), G_VARIANT_TYPE("(v)"),
            "reading the lock state");
        if (!reply.ok())
            return Error {reply.error()};
        const VariantPtr boxed(g_variant_get_child_value(reply.value().get(), 0));
        const VariantPtr locked(g_variant_get_variant(boxed.get()));
        if (!g_variant_is_of_type(locked.get(), G_VARIANT_TYPE_BOOLEAN))
            return Error {QStringLiteral("reading the lock state: not a boolean")};
        return g_variant_get_boolean(locked.get()) != FALSE;
    }

private:
    struct Slot
    {
        ObjectPtr<GAsyncResult> result;
    };
    struct Awaited
    {
        ObjectPtr<GAsyncResult> result;
        bool late = false;
    };

    // A refusal or dismissed prompt is not an error here: whether the object
    // is unlocked is read back afterwards. The text explains a later "locked".
    QString unlock(GList *objects)
    {
        auto awaited
            = await(m_promptDeadline, [&](GCancellable *c, GAsyncReadyCallback cb, gpointer d) {
                  secret_service_unlock(m_service.get(), objects, c, cb, d);
              });
        auto unlocked = finish<int>(
            "unlocking the keyring", m_promptDeadline, awaited, [&](GAsyncResult *r, GError **e) {
                return secret_service_unlock_finish(m_service.get(), r, nullptr, e);
            });
        return unlocked.ok() ? QString() : unlocked.error();
    }

    // Runs this context until the call reports back or the deadline passed;
    // then cancels it and gives it a little time to wind down. A call that
    // never reports back is abandoned, hence the shared slot.
    template<typename Start>
    Awaited await(milliseconds deadline, Start &&start)
    {
        auto slot = std::make_shared<Slot>();
        const ObjectPtr<GCancellable> cancellable(g_cancellable_new());
        start(cancellable.get(), &Call::onReady, new std::shared_ptr<Slot>(slot));
        Awaited awaited;
        if (!runUntil(*slot, deadline)) {
            awaited.late = true;
            g_cancellable_cancel(cancellable.get());
            (void)runUntil(*slot, kCancelGrace);
        }
        awaited.result = std::move(slot->result);
        return awaited;
    }

    // A late success is kept: the work was done.
    template<typename T, typename Finish>
    static Result<T> finish(
        const char *step, milliseconds deadline, const Awaited &awaited, Finish &&finisher)
    {
        if (!awaited.result)
            return noAnswer(step, deadline);
        GError *raw = nullptr;
        T value = finisher(awaited.result.get(), &raw);
        const ErrorPtr error(raw);
        if (error) {
            if (awaited.late)
                return noAnswer(step, deadline);
            return withStep(step, QString::fromUtf8(error->message));
        }
        return Result<T>(std::move(value));
    }

    bool runUntil(const Slot &slot, milliseconds limit)
    {
        bool expired = false;
        GSource *timer = g_timeout_source_new(
            static_cast<guint>(std::clamp<milliseconds::rep>(limit.count(), 0, G_MAXUINT)));
        g_source_set_callback(timer, &Call::onExpired, &expired, nullptr);
        g_source_attach(timer, m_context.get());
        while (!slot.result && !expired)
            g_main_context_iteration(m_context.get(), TRUE);
        g_source_destroy(timer);
        g_source_unref(timer);
        return slot.result != nullptr;
    }

    static void onReady(GObject *, GAsyncResult *result, gpointer data)
    {
        const std::unique_ptr<std::shared_ptr<Slot>> slot(
            static_cast<std::shared_ptr<Slot> *>(data));
        (*slot)->result.reset(G_ASYNC_RESULT(g_object_ref(result)));
    }

    static gboolean onExpired(gpointer data)
    {
        *static_cast<bool *>(data) = true;
        return G_SOURCE_REMOVE;
    }

    ContextPtr m_context;
    milliseconds m_replyDeadline;
    milliseconds m_promptDeadline;
    ObjectPtr<GDBusConnection> m_bus;
    ObjectPtr<SecretService> m_service;
};

Keyring::Lookup outcome(Keyring::Lookup::Outcome kind, QString reason = {})
{
    Keyring::Lookup lookup;
    lookup.outcome = kind;
    lookup.reason = std::move(reason);
    return lookup;
}

// Some providers mangle binary secrets: only a key that reads back
// unchanged counts as stored.
Status readsBack(Call &call, GHashTable *attributes, const SecretBytes &key)
{
    auto target = call.defaultCollection();
    if (!target.ok())
        return Error {target.error()};
    auto items = call.search(attributes);
    if (!items.ok())
        return Error {items.error()};
    SecretItem *item
        = itemIn(items.value().get(), target.value() ? pathOf(target.value().get()) : QByteArray());
    if (item == nullptr)
        return Error {QStringLiteral("the stored key cannot be found again")};
    auto readBack = call.loadSecret(item);
    if (!readBack.ok())
        return Error {QStringLiteral("checking the stored key: %1").arg(readBack.error())};
    if (!(readBack.value() == key))
        return Error {QStringLiteral("the Secret Service changed the key while storing it")};
    return success();
}

} // namespace

SecretServiceKeyring::SecretServiceKeyring(
    QString service, QString account, milliseconds replyDeadline, milliseconds promptDeadline)
    : m_service(std::move(service))
    , m_account(std::move(account))
    , m_replyDeadline(replyDeadline)
    , m_promptDeadline(promptDeadline)
{ }

SecretServiceKeyring::~SecretServiceKeyring() = default;

Keyring::Presence SecretServiceKeyring::presence()
{
    Call call(m_replyDeadline, m_promptDeadline);
    auto bus = call.sessionBus();
    if (!bus.ok()) {
        // No bus named anywhere is a session without one; a named bus that
        // fails to answer is a session we cannot judge yet.
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        const bool named = !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")
            || (!runtime.isEmpty()
                && g_file_test((runtime + "/bus").constData(), G_FILE_TEST_EXISTS) != FALSE);
        return named ? Presence::unknown : Presence::absent;
    }
    auto owned = call.callMethod(bus.value(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
        "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", kBusName),
        G_VARIANT_TYPE("(b)"), "asking for the Secret Service");
    if (!owned.ok())
        return Presence::unknown;
    gboolean hasOwner = FALSE;
    g_variant_get(owned.value().get(), "(b)", &hasOwner);
    if (hasOwner != FALSE)
        return Presence::present;
    auto activatable = call.callMethod(bus.value(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
        "org.freedesktop.DBus", "ListActivatableNames", nullptr, G_VARIANT_TYPE("(as)"),
        "listing activatable services");
    if (!activatable.ok())
        return Presence::unknown;
    const VariantPtr names(g_variant_get_child_value(activatable.value().get(), 0));
    const gsize count = g_variant_n_children(names.get());
    for (gsize i = 0; i < count; ++i) {
        const VariantPtr name(g_variant_get_child_value(names.get(), i));
        if (std::strcmp(g_variant_get_string(name.get(), nullptr), kBusName) == 0)
            return Presence::present;
    }
    return Presence::absent;
}

Keyring::Lookup SecretServiceKeyring::lookup(Prompt prompt)
{
    using Outcome = Lookup::Outcome;
    Call call(m_replyDeadline, m_promptDeadline);
    if (auto opened = call.open(); !opened.ok())
        return outcome(Outcome::failed, opened.error());
    const HashTablePtr attributes = makeAttributes(m_service, m_account);
    auto items = call.search(attributes.get());
    if (!items.ok())
        return outcome(Outcome::failed, items.error());

    if (!items.value()) {
        // A locked keyring may hide the item: "not found" needs an unlocked one.
        auto collection = call.defaultCollection();
        if (!collection.ok())
            return outcome(Outcome::failed, collection.error());
        if (!collection.value())
            return outcome(Outcome::notFound); // store() has it created
        const LockState state
            = call.ensureUnlocked(G_DBUS_PROXY(collection.value().get()), kCollectionInterface,
                secret_collection_get_locked(collection.value().get()) != FALSE, prompt);
        if (state.state == LockState::State::failed)
            return outcome(Outcome::failed, state.reason);
        if (state.state == LockState::State::locked)
            return outcome(Outcome::locked, state.reason);
        items = call.search(attributes.get());
        if (!items.ok())
            return outcome(Outcome::failed, items.error());
        if (!items.value())
            return outcome(Outcome::notFound);
    }

    GList *const all = items.value().get();
    BorrowedList locked;
    for (GList *node = all; node != nullptr; node = node->next) {
        if (secret_item_get_locked(static_cast<SecretItem *>(node->data)) != FALSE)
            locked.reset(g_list_append(locked.release(), node->data));
    }
    const QString refusal = locked && prompt == Prompt::allowed
        ? call.unlockAll(locked.get())
        : QStringLiteral("the keyring is locked");

    Lookup found = outcome(Outcome::found);
    QStringList unread;
    bool anyLocked = false;
    for (GList *node = all; node != nullptr; node = node->next) {
        auto *item = static_cast<SecretItem *>(node->data);
        if (g_list_find(locked.get(), item) != nullptr) {
            auto still = call.isLocked(G_DBUS_PROXY(item), kItemInterface);
            if (!still.ok() || still.value()) {
                anyLocked = anyLocked || still.ok();
                unread << (still.ok()
                        ? (refusal.isEmpty() ? QStringLiteral("still locked") : refusal)
                        : still.error());
                continue;
            }
        }
        auto secret = call.loadSecret(item);
        if (!secret.ok()) {
            unread << secret.error();
            continue;
        }
        found.secrets.push_back(std::move(secret).value());
    }
    unread.removeDuplicates();
    const QString why = unread.join(QStringLiteral("; "));
    if (found.secrets.empty())
        return outcome(anyLocked ? Outcome::locked : Outcome::failed, why);
    found.unread = why;
    return found;
}

Status SecretServiceKeyring::store(const SecretBytes &key)
{
    if (key.isEmpty())
        return Error {QStringLiteral("refusing to store an empty key")};
    Call call(m_replyDeadline, m_promptDeadline);
    if (auto opened = call.open(); !opened.ok())
        return opened;

    auto collection = call.defaultCollection();
    if (!collection.ok())
        return Error {collection.error()};
    if (collection.value()) {
        const LockState state
            = call.ensureUnlocked(G_DBUS_PROXY(collection.value().get()), kCollectionInterface,
                secret_collection_get_locked(collection.value().get()) != FALSE, Prompt::allowed);
        if (state.state == LockState::State::locked)
            return Error {QStringLiteral("the default keyring is locked: %1").arg(state.reason)};
        if (state.state == LockState::State::failed)
            return Error {state.reason};
    }

    // The service replaces an item of the same name: never over a key.
    const HashTablePtr attributes = makeAttributes(m_service, m_account);
    auto before = call.search(attributes.get());
    if (!before.ok())
        return Error {before.error()};
    if (before.value())
        return Error {QStringLiteral("an item of that name is already stored; it is kept")};

    Status stored = call.storeValue(attributes.get(), key);
    if (stored.ok())
        stored = readsBack(call, attributes.get(), key);
    if (stored.ok())
        return stored;

    // Whatever part of the store took place is undone, or a later lookup
    // would adopt a key no history was sealed with. Nothing was there before.
    auto left = call.search(attributes.get());
    if (!left.ok())
        return Error {
            QStringLiteral("%1; the item may remain: %2").arg(stored.error(), left.error())};
    for (GList *node = left.value().get(); node != nullptr; node = node->next) {
        if (Status removed = call.deleteItem(static_cast<SecretItem *>(node->data)); !removed)
            return Error {QStringLiteral("%1; the item it left could not be removed: %2")
                              .arg(stored.error(), removed.error())};
    }
    return stored;
}

void SecretServiceKeyring::watch(std::function<void()> changed)
{
    m_watcher.reset();
    if (changed)
        m_watcher = std::make_unique<SecretServiceWatcher>(std::move(changed));
}

namespace {

const QString kSecretsName = QString::fromLatin1(kBusName);
const QString kServicePath = QStringLiteral("/org/freedesktop/secrets");
const QString kServiceInterface = QStringLiteral("org.freedesktop.Secret.Service");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// What providers announce: gnome-keyring and KeePassXC send Properties
// changes of the collection on an unlock, KWallet's bridge the Service's
// CollectionChanged. An empty path hears every object of the service.
struct Announcement
{
    const QString &path;
    QString interface;
    const char *member;
};

} // namespace

SecretServiceWatcher::SecretServiceWatcher(std::function<void()> changed)
    : m_changed(std::move(changed))
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    static const QString kAnyPath;
    const Announcement announcements[] = {
        {kAnyPath, kPropertiesInterface, "PropertiesChanged"},
        {kServicePath, kServiceInterface, "CollectionChanged"},
        {kServicePath, kServiceInterface, "CollectionCreated"},
        {kServicePath, kServiceInterface, "CollectionDeleted"},
        {kAnyPath, QString::fromLatin1(kCollectionInterface), "ItemCreated"},
        {kAnyPath, QString::fromLatin1(kCollectionInterface), "ItemChanged"},
        {kAnyPath, QString::fromLatin1(kCollectionInterface), "ItemDeleted"},
    };
    for (const Announcement &a : announcements)
        bus.connect(
            kSecretsName, a.path, a.interface, QLatin1String(a.member), this, SLOT(onChange()));
    // A service that starts after us, or starts again.
    m_owner = std::make_unique<QDBusServiceWatcher>(
        kSecretsName, bus, QDBusServiceWatcher::WatchForRegistration);
    connect(m_owner.get(), &QDBusServiceWatcher::serviceRegistered, this,
        &SecretServiceWatcher::onChange);
}

SecretServiceWatcher::~SecretServiceWatcher() = default;

void SecretServiceWatcher::onChange()
{
    m_changed();
}

} // namespace scrivlet
