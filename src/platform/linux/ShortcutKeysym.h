// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/shortcuts/Key.h"
#include "core/shortcuts/Shortcut.h"

#include <QString>
#include <optional>
#include <xkbcommon/xkbcommon.h>

namespace scrivlet {

// The keysym a desktop's shortcut service names a key by: the unshifted
// symbol of the US layout, since such services name keys, not what the
// current layout types there. None for keys with no symbol.
[[nodiscard]] std::optional<xkb_keysym_t> shortcutKeysym(GlobalShortcuts::Key key);

// That keysym's name for the shortcut's key ("v", "F5"), which services put
// after their own modifier words; none for a key without a symbol, and with
// Fn, which no service binds.
[[nodiscard]] std::optional<QString> shortcutKeysymName(const GlobalShortcuts::Shortcut &shortcut);

} // namespace scrivlet
