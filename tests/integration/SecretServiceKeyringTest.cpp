// SPDX-License-Identifier: GPL-3.0-or-later
// SecretServiceKeyring against a real gnome-keyring on a private bus. The
// keyring calls run in keyring_probe: GDBus would keep this process tied to the
// first bus it met, and each test has a bus of its own.
#include "platform/linux/SecretServiceKeyring.h"

#include "KeyringSession.h"

#include <QByteArray>
#include <QDeadlineTimer>
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
    enum class Setup { noBus, deadBus, emptyBus, otherActivatable, activatable, running };
    struct Row
    {
        const char *name;
        Setup setup;
        const char *expected;
    };
    const Row rows[] = {
        {"no session bus at all", Setup::noBus, "no"},
        // Not a reason to keep the key in a file for good.
        {"a session bus named but not answering", Setup::deadBus, "unknown"},
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
        QProcessEnvironment environment = session.environment();
        if (row.setup == Setup::deadBus)
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                QStringLiteral("unix:path=/nonexistent/bus"));
        EXPECT_EQ(runProbe(environment, {QStringLiteral("present")}).outcome, row.expected);
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

TEST_F(SecretServiceKeyringTest, AStoreNeverReplacesAnItem)
{
    const QString first = hex(pattern(32, 11));
    ASSERT_EQ(probe({QStringLiteral("store"), first}).outcome, "ok");
    const ProbeReply again = probe({QStringLiteral("store"), hex(pattern(32, 12))});
    EXPECT_EQ(again.outcome, "error") << again.detail;
    const ProbeReply found = probe({QStringLiteral("lookup")});
    EXPECT_EQ(found.outcome, "found");
    EXPECT_EQ(found.detail, first.toStdString());
}

// Other programs can leave more items under the same name; each is read so
// that the history's key check can pick its own.
TEST_F(SecretServiceKeyringTest, EveryItemUnderTheNameIsRead)
{
    const QString ours = hex(pattern(32, 31));
    const QByteArray stray = pattern(32, 32);
    ASSERT_EQ(probe({QStringLiteral("store"), ours}).outcome, "ok");
    ASSERT_TRUE(m_session.addItem(QLatin1String(SecretServiceKeyring::kDefaultService),
        QLatin1String(SecretServiceKeyring::kDefaultAccount), stray))
        << qPrintable(m_session.error());
    const ProbeReply found = probe({QStringLiteral("lookup")});
    ASSERT_EQ(found.outcome, "found") << found.detail;
    QStringList keys = QString::fromStdString(found.detail).split(QLatin1Char(','));
    keys.sort();
    QStringList expected {ours, hex(stray)};
    expected.sort();
    EXPECT_EQ(keys, expected);
}

// secret-tool stores text: a 20-byte "key" that AES cannot use. It is
// refused, and neither replaced nor joined by a new key.
TEST_F(SecretServiceKeyringTest, AKeyAesCannotUseIsRefusedAndKept)
{
    const QByteArray text("twenty bytes of text");
    QProcess tool;
    tool.setProcessEnvironment(m_session.environment());
    tool.start(QStringLiteral("secret-tool"),
        {QStringLiteral("store"), QStringLiteral("--label=typed by hand"),
            QStringLiteral("service"), QLatin1String(SecretServiceKeyring::kDefaultService),
            QStringLiteral("account"), QLatin1String(SecretServiceKeyring::kDefaultAccount)});
    ASSERT_TRUE(tool.waitForStarted());
    tool.write(text);
    tool.closeWriteChannel();
    ASSERT_TRUE(tool.waitForFinished(kProbeGuardMs));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();

    EXPECT_EQ(probe({QStringLiteral("decide")}).outcome, "keyUnusable");
    const ProbeReply found = probe({QStringLiteral("lookup")});
    EXPECT_EQ(found.outcome, "found");
    EXPECT_EQ(found.detail, hex(text).toStdString()) << "the only item, as it was";
}

// An autologin desktop unlocks the keyring after Scrivlet has started.
TEST_F(SecretServiceKeyringTest, AnUnlockAfterStartIsHeard)
{
    const QString key = hex(pattern(32, 41));
    ASSERT_EQ(probe({QStringLiteral("store"), key}).outcome, "ok");
    ASSERT_TRUE(m_session.lockDefaultCollection()) << qPrintable(m_session.error());

    QProcess watcher;
    watcher.setProcessEnvironment(m_session.environment());
    watcher.start(QStringLiteral(KEYRING_PROBE_PATH), {QStringLiteral("watch")});
    const QDeadlineTimer guard(kProbeGuardMs);
    QByteArray said;
    while (!said.contains('\n') && !guard.hasExpired() && watcher.state() != QProcess::NotRunning)
        if (watcher.waitForReadyRead(100))
            said += watcher.readAllStandardOutput();
    ASSERT_EQ(said.trimmed(), QByteArray("watch waiting locked"));

    ASSERT_TRUE(m_session.unlockDefaultCollection()) << qPrintable(m_session.error());
    ASSERT_TRUE(watcher.waitForFinished(kProbeGuardMs));
    said += watcher.readAllStandardOutput();
    EXPECT_EQ(
        said.trimmed().split('\n').last(), QStringLiteral("watch found %1").arg(key).toUtf8());
}

} // namespace
} // namespace scrivlet::testing
