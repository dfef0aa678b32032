// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gnome/GnomeHotkeyGrabber.h"
#include "platform/gnome/GnomeKeySender.h"
#include "platform/gnome/GnomePasteboard.h"

#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace scrivlet {
namespace {

using GlobalShortcuts::Shortcut;
namespace Modifier = GlobalShortcuts::Modifier;

TEST(GnomeHotkeys, ShortcutBecomesAGtkAccelerator)
{
    const struct
    {
        int keyCode;
        int modifiers;
        const char *expected; // nullptr: the Shell cannot bind it
    } cases[] = {
        {9, Modifier::command | Modifier::shift, "<Shift><Super>v"},
        {49, Modifier::control | Modifier::option, "<Control><Alt>space"},
        {36, Modifier::control | Modifier::option | Modifier::shift | Modifier::command,
            "<Control><Alt><Shift><Super>Return"},
        // Named by the unshifted symbol, whatever Shift makes of it.
        {18, Modifier::command | Modifier::shift, "<Shift><Super>1"},
        {50, Modifier::control, "<Control>grave"}, {96, 0, "F5"},
        {83, Modifier::command, "<Super>KP_1"},
        {9, Modifier::function | Modifier::command, nullptr},
        {63, Modifier::command, nullptr}, // Function itself has no symbol
        {1000, Modifier::command, nullptr}, // outside the key table
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(testing::Message() << test.keyCode << " " << test.modifiers);
        const std::optional<QString> accelerator
            = GnomeHotkeyGrabber::accelerator(Shortcut::make(test.keyCode, test.modifiers));
        if (!test.expected)
            EXPECT_FALSE(accelerator) << accelerator->toStdString();
        else
            EXPECT_EQ(accelerator.value_or(QStringLiteral("(none)")), QLatin1String(test.expected));
    }
}

TEST(GnomeKeys, PasteKeyIsPressedInOrderAndReleasedInReverse)
{
    using Keys = QList<std::pair<quint32, bool>>;
    const struct
    {
        PasteKey key;
        Keys expected;
    } cases[] = {
        {PasteKey::ctrlV,
            {{XKB_KEY_Control_L, true}, {XKB_KEY_v, true}, {XKB_KEY_v, false},
                {XKB_KEY_Control_L, false}}},
        {PasteKey::ctrlShiftV,
            {{XKB_KEY_Control_L, true}, {XKB_KEY_Shift_L, true}, {XKB_KEY_v, true},
                {XKB_KEY_v, false}, {XKB_KEY_Shift_L, false}, {XKB_KEY_Control_L, false}}},
        {PasteKey::shiftInsert,
            {{XKB_KEY_Shift_L, true}, {XKB_KEY_Insert, true}, {XKB_KEY_Insert, false},
                {XKB_KEY_Shift_L, false}}},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(int(test.key));
        EXPECT_EQ(GnomeKeySender::keystroke(test.key), test.expected);
    }
}

ShellBridge::Selection announced(quint32 serial, const char *origin)
{
    return {serial, {QStringLiteral("text/plain")}, {}, QLatin1String(origin), true};
}

ShellBridge::Selection asked(quint32 serial, const char *origin)
{
    ShellBridge::Selection selection = announced(serial, origin);
    selection.announced = false;
    return selection;
}

TEST(GnomeClipboard, CountsNewCopiesOnlyAndReadsAKeptCopyAsTheDepartureBeforeIt)
{
    const struct
    {
        const char *name;
        QList<ShellBridge::Selection> selections;
        qint64 count;
        const char *readOrigin; // what a read after them answers by
    } cases[] = {
        {"each copy counts", {announced(1, "application"), announced(2, "scrivlet")}, 2,
            "scrivlet"},
        {"the copy found at attach is none", {asked(4, "application")}, 0, "application"},
        {"asked again after attach, the same copy",
            {asked(4, "application"), announced(5, "application"), asked(5, "application")}, 1,
            "application"},
        {"a copy made while detached", {asked(4, "application"), asked(9, "application")}, 1,
            "application"},
        {"the owner quits: gone, then kept",
            {announced(1, "application"), announced(2, "none"), announced(3, "kept")}, 2, "none"},
        {"kept after our own copy stays ours", {announced(1, "scrivlet"), announced(2, "kept")}, 1,
            "scrivlet"},
        {"the same serial announced again counts",
            {announced(1, "application"), announced(1, "application")}, 2, "application"},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name);
        ShellCopyCounter counter;
        for (const ShellBridge::Selection &selection : test.selections)
            counter.note(selection);
        EXPECT_EQ(counter.count(), test.count);
        EXPECT_EQ(counter.originOf(test.selections.constLast()), QLatin1String(test.readOrigin));
    }
}

TEST(GnomeClipboard, WrittenTextIsOfferedUnderEveryTextNameInPlace)
{
    const QByteArray text = QStringLiteral("café").toUtf8();
    const Pasteboard::Representations formats
        = GnomePasteboard::offered({{QStringLiteral("text/html"), QByteArrayLiteral("<b>x</b>")},
            {QStringLiteral("text/plain"), text}, {QStringLiteral("image/png"), "png"}});
    const Pasteboard::Representations expected {
        {QStringLiteral("text/html"), QByteArrayLiteral("<b>x</b>")},
        {QStringLiteral("text/plain;charset=utf-8"), text},
        {QStringLiteral("UTF8_STRING"), text},
        {QStringLiteral("text/plain"), text},
        {QStringLiteral("TEXT"), text},
        {QStringLiteral("STRING"), QByteArray("caf\xe9")}, // Latin-1 by its convention
        {QStringLiteral("image/png"), "png"},
    };
    EXPECT_EQ(formats, expected);
}

TEST(GnomeExtension, StateComesFromTheShellsExtensionInfo)
{
    const auto info = [](double state, bool enabled) {
        return QVariantMap {{QStringLiteral("state"), state}, {QStringLiteral("enabled"), enabled},
            {QStringLiteral("uuid"), ShellBridge::kUuid}};
    };
    using Extension = ShellBridge::Extension;
    const struct
    {
        const char *name;
        QVariantMap info;
        Extension expected;
    } cases[] = {
        {"not installed", {}, Extension::missing},
        {"active", info(1, true), Extension::active},
        {"disabled", info(2, false), Extension::disabled},
        {"enabled, not yet started", info(6, true), Extension::disabled},
        {"being disabled", info(7, false), Extension::disabled},
        {"failed", info(3, true), Extension::broken},
        {"for another Shell", info(4, true), Extension::broken},
        {"removed", info(99, false), Extension::missing},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(ShellBridge::extensionFrom(test.info), test.expected);
    }
}

} // namespace
} // namespace scrivlet
