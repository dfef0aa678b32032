// SPDX-License-Identifier: GPL-3.0-or-later
#include "SecretServiceKeyring.h"

#include "SecretServiceCall.h"
#include "SecretServiceWatcher.h"

#include <QByteArray>
#include <QStringList>
#include <cstring>
#include <utility>

namespace scrivlet {
namespace {

using std::chrono::milliseconds;
using Outcome = Keyring::Lookup::Outcome;

Keyring::Lookup outcome(Outcome kind, QString reason = {})
{
    Keyring::Lookup lookup;
    lookup.outcome = kind;
    lookup.reason = std::move(reason);
    return lookup;
}

// No bus named anywhere is a session without one; a named bus that fails to
// answer is a session we cannot judge yet.
Keyring::Presence withoutBus()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const bool named = !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")
        || (!runtime.isEmpty()
            && g_file_test((runtime + "/bus").constData(), G_FILE_TEST_EXISTS) != FALSE);
    return named ? Keyring::Presence::unknown : Keyring::Presence::absent;
}

Result<VariantPtr> askBus(SecretServiceCall &call, GDBusConnection *bus, const char *method,
    GVariant *parameters, const char *replyType, const char *step)
{
    return call.callMethod(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
        "org.freedesktop.DBus", method, parameters, G_VARIANT_TYPE(replyType), step);
}

// The items under the name. A locked keyring answers a search like an empty
// one: "not found" needs the default collection unlocked, or none at all.
Keyring::Lookup findItems(SecretServiceCall &call, Keyring::Prompt prompt, ObjectList &items)
{
    auto found = call.search();
    if (found.ok() && !found.value()) {
        auto collection = call.defaultCollection();
        if (!collection.ok())
            return outcome(Outcome::failed, collection.error());
        if (!collection.value())
            return outcome(Outcome::notFound); // store() has it created
        const LockState state = call.ensureUnlocked(collection.value().get(), prompt);
        if (state.state != LockState::State::unlocked)
            return outcome(
                state.state == LockState::State::locked ? Outcome::locked : Outcome::failed,
                state.reason);
        found = call.search();
    }
    if (!found.ok())
        return outcome(Outcome::failed, found.error());
    if (!found.value())
        return outcome(Outcome::notFound);
    items = std::move(found).value();
    return outcome(Outcome::found);
}

// Every item is read, so that the history's key check can pick its own; the
// locked ones share one unlock request.
Keyring::Lookup readItems(SecretServiceCall &call, GList *items, Keyring::Prompt prompt)
{
    BorrowedList locked;
    for (GList *node = items; node != nullptr; node = node->next) {
        if (secret_item_get_locked(static_cast<SecretItem *>(node->data)) != FALSE)
            locked.reset(g_list_append(locked.release(), node->data));
    }
    const QString refusal = locked && prompt == Keyring::Prompt::allowed
        ? call.unlock(locked.get())
        : QStringLiteral("the keyring is locked");

    Keyring::Lookup found = outcome(Outcome::found);
    QStringList unread;
    bool anyLocked = false;
    for (GList *node = items; node != nullptr; node = node->next) {
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
        if (secret.ok())
            found.secrets.push_back(std::move(secret).value());
        else
            unread << secret.error();
    }
    unread.removeDuplicates();
    const QString why = unread.join(QStringLiteral("; "));
    if (found.secrets.empty())
        return outcome(anyLocked ? Outcome::locked : Outcome::failed, why);
    found.unread = why;
    return found;
}

// The item a store has just written: the one in the collection it went to.
SecretItem *itemIn(GList *items, SecretCollection *collection)
{
    const QByteArray prefix = collection
        ? QByteArray(g_dbus_proxy_get_object_path(G_DBUS_PROXY(collection))) + '/'
        : QByteArray();
    for (GList *node = items; node != nullptr; node = node->next) {
        auto *item = static_cast<SecretItem *>(node->data);
        if (g_str_has_prefix(g_dbus_proxy_get_object_path(G_DBUS_PROXY(item)), prefix.constData()))
            return item;
    }
    return nullptr;
}

// Some providers mangle binary secrets: only a key that reads back
// unchanged counts as stored.
Status readsBack(SecretServiceCall &call, const SecretBytes &key)
{
    auto target = call.defaultCollection();
    if (!target.ok())
        return Error {target.error()};
    auto items = call.search();
    if (!items.ok())
        return Error {items.error()};
    SecretItem *item = itemIn(items.value().get(), target.value().get());
    if (item == nullptr)
        return Error {QStringLiteral("the stored key cannot be found again")};
    auto readBack = call.loadSecret(item);
    if (!readBack.ok())
        return Error {QStringLiteral("checking the stored key: %1").arg(readBack.error())};
    if (!(readBack.value() == key))
        return Error {QStringLiteral("the Secret Service changed the key while storing it")};
    return success();
}

// Whatever part of a failed store took place is undone, or a later lookup
// would adopt a key no history was sealed with. Nothing was there before.
Status undoStore(SecretServiceCall &call, const Status &failed)
{
    auto left = call.search();
    if (!left.ok())
        return Error {
            QStringLiteral("%1; the item may remain: %2").arg(failed.error(), left.error())};
    for (GList *node = left.value().get(); node != nullptr; node = node->next) {
        if (Status removed = call.deleteItem(static_cast<SecretItem *>(node->data)); !removed)
            return Error {QStringLiteral("%1; the item it left could not be removed: %2")
                              .arg(failed.error(), removed.error())};
    }
    return failed;
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
    SecretServiceCall call(m_service, m_account, m_replyDeadline, m_promptDeadline);
    auto bus = call.sessionBus();
    if (!bus.ok())
        return withoutBus();
    auto owned = askBus(call, bus.value(), "NameHasOwner", g_variant_new("(s)", kSecretsBusName),
        "(b)", "asking for the Secret Service");
    if (!owned.ok())
        return Presence::unknown;
    gboolean hasOwner = FALSE;
    g_variant_get(owned.value().get(), "(b)", &hasOwner);
    if (hasOwner != FALSE)
        return Presence::present;
    auto activatable = askBus(
        call, bus.value(), "ListActivatableNames", nullptr, "(as)", "listing activatable services");
    if (!activatable.ok())
        return Presence::unknown;
    const VariantPtr names(g_variant_get_child_value(activatable.value().get(), 0));
    const gsize count = g_variant_n_children(names.get());
    for (gsize i = 0; i < count; ++i) {
        const VariantPtr name(g_variant_get_child_value(names.get(), i));
        if (std::strcmp(g_variant_get_string(name.get(), nullptr), kSecretsBusName) == 0)
            return Presence::present;
    }
    return Presence::absent;
}

Keyring::Lookup SecretServiceKeyring::lookup(Prompt prompt)
{
    SecretServiceCall call(m_service, m_account, m_replyDeadline, m_promptDeadline);
    if (auto opened = call.open(); !opened.ok())
        return outcome(Outcome::failed, opened.error());
    ObjectList items;
    if (Lookup found = findItems(call, prompt, items); found.outcome != Outcome::found)
        return found;
    return readItems(call, items.get(), prompt);
}

Status SecretServiceKeyring::store(const SecretBytes &key)
{
    if (key.isEmpty())
        return Error {QStringLiteral("refusing to store an empty key")};
    SecretServiceCall call(m_service, m_account, m_replyDeadline, m_promptDeadline);
    if (auto opened = call.open(); !opened.ok())
        return opened;

    auto collection = call.defaultCollection();
    if (!collection.ok())
        return Error {collection.error()};
    if (collection.value()) {
        const LockState state = call.ensureUnlocked(collection.value().get(), Prompt::allowed);
        if (state.state == LockState::State::locked)
            return Error {QStringLiteral("the default keyring is locked: %1").arg(state.reason)};
        if (state.state == LockState::State::failed)
            return Error {state.reason};
    }

    // The service replaces an item of the same name: never over a key.
    auto before = call.search();
    if (!before.ok())
        return Error {before.error()};
    if (before.value())
        return Error {QStringLiteral("an item of that name is already stored; it is kept")};

    Status stored = call.storeValue(key);
    if (stored.ok())
        stored = readsBack(call, key);
    return stored.ok() ? stored : undoStore(call, stored);
}

void SecretServiceKeyring::watch(std::function<void()> changed)
{
    m_watcher.reset();
    if (changed)
        m_watcher = std::make_unique<SecretServiceWatcher>(std::move(changed));
}

} // namespace scrivlet
