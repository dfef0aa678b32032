// SPDX-License-Identifier: GPL-3.0-or-later
#include "SecretServiceCall.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace scrivlet {
namespace {

using std::chrono::milliseconds;
using ValuePtr = UniqueHandle<SecretValue, secret_value_unref>;

constexpr const char *kLabel = "Scrivlet content key";
// Binary-safe: about one random key in nine holds a zero byte.
constexpr const char *kContentType = "application/octet-stream";
// A cancelled call still has to report back before its state may be dropped.
constexpr milliseconds kCancelGrace = std::chrono::seconds(2);
constexpr int kDrainLimit = 1000;

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

gboolean onExpired(gpointer data)
{
    *static_cast<bool *>(data) = true;
    return G_SOURCE_REMOVE;
}

} // namespace

// Shared with the pending call: one that never reports back is abandoned.
struct SecretServiceCall::Slot
{
    ObjectPtr<GAsyncResult> result;

    static void onReady(GObject *, GAsyncResult *result, gpointer data)
    {
        const std::unique_ptr<std::shared_ptr<Slot>> slot(
            static_cast<std::shared_ptr<Slot> *>(data));
        (*slot)->result.reset(G_ASYNC_RESULT(g_object_ref(result)));
    }
};

SecretServiceCall::SecretServiceCall(const QString &service, const QString &account,
    milliseconds replyDeadline, milliseconds promptDeadline)
    : m_context(g_main_context_new())
    , m_attributes(makeAttributes(service, account))
    , m_replyDeadline(replyDeadline)
    , m_promptDeadline(promptDeadline)
{
    g_main_context_push_thread_default(m_context.get());
}

SecretServiceCall::~SecretServiceCall()
{
    m_service.reset();
    m_bus.reset();
    // Dropped proxies unsubscribe their signals through idles on this context;
    // bounded in case something keeps rescheduling itself.
    int budget = kDrainLimit;
    while (budget-- > 0 && g_main_context_iteration(m_context.get(), FALSE)) { }
    g_main_context_pop_thread_default(m_context.get());
}

// Runs this context until the call reports back or the deadline passed;
// then cancels it and gives it a little time to wind down.
template<typename T, typename Start, typename Finish>
Result<T> SecretServiceCall::exchange(
    const char *step, milliseconds deadline, Start &&start, Finish &&finisher)
{
    auto slot = std::make_shared<Slot>();
    const ObjectPtr<GCancellable> cancellable(g_cancellable_new());
    start(cancellable.get(), &Slot::onReady, new std::shared_ptr<Slot>(slot));
    bool late = false;
    if (!runUntil(*slot, deadline)) {
        late = true;
        g_cancellable_cancel(cancellable.get());
        (void)runUntil(*slot, kCancelGrace);
    }
    if (!slot->result)
        return noAnswer(step, deadline);
    GError *raw = nullptr;
    T value = finisher(slot->result.get(), &raw);
    const ErrorPtr error(raw);
    // A late success is kept: the work was done.
    if (error && late)
        return noAnswer(step, deadline);
    if (error)
        return Error {
            QStringLiteral("%1: %2").arg(QLatin1String(step), QString::fromUtf8(error->message))};
    return Result<T>(std::move(value));
}

bool SecretServiceCall::runUntil(const Slot &slot, milliseconds limit)
{
    bool expired = false;
    const UniqueHandle<GSource, g_source_unref> timer(g_timeout_source_new(
        static_cast<guint>(std::clamp<milliseconds::rep>(limit.count(), 0, G_MAXUINT))));
    g_source_set_callback(timer.get(), &onExpired, &expired, nullptr);
    g_source_attach(timer.get(), m_context.get());
    while (!slot.result && !expired)
        g_main_context_iteration(m_context.get(), TRUE);
    g_source_destroy(timer.get());
    return slot.result != nullptr;
}

Result<GDBusConnection *> SecretServiceCall::sessionBus()
{
    auto bus = exchange<ObjectPtr<GDBusConnection>>(
        "connecting to the session bus", m_replyDeadline,
        [&](GCancellable *c, GAsyncReadyCallback cb, gpointer d) {
            g_bus_get(G_BUS_TYPE_SESSION, c, cb, d);
        },
        [&](GAsyncResult *r, GError **e) {
            return ObjectPtr<GDBusConnection>(g_bus_get_finish(r, e));
        });
    if (!bus.ok())
        return Error {bus.error()};
    m_bus = std::move(bus).value();
    return m_bus.get();
}

Result<VariantPtr> SecretServiceCall::callMethod(GDBusConnection *bus, const char *destination,
    const char *path, const char *interface, const char *method, GVariant *parameters,
    const GVariantType *replyType, const char *step)
{
    const int timeout
        = static_cast<int>(std::min<milliseconds::rep>(m_replyDeadline.count(), G_MAXINT));
    return exchange<VariantPtr>(
        step, m_replyDeadline,
        [&](GCancellable *c, GAsyncReadyCallback cb, gpointer d) {
            g_dbus_connection_call(bus, destination, path, interface, method, parameters, replyType,
                G_DBUS_CALL_FLAGS_NO_AUTO_START, timeout, c, cb, d);
        },
        [&](GAsyncResult *r, GError **e) {
            return VariantPtr(g_dbus_connection_call_finish(bus, r, e));
        });
}

Status SecretServiceCall::open()
{
    // Not the cached singleton: nothing stale may survive from one call to the next.
    auto service = exchange<ObjectPtr<SecretService>>(
        "opening the Secret Service", m_replyDeadline,
        [&](GCancellable *c, GAsyncReadyCallback cb, gpointer d) {
            secret_service_open(
                SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_OPEN_SESSION, c, cb, d);
        },
        [&](GAsyncResult *r, GError **e) {
            return ObjectPtr<SecretService>(secret_service_open_finish(r, e));
        });
    if (!service.ok())
        return Error {service.error()};
    m_service = std::move(service).value();
    return success();
}

Result<ObjectList> SecretServiceCall::search()
{
    return exchange<ObjectList>(
        "searching for the key", m_replyDeadline,
        [&](GCancellable *c, GAsyncReadyCallback cb, gpointer d) {
            secret_service_search(m_service.get(), contentKeySchema(), m_attributes.get(),
                SECRET_SEARCH_ALL, c, cb, d);
        },
        [&](GAsyncResult *r, GError **e) {
            return ObjectList(secret_service_search_finish(m_service.get(), r, e));
        });
}

Result<ObjectPtr<SecretCollection>> SecretServiceCall::defaultCollection()
{
    return exchange<ObjectPtr<SecretCollection>>(
        "finding the default keyring", m_replyDeadline,
        [&](GCancellable *c, GAsyncReadyCallback cb, gpointer d) {
            secret_collection_for_alias(
                m_service.get(), SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, c, cb, d);
        },
        [&](GAsyncResult *r, GError **e) {
            return ObjectPtr<SecretCollection>(secret_collection_for_alias_finish(r, e));
        });
}

// The proxy's cached lock state is only trusted as a hint; after an unlock
// attempt the service is asked again.
LockState SecretServiceCall::ensureUnlocked(SecretCollection *collection, Keyring::Prompt prompt)
{
    if (secret_collection_get_locked(collection) == FALSE)
        return {LockState::State::unlocked, {}};
    if (prompt == Keyring::Prompt::never)
        return {LockState::State::locked, QStringLiteral("the keyring is locked")};
    const BorrowedList objects(g_list_append(nullptr, collection));
    const QString refusal = unlock(objects.get());
    auto still = isLocked(G_DBUS_PROXY(collection), kCollectionInterface);
    if (!still.ok())
        return {LockState::State::failed, still.error()};
    if (still.value())
        return {LockState::State::locked,
            refusal.isEmpty() ? QStringLiteral("the keyring stayed locked") : refusal};
    return {LockState::State::unlocked, {}};
}

QString SecretServiceCall::unlock(GList *objects)
{
    auto unlocked = exchange<int>(
        "unlocking the keyring", m_promptDeadline,
        [&](GCancellable *c, GAsyncReadyCallback cb, gpointer d) {
            secret_service_unlock(m_service.get(), objects, c, cb, d);
        },
        [&](GAsyncResult *r, GError **e) {
            return secret_service_unlock_finish(m_service.get(), r, nullptr, e);
        });
    return unlocked.ok() ? QString() : unlocked.error();
}

Result<bool> SecretServiceCall::isLocked(GDBusProxy *object, const char *interface)
{
    auto reply = callMethod(g_dbus_proxy_get_connection(G_DBUS_PROXY(m_service.get())),
        g_dbus_proxy_get_name(G_DBUS_PROXY(m_service.get())), g_dbus_proxy_get_object_path(object),
        "org.freedesktop.DBus.Properties", "Get", g_variant_new("(ss)", interface, "Locked"),
        G_VARIANT_TYPE("(v)"), "reading the lock state");
    if (!reply.ok())
        return Error {reply.error()};
    const VariantPtr boxed(g_variant_get_child_value(reply.value().get(), 0));
    const VariantPtr locked(g_variant_get_variant(boxed.get()));
    if (!g_variant_is_of_type(locked.get(), G_VARIANT_TYPE_BOOLEAN))
        return Error {QStringLiteral("reading the lock state: not a boolean")};
    return g_variant_get_boolean(locked.get()) != FALSE;
}

// Some providers ask the person before handing out a secret; a silent
// provider has already failed to open a session by now.
Result<SecretBytes> SecretServiceCall::loadSecret(SecretItem *item)
{
    auto loaded = exchange<bool>(
        "reading the key", m_promptDeadline,
        [&](GCancellable *c, GAsyncReadyCallback cb, gpointer d) {
            secret_item_load_secret(item, c, cb, d);
        },
        [&](GAsyncResult *r, GError **e) {
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

Status SecretServiceCall::storeValue(const SecretBytes &key)
{
    const ValuePtr value(secret_value_new(reinterpret_cast<const gchar *>(key.data()),
        static_cast<gssize>(key.size()), kContentType));
    auto stored = exchange<bool>(
        "storing the key", m_promptDeadline,
        [&](GCancellable *c, GAsyncReadyCallback cb, gpointer d) {
            secret_service_store(m_service.get(), contentKeySchema(), m_attributes.get(),
                SECRET_COLLECTION_DEFAULT, kLabel, value.get(), c, cb, d);
        },
        [&](GAsyncResult *r, GError **e) {
            return secret_service_store_finish(m_service.get(), r, e) != FALSE;
        });
    if (!stored.ok())
        return Error {stored.error()};
    if (!stored.value())
        return Error {QStringLiteral("storing the key: the service refused")};
    return success();
}

Status SecretServiceCall::deleteItem(SecretItem *item)
{
    auto deleted = exchange<bool>(
        "removing the item", m_replyDeadline,
        [&](GCancellable *c, GAsyncReadyCallback cb, gpointer d) {
            secret_item_delete(item, c, cb, d);
        },
        [&](GAsyncResult *r, GError **e) {
            return secret_item_delete_finish(item, r, e) != FALSE;
        });
    if (!deleted.ok())
        return Error {deleted.error()};
    return success();
}

} // namespace scrivlet
