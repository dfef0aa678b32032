// SPDX-License-Identifier: GPL-3.0-or-later
// SecretServiceKeyring against a real gnome-keyring on a private bus. The
// keyring calls run in keyring_probe: GDBus would keep this process tied to the
// first bus it met, and each test has a bus of its own.
#include "KeyringSession.h"
#include "core/crypto/KeychainKey.h"

#include <gtest/gtest.h>
#include <string>

namespace scrivlet::testing {
namespace {

// Only a guard against a hung probe; the deadlines under test are far shorter.
constexpr int kProbeGuardMs = 60000;

struct ProbeReply
{
    std::string outcome; // the second word: yes, no, found, notFound, ok, error...
    std::string detail; // the rest: hex of a found key, or a reason
};

// The probe's arguments are the words of `command`.
ProbeReply runProbe(const QProcessEnvironment &environment, const std::string &command)
{
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.start(KEYRING_PROBE_PATH, QString::fromStdString(command).split(' ', Qt::SkipEmptyParts));
    if (!probe.waitForFinished(kProbeGuardMs)) {
        probe.kill();
        probe.waitForFinished();
        return {"hung", probe.readAllStandardError().toStdString()};
    }
    if (probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        return {"crashed", probe.readAllStandardError().toStdString()};
    const QString line = QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
    return {line.section(' ', 1, 1).toStdString(), line.section(' ', 2).toStdString()};
}

std::string hexKey(int seed)
{
    QByteArray bytes(32, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 97 + seed) & 0xff);
    return bytes.toHex().toStdString();
}

class SecretServiceKeyringTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_session.startBus()) << qPrintable(m_session.error());
        ASSERT_TRUE(m_session.startKeyring()) << qPrintable(m_session.error());
    }

    ProbeReply probe(const std::string &command)
    {
        return runProbe(m_session.environment(), command);
    }

    KeyringSession m_session;
};

TEST(SecretServiceKeyringPresence, CountsOnlyAnOwnedOrActivatableSecretService)
{
    const struct
    {
        std::string setup;
        const char *activatable;
        const char *expected;
    } rows[] = {
        {"no bus", nullptr, "no"},
        // Not a reason to keep the key in a file for good.
        {"bus named, not answering", nullptr, "unknown"},
        {"bus", nullptr, "no"},
        {"bus", "org.freedesktop.secrets.Other", "no"},
        {"bus", "org.freedesktop.secrets", "yes"},
        {"keyring", nullptr, "yes"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.setup + " " + (row.activatable ? row.activatable : ""));
        KeyringSession session;
        if (row.activatable) {
            ASSERT_TRUE(session.addActivatableName(QLatin1String(row.activatable)));
        }
        if (row.setup == "bus" || row.setup == "keyring") {
            ASSERT_TRUE(session.startBus()) << qPrintable(session.error());
        }
        if (row.setup == "keyring") {
            ASSERT_TRUE(session.startKeyring()) << qPrintable(session.error());
        }
        QProcessEnvironment environment = session.environment();
        if (row.setup == "bus named, not answering")
            environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        EXPECT_EQ(runProbe(environment, "present").outcome, row.expected);
    }
}

// Each row's name is free before its store though the rows before left items
// under another account or service; a second store never replaces the first.
TEST_F(SecretServiceKeyringTest, StoredKeyReadsBackByteForByteAndIsNeverReplaced)
{
    const struct
    {
        std::string name;
        std::string key;
    } rows[] = {
        {"--account other", "0066c72889ea4bac0d6ecf3091f253b40076d73899fa5bbc1d7edf40a1026300"},
        {"--service org.example.Other", "c8c8c8c8c8c8c8c8c8c8c8c8c8c8c8c8"},
        {"", "83e4c5a687e8c9aa8beccdae8ff0d1b293f4d5b697f8d9ba9bfcddbe9f80e1c2"}, // not UTF-8
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const ProbeReply before = probe(row.name + " lookup");
        EXPECT_EQ(before.outcome, "notFound") << before.detail;
        ASSERT_EQ(probe(row.name + " store " + row.key).outcome, "ok");
        const ProbeReply again = probe(row.name + " store " + hexKey(12));
        EXPECT_EQ(again.outcome, "error") << again.detail;
        const ProbeReply found = probe(row.name + " lookup");
        EXPECT_EQ(found.outcome, "found") << found.detail;
        EXPECT_EQ(found.detail, row.key);
    }
}

TEST_F(SecretServiceKeyringTest, MissingDefaultCollectionMeansNotFound)
{
    ASSERT_TRUE(m_session.removeDefaultAlias()) << qPrintable(m_session.error());
    const ProbeReply reply = probe("lookup");
    EXPECT_EQ(reply.outcome, "notFound") << reply.detail;
}

// Locked, gnome-keyring answers a search as if it were empty; the prompt that
// would unlock it cannot appear on this bus. A store then fails and leaves
// what was there.
TEST_F(SecretServiceKeyringTest, LockedKeyringIsNotMistakenForAnEmptyOne)
{
    for (const bool holdsKey : {false, true}) {
        SCOPED_TRACE(holdsKey ? "holding a key" : "empty");
        const std::string name = "--account " + std::to_string(holdsKey);
        ASSERT_TRUE(m_session.restartKeyring()) << qPrintable(m_session.error());
        if (holdsKey) {
            ASSERT_EQ(probe(name + " store " + hexKey(9)).outcome, "ok");
        }
        ASSERT_TRUE(m_session.lockDefaultCollection()) << qPrintable(m_session.error());
        const ProbeReply reply = probe(name + " lookup");
        EXPECT_EQ(reply.outcome, "locked") << reply.detail;
        EXPECT_FALSE(reply.detail.empty());
        const ProbeReply stored = probe(name + " store " + hexKey(42));
        EXPECT_EQ(stored.outcome, "error");
        EXPECT_FALSE(stored.detail.empty());

        ASSERT_TRUE(m_session.restartKeyring()) << qPrintable(m_session.error());
        const ProbeReply after = probe(name + " lookup");
        EXPECT_EQ(after.outcome, holdsKey ? "found" : "notFound") << after.detail;
        EXPECT_EQ(after.detail, holdsKey ? hexKey(9) : "");
    }
}

// The name stays owned, so only a deadline can tell the service is gone.
TEST_F(SecretServiceKeyringTest, SilentServiceFailsInsteadOfHanging)
{
    ASSERT_EQ(probe("store " + hexKey(7)).outcome, "ok");
    ASSERT_TRUE(m_session.suspendKeyring()) << qPrintable(m_session.error());
    const struct
    {
        std::string command;
        const char *expected;
    } rows[] = {{"present", "yes"}, {"lookup", "failed"}, {"store " + hexKey(7), "error"}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.command);
        const ProbeReply reply = probe("--deadline-ms 1000 " + row.command);
        EXPECT_EQ(reply.outcome, row.expected) << reply.detail;
        if (row.command != "present") {
            EXPECT_NE(reply.detail.find("no answer"), std::string::npos) << reply.detail;
        }
    }
}

// Other programs can leave more items under the same name; each is read so
// that the history's key check can pick its own.
TEST_F(SecretServiceKeyringTest, EveryItemUnderTheNameIsRead)
{
    const QByteArray stray("a stray key of thirty-two bytes!");
    ASSERT_EQ(probe("store " + hexKey(31)).outcome, "ok");
    ASSERT_TRUE(m_session.addItem(stray)) << qPrintable(m_session.error());
    const ProbeReply found = probe("lookup");
    ASSERT_EQ(found.outcome, "found") << found.detail;
    const std::string mine = hexKey(31), theirs = stray.toHex().toStdString();
    EXPECT_TRUE(found.detail == mine + "," + theirs || found.detail == theirs + "," + mine)
        << found.detail;
}

// secret-tool stores text: a 20-byte "key" that AES cannot use. It is
// refused, and neither replaced nor joined by a new key.
TEST_F(SecretServiceKeyringTest, AKeyAesCannotUseIsRefusedAndKept)
{
    const QByteArray text("twenty bytes of text");
    ASSERT_TRUE(m_session.addItem(text)) << qPrintable(m_session.error());
    EXPECT_EQ(probe("decide").outcome, std::to_string(int(KeyLoad::Outcome::keyUnusable)));
    const ProbeReply found = probe("lookup");
    EXPECT_EQ(found.outcome, "found") << found.detail;
    EXPECT_EQ(found.detail, text.toHex().toStdString()) << "the only item, as it was";
}

// An autologin desktop unlocks the keyring after Scrivlet has started.
TEST_F(SecretServiceKeyringTest, AnUnlockAfterStartIsHeard)
{
    ASSERT_EQ(probe("store " + hexKey(41)).outcome, "ok");
    ASSERT_TRUE(m_session.lockDefaultCollection()) << qPrintable(m_session.error());
    QProcess watcher;
    watcher.setProcessEnvironment(m_session.environment());
    watcher.start(KEYRING_PROBE_PATH, {"watch"});
    const QDeadlineTimer guard(kProbeGuardMs);
    while (!watcher.canReadLine() && !guard.hasExpired() && watcher.state() != QProcess::NotRunning)
        watcher.waitForReadyRead(100);
    ASSERT_EQ(watcher.readLine().trimmed(), "watch waiting locked");

    ASSERT_TRUE(m_session.unlockDefaultCollection()) << qPrintable(m_session.error());
    ASSERT_TRUE(watcher.waitForFinished(kProbeGuardMs));
    EXPECT_EQ(watcher.readAllStandardOutput().trimmed().toStdString(), "watch found " + hexKey(41));
}

} // namespace
} // namespace scrivlet::testing
