// SPDX-License-Identifier: GPL-3.0-or-later
// The preferences file as the running program meets it: damaged, hand-edited,
// shared by every writer.
#include "app/AppDelegate.h"
#include "core/history/ClipStore.h"
#include "core/settings/AppSettings.h"
#include "core/settings/DefaultsStore.h"
#include "support/Launch.h"
#include "ui/TrayIcon.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using namespace testing;

class AppDelegateSettingsTest : public ::testing::Test
{
protected:
    QString config() const { return m_root.path() + QStringLiteral("/config"); }
    QString defaultsFile() const { return config() + QStringLiteral("/defaults.json"); }
    void writeDefaults(const QByteArray &json)
    {
        QDir().mkpath(config());
        QSaveFile file(defaultsFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(json);
        ASSERT_TRUE(file.commit());
    }
    QJsonObject stored() const
    {
        QFile in(defaultsFile());
        return in.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(in.readAll()).object()
                                            : QJsonObject();
    }
    void recordFive()
    {
        writeDefaults(R"({"historyLimit": 500, "retentionDays": 365})");
        Launch first(m_root.path(), m_keyring, m_dialogs);
        ASSERT_TRUE(first.start());
        for (int i = 0; i < 5; ++i)
            first.copy(QStringLiteral("entry %1").arg(i));
    }
    std::size_t entries(Launch &launch)
    {
        return launch.delegate().store()->recentItems(100).size();
    }

    QTemporaryDir m_root;
    FakeKeyring m_keyring;
    FakeDialogs m_dialogs;
};

TEST_F(AppDelegateSettingsTest, LimitsThatCouldNotBeReadNeverPrune)
{
    ASSERT_NO_FATAL_FAILURE(recordFive());
    struct Case
    {
        const char *why;
        QByteArray json;
        std::size_t kept;
    };
    const Case cases[] = {
        {"a stray comma", R"({"historyLimit": 2, "retentionDays": 365,})", 5},
        {"a limit of the wrong type", R"({"historyLimit": "2"})", 5},
        {"a retention of the wrong type", R"({"historyLimit": 500, "retentionDays": [1]})", 5},
        {"limits read from the file", R"({"historyLimit": 3, "retentionDays": 365})", 3},
    };
    for (const Case &c : cases) {
        writeDefaults(c.json);
        Launch launch(m_root.path(), m_keyring, m_dialogs);
        ASSERT_TRUE(launch.start()) << c.why;
        EXPECT_EQ(entries(launch), c.kept) << c.why;
    }
}

TEST_F(AppDelegateSettingsTest, AnUnreadableFileIsSaidOnceAndSettingsTakeFromThenOn)
{
    ASSERT_NO_FATAL_FAILURE(recordFive());
    const QByteArray torn = R"({"historyLimit": 2, "retentionDays": 365,})";
    writeDefaults(torn);
    QString aside;
    {
        Launch launch(m_root.path(), m_keyring, m_dialogs);
        ASSERT_TRUE(launch.start());
        aside = launch.m_defaults.setAsidePath();
        ASSERT_FALSE(aside.isEmpty());
        QFile kept(aside);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), torn);
        launch.delegate().settings().setCaptureEnabled(false);
    }
    // The next start reads the fresh file: the choice stayed, nothing new is
    // set aside, and the limits are still unknown.
    Launch again(m_root.path(), m_keyring, m_dialogs);
    ASSERT_TRUE(again.start());
    EXPECT_FALSE(again.delegate().settings().captureEnabled());
    EXPECT_TRUE(again.m_defaults.setAsidePath().isEmpty());
    EXPECT_EQ(entries(again), 5u);
    EXPECT_EQ(QDir(config()).entryList({QStringLiteral("defaults.json.*")}, QDir::Files),
        QStringList {QFileInfo(aside).fileName()});

    // Limits the user sets prune again.
    again.delegate().settings().setHistoryLimit(4);
    QTRY_COMPARE(entries(again), 4u);
}

QStringList g_warnings;

TEST_F(AppDelegateSettingsTest, TheTraySaysOnceWhereAnUnreadableFileWasKept)
{
    writeDefaults("{ not json");
    g_warnings.clear();
    // Said from within launch(), before a test could listen to the tray:
    // every notice is also logged.
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &message) {
              g_warnings.append(message);
          });
    Launch launch(m_root.path(), m_keyring, m_dialogs);
    const bool started = launch.start();
    qInstallMessageHandler(previous);
    ASSERT_TRUE(started);
    const QString aside = launch.m_defaults.setAsidePath();
    ASSERT_FALSE(aside.isEmpty());
    EXPECT_TRUE(QFile::exists(aside));
    EXPECT_EQ(stored().value(QLatin1String(DefaultsStore::kReplacedKey)).toString(), aside);
    EXPECT_EQ(g_warnings.filter(aside).size(), 1)
        << g_warnings.join(QLatin1Char('\n')).toStdString();
}

TEST_F(AppDelegateSettingsTest, HandEditsWhileRunningAreFollowedAndNeverWrittenOver)
{
    ASSERT_NO_FATAL_FAILURE(recordFive());
    Launch launch(m_root.path(), m_keyring, m_dialogs);
    ASSERT_TRUE(launch.start());
    AppSettings &settings = launch.delegate().settings();

    // The user edits the file in an editor: a limit and a key of their own.
    QJsonObject edited = stored();
    edited.insert(QStringLiteral("historyLimit"), 3);
    edited.insert(QStringLiteral("pasteKeys"), QJsonObject {{QStringLiteral("x"), 1}});
    writeDefaults(QJsonDocument(edited).toJson());
    QTRY_COMPARE(settings.historyLimit(), 3);
    QTRY_COMPARE(entries(launch), 3u);

    // A change made in Scrivlet since writes its own key only.
    edited.insert(QStringLiteral("captureMaxTextMB"), 32);
    writeDefaults(QJsonDocument(edited).toJson());
    settings.setPasteOnSingleClick(false); // before the watcher has seen the edit
    const QJsonObject now = stored();
    EXPECT_EQ(now.value(QStringLiteral("captureMaxTextMB")).toInt(), 32);
    EXPECT_TRUE(now.value(QStringLiteral("pasteKeys")).isObject());
    EXPECT_FALSE(now.value(QStringLiteral("pasteOnSingleClick")).toBool(true));
    EXPECT_EQ(now.value(QStringLiteral("historyLimit")).toInt(), 3);
}

TEST_F(AppDelegateSettingsTest, AnEditorsHalfSavedFileChangesNothing)
{
    ASSERT_NO_FATAL_FAILURE(recordFive());
    Launch launch(m_root.path(), m_keyring, m_dialogs);
    ASSERT_TRUE(launch.start());
    DefaultsStore &defaults = launch.m_defaults;
    QFile::remove(defaultsFile());
    defaults.reload();
    writeDefaults("{\"historyLimit\": ");
    defaults.reload();
    EXPECT_EQ(launch.delegate().settings().historyLimit(), 500);
    EXPECT_EQ(entries(launch), 5u);

    // A write meanwhile keeps the half-saved file aside rather than over it.
    launch.delegate().settings().setCaptureEnabled(false);
    ASSERT_FALSE(defaults.setAsidePath().isEmpty());
    QFile aside(defaults.setAsidePath());
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), QByteArray("{\"historyLimit\": "));
    EXPECT_EQ(stored().value(QStringLiteral("historyLimit")).toInt(), 500);
}

} // namespace
} // namespace scrivlet
