// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Result.h"
#include "core/crypto/SecretBytes.h"

#include <QString>
#include <functional>
#include <vector>

namespace scrivlet {

// Where the content key is kept: the desktop's Secret Service, or a private
// file where there is none. Items found again by the same name.
class Keyring
{
public:
    enum class Presence {
        present,
        absent,
        unknown, // the session could not be asked: no reason to choose another store
    };

    enum class Prompt {
        allowed, // a locked store may ask the user to unlock it
        never, // a locked store answers locked at once
    };

    struct Lookup
    {
        enum class Outcome {
            found,
            notFound, // only once the store is known to be unlocked
            locked, // still locked (after an unlock attempt where allowed)
            failed, // refused, erred or did not answer in time
        };
        Outcome outcome = Outcome::failed;
        // For found: the secret of every item under the name, as the store
        // lists them. Users and other programs can leave more than one.
        std::vector<SecretBytes> secrets;
        // For found: why some other items under the name could not be read;
        // empty when every item was read.
        QString unread;
        QString reason; // for failed and locked: what the service said
    };

    virtual ~Keyring() = default;

    // Whether the service exists at all in this session.
    [[nodiscard]] virtual Presence presence() = 0;
    [[nodiscard]] virtual Lookup lookup(Prompt prompt) = 0;
    // Stores the key under the item's name, never over an item already
    // there. Only called after a lookup said notFound. A failed store leaves
    // no item of its own behind.
    [[nodiscard]] virtual Status store(const SecretBytes &key) = 0;
    // Calls `changed` from the calling thread's event loop whenever a lookup
    // may now answer differently (the store was unlocked, its items changed,
    // the service started). An empty function stops the calls.
    virtual void watch(std::function<void()> changed) = 0;
};

} // namespace scrivlet
