// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/KGlobalAccelHotkeyGrabber.h"

#include <QKeySequence>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using GlobalShortcuts::Shortcut;
namespace Modifier = GlobalShortcuts::Modifier;

TEST(KGlobalAccelKeys, ShortcutBecomesTheKeyKWinReports)
{
    const struct
    {
        int keyCode;
        int modifiers;
        const char *expected; // in QKeySequence's portable text; nullptr: no key
    } cases[] = {
        {9, Modifier::command | Modifier::shift, "Meta+Shift+V"},
        {49, Modifier::control | Modifier::option, "Ctrl+Alt+Space"},
        {18, Modifier::command, "Meta+1"},
        // Shift turns these into another symbol, which KWin reports alone.
        {18, Modifier::command | Modifier::shift, "Meta+!"},
        {44, Modifier::control | Modifier::shift, "Ctrl+?"},
        {50, Modifier::control, "Ctrl+`"},
        {42, Modifier::option, "Alt+\\"},
        {51, Modifier::command, "Meta+Backspace"},
        {117, Modifier::control, "Ctrl+Del"},
        {114, Modifier::shift, "Shift+Ins"},
        {122, 0, "F1"},
        {105, 0, "F13"},
        {90, Modifier::option, "Alt+F20"},
        {126, Modifier::command, "Meta+Up"},
        {76, Modifier::command, "Meta+Enter"},
        {84, Modifier::control, "Ctrl+2"},
        // Fn has no equivalent; a modifier alone is no key; 1000 is unknown.
        {9, Modifier::command | Modifier::function, nullptr},
        {55, Modifier::control, nullptr},
        {63, Modifier::control, nullptr},
        {1000, Modifier::control, nullptr},
    };
    for (const auto &c : cases) {
        const std::optional<int> key
            = KGlobalAccelHotkeyGrabber::qtKey(Shortcut::make(c.keyCode, c.modifiers));
        if (!c.expected) {
            EXPECT_FALSE(key) << c.keyCode << " gave " << key.value_or(0);
            continue;
        }
        ASSERT_TRUE(key) << c.expected;
        const QKeySequence sequence(*key);
        EXPECT_EQ(sequence, QKeySequence::fromString(QLatin1String(c.expected)))
            << c.expected << " came out as "
            << sequence.toString(QKeySequence::PortableText).toStdString();
    }
}

} // namespace
} // namespace scrivlet
