// SPDX-License-Identifier: GPL-3.0-or-later
// The preferences file as the running program meets it: damaged, hand-edited,
// shared by every writer.
#include "AppFixture.h"
#include "app/AppDelegate.h"
#include "core/settings/AppSettings.h"
#include "core/settings/DefaultsStore.h"

#include <QTest>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using namespace testing;

class AppDelegateSettingsTest : public AppFixture
{
protected:
    void recordFive()
    {
        writeDefaults(R"({"historyLimit": 500, "retentionDays": 365})");
        Launch first(m_root.path(), m_keyring, m_dialogs);
        ASSERT_TRUE(first.start());
        for (int i = 0; i < 5; ++i)
            first.copy(QStringLiteral("entry %1").arg(i));
    }
};

TEST_F(AppDelegateSettingsTest, LaunchPrunesOnlyToLimitsReadAndPositive)
{
    ASSERT_NO_FATAL_FAILURE(recordFive());
    const std::pair<const char *, std::size_t> cases[] = {
        {R"({"historyLimit": 2, "retentionDays": 365,})", 5}, // a stray comma
        {R"({"historyLimit": "2"})", 5},
        {R"({"historyLimit": 500, "retentionDays": [1]})", 5},
        {R"({"historyLimit": 0})", 5},
        {R"({"historyLimit": -5, "retentionDays": 0})", 5},
        {R"({"historyLimit": 3, "retentionDays": 365})", 3},
    };
    for (const auto &[json, kept] : cases) {
        SCOPED_TRACE(json);
        writeDefaults(json);
        Launch launch(m_root.path(), m_keyring, m_dialogs);
        ASSERT_TRUE(launch.start());
        EXPECT_EQ(entries(launch), kept);
    }
}

TEST_F(AppDelegateSettingsTest, AnUnreadableFileIsKeptAsideSaidOnceAndSettingsTakeFromThenOn)
{
    ASSERT_NO_FATAL_FAILURE(recordFive());
    const QByteArray torn = R"({"historyLimit": 2, "retentionDays": 365,})";
    writeDefaults(torn);
    QString aside;
    {
        const Logged logged; // said from within launch(), before the tray could be listened to
        Launch launch(m_root.path(), m_keyring, m_dialogs);
        ASSERT_TRUE(launch.start());
        aside = launch.m_defaults.setAsidePath();
        ASSERT_FALSE(aside.isEmpty());
        EXPECT_EQ(logged.count(aside), 1);
        EXPECT_EQ(stored().value(QLatin1String(DefaultsStore::kReplacedKey)).toString(), aside);
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

    again.delegate().settings().setHistoryLimit(4);
    EXPECT_EQ(entries(again), 4u) << "limits the user sets prune at once";
}

TEST_F(AppDelegateSettingsTest, HandEditsWhileRunningAreFollowedAndNeverWrittenOver)
{
    ASSERT_NO_FATAL_FAILURE(recordFive());
    Launch launch(m_root.path(), m_keyring, m_dialogs);
    ASSERT_TRUE(launch.start());
    AppSettings &settings = launch.delegate().settings();

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
    QFile aside(defaults.setAsidePath());
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), QByteArray("{\"historyLimit\": "));
    EXPECT_EQ(stored().value(QStringLiteral("historyLimit")).toInt(), 500);
}

} // namespace
} // namespace scrivlet
