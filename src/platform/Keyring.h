// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Result.h"
#include "core/SecretBytes.h"

#include <QString>

namespace scrivlet {

// Where the content key is kept: the desktop's Secret Service, or a private
// file where there is none. One item, found again by the same name.
class Keyring
{
public:
    struct Lookup
    {
        enum class Outcome {
            found,
            notFound, // only once the store is known to be unlocked
            locked, // still locked after an unlock attempt
            failed, // refused, erred or did not answer in time
        };
        Outcome outcome = Outcome::failed;
        SecretBytes secret;
        QString reason; // for failed and locked: what the service said
    };

    virtual ~Keyring() = default;

    // Whether the service exists at all in this session.
    [[nodiscard]] virtual bool isPresent() = 0;
    // Tries to unlock the store when it is locked, which may ask the user.
    [[nodiscard]] virtual Lookup lookup() = 0;
    // Stores the key under the item's name. Only called after a lookup said
    // notFound.
    [[nodiscard]] virtual Status store(const SecretBytes &key) = 0;
};

} // namespace scrivlet
