// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AppDelegate.h"

#include "AppFixture.h"
#include "core/history/ImageStore.h"
#include "core/history/ModelContainer.h"
#include "unit/core/TestSql.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using namespace testing;
using AppDelegateTest = AppFixture;

TEST_F(AppDelegateTest, ClearingAsksFirst)
{
    Launch launch(m_root.path(), m_keyring, m_dialogs);
    ASSERT_TRUE(launch.start());
    launch.copy(QStringLiteral("a"));
    m_dialogs.answers = {false, true};
    launch.delegate().clearHistory();
    EXPECT_EQ(entries(launch), 1u) << "Annuler keeps everything";
    launch.delegate().clearHistory();
    EXPECT_EQ(entries(launch), 0u);
    EXPECT_EQ(m_dialogs.asked, QStringList(2, QStringLiteral("Vider tout l'historique ?")));
}

TEST_F(AppDelegateTest, GnomeAsksOnceToTurnItsShellExtensionOn)
{
    DesktopAbilities off;
    off.capture = false;
    off.shellExtensionDisabled = true;
    const QString question = QStringLiteral("Activer l'extension GNOME Shell de Scrivlet ?");
    struct Case
    {
        bool answer;
        int enabled;
    };
    for (const Case c : {Case {true, 1}, Case {false, 0}}) {
        const QString root
            = m_root.path() + (c.answer ? QStringLiteral("/yes") : QStringLiteral("/no"));
        FakeKeyring keyring;
        m_dialogs.asked.clear();
        m_dialogs.answers = {c.answer};
        int enabled = 0;
        {
            Launch launch(root, keyring, m_dialogs, off, [&enabled] { ++enabled; });
            ASSERT_TRUE(launch.start());
            QCoreApplication::processEvents();
            EXPECT_EQ(m_dialogs.asked, QStringList {question});
            EXPECT_EQ(enabled, c.enabled);
            // Turned off again later in the same run: not asked again.
            launch.delegate().abilitiesChanged(off);
            EXPECT_EQ(m_dialogs.asked.size(), 1);
        }
        // Nor at the next start, whatever the answer was.
        Launch again(root, keyring, m_dialogs, off, [&enabled] { ++enabled; });
        ASSERT_TRUE(again.start());
        QCoreApplication::processEvents();
        EXPECT_EQ(m_dialogs.asked.size(), 1);
        EXPECT_EQ(enabled, c.enabled);
    }
}

TEST_F(AppDelegateTest, AnUnopenableHistoryIsReportedAndLeftAlone)
{
    QDir().mkpath(data());
    QFile damaged(data() + QStringLiteral("/history.sqlite"));
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

TEST_F(AppDelegateTest, ALostKeyOffersANewHistoryAndSetsTheOldOneAside)
{
    {
        Launch first(m_root.path(), m_keyring, m_dialogs);
        ASSERT_TRUE(first.start());
        first.copy(QStringLiteral("sealed under the first key"));
    }
    m_keyring.items.clear(); // the keyring lost it
    {
        m_dialogs.answers = {false};
        Launch later(m_root.path(), m_keyring, m_dialogs);
        EXPECT_FALSE(later.start());
        EXPECT_EQ(m_dialogs.asked.size(), 1);
        EXPECT_EQ(m_keyring.stores, 1) << "no new key without the user's word";
    }
    EXPECT_TRUE(QFile::exists(data() + QStringLiteral("/history.sqlite")));

    m_dialogs.answers = {true};
    Launch accepted(m_root.path(), m_keyring, m_dialogs);
    QSignalSpy ready(&accepted.delegate(), &AppDelegate::ready);
    ASSERT_TRUE(accepted.delegate().launch());
    ASSERT_TRUE(ready.wait(10000));
    if (ready.size() < 2) {
        ASSERT_TRUE(ready.wait(10000));
    }
    EXPECT_TRUE(ready.last().at(0).toBool()) << "recording again, with a new key";
    EXPECT_EQ(entries(accepted), 0u);
    const QStringList aside = QDir(data()).entryList({QStringLiteral("set-aside-*")}, QDir::Dirs);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_TRUE(QFile::exists(data() + '/' + aside.at(0) + QStringLiteral("/history.sqlite")))
        << "the old history is kept whole";
}

// An autologin session unlocks its keyring after Scrivlet started.
TEST_F(AppDelegateTest, ALockedKeyringRecordsNothingButTheShortcutWorksAndTheUnlockIsFollowed)
{
    const Logged notices;
    const QString locked = QStringLiteral("Le trousseau est verrouillé");
    m_keyring.forcedOutcome = Keyring::Lookup::Outcome::locked;
    Launch launch(m_root.path(), m_keyring, m_dialogs);
    QSignalSpy ready(&launch.delegate(), &AppDelegate::ready);
    ASSERT_TRUE(launch.delegate().launch());
    ASSERT_TRUE(ready.wait(10000));
    EXPECT_FALSE(ready.last().at(0).toBool());
    EXPECT_EQ(launch.delegate().store(), nullptr);
    EXPECT_EQ(m_keyring.stores, 0);

    auto &hotkeys = launch.m_hotkeys;
    ASSERT_EQ(hotkeys.grabbed.size(), 1u) << "the shortcut is registered without the key";
    Q_EMIT hotkeys.released(hotkeys.grabbed.front());
    EXPECT_EQ(notices.count(locked), 2) << "the palette's key says why it cannot open";

    // Another collection changing: still locked, looked up without a prompt,
    // and nothing new to say.
    m_keyring.announceChange();
    ASSERT_TRUE(ready.wait(10000));
    EXPECT_FALSE(ready.last().at(0).toBool());
    EXPECT_EQ(notices.count(locked), 2);

    m_keyring.forcedOutcome.reset();
    m_keyring.announceChange();
    ASSERT_TRUE(ready.wait(10000));
    EXPECT_TRUE(ready.last().at(0).toBool()) << "recording without a restart";
    EXPECT_EQ(m_keyring.promptedLookups, 1) << "only the launch may ask to unlock";
    launch.copy(QStringLiteral("copied after the unlock"));
    ASSERT_NE(launch.delegate().store(), nullptr);
    EXPECT_EQ(entries(launch), 1u);
    EXPECT_EQ(hotkeys.grabbed.size(), 1u);
}

// Without its key check in the history, a later lost key would pass for a
// first run and be replaced.
TEST_F(AppDelegateTest, AKeyCheckThatCannotBeWrittenRecordsNothing)
{
    ASSERT_TRUE(ModelContainer::open(data()).ok());
    runSql(data() + QStringLiteral("/history.sqlite"),
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
    QString image;
    {
        Launch first(m_root.path(), m_keyring, m_dialogs);
        ASSERT_TRUE(first.start());
        auto written
            = ImageStore(data() + QStringLiteral("/images"), Crypto::shared()).write("old");
        ASSERT_TRUE(written.ok());
        image = data() + QStringLiteral("/images/") + written.value();
    }
    QFile old(image);
    ASSERT_TRUE(old.open(QIODevice::ReadWrite));
    ASSERT_TRUE(old.setFileTime(
        QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
    old.close();
    m_keyring.items.clear(); // lost: the old history is set aside
    const QString aside = data() + QStringLiteral("/set-aside-20250101-000000/");
    ASSERT_TRUE(QDir().mkpath(aside));
    for (const char *name : {"history.sqlite", "history.sqlite-wal", "history.sqlite-shm"})
        QFile::rename(data() + '/' + QLatin1String(name), aside + QLatin1String(name));

    Launch fresh(m_root.path(), m_keyring, m_dialogs);
    ASSERT_TRUE(fresh.start()) << "a new history with a new key";
    EXPECT_TRUE(QFile::exists(image));
}

} // namespace
} // namespace scrivlet
