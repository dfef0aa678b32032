// SPDX-License-Identifier: GPL-3.0-or-later
// SecretServiceKeyring against a real gnome-keyring on a private bus. The
// keyring calls run in keyring_probe: GDBus would keep this process tied to the
// first bus it met, and each test has a bus of its own.
#include "KeyringSession.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
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
    const QString line
        = QString::fromUtf8(probe.readAllStandardOutput()).trimmed().section(QLatin1Char('\n'), -1);
    return {line.section(QLatin1Char(' '), 1, 1).toStdString(),
        line.section(QLatin1Char(' '), 2).toStdString()};
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

QByteArray pattern(int size, int seed)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 97 + seed) & 0xff);
    return bytes;
}

QByteArray keyWithZeroBytes()
{
    QByteArray key = pattern(32, 5);
    key[0] = key[16] = key[31] = '\0';
    return key;
}

QByteArray keyThatIsNotUtf8()
{
    QByteArray key = pattern(32, 3);
    for (char &byte : key)
        byte = static_cast<char>(byte | 0x80);
    return key;
}

const QString kAccount = QStringLiteral("--account");

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
    enum class Setup { noBus, emptyBus, otherActivatable, activatable, running };
    struct Row
    {
        const char *name;
        Setup setup;
        const char *expected;
    };
    const Row rows[] = {
        {"no session bus at all", Setup::noBus, "no"},
        {"bus without the service", Setup::emptyBus, "no"},
        {"only a similar name activatable", Setup::otherActivatable, "no"},
        {"service activatable", Setup::activatable, "yes"},
        {"gnome-keyring running", Setup::running, "yes"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        KeyringSession session;
        if (row.setup == Setup::activatable) {
            ASSERT_TRUE(session.addActivatableName(QStringLiteral("org.freedesktop.secrets")));
        }
        if (row.setup == Setup::otherActivatable) {
            ASSERT_TRUE(
                session.addActivatableName(QStringLiteral("org.freedesktop.secrets.Other")));
        }
        if (row.setup != Setup::noBus) {
            ASSERT_TRUE(session.startBus()) << qPrintable(session.error());
        }
        if (row.setup == Setup::running) {
            ASSERT_TRUE(session.startKeyring()) << qPrintable(session.error());
        }
        EXPECT_EQ(
            runProbe(session.environment(), {QStringLiteral("present")}).outcome, row.expected);
    }
}

TEST_F(SecretServiceKeyringTest, StoredKeyReadsBackByteForByte)
{
    struct Row
    {
        const char *account;
        QByteArray key;
    };
    const Row rows[] = {
        {"zero-bytes", keyWithZeroBytes()},
        {"short", pattern(16, 200)},
        {"not-utf8", keyThatIsNotUtf8()},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.account);
        const QString account = QString::fromLatin1(row.account);
        const ProbeReply before = probe({kAccount, account, QStringLiteral("lookup")});
        EXPECT_EQ(before.outcome, "notFound") << before.detail;
        const ProbeReply stored = probe({kAccount, account, QStringLiteral("store"), hex(row.key)});
        ASSERT_EQ(stored.outcome, "ok") << stored.detail;
        const ProbeReply found = probe({kAccount, account, QStringLiteral("lookup")});
        EXPECT_EQ(found.outcome, "found") << found.detail;
        EXPECT_EQ(found.detail, hex(row.key).toStdString());
    }
}

TEST_F(SecretServiceKeyringTest, ItemsOfOtherAccountsOrServicesAreNotFound)
{
    const QString key = hex(pattern(32, 1));
    ASSERT_EQ(
        probe({kAccount, QStringLiteral("other"), QStringLiteral("store"), key}).outcome, "ok");
    ASSERT_EQ(probe({QStringLiteral("--service"), QStringLiteral("org.example.Other"),
                        QStringLiteral("store"), key})
                  .outcome,
        "ok");
    const ProbeReply reply = probe({QStringLiteral("lookup")});
    EXPECT_EQ(reply.outcome, "notFound") << reply.detail;
}

TEST_F(SecretServiceKeyringTest, MissingDefaultCollectionMeansNotFound)
{
    ASSERT_TRUE(m_session.removeDefaultAlias()) << qPrintable(m_session.error());
    const ProbeReply reply = probe({QStringLiteral("lookup")});
    EXPECT_EQ(reply.outcome, "notFound") << reply.detail;
}

// Locked, gnome-keyring answers a search as if it were empty; the prompt that
// would unlock it cannot appear on this bus.
TEST_F(SecretServiceKeyringTest, LockedKeyringIsNotMistakenForAnEmptyOne)
{
    struct Row
    {
        const char *account;
        bool holdsKey;
    };
    const Row rows[] = {{"empty", false}, {"holding-key", true}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.account);
        const QString account = QString::fromLatin1(row.account);
        ASSERT_TRUE(m_session.restartKeyring()) << qPrintable(m_session.error());
        if (row.holdsKey) {
            ASSERT_EQ(
                probe({kAccount, account, QStringLiteral("store"), hex(pattern(32, 9))}).outcome,
                "ok");
        }
        ASSERT_TRUE(m_session.lockDefaultCollection()) << qPrintable(m_session.error());
        const ProbeReply reply = probe({kAccount, account, QStringLiteral("lookup")});
        EXPECT_EQ(reply.outcome, "locked") << reply.detail;
        EXPECT_FALSE(reply.detail.empty());
    }
}

TEST_F(SecretServiceKeyringTest, StoreIntoLockedKeyringFailsAndKeepsTheOldKey)
{
    const QString oldKey = hex(pattern(32, 21));
    ASSERT_EQ(probe({QStringLiteral("store"), oldKey}).outcome, "ok");
    ASSERT_TRUE(m_session.lockDefaultCollection()) << qPrintable(m_session.error());

    const ProbeReply stored = probe({QStringLiteral("store"), hex(pattern(32, 42))});
    EXPECT_EQ(stored.outcome, "error");
    EXPECT_FALSE(stored.detail.empty());

    ASSERT_TRUE(m_session.restartKeyring()) << qPrintable(m_session.error());
    const ProbeReply found = probe({QStringLiteral("lookup")});
    EXPECT_EQ(found.outcome, "found") << found.detail;
    EXPECT_EQ(found.detail, oldKey.toStdString());
}

// The name stays owned, so only a deadline can tell the service is gone.
TEST_F(SecretServiceKeyringTest, SilentServiceFailsInsteadOfHanging)
{
    const QString key = hex(pattern(32, 7));
    ASSERT_EQ(probe({QStringLiteral("store"), key}).outcome, "ok");
    ASSERT_TRUE(m_session.suspendKeyring()) << qPrintable(m_session.error());

    const QStringList shortDeadlines = {QStringLiteral("--reply-ms"), QStringLiteral("1000"),
        QStringLiteral("--prompt-ms"), QStringLiteral("1000")};
    struct Row
    {
        QStringList command;
        const char *expected;
        bool explained;
    };
    const Row rows[] = {
        {{QStringLiteral("present")}, "yes", false},
        {{QStringLiteral("lookup")}, "failed", true},
        {{QStringLiteral("store"), key}, "error", true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.command.join(QLatin1Char(' ')).toStdString());
        const ProbeReply reply = probe(shortDeadlines + row.command);
        EXPECT_EQ(reply.outcome, row.expected) << reply.detail;
        if (row.explained) {
            EXPECT_NE(reply.detail.find("no answer"), std::string::npos) << reply.detail;
        }
    }
}

} // namespace
} // namespace scrivlet::testing
