// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AppDelegate.h"

#include "core/AppSettings.h"
#include "core/ClipStore.h"
#include "core/ClipboardMonitor.h"
#include "core/Crypto.h"
#include "core/DesktopEntries.h"
#include "support/Launch.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using namespace testing;

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
    QCoreApplication::processEvents(); // the pruning is deferred to the next turn
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
    m_keyring.item.reset(); // the keyring lost it
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

} // namespace
} // namespace scrivlet
