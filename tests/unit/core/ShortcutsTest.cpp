// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/DefaultsStore.h"
#include "core/shortcuts/GlobalShortcuts.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace scrivlet::GlobalShortcuts {
namespace {

TEST(Shortcut, StoredFormIsExactAndReadEitherWay)
{
    const Shortcut palette = *Name::togglePalette().defaultShortcut;
    EXPECT_EQ(palette.toJson(), QByteArray(R"({"carbonKeyCode":9,"carbonModifiers":768})"));
    EXPECT_EQ(Shortcut::fromJson(R"({"carbonModifiers":768,"carbonKeyCode":9})"), palette);
    EXPECT_EQ(
        Shortcut::fromJson(R"({"carbonKeyCode":9,"carbonModifiers":768,"extra":1})"), palette);
    // Bits that are no modifier (caps lock, 0x400) vanish.
    EXPECT_EQ(Shortcut::fromJson(R"({"carbonKeyCode":9,"carbonModifiers":1792})"), palette);
    EXPECT_EQ(Shortcut::make(9, 768 | 0x400 | 0x10000), palette);
}

TEST(Shortcut, HostileStoredValuesGiveNoShortcut)
{
    for (const char *stored : {"", "true", "[]", "not json", R"({"carbonKeyCode":9})",
             R"({"carbonKeyCode":"9","carbonModifiers":768})",
             R"({"carbonKeyCode":9.5,"carbonModifiers":768})",
             R"({"carbonKeyCode":-1,"carbonModifiers":768})",
             R"({"carbonKeyCode":1e300,"carbonModifiers":768})",
             R"({"carbonKeyCode":9,"carbonModifiers":1e12})",
             R"({"carbonKeyCode":99999,"carbonModifiers":0})"})
        EXPECT_FALSE(Shortcut::fromJson(stored).has_value()) << stored;
}

TEST(Shortcut, DisplayTextsUseLinuxNamesInBothLanguages)
{
    const std::tuple<int, int, const char *, const char *> cases[] = {
        {9, 768, "Maj+Super+V", "Shift+Super+V"},
        {0, Modifier::control | Modifier::option, "Ctrl+Alt+A", "Ctrl+Alt+A"},
        {49, Modifier::command, "Super+Espace", "Super+Space"}, {122, 0, "F1", "F1"},
        {82, 0, "0\u20e3", "0\u20e3"}, {36, Modifier::shift, "Maj+↩", "Shift+↩"},
        {18, Modifier::command | Modifier::function, "Super+Fn+1", "Super+Fn+1"},
        {10, 0, "\ufffd", "\ufffd"}, // another keyboard's key: no text
    };
    for (const auto &[code, modifiers, french, english] : cases) {
        const Shortcut shortcut = Shortcut::make(code, modifiers);
        EXPECT_EQ(shortcut.displayText(Language::french), QString::fromUtf8(french)) << code;
        EXPECT_EQ(shortcut.displayText(Language::english), QString::fromUtf8(english)) << code;
    }
    // The current layout decides what a key types (AZERTY: A where US has Q).
    const auto azerty = [](Key key) -> std::optional<QString> {
        return key.rawValue == 12 ? std::optional<QString>(QStringLiteral("a")) : std::nullopt;
    };
    EXPECT_EQ(Shortcut::make(12, Modifier::control).displayText(Language::french, azerty),
        QStringLiteral("Ctrl+A"));
    EXPECT_EQ(
        message(QStringLiteral("no such text"), Language::english), QStringLiteral("no such text"));
}

TEST(Key, EveryNamedKeyHasItsPosition)
{
    EXPECT_EQ(Key::named(QStringLiteral("v"))->rawValue, 9);
    EXPECT_EQ(Key {9}.xkbPosition(), QStringLiteral("AB04"));
    EXPECT_EQ(Key {122}.xkbPosition(), QStringLiteral("FK01"));
    EXPECT_FALSE(Key {63}.xkbPosition().has_value()) << "Function has no position";
    EXPECT_FALSE(Key {10}.xkbPosition().has_value());
    EXPECT_FALSE(Key {-5}.name().has_value());
}

class ShortcutStoreTest : public ::testing::Test
{
protected:
    QTemporaryDir m_dir;
    DefaultsStore m_defaults {m_dir.path()};
    const QString m_palette = QStringLiteral("togglePalette");
};

TEST_F(ShortcutStoreTest, TheDefaultIsStoredOnceAndARemovalIsKept)
{
    {
        ShortcutStore store(m_defaults);
        QSignalSpy changed(&store, &ShortcutStore::shortcutChanged);
        store.declare(Name::togglePalette());
        EXPECT_EQ(changed.size(), 1);
        EXPECT_EQ(m_defaults.value(QStringLiteral("GlobalShortcuts_togglePalette")).toString(),
            QStringLiteral(R"({"carbonKeyCode":9,"carbonModifiers":768})"));
        store.setShortcut(std::nullopt, m_palette);
        EXPECT_EQ(
            m_defaults.value(QStringLiteral("GlobalShortcuts_togglePalette")), QJsonValue(false));
        EXPECT_EQ(changed.size(), 2);
        store.setShortcut(std::nullopt, m_palette);
        EXPECT_EQ(changed.size(), 2) << "nothing to remove, no notice";
    }
    ShortcutStore nextStart(m_defaults);
    nextStart.declare(Name::togglePalette());
    EXPECT_FALSE(nextStart.shortcut(m_palette).has_value()) << "the removal survives a restart";
    nextStart.reset(m_palette);
    EXPECT_EQ(nextStart.shortcut(m_palette), Name::togglePalette().defaultShortcut);
}

TEST_F(ShortcutStoreTest, BadStoredValuesStayAndResetAllRestoresDefaults)
{
    m_defaults.setValue(QStringLiteral("GlobalShortcuts_togglePalette"), QStringLiteral("{broken"));
    m_defaults.setValue(QStringLiteral("GlobalShortcuts_other"),
        QStringLiteral(R"({"carbonKeyCode":0,"carbonModifiers":256})"));
    ShortcutStore store(m_defaults);
    store.declare(Name::togglePalette());
    EXPECT_FALSE(store.shortcut(m_palette).has_value());
    EXPECT_TRUE(store.contains(m_palette)) << "left in place";
    EXPECT_EQ(store.allNames().size(), 2);

    store.resetAll();
    EXPECT_EQ(store.shortcut(m_palette), Name::togglePalette().defaultShortcut)
        << "not an empty shortcut";
    EXPECT_FALSE(store.contains(QStringLiteral("other"))) << "a name without default is removed";
}

} // namespace
} // namespace scrivlet::GlobalShortcuts
