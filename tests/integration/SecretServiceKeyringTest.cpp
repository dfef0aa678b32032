// SPDX-License-Identifier: GPL-3.0-or-later
// SecretServiceKeyring against a real gnome-keyring on a private bus. The
// keyring calls run in keyring_probe: GDBus would keep this process tied to the
// first bus it met, and each test has a bus of its own.
#include "KeyringSession.h"
#include "core/crypto/KeychainKey.h"

#include <QDeadlineTimer>
#include <QStringList>
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

ProbeReply runProbe(const QProcessEnvironment &environment, const QStringList &arguments)
{
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.start(QStringLiteral(KEYRING_PROBE_PATH), arguments);
    if (!probe.waitForFinished(kProbeGuardMs)) {
        probe.kill();
        probe.waitForFinished();
        return {"hung", probe.readAllStandardError().toStdString()};
    }
    if (probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        return {"crashed", probe.readAllStandardError().toStdString()};
    const QString line = QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
    return {line.section(QLatin1Char(' '), 1, 1).toStdString(),
        line.section(QLatin1Char(' '), 2).toStdString()};
}

QString hexKey(int seed)
{
    QByteArray bytes(32, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 97 + seed) & 0xff);
    return QString::fromLatin1(bytes.toHex());
}

class SecretServiceKeyringTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_session.startBus()) << qPrintable(m_session.error());
        ASSERT_TRUE(m_session.startKeyring()) << qPrintable(m_session.error());
    }

    ProbeReply probe(const QStringList &arguments)
    {
        return runProbe(m_session.environment(), arguments);
    }

    KeyringSession m_session;
};

TEST(SecretServiceKeyringPresence, CountsOnlyAnOwnedOrActivatableSecretService)
{
    const struct
    {
        const char *setup;
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
        const std::string setup = row.setup;
        SCOPED_TRACE(setup + " " + (row.activatable ? row.activatable : ""));
        KeyringSession session;
        if (row.activatable) {
            ASSERT_TRUE(session.addActivatableName(QLatin1String(row.activatable)));
        }
        if (setup == "bus" || setup == "keyring") {
            ASSERT_TRUE(session.startBus()) << qPrintable(session.error());
        }
        if (setup == "keyring") {
            ASSERT_TRUE(session.startKeyring()) << qPrintable(session.error());
        }
        QProcessEnvironment environment = session.environment();
        if (setup == "bus named, not answering")
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                QStringLiteral("unix:path=/nonexistent/bus"));
        EXPECT_EQ(runProbe(environment, {QStringLiteral("present")}).outcome, row.expected);
    }
}

// Each row's name is free before its store though the rows before left items
// under another account or service; a second store never replaces the first.
TEST_F(SecretServiceKeyringTest, StoredKeyReadsBackByteForByteAndIsNeverReplaced)
{
    QByteArray zeroBytes = QByteArray::fromHex(hexKey(5).toLatin1());
    zeroBytes[0] = zeroBytes[16] = zeroBytes[31] = '\0';
    QByteArray notUtf8 = QByteArray::fromHex(hexKey(3).toLatin1());
    for (char &byte : notUtf8)
        byte = char(byte | 0x80);
    const struct
    {
        QStringList name;
        QString key;
    } rows[] = {
        {{QStringLiteral("--account"), QStringLiteral("other")},
            QString::fromLatin1(zeroBytes.toHex())},
        {{QStringLiteral("--service"), QStringLiteral("org.example.Other")},
            QString::fromLatin1(QByteArray(16, '\xc8').toHex())},
        {{}, QString::fromLatin1(notUtf8.toHex())},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.key.toStdString());
        const ProbeReply before = probe(row.name + QStringList {QStringLiteral("lookup")});
        EXPECT_EQ(before.outcome, "notFound") << before.detail;
        ASSERT_EQ(probe(row.name + QStringList {QStringLiteral("store"), row.key}).outcome, "ok");
        const ProbeReply again
            = probe(row.name + QStringList {QStringLiteral("store"), hexKey(12)});
        EXPECT_EQ(again.outcome, "error") << again.detail;
        const ProbeReply found = probe(row.name + QStringList {QStringLiteral("lookup")});
        EXPECT_EQ(found.outcome, "found") << found.detail;
        EXPECT_EQ(found.detail, row.key.toStdString());
    }
}

TEST_F(SecretServiceKeyringTest, MissingDefaultCollectionMeansNotFound)
{
    ASSERT_TRUE(m_session.removeDefaultAlias()) << qPrintable(m_session.error());
    const ProbeReply reply = probe({QStringLiteral("lookup")});
    EXPECT_EQ(reply.outcome, "notFound") << reply.detail;
}

// Locked, gnome-keyring answers a search as if it were empty; the prompt that
// would unlock it cannot appear on this bus. A store then fails and leaves
// what was there.
TEST_F(SecretServiceKeyringTest, LockedKeyringIsNotMistakenForAnEmptyOne)
{
    for (const bool holdsKey : {false, true}) {
        SCOPED_TRACE(holdsKey ? "holding a key" : "empty");
        const QString account = QString::number(holdsKey);
        const QStringList name {QStringLiteral("--account"), account};
        ASSERT_TRUE(m_session.restartKeyring()) << qPrintable(m_session.error());
        if (holdsKey) {
            ASSERT_EQ(probe(name + QStringList {QStringLiteral("store"), hexKey(9)}).outcome, "ok");
        }
        ASSERT_TRUE(m_session.lockDefaultCollection()) << qPrintable(m_session.error());
        const ProbeReply reply = probe(name + QStringList {QStringLiteral("lookup")});
        EXPECT_EQ(reply.outcome, "locked") << reply.detail;
        EXPECT_FALSE(reply.detail.empty());
        const ProbeReply stored = probe(name + QStringList {QStringLiteral("store"), hexKey(42)});
        EXPECT_EQ(stored.outcome, "error");
        EXPECT_FALSE(stored.detail.empty());

        ASSERT_TRUE(m_session.restartKeyring()) << qPrintable(m_session.error());
        const ProbeReply after = probe(name + QStringList {QStringLiteral("lookup")});
        EXPECT_EQ(after.outcome, holdsKey ? "found" : "notFound") << after.detail;
        EXPECT_EQ(after.detail, holdsKey ? hexKey(9).toStdString() : "");
    }
}

// The name stays owned, so only a deadline can tell the service is gone.
TEST_F(SecretServiceKeyringTest, SilentServiceFailsInsteadOfHanging)
{
    ASSERT_EQ(probe({QStringLiteral("store"), hexKey(7)}).outcome, "ok");
    ASSERT_TRUE(m_session.suspendKeyring()) << qPrintable(m_session.error());
    const struct
    {
        QStringList command;
        const char *expected;
    } rows[] = {
        {{QStringLiteral("present")}, "yes"},
        {{QStringLiteral("lookup")}, "failed"},
        {{QStringLiteral("store"), hexKey(7)}, "error"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.command.join(QLatin1Char(' ')).toStdString());
        const ProbeReply reply = probe(
            QStringList {QStringLiteral("--deadline-ms"), QStringLiteral("1000")} + row.command);
        EXPECT_EQ(reply.outcome, row.expected) << reply.detail;
        if (row.command.size() > 1 || row.command.front() == QLatin1String("lookup")) {
            EXPECT_NE(reply.detail.find("no answer"), std::string::npos) << reply.detail;
        }
    }
}

// Other programs can leave more items under the same name; each is read so
// that the history's key check can pick its own.
TEST_F(SecretServiceKeyringTest, EveryItemUnderTheNameIsRead)
{
    const QByteArray stray("a stray key of thirty-two bytes!");
    ASSERT_EQ(probe({QStringLiteral("store"), hexKey(31)}).outcome, "ok");
    ASSERT_TRUE(m_session.addItem(stray)) << qPrintable(m_session.error());
    const ProbeReply found = probe({QStringLiteral("lookup")});
    ASSERT_EQ(found.outcome, "found") << found.detail;
    QStringList keys = QString::fromStdString(found.detail).split(QLatin1Char(','));
    keys.sort();
    QStringList expected {hexKey(31), QString::fromLatin1(stray.toHex())};
    expected.sort();
    EXPECT_EQ(keys, expected);
}

// secret-tool stores text: a 20-byte "key" that AES cannot use. It is
// refused, and neither replaced nor joined by a new key.
TEST_F(SecretServiceKeyringTest, AKeyAesCannotUseIsRefusedAndKept)
{
    const QByteArray text("twenty bytes of text");
    ASSERT_TRUE(m_session.addItem(text)) << qPrintable(m_session.error());
    EXPECT_EQ(probe({QStringLiteral("decide")}).outcome,
        std::to_string(int(KeyLoad::Outcome::keyUnusable)));
    const ProbeReply found = probe({QStringLiteral("lookup")});
    EXPECT_EQ(found.outcome, "found") << found.detail;
    EXPECT_EQ(found.detail, text.toHex().toStdString()) << "the only item, as it was";
}

// An autologin desktop unlocks the keyring after Scrivlet has started.
TEST_F(SecretServiceKeyringTest, AnUnlockAfterStartIsHeard)
{
    ASSERT_EQ(probe({QStringLiteral("store"), hexKey(41)}).outcome, "ok");
    ASSERT_TRUE(m_session.lockDefaultCollection()) << qPrintable(m_session.error());
    QProcess watcher;
    watcher.setProcessEnvironment(m_session.environment());
    watcher.start(QStringLiteral(KEYRING_PROBE_PATH), {QStringLiteral("watch")});
    const QDeadlineTimer guard(kProbeGuardMs);
    while (!watcher.canReadLine() && !guard.hasExpired() && watcher.state() != QProcess::NotRunning)
        watcher.waitForReadyRead(100);
    ASSERT_EQ(watcher.readLine().trimmed(), QByteArray("watch waiting locked"));

    ASSERT_TRUE(m_session.unlockDefaultCollection()) << qPrintable(m_session.error());
    ASSERT_TRUE(watcher.waitForFinished(kProbeGuardMs));
    EXPECT_EQ(watcher.readAllStandardOutput().trimmed(), "watch found " + hexKey(41).toLatin1());
}

} // namespace
} // namespace scrivlet::testing
