// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/AppSettings.h"

#include "core/settings/Appearance.h"
#include "core/settings/DefaultsStore.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using Values = std::tuple<qint64, qint64, bool, QStringList, bool, QString, QString, QString>;

Values values(const AppSettings &s)
{
    return {s.historyLimit(), s.retentionDays(), s.captureEnabled(), s.excludedApps(),
        s.pasteOnSingleClick(), s.appearance(), s.accentColorID(), s.language()};
}

class AppSettingsTest : public ::testing::Test
{
protected:
    QString file() const { return m_dir.path() + QStringLiteral("/defaults.json"); }
    void writeFile(const QByteArray &bytes)
    {
        QFile out(file());
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }
    QJsonObject stored() const
    {
        QFile in(file());
        return in.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(in.readAll()).object()
                                            : QJsonObject();
    }

    QTemporaryDir m_dir;
};

TEST_F(AppSettingsTest, StoredValuesAreUsedOnlyWithTheirTypeAndDefaultsAreWrittenNowhere)
{
    const QString system = QStringLiteral("system");
    {
        DefaultsStore defaults(m_dir.path());
        EXPECT_EQ(
            values(AppSettings(defaults)), Values(200, 30, true, {}, true, system, system, system));
        EXPECT_FALSE(QFile::exists(file()));
    }
    // One number discards the whole list; an unknown appearance is kept as stored.
    writeFile(R"({"historyLimit": "500", "retentionDays": 0, "captureEnabled": false,
        "excludedApps": ["a", 3, "b"], "pasteOnSingleClick": "no", "appearance": "sepia",
        "accentColorID": 7, "language": "en", "unknownKey": [1]})");
    DefaultsStore defaults(m_dir.path());
    AppSettings settings(defaults);
    EXPECT_EQ(values(settings),
        Values(200, 0, false, {}, true, QStringLiteral("sepia"), system, QStringLiteral("en")));

    settings.setHistoryLimit(300);
    const QJsonObject after = stored();
    EXPECT_EQ(after.value(QStringLiteral("historyLimit")).toInteger(), 300);
    EXPECT_EQ(after.value(QStringLiteral("unknownKey")), QJsonArray {1})
        << "other writers' keys survive";
    EXPECT_EQ(after.value(QStringLiteral("retentionDays")).toInteger(), 0);
}

TEST_F(AppSettingsTest, EveryAssignmentIsAnnouncedOnceItIsMade)
{
    DefaultsStore defaults(m_dir.path());
    std::vector<AppAppearance> applied;
    AppSettings settings(defaults, [&](AppAppearance a) { applied.push_back(a); });
    std::vector<std::pair<qint64, double>> seenDuringNotice;
    QObject::connect(&settings, &AppSettings::changed, [&] {
        seenDuringNotice.emplace_back(
            settings.historyLimit(), defaults.value(QStringLiteral("historyLimit")).toDouble());
    });
    settings.setHistoryLimit(500);
    settings.setHistoryLimit(500);
    EXPECT_EQ(seenDuringNotice, (std::vector<std::pair<qint64, double>> {{500, 500}, {500, 500}}))
        << "the new value, already stored";

    QSignalSpy spy(&settings, &AppSettings::changed);
    settings.setRetentionDays(7);
    settings.setCaptureEnabled(false);
    settings.setExcludedApps({QStringLiteral("org.keepassxc.KeePassXC")});
    settings.setPasteOnSingleClick(false);
    settings.setAppearance(QStringLiteral("light"));
    settings.setAppearance(QStringLiteral("unknown"));
    settings.setAccentColorID(QStringLiteral("bleu"));
    settings.setLanguage(QStringLiteral("fr"));
    EXPECT_EQ(spy.count(), 8);
    EXPECT_EQ(applied, (std::vector<AppAppearance> {AppAppearance::light, AppAppearance::system}));
    DefaultsStore reread(m_dir.path());
    EXPECT_EQ(values(AppSettings(reread)),
        Values(500, 7, false, {QStringLiteral("org.keepassxc.KeePassXC")}, false,
            QStringLiteral("unknown"), QStringLiteral("bleu"), QStringLiteral("fr")));
}

TEST_F(AppSettingsTest, LanguageSetsOrRemovesTheStartUpLanguage)
{
    DefaultsStore defaults(m_dir.path());
    AppSettings settings(defaults);
    settings.setLanguage(QStringLiteral("en"));
    EXPECT_EQ(stored().value(QStringLiteral("AppleLanguages")), QJsonArray {QStringLiteral("en")});
    settings.setLanguage(QStringLiteral("system"));
    EXPECT_FALSE(stored().contains(QStringLiteral("AppleLanguages")));
    EXPECT_EQ(stored().value(QStringLiteral("language")).toString(), QStringLiteral("system"));
}

TEST_F(AppSettingsTest, AnUnreadableFileIsKeptAsideBeforeAnythingIsWritten)
{
    const QByteArray torn = R"({"historyLimit": 50, "captureEn)";
    writeFile(torn);
    DefaultsStore defaults(m_dir.path());
    AppSettings settings(defaults);
    EXPECT_EQ(settings.historyLimit(), 200);
    ASSERT_FALSE(defaults.setAsidePath().isEmpty());
    settings.setCaptureEnabled(false);

    QFile aside(defaults.setAsidePath());
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), torn);
    EXPECT_FALSE(stored().value(QStringLiteral("captureEnabled")).toBool(true));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files).size(), 2) << "no temporary file left";
}

TEST(AccentChoice, LookUpFallsBackToTheSystemAccent)
{
    EXPECT_EQ(AccentChoice::all().size(), 8u);
    const AccentChoice bleu = AccentChoice::by(QStringLiteral("bleu"));
    EXPECT_EQ(bleu.id, QStringLiteral("bleu"));
    EXPECT_DOUBLE_EQ(bleu.color->blue, 0.95);
    for (const char *id : {"", "turquoise", "Bleu"})
        EXPECT_EQ(AccentChoice::by(QString::fromLatin1(id)).id, QStringLiteral("system")) << id;
    EXPECT_FALSE(AccentChoice::by(QStringLiteral("system")).color.has_value());
}

} // namespace
} // namespace scrivlet
