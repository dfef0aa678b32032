// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/crypto/KeychainKey.h"

#include "TestSql.h"
#include "fakes/FakeKeyring.h"
#include "support/TestHistory.h"

#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using testing::FakeKeyring;
using testing::testKey;
using Outcome = KeyLoad::Outcome;
using LookupOutcome = Keyring::Lookup::Outcome;
using Presence = Keyring::Presence;
constexpr auto kPrompt = Keyring::Prompt::allowed;

KeyRecord recordFor(const SecretBytes &key, const char *source)
{
    return {KeychainKey::keyCheck(key), QString::fromLatin1(source)};
}

// A first run's key goes to the keyring, or to the file where there is no
// Secret Service; later launches find it there and note nothing new. A
// keyring appearing later does not take over a history kept with the file,
// and a key gone from its store is reported, not replaced.
TEST(KeychainKey, FirstRunKeyIsStoredOnceAndFoundWhereTheHistoryNotedIt)
{
    for (const bool hasKeyring : {true, false}) {
        SCOPED_TRACE(hasKeyring ? "keyring" : "file");
        FakeKeyring keyring;
        FakeKeyring file;
        FakeKeyring &home = hasKeyring ? keyring : file;
        keyring.present = hasKeyring ? Presence::present : Presence::absent;
        const KeyLoad load = KeychainKey::loadOrCreate(KeyRecord {}, keyring, file, kPrompt);
        ASSERT_EQ(load.outcome, Outcome::created);
        ASSERT_TRUE(load.hasKey() && load.recordToSave);
        EXPECT_EQ(load.key->size(), 32u);
        ASSERT_EQ(home.items.size(), 1u);
        EXPECT_TRUE(home.items.front() == *load.key);
        EXPECT_EQ(keyring.stores + file.stores, 1);
        EXPECT_EQ(load.recordToSave->check, KeychainKey::keyCheck(*load.key));
        EXPECT_EQ(load.recordToSave->source, QLatin1String(hasKeyring ? "keyring" : "file"));

        keyring.present = Presence::present;
        const KeyLoad again = KeychainKey::loadOrCreate(*load.recordToSave, keyring, file, kPrompt);
        EXPECT_EQ(again.outcome, Outcome::loaded);
        EXPECT_TRUE(again.hasKey() && *again.key == *load.key);
        EXPECT_FALSE(again.recordToSave.has_value());

        home.items.clear();
        EXPECT_EQ(KeychainKey::loadOrCreate(*load.recordToSave, keyring, file, kPrompt).outcome,
            Outcome::keyLost);
        EXPECT_EQ(keyring.stores + file.stores, 1);
        if (!hasKeyring) {
            EXPECT_EQ(keyring.lookups, 0);
        }
    }
}

// Every item is weighed; only a key AES can use, and the history's own when
// it has a check, is ever handed out.
TEST(KeychainKey, ChoosesAmongTheStoredItems)
{
    const SecretBytes mine = testKey(1);
    const SecretBytes other = testKey(2);
    const SecretBytes secretTool = testKey(3, 20);
    const KeyRecord noted = recordFor(mine, "keyring");
    const struct
    {
        const char *name;
        KeyRecord record;
        std::vector<SecretBytes> items;
        QString unread;
        Outcome expected;
        std::optional<SecretBytes> key;
    } cases[] = {
        {"the history's key behind a stray item", noted, {other, mine}, {}, Outcome::loaded, mine},
        {"the history's key among unusable ones", noted, {secretTool, mine}, {}, Outcome::loaded,
            mine},
        {"none is the history's", noted, {other, secretTool}, {}, Outcome::keyMismatch,
            std::nullopt},
        {"the history's may be among the unread", noted, {other}, QStringLiteral("locked"),
            Outcome::keyringLocked, std::nullopt},
        {"a 16-byte key is an AES key", {}, {testKey(4, 16)}, {}, Outcome::loaded, testKey(4, 16)},
        {"a 20-byte item, first run", {}, {secretTool}, {}, Outcome::keyUnusable, std::nullopt},
        {"a 20-byte key an earlier run adopted", recordFor(secretTool, "keyring"), {secretTool}, {},
            Outcome::keyUnusable, std::nullopt},
        {"one usable beside a 20-byte item, no check", {}, {secretTool, other}, {}, Outcome::loaded,
            other},
        {"the same key twice, no check", {}, {other, other}, {}, Outcome::loaded, other},
        {"two different keys, no check", {}, {mine, other}, {}, Outcome::keyAmbiguous,
            std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeKeyring keyring;
        keyring.items = c.items;
        keyring.unread = c.unread;
        FakeKeyring file;
        const KeyLoad load = KeychainKey::loadOrCreate(c.record, keyring, file, kPrompt);
        EXPECT_EQ(load.outcome, c.expected);
        EXPECT_EQ(load.hasKey(), c.key.has_value());
        if (c.key && load.hasKey()) {
            EXPECT_TRUE(*load.key == *c.key);
        } else if (!c.key) {
            EXPECT_FALSE(load.message.isEmpty());
            EXPECT_FALSE(load.recordToSave.has_value());
        }
        EXPECT_EQ(keyring.stores + file.stores, 0) << "nothing stored over what is there";
    }
}

// Every doubt leaves the stored key alone, stores nothing and yields no key.
TEST(KeychainKey, NoDoubtEverLeadsToANewKey)
{
    const SecretBytes earlier = testKey(1);
    const KeyRecord noted = recordFor(earlier, "keyring");
    const struct
    {
        const char *name;
        KeyRecord record;
        Presence presence;
        std::optional<LookupOutcome> keyringAnswer;
        std::vector<SecretBytes> keyringItems;
        bool refuseStore;
        Outcome expected;
    } cases[] = {
        {"locked keyring, first run", {}, Presence::present, LookupOutcome::locked, {}, false,
            Outcome::keyringLocked},
        {"locked keyring with history", noted, Presence::present, LookupOutcome::locked, {earlier},
            false, Outcome::keyringLocked},
        {"silent or erring keyring", noted, Presence::present, LookupOutcome::failed, {earlier},
            false, Outcome::keyringFailed},
        {"keyring lost the key", noted, Presence::present, std::nullopt, {}, false,
            Outcome::keyLost},
        {"a different key in the keyring", noted, Presence::present, std::nullopt, {testKey(2)},
            false, Outcome::keyMismatch},
        {"keyring gone from the session", noted, Presence::absent, std::nullopt, {}, false,
            Outcome::keyringMissing},
        {"session bus silent, first run", {}, Presence::unknown, std::nullopt, {}, false,
            Outcome::keyringFailed},
        {"session bus silent with history", noted, Presence::unknown, std::nullopt, {earlier},
            false, Outcome::keyringFailed},
        {"store refused", {}, Presence::present, std::nullopt, {}, true, Outcome::storeFailed},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeKeyring keyring;
        keyring.present = c.presence;
        keyring.forcedOutcome = c.keyringAnswer;
        keyring.items = c.keyringItems;
        keyring.refuseStore = c.refuseStore;
        FakeKeyring file;
        const KeyLoad load = KeychainKey::loadOrCreate(c.record, keyring, file, kPrompt);
        EXPECT_EQ(load.outcome, c.expected);
        EXPECT_FALSE(load.hasKey());
        EXPECT_FALSE(load.recordToSave.has_value());
        EXPECT_FALSE(load.message.isEmpty());
        EXPECT_EQ(file.stores + file.lookups, 0) << "the key file is not the keyring's stand-in";
        if (!c.refuseStore) {
            EXPECT_EQ(keyring.stores, 0);
        }
        EXPECT_EQ(keyring.items.size(), c.keyringItems.size());
    }
}

// Content sealed under a key the history did not note would later pass for
// a first run's, and a new key would be made over it.
TEST(KeychainKeyHistory, AKeyTheHistoryCannotNoteIsNotHandedOut)
{
    testing::TestHistory history;
    FakeKeyring keyring;
    FakeKeyring file;
    testing::runSql(history.databaseFile(),
        "CREATE TRIGGER full BEFORE INSERT ON meta BEGIN SELECT RAISE(ABORT, 'disk full'); END;");
    const KeyLoad refused = KeychainKey::loadOrCreate(history.container(), keyring, file, kPrompt);
    EXPECT_EQ(refused.outcome, Outcome::recordNotSaved);
    EXPECT_FALSE(refused.hasKey());
    EXPECT_TRUE(refused.message.contains(QStringLiteral("disk full")))
        << refused.message.toStdString();
    ASSERT_EQ(keyring.items.size(), 1u) << "the key stays, unused";
    const SecretBytes stored = keyring.items.front();

    testing::runSql(history.databaseFile(), "DROP TRIGGER full;");
    history.reopen();
    const KeyLoad adopted = KeychainKey::loadOrCreate(history.container(), keyring, file, kPrompt);
    ASSERT_EQ(adopted.outcome, Outcome::loaded);
    EXPECT_TRUE(*adopted.key == stored);
    keyring.items.clear();
    EXPECT_EQ(KeychainKey::loadOrCreate(history.container(), keyring, file, kPrompt).outcome,
        Outcome::keyLost);
    EXPECT_EQ(keyring.stores, 1);
}

} // namespace
} // namespace scrivlet
