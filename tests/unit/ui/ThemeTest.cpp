// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/FakeColorScheme.h"
#include "ui/ThemeApplier.h"

#include <QApplication>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

bool applicationLooksDark()
{
    return QApplication::palette().color(QPalette::Window).lightness() < 128;
}

TEST(ThemeApplier, LightAndDarkAreForcedAndSystemFollowsTheDesktop)
{
    testing::FakeColorScheme desktop;
    desktop.dark = true;
    ThemeApplier theme(desktop);

    theme.apply(AppAppearance::light);
    EXPECT_FALSE(applicationLooksDark());
    desktop.set(true);
    EXPECT_FALSE(applicationLooksDark()) << "a forced look ignores the desktop";

    theme.apply(AppAppearance::dark);
    EXPECT_TRUE(applicationLooksDark());
    EXPECT_GT(QApplication::palette().color(QPalette::Text).lightness(), 128) << "readable text";

    // Back to the system after dark: the desktop's current look, then its changes.
    desktop.dark = false;
    theme.apply(AppAppearance::system);
    EXPECT_FALSE(applicationLooksDark());
    desktop.set(true);
    EXPECT_TRUE(applicationLooksDark());
    desktop.set(std::nullopt);
    EXPECT_FALSE(applicationLooksDark()) << "no preference reads as light";
}

TEST(ThemeApplier, AccentColours)
{
    const QPalette palette = ThemeApplier::lightPalette();
    EXPECT_EQ(ThemeApplier::accentColor(AccentChoice::by(QStringLiteral("system")), palette),
        palette.color(QPalette::Highlight));
    const QColor rouge
        = ThemeApplier::accentColor(AccentChoice::by(QStringLiteral("rouge")), palette);
    EXPECT_NEAR(rouge.redF(), 0.9, 0.005);
    EXPECT_NEAR(rouge.greenF(), 0.3, 0.005);
}

} // namespace
} // namespace scrivlet
