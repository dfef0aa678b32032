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

class HotkeyManagerTest : public ::testing::Test
{
protected:
    QTemporaryDir m_dir;
    DefaultsStore m_defaults {m_dir.path()};
    GlobalShortcuts::ShortcutStore m_shortcuts {m_defaults};
    testing::FakeHotkeyGrabber m_grabber;
    int m_triggered = 0;
    HotkeyManager m_manager {m_shortcuts, m_grabber, [this] { ++m_triggered; }};
    const Shortcut m_palette = *Name::togglePalette().defaultShortcut;
};

TEST_F(HotkeyManagerTest, TheReleaseOfTheHeldShortcutToggles)
{
    m_manager.start();
    ASSERT_EQ(m_grabber.grabbed, std::vector<Shortcut> {m_palette});
    Q_EMIT m_grabber.pressed(m_palette);
    EXPECT_EQ(m_triggered, 0) << "acts on the release";
    Q_EMIT m_grabber.released(m_palette);
    Q_EMIT m_grabber.released(Shortcut::make(11, 768));
    EXPECT_EQ(m_triggered, 1);

    // Another shortcut: the old one is let go, the new one grabbed.
    const Shortcut other = Shortcut::make(11, GlobalShortcuts::Modifier::control);
    m_shortcuts.setShortcut(other, Name::togglePalette().rawValue);
    EXPECT_EQ(m_grabber.grabbed, std::vector<Shortcut> {other});
    Q_EMIT m_grabber.released(m_palette);
    EXPECT_EQ(m_triggered, 1);
    Q_EMIT m_grabber.released(other);
    EXPECT_EQ(m_triggered, 2);
}

TEST_F(HotkeyManagerTest, ARefusedShortcutIsTakenOnceTheOtherProgramLetsGo)
{
    m_grabber.heldElsewhere = {m_palette};
    QSignalSpy refused(&m_manager, &HotkeyManager::refusedChanged);
    m_manager.start();
    ASSERT_TRUE(m_manager.isRefused());
    Q_EMIT m_grabber.released(m_palette);
    EXPECT_EQ(m_triggered, 0) << "not registered";
    m_manager.retry();
    EXPECT_FALSE(m_manager.isRegistered()) << "still held elsewhere";

    // With nothing changed on our side: the timer takes it.
    m_grabber.heldElsewhere.clear();
    ASSERT_TRUE(refused.wait(HotkeyManager::kRetryMilliseconds * 3));
    EXPECT_TRUE(m_manager.isRegistered());
    EXPECT_FALSE(m_manager.isRefused());
    EXPECT_EQ(refused.size(), 2);
    Q_EMIT m_grabber.released(m_palette);
    EXPECT_EQ(m_triggered, 1);

    m_grabber.heldElsewhere = {m_palette};
    m_shortcuts.setShortcut(std::nullopt, Name::togglePalette().rawValue);
    EXPECT_FALSE(m_manager.isRefused()) << "no shortcut at all is no refusal";
    m_grabber.heldElsewhere.clear();
    m_shortcuts.reset(Name::togglePalette().rawValue);
    EXPECT_TRUE(m_manager.isRegistered()) << "a change tries again at once";
}

} // namespace
} // namespace scrivlet
