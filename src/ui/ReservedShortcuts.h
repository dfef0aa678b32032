// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/shortcuts/Shortcut.h"

#include <QString>
#include <functional>
#include <optional>

namespace scrivlet {

// Combinations the palette shortcut must not take: the desktop's editing
// keys (taken, they break copy and paste everywhere, Scrivlet's own Ctrl+V
// included) and the palette's own bindings (taken, the palette could no
// longer be driven). Matched by key and exact modifiers. Gives the name of
// the command that uses the combination.
//
// Applications find Ctrl+letter by the letter the key types, falling back to
// the US letter of its position where the layout types no Latin letter
// (Cyrillic, Greek): so does this check, through `character` (what a key
// types in the current layout). Other keys, the digit row included, count by
// position.
[[nodiscard]] std::optional<QString> reservedUse(const GlobalShortcuts::Shortcut &shortcut,
    const std::function<std::optional<QString>(GlobalShortcuts::Key)> &character);

// The digit 1…9 of a key of the digit row or the keypad, by its place: the
// palette's Ctrl+digit. None for any other key.
[[nodiscard]] std::optional<int> quickKeyDigit(GlobalShortcuts::Key key);

} // namespace scrivlet
