// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Translations.h"

#include "core/settings/AppSettings.h"
#include "core/settings/DefaultsStore.h"
#include "ui/TrayIcon.h"

#include <QAction>
#include <QCoreApplication>
#include <QJsonArray>
#include <QMenu>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using scrivlet::Language;

TEST(Translations, TheLanguageChosenLastTimeElseTheDesktops)
{
    const std::tuple<const char *, std::optional<QJsonValue>, const char *, Language> cases[] = {
        {"English chosen", QJsonArray {QStringLiteral("en")}, "fr_FR", Language::english},
        {"French chosen", QJsonArray {QStringLiteral("fr-CA")}, "en_US", Language::french},
        {"nothing chosen, French desktop", std::nullopt, "fr_BE", Language::french},
        {"nothing chosen, other desktop", std::nullopt, "de_DE", Language::english},
        {"not a list", QStringLiteral("en"), "fr_FR", Language::french},
        {"an empty list", QJsonArray {}, "fr_FR", Language::french},
        {"not a text", QJsonArray {3}, "de_DE", Language::english},
    };
    for (const auto &[what, stored, desktop, expected] : cases) {
        QTemporaryDir dir;
        DefaultsStore defaults(dir.path());
        if (stored)
            defaults.setValue(QStringLiteral("AppleLanguages"), *stored);
        EXPECT_EQ(interfaceLanguage(defaults, QLocale(QLatin1String(desktop))), expected) << what;
    }
}

TEST(Translations, EnglishIsBuiltIn)
{
    {
        const Translations english(Language::english);
        ASSERT_TRUE(english.isLoaded());
        EXPECT_EQ(QCoreApplication::translate("scrivlet::TrayIcon", "Réglages…"), "Settings…");
        EXPECT_EQ(
            QCoreApplication::translate("scrivlet::KeychainKey", "Impossible de créer une clé."),
            "A key could not be created.");
    }
    EXPECT_EQ(QCoreApplication::translate("scrivlet::TrayIcon", "Réglages…"), "Réglages…")
        << "French once it is gone";
}

TEST(Translations, TheTrayMenuInEnglish)
{
    const Translations english(Language::english);
    QTemporaryDir dir;
    DefaultsStore defaults(dir.path());
    AppSettings settings(defaults);
    TrayIcon tray(settings);
    tray.setOpenShortcutText(QStringLiteral("Shift+Super+V"));
    QStringList texts;
    for (const QAction *action : tray.menu().actions()) {
        if (!action->isSeparator())
            texts << action->text();
    }
    EXPECT_EQ(texts,
        QStringList({"Open History  Shift+Super+V", "Capture On", "Settings…", "Check for Updates…",
            "Clear History…", "Quit Scrivlet"}));
}

} // namespace
} // namespace scrivlet
