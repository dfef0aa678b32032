// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/KeychainKey.h"

#include "core/ModelContainer.h"
#include "fakes/FakeKeyring.h"
#include "support/TestKeys.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using testing::FakeKeyring;
using Outcome = KeyLoad::Outcome;
using LookupOutcome = Keyring::Lookup::Outcome;

KeyRecord recordFor(const SecretBytes &key, const char *source)
{
    return {KeychainKey::keyCheck(key), QString::fromLatin1(source)};
}

TEST(KeychainKey, FirstRunCreatesAndStoresA32ByteKeyInTheKeyring)
{
    FakeKeyring keyring;
    FakeKeyring file;
    const KeyLoad load = KeychainKey::loadOrCreate(KeyRecord {}, keyring, file);
    ASSERT_EQ(load.outcome, Outcome::created);
    ASSERT_TRUE(load.hasKey());
    EXPECT_EQ(load.key->size(), 32u);
    ASSERT_TRUE(keyring.item.has_value());
    EXPECT_TRUE(*keyring.item == *load.key);
    EXPECT_EQ(file.stores, 0);
    ASSERT_TRUE(load.recordToSave.has_value());
    EXPECT_EQ(load.recordToSave->check, KeychainKey::keyCheck(*load.key));
    EXPECT_EQ(load.recordToSave->source, QStringLiteral("keyring"));

    // The next launch finds the same key and has nothing new to remember.
    const KeyLoad again = KeychainKey::loadOrCreate(*load.recordToSave, keyring, file);
    EXPECT_EQ(again.outcome, Outcome::loaded);
    EXPECT_TRUE(*again.key == *load.key);
    EXPECT_FALSE(again.recordToSave.has_value());
}

TEST(KeychainKey, WithoutAnySecretServiceTheKeyLivesInTheFile)
{
    FakeKeyring keyring;
    keyring.present = false;
    FakeKeyring file;
    const KeyLoad load = KeychainKey::loadOrCreate(KeyRecord {}, keyring, file);
    ASSERT_EQ(load.outcome, Outcome::created);
    EXPECT_EQ(keyring.lookups + keyring.stores, 0);
    EXPECT_TRUE(file.item.has_value());
    EXPECT_EQ(load.recordToSave->source, QStringLiteral("file"));

    // A keyring appearing later does not take over a history kept with the file.
    keyring.present = true;
    const KeyLoad later = KeychainKey::loadOrCreate(*load.recordToSave, keyring, file);
    EXPECT_EQ(later.outcome, Outcome::loaded);
    EXPECT_EQ(keyring.lookups, 0);
}

TEST(KeychainKey, AKeyOfAnyLengthIsUsedAsStored)
{
    FakeKeyring keyring;
    FakeKeyring file;
    keyring.item = testing::testKey(7, 16);
    const KeyLoad load = KeychainKey::loadOrCreate(KeyRecord {}, keyring, file);
    ASSERT_EQ(load.outcome, Outcome::loaded);
    EXPECT_EQ(load.key->size(), 16u);
    // A history that had no check yet learns the key's.
    ASSERT_TRUE(load.recordToSave.has_value());
    EXPECT_EQ(load.recordToSave->check, KeychainKey::keyCheck(testing::testKey(7, 16)));
}

// Every doubt leaves the stored key alone, stores nothing and yields no key.
TEST(KeychainKey, NoDoubtEverLeadsToANewKey)
{
    const SecretBytes earlier = testing::testKey(1);
    const struct
    {
        const char *name;
        KeyRecord record;
        bool keyringPresent;
        std::optional<LookupOutcome> keyringAnswer;
        std::optional<SecretBytes> keyringItem;
        bool refuseStore;
        Outcome expected;
    } cases[] = {
        {"locked keyring, first run", {}, true, LookupOutcome::locked, std::nullopt, false,
            Outcome::keyringLocked},
        {"locked keyring with history", recordFor(earlier, "keyring"), true, LookupOutcome::locked,
            earlier, false, Outcome::keyringLocked},
        {"silent or erring keyring", recordFor(earlier, "keyring"), true, LookupOutcome::failed,
            earlier, false, Outcome::keyringFailed},
        {"keyring lost the key", recordFor(earlier, "keyring"), true, std::nullopt, std::nullopt,
            false, Outcome::keyLost},
        {"a different key in the keyring", recordFor(earlier, "keyring"), true, std::nullopt,
            testing::testKey(2), false, Outcome::keyMismatch},
        {"keyring gone from the session", recordFor(earlier, "keyring"), false, std::nullopt,
            std::nullopt, false, Outcome::keyringMissing},
        {"store refused", {}, true, std::nullopt, std::nullopt, true, Outcome::storeFailed},
    };
    for (const auto &c : cases) {
        FakeKeyring keyring;
        keyring.present = c.keyringPresent;
        keyring.forcedOutcome = c.keyringAnswer;
        keyring.item = c.keyringItem;
        keyring.refuseStore = c.refuseStore;
        FakeKeyring file;
        const KeyLoad load = KeychainKey::loadOrCreate(c.record, keyring, file);
        EXPECT_EQ(load.outcome, c.expected) << c.name;
        EXPECT_FALSE(load.hasKey()) << c.name;
        EXPECT_FALSE(load.recordToSave.has_value()) << c.name;
        EXPECT_FALSE(load.message.isEmpty()) << c.name;
        EXPECT_EQ(file.stores, 0) << c.name;
        if (!c.refuseStore) {
            EXPECT_EQ(keyring.stores, 0) << c.name;
        }
        if (c.keyringItem) {
            EXPECT_TRUE(*keyring.item == *c.keyringItem) << c.name;
        }
    }
}

TEST(KeychainKey, LostKeyFileIsReportedNotReplaced)
{
    FakeKeyring keyring;
    FakeKeyring file;
    const KeyLoad load
        = KeychainKey::loadOrCreate(recordFor(testing::testKey(3), "file"), keyring, file);
    EXPECT_EQ(load.outcome, Outcome::keyLost);
    EXPECT_EQ(file.stores + keyring.stores + keyring.lookups, 0);
}

TEST(KeychainKey, TheHistoryRemembersItsKeyAcrossLaunches)
{
    QTemporaryDir dir;
    FakeKeyring keyring;
    FakeKeyring file;
    SecretBytes first;
    {
        auto container = ModelContainer::open(dir.path());
        ASSERT_TRUE(container.ok());
        const KeyLoad load = KeychainKey::loadOrCreate(*container.value(), keyring, file);
        ASSERT_EQ(load.outcome, Outcome::created);
        first = *load.key;
    }
    auto container = ModelContainer::open(dir.path());
    ASSERT_TRUE(container.ok());
    EXPECT_EQ(
        KeychainKey::loadOrCreate(*container.value(), keyring, file).outcome, Outcome::loaded);

    // Then the keyring loses the item: the history knows it had a key.
    keyring.item.reset();
    const KeyLoad lost = KeychainKey::loadOrCreate(*container.value(), keyring, file);
    EXPECT_EQ(lost.outcome, Outcome::keyLost);
    EXPECT_FALSE(keyring.item.has_value());
    EXPECT_EQ(
        container.value()->meta(QStringLiteral("keyCheck")).value(), KeychainKey::keyCheck(first));
}

} // namespace
} // namespace scrivlet
