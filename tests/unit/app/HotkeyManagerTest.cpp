// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/HotkeyManager.h"

#include "core/DefaultsStore.h"
#include "fakes/FakePasteboard.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using GlobalShortcuts::Name;
using GlobalShortcuts::Shortcut;

TEST(HotkeyManager, TheReleaseOfTheHeldShortcutToggles)
{
    QTemporaryDir dir;
    DefaultsStore defaults(dir.path());
    GlobalShortcuts::ShortcutStore shortcuts(defaults);
    testing::FakeHotkeyGrabber grabber;
    int triggered = 0;
    HotkeyManager manager(shortcuts, grabber, [&] { ++triggered; });
    manager.start();
    const Shortcut palette = *Name::togglePalette().defaultShortcut;
    ASSERT_EQ(grabber.grabbed, std::vector<Shortcut> {palette});

    Q_EMIT grabber.pressed(palette);
    EXPECT_EQ(triggered, 0) << "acts on the release";
    Q_EMIT grabber.released(palette);
    Q_EMIT grabber.released(Shortcut::make(11, 768));
    EXPECT_EQ(triggered, 1);

    // Another shortcut: the old one is let go, the new one grabbed.
    const Shortcut other = Shortcut::make(11, GlobalShortcuts::Modifier::control);
    shortcuts.setShortcut(other, Name::togglePalette().rawValue);
    EXPECT_EQ(grabber.grabbed, std::vector<Shortcut> {other});
    Q_EMIT grabber.released(palette);
    EXPECT_EQ(triggered, 1);
    Q_EMIT grabber.released(other);
    EXPECT_EQ(triggered, 2);
}

TEST(HotkeyManager, ARefusedGrabIsNotRegisteredAndIsTriedAgain)
{
    QTemporaryDir dir;
    DefaultsStore defaults(dir.path());
    GlobalShortcuts::ShortcutStore shortcuts(defaults);
    testing::FakeHotkeyGrabber grabber;
    grabber.refuse = true;
    int triggered = 0;
    HotkeyManager manager(shortcuts, grabber, [&] { ++triggered; });
    manager.start();
    EXPECT_FALSE(manager.isRegistered());
    Q_EMIT grabber.released(*Name::togglePalette().defaultShortcut);
    EXPECT_EQ(triggered, 0);

    grabber.refuse = false;
    shortcuts.reset(Name::togglePalette().rawValue);
    EXPECT_TRUE(manager.isRegistered()) << "the next change tries again";
}

} // namespace
} // namespace scrivlet
