// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/HotkeyManager.h"

#include "core/settings/DefaultsStore.h"
#include "fakes/FakePasteboard.h"

#include <QSignalSpy>
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

TEST(HotkeyManager, ARefusedShortcutIsTakenOnceTheOtherProgramLetsGo)
{
    QTemporaryDir dir;
    DefaultsStore defaults(dir.path());
    GlobalShortcuts::ShortcutStore shortcuts(defaults);
    testing::FakeHotkeyGrabber grabber;
    const Shortcut palette = *Name::togglePalette().defaultShortcut;
    grabber.heldElsewhere = {palette};
    int triggered = 0;
    HotkeyManager manager(shortcuts, grabber, [&] { ++triggered; });
    QSignalSpy refused(&manager, &HotkeyManager::refusedChanged);
    manager.start();
    ASSERT_TRUE(manager.isRefused());
    manager.retry();
    EXPECT_FALSE(manager.isRegistered()) << "still held elsewhere";

    // With nothing changed on our side: the timer takes it.
    grabber.heldElsewhere.clear();
    ASSERT_TRUE(refused.wait(HotkeyManager::kRetryMilliseconds * 3));
    EXPECT_TRUE(manager.isRegistered());
    EXPECT_FALSE(manager.isRefused());
    EXPECT_EQ(refused.size(), 2);
    Q_EMIT grabber.released(palette);
    EXPECT_EQ(triggered, 1);

    // No shortcut at all is not a refusal.
    grabber.heldElsewhere = {palette};
    shortcuts.setShortcut(std::nullopt, Name::togglePalette().rawValue);
    EXPECT_FALSE(manager.isRefused());
}

} // namespace
} // namespace scrivlet
