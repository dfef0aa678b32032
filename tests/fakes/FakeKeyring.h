// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/Keyring.h"

#include <atomic>
#include <optional>

namespace scrivlet::testing {

// A keyring whose answers the test sets; counts what it was asked. Set it up
// before the lookup it should answer: lookups may run on another thread.
class FakeKeyring : public Keyring
{
public:
    Presence present = Presence::present;
    std::vector<SecretBytes> items;
    std::optional<Lookup::Outcome> forcedOutcome; // locked or failed
    QString unread; // items the lookup says it could not read
    bool refuseStore = false;
    std::atomic<int> lookups = 0;
    std::atomic<int> promptedLookups = 0;
    int stores = 0;
    std::function<void()> changed;

    Presence presence() override { return present; }

    Lookup lookup(Prompt prompt) override
    {
        ++lookups;
        if (prompt == Prompt::allowed)
            ++promptedLookups;
        Lookup result;
        if (forcedOutcome) {
            result.outcome = *forcedOutcome;
            result.reason = QStringLiteral("fake refusal");
        } else {
            result.outcome = items.empty() ? Lookup::Outcome::notFound : Lookup::Outcome::found;
            result.secrets = items;
            result.unread = items.empty() ? QString() : unread;
        }
        return result;
    }

    Status store(const SecretBytes &key) override
    {
        ++stores;
        if (refuseStore)
            return Error {QStringLiteral("fake store refused")};
        items.push_back(key);
        return success();
    }

    void watch(std::function<void()> handler) override { changed = std::move(handler); }

    // What the Secret Service does when a collection unlocks.
    void announceChange()
    {
        if (changed)
            changed();
    }
};

} // namespace scrivlet::testing
