// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "GLibHandles.h"
#include "core/Result.h"
#include "core/crypto/SecretBytes.h"
#include "core/services/Keyring.h"

#include <QString>
#include <chrono>
#include <libsecret/secret.h>

namespace scrivlet {

inline constexpr const char *kSecretsBusName = "org.freedesktop.secrets";
inline constexpr const char *kCollectionInterface = "org.freedesktop.Secret.Collection";
inline constexpr const char *kItemInterface = "org.freedesktop.Secret.Item";

struct LockState
{
    enum class State { unlocked, locked, failed };
    State state = State::failed;
    QString reason;
};

// One public call's D-Bus traffic for the item named by service and
// account, dispatched on a main context of its own: works from any thread,
// and every step can be given up after a deadline instead of GDBus' 25 s
// default. Steps that need no person get the reply deadline, those that may
// show a prompt the prompt deadline.
class SecretServiceCall
{
public:
    using milliseconds = std::chrono::milliseconds;

    SecretServiceCall(const QString &service, const QString &account, milliseconds replyDeadline,
        milliseconds promptDeadline);
    ~SecretServiceCall();
    SecretServiceCall(const SecretServiceCall &) = delete;
    SecretServiceCall &operator=(const SecretServiceCall &) = delete;

    [[nodiscard]] Result<GDBusConnection *> sessionBus();
    [[nodiscard]] Result<VariantPtr> callMethod(GDBusConnection *bus, const char *destination,
        const char *path, const char *interface, const char *method, GVariant *parameters,
        const GVariantType *replyType, const char *step);

    // Everything below needs the service opened first.
    [[nodiscard]] Status open();
    // The items under the name, in any collection; null for none.
    [[nodiscard]] Result<ObjectList> search();
    // Null when the service has no default collection.
    [[nodiscard]] Result<ObjectPtr<SecretCollection>> defaultCollection();
    [[nodiscard]] LockState ensureUnlocked(SecretCollection *collection, Keyring::Prompt prompt);
    // One request for all of them, so at most one prompt. A refusal or a
    // dismissed prompt is not an error here: whether each object is unlocked
    // is read back afterwards. The text explains a later "locked".
    [[nodiscard]] QString unlock(GList *objects);
    [[nodiscard]] Result<bool> isLocked(GDBusProxy *object, const char *interface);
    [[nodiscard]] Result<SecretBytes> loadSecret(SecretItem *item);
    [[nodiscard]] Status storeValue(const SecretBytes &key);
    [[nodiscard]] Status deleteItem(SecretItem *item);

private:
    struct Slot;

    // One asynchronous call: `start(cancellable, callback, data)` begins it,
    // `finisher(result, error)` collects its answer.
    template<typename T, typename Start, typename Finish>
    Result<T> exchange(const char *step, milliseconds deadline, Start &&start, Finish &&finisher);
    bool runUntil(const Slot &slot, milliseconds limit);

    ContextPtr m_context;
    HashTablePtr m_attributes;
    milliseconds m_replyDeadline;
    milliseconds m_promptDeadline;
    ObjectPtr<GDBusConnection> m_bus;
    ObjectPtr<SecretService> m_service;
};

} // namespace scrivlet
