// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AppDelegate.h"

#include "core/capture/ClipboardMonitor.h"
#include "core/crypto/Crypto.h"
#include "core/desktop/DesktopEntries.h"
#include "core/history/ClipStore.h"
#include "core/history/ImageStore.h"
#include "core/history/ModelContainer.h"
#include "core/settings/AppSettings.h"
#include "support/Launch.h"
#include "support/TestKeys.h"
#include "unit/core/TestSql.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using namespace testing;

// What the tray says is also logged, one line a notice.
class Notices
{
public:
    Notices()
    {
        s_lines.clear();
        m_previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &line) { s_lines << line; });
    }
    ~Notices() { qInstallMessageHandler(m_previous); }
    [[nodiscard]] qsizetype count(const QString &text) const
    {
        return std::ranges::count_if(
            s_lines, [&](const QString &line) { return line.contains(text); });
    }

private:
    static inline QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};

const QString kLockedNotice = QStringLiteral("Le trousseau est verrouillé");

class AppDelegateTest : public ::testing::Test
{
protected:
    void writeDefaults(const QByteArray &json)
    {
        QDir().mkpath(m_root.path() + QStringLiteral("/config"));
        QFile file(m_root.path() + QStringLiteral("/config/defaults.json"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(json);
    }

    QTemporaryDir m_root;
    FakeKeyring m_keyring;
    FakeDialogs m_dialogs;
};

TEST_F(AppDelegateTest, RecordsAndPrunesToTheLimitsAtLaunchAndAfterEveryChange)
{
    {
        Launch first(m_root.path(), m_keyring, m_dialogs);
        ASSERT_TRUE(first.start());
        for (int i = 0; i < 6; ++i)
            first.copy(QStringLiteral("entry %1").arg(i));
        EXPECT_EQ(first.delegate().store()->recentItems(100).size(), 6u);
    }
    writeDefaults(R"({"historyLimit": 4})");
    Launch second(m_root.path(), m_keyring, m_dialogs);
    ASSERT_TRUE(second.start());
    EXPECT_EQ(second.delegate().store()->recentItems(100).size(), 4u) << "pruned at launch";

    second.delegate().settings().setHistoryLimit(3);
    EXPECT_EQ(second.delegate().store()->recentItems(100).size(), 3u) << "pruned after the change";
}

TEST_F(AppDelegateTest, ZeroOrNegativeLimitsNeverPrune)
{
    {
        Launch first(m_root.path(), m_keyring, m_dialogs);
        ASSERT_TRUE(first.start());
        first.copy(QStringLiteral("kept"));
    }
    for (const char *json :
        {R"({"historyLimit": 0})", R"({"historyLimit": -5, "retentionDays": 0})"}) {
        writeDefaults(json);
        Launch launch(m_root.path(), m_keyring, m_dialogs);
        ASSERT_TRUE(launch.start());
        EXPECT_EQ(launch.delegate().store()->recentItems(100).size(), 1u) << json;
    }
}

TEST_F(AppDelegateTest, ClearingAsksFirst)
{
    Launch launch(m_root.path(), m_keyring, m_dialogs);
    ASSERT_TRUE(launch.start());
    launch.copy(QStringLiteral("a"));
    m_dialogs.answers = {false, true};
    launch.delegate().clearHistory();
    EXPECT_EQ(launch.delegate().store()->recentItems(10).size(), 1u) << "Annuler keeps everything";
    launch.delegate().clearHistory();
    EXPECT_TRUE(launch.delegate().store()->recentItems(10).empty());
    EXPECT_EQ(m_dialogs.asked,
        (QStringList {QStringLiteral("Vider tout l'historique ?"),
            QStringLiteral("Vider tout l'historique ?")}));
}

TEST_F(AppDelegateTest, AnUnopenableHistoryIsReportedAndLeftAlone)
{
    const QString data = m_root.path() + QStringLiteral("/data");
    QDir().mkpath(data);
    QFile damaged(data + QStringLiteral("/history.sqlite"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(8192, '\x17'));
    damaged.close();

    Launch launch(m_root.path(), m_keyring, m_dialogs);
    EXPECT_FALSE(launch.delegate().launch());
    ASSERT_EQ(m_dialogs.told.size(), 1);
    EXPECT_TRUE(m_dialogs.told.at(0).startsWith(
        QStringLiteral("L'historique de Scrivlet ne peut pas être ouvert.")));
    ASSERT_TRUE(damaged.open(QIODevice::ReadOnly));
    EXPECT_EQ(damaged.readAll(), QByteArray(8192, '\x17'));
    EXPECT_EQ(m_keyring.lookups, 0) << "nothing else happens";
}

TEST_F(AppDelegateTest, ALockedKeyringRecordsNothing)
{
    m_keyring.forcedOutcome = Keyring::Lookup::Outcome::locked;
    Launch launch(m_root.path(), m_keyring, m_dialogs);
    EXPECT_FALSE(launch.start());
    EXPECT_EQ(launch.delegate().store(), nullptr);
    EXPECT_EQ(m_keyring.stores, 0);
}

TEST_F(AppDelegateTest, ALostKeyOffersANewHistoryAndSetsTheOldOneAside)
{
    {
        Launch first(m_root.path(), m_keyring, m_dialogs);
        ASSERT_TRUE(first.start());
        first.copy(QStringLiteral("sealed under the first key"));
    }
    m_keyring.items.clear(); // the keyring lost it
    const QString data = m_root.path() + QStringLiteral("/data");
    {
        m_dialogs.answers = {false};
        Launch later(m_root.path(), m_keyring, m_dialogs);
        EXPECT_FALSE(later.start());
        EXPECT_EQ(m_dialogs.asked.size(), 1);
        EXPECT_EQ(m_keyring.stores, 1) << "no new key without the user's word";
    }
    EXPECT_TRUE(QFile::exists(data + QStringLiteral("/history.sqlite")));

    m_dialogs.answers = {true};
    Launch accepted(m_root.path(), m_keyring, m_dialogs);
    QSignalSpy ready(&accepted.delegate(), &AppDelegate::ready);
    ASSERT_TRUE(accepted.delegate().launch());
    ASSERT_TRUE(ready.wait(10000));
    if (ready.size() < 2) {
        ASSERT_TRUE(ready.wait(10000));
    }
    EXPECT_TRUE(ready.last().at(0).toBool()) << "recording again, with a new key";
    EXPECT_TRUE(accepted.delegate().store()->recentItems(10).empty());
    const QStringList aside = QDir(data).entryList({QStringLiteral("set-aside-*")}, QDir::Dirs);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_TRUE(
        QFile::exists(data + QLatin1Char('/') + aside.at(0) + QStringLiteral("/history.sqlite")))
        << "the old history is kept whole";
}

// An autologin session unlocks its keyring after Scrivlet started.
TEST_F(AppDelegateTest, TheShortcutWorksAtOnceAndRecordingFollowsTheKeyringUnlock)
{
    const Notices notices;
    m_keyring.forcedOutcome = Keyring::Lookup::Outcome::locked;
    Launch launch(m_root.path(), m_keyring, m_dialogs);
    QSignalSpy ready(&launch.delegate(), &AppDelegate::ready);
    ASSERT_TRUE(launch.delegate().launch());
    ASSERT_TRUE(ready.wait(10000));
    EXPECT_FALSE(ready.last().at(0).toBool());

    auto &hotkeys = launch.m_hotkeys;
    ASSERT_EQ(hotkeys.grabbed.size(), 1u) << "the shortcut is registered without the key";
    Q_EMIT hotkeys.released(hotkeys.grabbed.front());
    EXPECT_EQ(notices.count(kLockedNotice), 2) << "the palette's key says why it cannot open";

    // Another collection changing: still locked, looked up without a prompt,
    // and nothing new to say.
    m_keyring.announceChange();
    ASSERT_TRUE(ready.wait(10000));
    EXPECT_FALSE(ready.last().at(0).toBool());
    EXPECT_EQ(notices.count(kLockedNotice), 2);

    m_keyring.forcedOutcome.reset();
    m_keyring.announceChange();
    ASSERT_TRUE(ready.wait(10000));
    EXPECT_TRUE(ready.last().at(0).toBool()) << "recording without a restart";
    EXPECT_EQ(m_keyring.promptedLookups, 1) << "only the launch may ask to unlock";
    launch.copy(QStringLiteral("copied after the unlock"));
    ASSERT_NE(launch.delegate().store(), nullptr);
    EXPECT_EQ(launch.delegate().store()->recentItems(10).size(), 1u);
    EXPECT_EQ(hotkeys.grabbed.size(), 1u);
}

// Without its key check in the history, a later lost key would pass for a
// first run and be replaced.
TEST_F(AppDelegateTest, AKeyCheckThatCannotBeWrittenRecordsNothing)
{
    const QString data = m_root.path() + QStringLiteral("/data");
    {
        auto container = ModelContainer::open(data);
        ASSERT_TRUE(container.ok());
    }
    runSql(data + QStringLiteral("/history.sqlite"),
        "CREATE TRIGGER full BEFORE INSERT ON meta BEGIN SELECT RAISE(ABORT, 'disk full'); END;");
    Launch launch(m_root.path(), m_keyring, m_dialogs);
    EXPECT_FALSE(launch.start());
    EXPECT_EQ(launch.delegate().store(), nullptr);
    EXPECT_EQ(m_keyring.items.size(), 1u) << "the new key is kept for the next launch";
}

// A setting aside that stopped after the database leaves the old images in
// place; the new history's first sweep must not take them for its own.
TEST_F(AppDelegateTest, ImagesOfAHistorySetAsideHalfwayAreKept)
{
    const QString data = m_root.path() + QStringLiteral("/data");
    QString image;
    {
        Launch first(m_root.path(), m_keyring, m_dialogs);
        ASSERT_TRUE(first.start());
        auto written
            = ImageStore(data + QStringLiteral("/images"), Crypto::shared()).write("old image");
        ASSERT_TRUE(written.ok());
        image = data + QStringLiteral("/images/") + written.value();
    }
    QFile old(image);
    ASSERT_TRUE(old.open(QIODevice::ReadWrite));
    ASSERT_TRUE(old.setFileTime(
        QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
    old.close();
    m_keyring.items.clear(); // lost: the old history is set aside
    const QString aside = data + QStringLiteral("/set-aside-20250101-000000");
    ASSERT_TRUE(QDir().mkpath(aside));
    for (const char *name : {"history.sqlite", "history.sqlite-wal", "history.sqlite-shm"})
        QFile::rename(data + QLatin1Char('/') + QLatin1String(name),
            aside + QLatin1Char('/') + QLatin1String(name));

    Launch fresh(m_root.path(), m_keyring, m_dialogs);
    ASSERT_TRUE(fresh.start()) << "a new history with a new key";
    EXPECT_TRUE(QFile::exists(image));
}

} // namespace
} // namespace scrivlet
