// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Key.h"
#include "core/Language.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace scrivlet::GlobalShortcuts {

// Modifier bits of the stored mask; no other bit survives.
namespace Modifier {
inline constexpr int command = 0x100;
inline constexpr int shift = 0x200;
inline constexpr int option = 0x800;
inline constexpr int control = 0x1000;
inline constexpr int function = 0x20000;
inline constexpr int known = command | shift | option | control | function;
} // namespace Modifier

// A key and the modifiers held with it, stored as
// {"carbonKeyCode":9,"carbonModifiers":768}.
struct Shortcut
{
    int carbonKeyCode = 0;
    int carbonModifiers = 0;

    // The mask reduced to the known modifier bits.
    [[nodiscard]] static Shortcut make(int keyCode, int modifiers);
    [[nodiscard]] Key key() const { return Key {carbonKeyCode}; }

    [[nodiscard]] QByteArray toJson() const;
    // Stored values are untrusted: only an object whose two members are whole
    // numbers in range gives a shortcut (a key code of 0 to 1023).
    [[nodiscard]] static std::optional<Shortcut> fromJson(const QByteArray &json);

    // "Maj+Super+V": modifiers with their Linux names (Control, Alt, Shift,
    // Super), then the key. `character` gives what a key types in the
    // current layout; without it the US layout's character is used.
    [[nodiscard]] QString displayText(
        Language language, const std::function<std::optional<QString>(Key)> &character = {}) const;

    friend bool operator==(const Shortcut &a, const Shortcut &b)
    {
        return a.carbonKeyCode == b.carbonKeyCode && a.carbonModifiers == b.carbonModifiers;
    }
};

// A message of this module in the interface language; a missing text falls
// back to its key.
[[nodiscard]] QString message(const QString &key, Language language);

} // namespace scrivlet::GlobalShortcuts
