// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>

namespace scrivlet::GlobalShortcuts {

// A key by its position-based code (9 is where V sits on a US keyboard);
// stored in that form so that shortcuts survive layout changes.
struct Key
{
    int rawValue = 0;

    friend bool operator==(Key a, Key b) { return a.rawValue == b.rawValue; }

    // One of the 113 named keys.
    [[nodiscard]] static std::optional<Key> named(const QString &name);
    [[nodiscard]] std::optional<QString> name() const;
    // The XKB name of the key's position (for V, "AB04"); none for codes that
    // are not in the table and for Function, which has no position.
    [[nodiscard]] std::optional<QString> xkbPosition() const;
    // F1 to F20: usable without a modifier.
    [[nodiscard]] bool isFunctionKey() const;
    // Shift, Control, Option, Command, Caps Lock, Function, left or right.
    [[nodiscard]] bool isModifier() const;
    // What the key types on a US layout, for keys that type something.
    [[nodiscard]] std::optional<QString> usCharacter() const;
};

} // namespace scrivlet::GlobalShortcuts
