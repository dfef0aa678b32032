// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Keyring.h"

#include <optional>

namespace scrivlet::testing {

// A keyring whose answers the test sets; counts what it was asked.
class FakeKeyring : public Keyring
{
public:
    bool present = true;
    std::optional<SecretBytes> item;
    std::optional<Lookup::Outcome> forcedOutcome; // locked or failed
    bool refuseStore = false;
    int lookups = 0;
    int stores = 0;

    bool isPresent() override { return present; }

    Lookup lookup() override
    {
        ++lookups;
        Lookup result;
        if (forcedOutcome) {
            result.outcome = *forcedOutcome;
            result.reason = QStringLiteral("fake refusal");
        } else if (item) {
            result.outcome = Lookup::Outcome::found;
            result.secret = *item;
        } else {
            result.outcome = Lookup::Outcome::notFound;
        }
        return result;
    }

    Status store(const SecretBytes &key) override
    {
        ++stores;
        if (refuseStore)
            return Error {QStringLiteral("fake store refused")};
        item = key;
        return success();
    }
};

} // namespace scrivlet::testing
